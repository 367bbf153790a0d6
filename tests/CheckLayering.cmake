cmake_minimum_required(VERSION 3.25)
# Fails when the engine or the sequencer includes a header of the host boundary, the editor, the
# toolkit or the operating-system layer, or when the files library includes the host boundary,
# the editor or the toolkit (files may use the operating-system layer for paths and disks), or
# when the toolkit includes anything of the plug-in.
set(violations "")
function(check folders pattern)
    foreach(folder ${folders})
        file(GLOB_RECURSE sources ${SOURCE_DIR}/${folder}/*)
        foreach(source ${sources})
            file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"(${pattern})/")
            foreach(line ${includes})
                string(APPEND violations "${source}: ${line}\n")
            endforeach()
        endforeach()
    endforeach()
    set(violations "${violations}" PARENT_SCOPE)
endfunction()
check("engine;sequencer" "plugin|editor|toolkit|platform")
check("files" "plugin|editor|toolkit")
# The toolkit is a general library: it knows nothing of the plug-in.
check("toolkit" "plugin|engine|sequencer|files|editor|platform")
if(violations)
    message(FATAL_ERROR "layering violated:\n${violations}")
endif()
