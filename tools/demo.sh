#!/usr/bin/env bash
# The first command: installs what is missing, builds the Linux and the 32-bit and 64-bit Windows
# plug-ins, shows what each binary tells a host about itself, and renders the default patch's
# pattern through the built Linux plug-in to demo.wav.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup.sh
tools/build.sh native win32 win64

for plugin in Treskpro TreskproFX; do
    echo
    build/native/bin/treskpro-render --info "build/native/bundle/$plugin.so"
done
for build in win32 win64; do
    for plugin in Treskpro TreskproFX; do
        echo
        cmake/wine-run.sh "build/$build/bin/treskpro-render.exe" --info "build/$build/bundle/$plugin.dll"
    done
done

echo
echo "demo: the default patch's pattern, 8 bars, through build/native/bundle/Treskpro.so"
build/native/bin/treskpro-render -o demo.wav

# What a user installs: each bundle folder whole, into a folder the host scans for plug-ins.
echo
echo "install: copy a whole bundle folder where your host looks for VST 2.x plug-ins:"
echo "  Linux, 64-bit host:   build/native/bundle/  (Treskpro.so, TreskproFX.so)  e.g. ~/.vst/Tresk Pro/"
echo "  Windows, 64-bit host: build/win64/bundle/   (Treskpro.dll, TreskproFX.dll)  e.g. C:\\Program Files\\VSTPlugins\\Tresk Pro\\"
echo "  Windows, 32-bit host: build/win32/bundle/   (Treskpro.dll, TreskproFX.dll)  e.g. C:\\Program Files (x86)\\VSTPlugins\\Tresk Pro\\"
echo "  (the plug-in keeps its patches, skin and settings beside itself: the folder must be writable)"
