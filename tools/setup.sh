#!/usr/bin/env bash
# Installs what building and testing Tresk Pro needs, from Debian's packages, and prepares Wine
# for running the 32-bit and 64-bit Windows builds. Safe to run again: it installs only what is
# missing.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    cmake ninja-build g++ clang clang-format libclang-rt-14-dev libgtest-dev libbenchmark-dev
    libpng-dev zlib1g-dev libsndfile1-dev pkg-config dpkg-dev libfreetype-dev
    fonts-dejavu-core imagemagick xdotool python3-pil fonts-dejavu-extra
    g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    mingw-w64-x86-64-dev
    libx11-dev libxtst-dev
    wine wine32:i386 wine64 libwine:i386 fonts-wine xvfb xauth qemu-user-static
)

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

# The Windows builds of libpng, zlib and libsndfile come from Debian's source packages
# (tools/windows-deps.sh), so apt needs source entries next to the binary ones.
update_sources=0
if ! grep -rqs -e '^Types:.*deb-src' -e '^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    echo "setup: enabling Debian source packages"
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        sed 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
            $sudo tee /etc/apt/sources.list.d/treskpro-sources.sources >/dev/null
    else
        sed -n 's/^deb /deb-src /p' /etc/apt/sources.list |
            $sudo tee /etc/apt/sources.list.d/treskpro-sources.list >/dev/null
    fi
    update_sources=1
fi

if [ ${#missing[@]} -gt 0 ] || [ "$update_sources" -eq 1 ]; then
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386
    fi
    $sudo apt-get update -q
fi
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

bash tools/wine-setup.sh
