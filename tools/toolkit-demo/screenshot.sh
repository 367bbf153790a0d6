#!/usr/bin/env bash
# Opens the Windows build's toolkit demo under Wine on a virtual X display, clicks and drags a
# few controls, opens a menu, and saves screenshots of the screen as PNG.
# Usage: tools/toolkit-demo/screenshot.sh [BUILD_DIR] [OUTPUT_PREFIX]
#        (default build/win32, build/toolkit-win32)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/win32}
output=${2:-build/toolkit-win32}
display=:$((60 + RANDOM % 30))

Xvfb "$display" -screen 0 640x320x24 >/dev/null 2>&1 &
xvfb=$!
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-treskpro}"
cleanup() {
    kill "$xvfb" 2>/dev/null || true
    WINEPREFIX="$WINEPREFIX" /usr/lib/wine/wineserver64 -k 2>/dev/null || true
}
trap cleanup EXIT
sleep 2
export DISPLAY=$display
WINE_RUN_TIMEOUT=300 WINE_RUN_PERSIST=0 cmake/wine-run.sh "$build/bin/treskpro-toolkit-demo.exe" 40 \
    >"$output-demo.log" 2>&1 &
demo=$!
# The demo's panel is at (20, 20) + the window frame; wait until it shows.
sleep 20
import -window root "$output-open.png"
panel=$(xdotool search --name "Tresk Pro toolkit demo" | head -n 1)
xdotool mousemove --window "$panel" 38 80 mousedown 1 mousemove --window "$panel" 38 60 \
    mousemove --window "$panel" 38 40 mouseup 1
xdotool mousemove --window "$panel" 26 132 click 1
sleep 2
xdotool mousemove --window "$panel" 60 186 click 1
sleep 3
import -window root "$output-menu.png"
xdotool key Escape
wait "$demo" || true
echo "screenshots: $output-open.png $output-menu.png; values the demo reported:"
cat "$output-demo.log"
