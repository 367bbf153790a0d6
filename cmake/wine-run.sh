#!/usr/bin/env bash
# wine-run.sh prog.exe [args...] -- run a Windows program (PE32 or PE32+) under the
# Wine prefix prepared by wine-setup.sh, quietly, with its exit status.
#
# Environment:
#   WINEPREFIX        prefix (default ~/.wine-treskpro, same as tools/wine-setup.sh)
#   WINE_RUN_TIMEOUT  kill the program after this many seconds (default: none);
#                     exit status is then 124 as with timeout(1)
#   WINE_RUN_DEBUG    WINEDEBUG channels to enable instead of silence (e.g. +loaddll)
#   WINE_RUN_XVFB=1   run this one program inside its own xvfb-run (needs package
#                     xvfb); it then waits for Wine to shut down, so do not use it
#                     for parallel runs.  For many GUI-using tests prefer one display
#                     for the whole session:  xvfb-run -a ctest ...
#                     (Wine binds its desktop to the DISPLAY seen when its services
#                     start: without DISPLAY, CreateWindow fails; run
#                     'WINEPREFIX=... wineserver -k' after changing DISPLAY.)
#   WINE_RUN_PERSIST  seconds the wineserver (and Wine's services) stay up after
#                     the last program ends, so back-to-back runs start in ~0.5 s
#                     instead of ~2 s (default 5; 0 = Wine's default behaviour)
#
# Exit status: the program's own (Windows exit codes are truncated to 8 bits,
# an unhandled exception gives the low byte of the NTSTATUS, e.g. 5 for an
# access violation); 125 if the prefix is not set up.
set -u

export WINEPREFIX="${WINEPREFIX:-${HOME:-/root}/.wine-treskpro}"
fixdir="$WINEPREFIX/.qemufix"

if [ $# -lt 1 ]; then
    echo "usage: $0 prog.exe [args...]" >&2
    exit 125
fi
if [ ! -f "$WINEPREFIX/.setup-ok" ] || [ ! -f "$fixdir/mode" ]; then
    echo "wine-run.sh: $WINEPREFIX is not set up, run tools/wine-setup.sh first" >&2
    exit 125
fi

export WINEARCH=win64
export WINEDEBUG="${WINE_RUN_DEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
export WINESERVER=/usr/lib/wine/wineserver64
if [ "$(cat "$fixdir/mode")" = qemu ]; then
    # i386 processes load the fix, x86_64 ones a no-op ($LIB is expanded by ld.so)
    export LD_PRELOAD="$fixdir/\$LIB/wineqemufix.so${LD_PRELOAD:+ $LD_PRELOAD}"
    if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
        echo "wine-run.sh: binfmt_misc qemu-i386 handler missing (machine rebooted?), run tools/wine-setup.sh" >&2
        exit 125
    fi
fi

persist="${WINE_RUN_PERSIST:-5}"
[ "${WINE_RUN_XVFB:-0}" = 1 ] && persist=0
if [ "$persist" != 0 ]; then
    # starts a server only if none runs for this prefix (else exits 2, silently)
    "$WINESERVER" -p"$persist" >/dev/null 2>&1 || true
fi

# A 64-bit program (PE32+, machine 0x8664) goes straight to the 64-bit loader: the 32-bit one
# would only hand it over, after starting itself (under qemu, slowly).
loader=/usr/lib/wine/wine
if [ -f "$1" ]; then
    pe=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
    if [ -n "$pe" ] && [ "$(od -An -tx2 -j$((pe + 4)) -N2 "$1" 2>/dev/null | tr -d ' ')" = 8664 ]; then
        loader=/usr/lib/wine/wine64
    fi
fi
cmd=("$loader" "$@")
if [ -n "${WINE_RUN_TIMEOUT:-}" ]; then
    cmd=(timeout -k 10 "$WINE_RUN_TIMEOUT" "${cmd[@]}")
fi
if [ "${WINE_RUN_XVFB:-0}" = 1 ]; then
    command -v xvfb-run >/dev/null || { echo "wine-run.sh: xvfb-run not found (apt-get install xvfb)" >&2; exit 125; }
    # keep the X server up until every Wine process of this prefix has exited
    cmd=(xvfb-run -a -s "-screen 0 1280x1024x24" sh -c \
         '"$@"; rc=$?; timeout 60 "$WINESERVER" -w; exit $rc' wine-run "${cmd[@]}")
fi
exec "${cmd[@]}"
