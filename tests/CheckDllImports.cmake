cmake_minimum_required(VERSION 3.25)
# Checks a Windows plug-in DLL: it exports VSTPluginMain and main, and imports nothing but
# Windows system DLLs (the C++ runtime is linked in). -DEXPORTS= checks a program's imports only.
if(NOT DEFINED EXPORTS)
    set(EXPORTS VSTPluginMain main)
endif()
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "objdump failed on ${DLL}")
endif()

foreach(name ${EXPORTS})
    if(NOT dump MATCHES "\\][ \t]+${name}\n")
        message(FATAL_ERROR "${DLL} does not export ${name}")
    endif()
endforeach()

set(system_dlls kernel32.dll user32.dll gdi32.dll msvcrt.dll advapi32.dll shell32.dll ole32.dll
    oleaut32.dll comdlg32.dll comctl32.dll msimg32.dll gdiplus.dll shlwapi.dll uxtheme.dll
    winmm.dll version.dll)
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
foreach(entry ${imports})
    string(REPLACE "DLL Name: " "" dll "${entry}")
    string(STRIP "${dll}" dll)
    string(TOLOWER "${dll}" dll)
    if(NOT dll IN_LIST system_dlls)
        message(FATAL_ERROR "${DLL} imports ${dll}, which is not a Windows system DLL")
    endif()
    message(STATUS "imports ${dll}")
endforeach()
