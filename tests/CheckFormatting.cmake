cmake_minimum_required(VERSION 3.25)
# Fails when a source file differs from what clang-format makes of it.
file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
     ${SOURCE_DIR}/engine/*.cpp ${SOURCE_DIR}/engine/*.h
     ${SOURCE_DIR}/sequencer/*.cpp ${SOURCE_DIR}/sequencer/*.h
     ${SOURCE_DIR}/files/*.cpp ${SOURCE_DIR}/files/*.h
     ${SOURCE_DIR}/plugin/*.cpp ${SOURCE_DIR}/plugin/*.h
     ${SOURCE_DIR}/platform/*.cpp ${SOURCE_DIR}/platform/*.h
     ${SOURCE_DIR}/editor/*.cpp ${SOURCE_DIR}/editor/*.h
     ${SOURCE_DIR}/toolkit/*.cpp ${SOURCE_DIR}/toolkit/*.h
     ${SOURCE_DIR}/tools/*.cpp ${SOURCE_DIR}/tools/*.h
     ${SOURCE_DIR}/tests/*.cpp ${SOURCE_DIR}/tests/*.h)
execute_process(COMMAND ${CLANG_FORMAT} --dry-run --Werror ${sources}
                WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE result ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "not formatted (run clang-format -i on these):\n${errors}")
endif()
