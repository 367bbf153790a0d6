cmake_minimum_required(VERSION 3.25)
# Preprocesses small probes with the include flags of FOLDER's library (INCLUDES, DEFINITIONS):
# - every header of FOLDER itself must preprocess, so its own includes are all in reach;
# - a header of each folder in ALLOWED must be found;
# - including a header of any other folder of FOLDERS must fail because that header is not
#   found, not for some other reason.
# Lists come joined with '|'.
foreach(list INCLUDES DEFINITIONS ALLOWED FOLDERS IMPLICIT)
    string(REPLACE "|" ";" ${list} "${${list}}")
endforeach()
if(NOT INCLUDES)
    message(FATAL_ERROR "no include directories given for ${FOLDER}")
endif()

set(flags -std=c++20 -E -x c++)
foreach(dir ${INCLUDES})
    # The compiler's own directories stay in their place behind ours.
    if(NOT dir IN_LIST IMPLICIT)
        list(APPEND flags -I${dir})
    endif()
endforeach()
foreach(definition ${DEFINITIONS})
    list(APPEND flags -D${definition})
endforeach()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

# Runs the preprocessor on PROBE_TEXT; sets result and output in the caller.
function(preprocess name probe_text)
    file(WRITE ${WORK_DIR}/${name}.cpp "${probe_text}")
    execute_process(COMMAND ${CXX} ${flags} ${WORK_DIR}/${name}.cpp -o ${WORK_DIR}/${name}.i
                    RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE out)
    set(result ${code} PARENT_SCOPE)
    set(output "${out}" PARENT_SCOPE)
endfunction()

set(failures "")

file(GLOB own RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/${FOLDER}/*.h)
list(SORT own)
if(NOT own)
    message(FATAL_ERROR "no headers in ${SOURCE_DIR}/${FOLDER}")
endif()
set(text "")
foreach(header ${own})
    string(APPEND text "#include \"${header}\"\n")
endforeach()
preprocess(own "${text}")
if(NOT result EQUAL 0)
    string(APPEND failures "${FOLDER}'s own headers do not compile with its include flags:\n"
                           "${output}\n")
endif()

foreach(other ${FOLDERS})
    if(other STREQUAL FOLDER)
        continue()
    endif()
    file(GLOB headers RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/${other}/*.h)
    list(SORT headers)
    list(GET headers 0 header)
    if(other IN_LIST ALLOWED)
        preprocess(${other} "#if !__has_include(\"${header}\")\n#error out of reach\n#endif\n")
        if(NOT result EQUAL 0)
            string(APPEND failures "${FOLDER} may include ${other}/ but cannot reach ${header}:\n"
                                   "${output}\n")
        endif()
    else()
        preprocess(${other} "#include \"${header}\"\n")
        string(REPLACE "." "\\." header_pattern "${header}")
        if(result EQUAL 0)
            string(APPEND failures "${FOLDER} can include ${header}, which it must not\n")
        elseif(NOT output MATCHES "${header_pattern}.*(No such file|not found)")
            string(APPEND failures "${FOLDER} including ${header} fails, but not because the "
                                   "header is out of reach:\n${output}\n")
        endif()
    endif()
endforeach()

if(failures)
    message(FATAL_ERROR "layering of ${FOLDER}/:\n${failures}")
endif()
message(STATUS "${FOLDER}/ reaches ${ALLOWED} and nothing else")
