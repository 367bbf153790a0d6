#!/usr/bin/env bash
# The first command: installs what is missing, builds the Linux and the 32-bit Windows
# plug-ins, shows what each binary tells a host about itself, and renders the default patch's
# pattern through the built Linux plug-in to demo.wav.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup.sh
tools/build.sh native win32

for plugin in Treskpro TreskproFX; do
    echo
    build/native/bin/treskpro-render --info "build/native/bundle/$plugin.so"
done
for plugin in Treskpro TreskproFX; do
    echo
    cmake/wine-run.sh build/win32/bin/treskpro-render.exe --info "build/win32/bundle/$plugin.dll"
done

echo
echo "demo: the default patch's pattern, 8 bars, through build/native/bundle/Treskpro.so"
build/native/bin/treskpro-render -o demo.wav
