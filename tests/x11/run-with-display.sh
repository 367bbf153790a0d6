#!/usr/bin/env bash
# run-with-display.sh WORK_DIR program [args...] -- runs a program on an X server of its own
# (Xvfb, on a display number it picks itself, so parallel runs never meet), and gives its exit
# status. The server stops when the program ends.
#
# Environment: SCREEN (default 1600x1200x24: the panel must fit on the screen).
set -u
mkdir -p "$1" && work=$(cd "$1" && pwd) || exit 125
shift

command -v Xvfb >/dev/null || { echo "run-with-display.sh: Xvfb not found (apt-get install xvfb)" >&2; exit 125; }

rm -f "$work/display"
Xvfb -displayfd 3 -screen 0 "${SCREEN:-1600x1200x24}" -nolisten tcp 3>"$work/display" \
    >"$work/xvfb.log" 2>&1 &
xvfb=$!
cleanup() {
    kill "$xvfb" 2>/dev/null
    wait "$xvfb" 2>/dev/null
}
trap cleanup EXIT
for _ in $(seq 300); do
    [ -s "$work/display" ] && break
    kill -0 "$xvfb" 2>/dev/null || { echo "run-with-display.sh: Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 125; }
    sleep 0.1
done
[ -s "$work/display" ] || { echo "run-with-display.sh: Xvfb gave no display" >&2; exit 125; }
export DISPLAY=:$(head -n 1 "$work/display")

"$@"
