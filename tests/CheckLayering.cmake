# Fails when a file of the engine, the sequencer or the files library includes a header of the
# host boundary, the editor or the toolkit.
file(GLOB_RECURSE sources ${SOURCE_DIR}/engine/* ${SOURCE_DIR}/sequencer/* ${SOURCE_DIR}/files/*)
set(violations "")
foreach(source ${sources})
    file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"(plugin|editor|toolkit|platform)/")
    foreach(line ${includes})
        string(APPEND violations "${source}: ${line}\n")
    endforeach()
endforeach()
if(violations)
    message(FATAL_ERROR "layering violated:\n${violations}")
endif()
message(STATUS "layering kept in ${CMAKE_CURRENT_LIST_FILE}")
