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
# Windows draw their own captions and frames (there is no window manager on the display), with
# the caption buttons' symbol font from fonts-wine where it is installed.
if ! grep -q '"Decorated"="N"' "$prefix/user.reg"; then
    printf '\n[Software\\\\Wine\\\\X11 Driver] 1700000000\n"Decorated"="N"\n' >>"$prefix/user.reg"
fi
if [ -f /usr/share/wine/fonts/marlett.ttf ] && ! grep -q '"Marlett (TrueType)"' "$prefix/system.reg"; then
    printf '\n[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\Fonts] 1700000000\n%s\n' \
        '"Marlett (TrueType)"="Z:\\usr\\share\\wine\\fonts\\marlett.ttf"' >>"$prefix/system.reg"
fi

# The X server is the one the X11 window test starts for itself (a free display number, stopped
# at the end); Wine's own server stops first, while the display still exists.
exec "$here/../x11/run-with-display.sh" "$work" bash -c '
    WINEPREFIX=$0 WINE_RUN_PERSIST=0 WINE_RUN_TIMEOUT=${WINE_RUN_TIMEOUT:-240} "$1" "${@:2}"
    status=$?
    WINEPREFIX=$0 /usr/lib/wine/wineserver64 -k 2>/dev/null
    exit $status' "$prefix" "$here/../../cmake/wine-run.sh" "$@"
