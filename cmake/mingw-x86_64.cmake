# Cross-compiling the 64-bit Windows plug-ins with MinGW-w64 (posix thread model, so the C++
# thread library works; everything is linked statically).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_OBJDUMP x86_64-w64-mingw32-objdump)

# Third-party libraries (zlib, libpng, libsndfile): static builds that tools/windows-deps.sh makes
# from Debian's sources (`tools/windows-deps.sh x86_64`). find_package looks there through the
# find root, pkg-config through its library folder only, so no Linux .pc file of the build machine
# gets into a Windows link.
get_filename_component(TRESKPRO_DEPS_PREFIX ${CMAKE_CURRENT_LIST_DIR}/../build/deps/mingw-x86_64
                       ABSOLUTE)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${TRESKPRO_DEPS_PREFIX})
set(ENV{PKG_CONFIG_LIBDIR} ${TRESKPRO_DEPS_PREFIX}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under 64-bit Wine, natively (no emulation needed).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
