#!/usr/bin/env bash
# run-with-display.sh WORK_DIR prog.exe [args...] -- runs a Windows GUI program under Wine on an X
# display of its own, with a Wine prefix of its own, and gives its exit status.
#
# Wine binds its desktop to the X display its services saw when they started, and every program
# of one prefix shares those services. Other Wine tests (ours or another build's, in parallel)
# run on the shared prefix without a display, so this program gets a private prefix in WORK_DIR
# instead: the registry copied from the shared prefix (set up by tools/wine-setup.sh), its drive
# C linked. Its wineserver and X server are this script's own, and both stop when it ends.
#
# Environment: WINEPREFIX (the shared prefix, default ~/.wine-treskpro), WINE_RUN_TIMEOUT
# (seconds, default 240), SCREEN (default 1600x1200x24: the panel must fit on the screen).
set -u
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$1" && work=$(cd "$1" && pwd) || exit 125
shift
shared=${WINEPREFIX:-${HOME:-/root}/.wine-treskpro}
prefix=$work/wineprefix
wineserver=/usr/lib/wine/wineserver64

command -v Xvfb >/dev/null || { echo "run-with-display.sh: Xvfb not found (apt-get install xvfb)" >&2; exit 125; }
[ -f "$shared/.setup-ok" ] || { echo "run-with-display.sh: $shared is not set up, run tools/wine-setup.sh" >&2; exit 125; }

# Made again whenever the shared prefix was set up anew.
if [ ! -f "$prefix/.setup-ok" ] || [ "$shared/.setup-ok" -nt "$prefix/.setup-ok" ]; then
    rm -rf "$prefix"
    mkdir -p "$prefix"
    # The registry files are copied with their times, so Wine sees an up-to-date prefix and does
    # not rebuild it; the helper folder and drive C are shared read-mostly.
    cp -a "$shared"/*.reg "$shared/.update-timestamp" "$shared/dosdevices" "$prefix/"
    ln -s "$shared/drive_c" "$prefix/drive_c"
    ln -s "$shared/.qemufix" "$prefix/.qemufix"
    touch "$prefix/.setup-ok"
fi
chmod 755 "$prefix"

# Xvfb picks a free display number itself and writes it to the given descriptor.
rm -f "$work/display"
Xvfb -displayfd 3 -screen 0 "${SCREEN:-1600x1200x24}" -nolisten tcp 3>"$work/display" \
    >"$work/xvfb.log" 2>&1 &
xvfb=$!
cleanup() {
    WINEPREFIX=$prefix "$wineserver" -k 2>/dev/null
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

WINEPREFIX=$prefix WINE_RUN_PERSIST=0 WINE_RUN_TIMEOUT=${WINE_RUN_TIMEOUT:-240} \
    "$here/../../cmake/wine-run.sh" "$@"
status=$?
exit $status
