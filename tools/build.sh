#!/usr/bin/env bash
# Builds the native Linux plug-ins and the 32-bit and 64-bit Windows plug-ins with their tools and
# tests.
# Usage: tools/build.sh [native|asan|tsan|win32|win64]...   (default: native win32 win64)
set -euo pipefail
cd "$(dirname "$0")/.."

# ccache, where installed, lets a rebuild or a second clone on the same machine reuse what was
# compiled before; paths are taken relative to the tree so clones share one cache.
launcher=()
if command -v ccache >/dev/null; then
    export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

configure_and_build() {
    local name=$1
    shift
    if [ ! -f "build/$name/build.ninja" ]; then
        cmake -S . -B "build/$name" -G Ninja "${launcher[@]}" "$@" >/dev/null
    fi
    echo "build: $name"
    cmake --build "build/$name" -j2
}

targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(native win32 win64)
for target in "${targets[@]}"; do
    case "$target" in
    native) configure_and_build native -DCMAKE_BUILD_TYPE=RelWithDebInfo ;;
    asan) configure_and_build asan -DCMAKE_BUILD_TYPE=Debug -DTRESKPRO_SANITIZE=ON ;;
    tsan) configure_and_build tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRESKPRO_THREAD_SANITIZE=ON ;;
    win32)
        tools/windows-deps.sh i686 # libpng, zlib and libsndfile for Windows; at once when built
        configure_and_build win32 -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake ;;
    win64)
        tools/windows-deps.sh x86_64
        configure_and_build win64 -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake ;;
    *) echo "build: unknown configuration $target" >&2; exit 2 ;;
    esac
done
