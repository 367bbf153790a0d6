#!/usr/bin/env bash
# Installs what building and testing Tresk Pro needs, from Debian's packages, and prepares Wine
# for running the 32-bit Windows builds. Safe to run again: it installs only what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    cmake ninja-build g++ clang clang-format libclang-rt-14-dev libgtest-dev libbenchmark-dev
    libpng-dev zlib1g-dev libfreetype-dev fonts-dejavu-core pkg-config imagemagick xdotool
    g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
    wine wine32:i386 wine64 libwine:i386 xvfb xauth qemu-user-static
)

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386
    fi
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

bash tools/wine-setup.sh
