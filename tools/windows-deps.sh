#!/usr/bin/env bash
# Builds the third-party libraries of the Windows builds -- zlib, libpng (the toolkit's PNG
# decoder) and libsndfile (WAV files for the renderer, without any external codec) -- as static
# libraries from Debian's source packages, with the MinGW compiler of one architecture, into
# build/deps/mingw-ARCH (include/, lib/, lib/pkgconfig/). The toolchain file
# cmake/mingw-ARCH.cmake points that build's find_package and pkg-config lookups there.
# Usage: tools/windows-deps.sh [i686|x86_64]   (default i686: the 32-bit build, with the plug-ins'
# SSE2 math; x86_64 has SSE2 math by default)
#
# tools/build.sh runs this before every Windows build: once the libraries are built it returns at
# once (a stamp records the recipe; editing this script or the toolchain file rebuilds them).
# Quiet unless something fails; the full output is in build/deps/windows-deps-ARCH.log.
set -euo pipefail
cd "$(dirname "$0")/.."
arch=${1:-i686}
case "$arch" in
i686) float_flags="-msse2 -mfpmath=sse" ;;
x86_64) float_flags="" ;;
*) echo "windows-deps: unknown architecture $arch (i686 or x86_64)" >&2; exit 2 ;;
esac
host=$arch-w64-mingw32
root=$PWD
deps=$root/build/deps
prefix=$deps/mingw-$arch
stamp=$prefix/.built
toolchain=$root/cmake/mingw-$arch.cmake
# Sources and build folders of each architecture apart (zlib builds inside its source folder).
work=$deps/work-$arch

recipe=$(cat tools/windows-deps.sh "$toolchain" | sha256sum | cut -d' ' -f1)
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$recipe" ]; then
    exit 0
fi

# build/deps/src and build/deps/build, where both architectures once worked, go too.
rm -rf "$work" "$prefix" "$deps/src" "$deps/build"
mkdir -p "$work/src" "$work/build"
log=$deps/windows-deps-$arch.log
: >"$log"

# Runs a command with its output in the log; on failure shows the log's end and stops.
run() {
    echo "+ $*" >>"$log"
    if ! "$@" >>"$log" 2>&1; then
        echo "windows-deps ($arch): failed: $*" >&2
        tail -n 40 "$log" >&2
        echo "windows-deps: the whole output is in $log" >&2
        exit 1
    fi
}

# Fetches and unpacks a source package (with Debian's patches applied) into the work folder.
# The newest version comes first; when a mirror lacks it (security updates are not on every
# mirror) the release's own version is taken instead.
fetch() {
    local package=$1 release
    release=$(. /etc/os-release && echo "$VERSION_CODENAME")
    echo "+ apt-get source $package" >>"$log"
    (cd "$work/src" && apt-get source -q "$package" >>"$log" 2>&1) && return 0
    (cd "$work/src" && run apt-get source -q "$package/$release")
    echo "windows-deps: $package: using the $release release's source (newer one not downloadable)" >&2
}

source_dir() {
    local dirs=("$work/src/$1"-*/)
    echo "${dirs[0]%/}"
}

cmake_build() {
    local name=$1 source=$2
    shift 2
    run cmake -S "$source" -B "$work/build/$name" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS="$float_flags" \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR=lib -DBUILD_SHARED_LIBS=OFF "$@"
    run cmake --build "$work/build/$name" -j2
    run cmake --install "$work/build/$name"
}

if ! command -v dpkg-source >/dev/null; then
    echo "windows-deps: dpkg-source missing (package dpkg-dev): run tools/setup.sh" >&2
    exit 1
fi
if [ -z "$(apt-cache showsrc zlib 2>/dev/null)" ]; then
    echo "windows-deps: apt has no source packages enabled: run tools/setup.sh" >&2
    exit 1
fi

for package in zlib libpng1.6 libsndfile; do
    fetch "$package"
done

# zlib: its own configure script, as a static library only (libz.a and zlib.pc).
zlib=$(source_dir zlib)
(
    cd "$zlib"
    export CHOST=$host CC=$host-gcc-posix CFLAGS="-O2 $float_flags"
    run ./configure --static --prefix="$prefix"
    run make -j2 libz.a
    run make install
)

cmake_build libpng "$(source_dir libpng1.6)" \
    -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_EXECUTABLES=OFF -DPNG_TESTS=OFF

cmake_build libsndfile "$(source_dir libsndfile)" \
    -DENABLE_EXTERNAL_LIBS=OFF -DENABLE_MPEG=OFF -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF \
    -DBUILD_TESTING=OFF -DENABLE_CPACK=OFF -DENABLE_PACKAGE_CONFIG=OFF \
    -DINSTALL_PKGCONFIG_MODULE=ON -DINSTALL_MANPAGES=OFF

echo "$recipe" >"$stamp"
