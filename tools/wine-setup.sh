#!/usr/bin/env bash
# wine-setup.sh -- prepare this Debian 12 (bookworm) amd64 machine to run 32-bit
# Windows console programs (PE32, i686-w64-mingw32) under Wine, unattended.
#
# Works on kernels that cannot execute 32-bit x86 code (e.g. PVM/firecracker
# guests: "Exec format error" for any i386 ELF).  There, 32-bit Wine runs under
# qemu-i386 user emulation via binfmt_misc, with a small LD_PRELOAD helper
# (built here) that works around qemu-user bugs that otherwise make every
# Wine process start take ~1 minute and make multi-threaded programs crash.
#
# Idempotent; run as root.  Environment:
#   WINEPREFIX          prefix to create        (default ~/.wine-treskpro)
#   WINE_SETUP_TIMEOUT  seconds for prefix boot (default 300)
#   WINE_SETUP_NO_APT=1 never call apt-get (fail if something is missing)
# Exit status 0 = ready; non-zero with a message on stderr otherwise.
set -euo pipefail

WINEPREFIX="${WINEPREFIX:-${HOME:-/root}/.wine-treskpro}"
BOOT_TIMEOUT="${WINE_SETUP_TIMEOUT:-300}"
FIXDIR="$WINEPREFIX/.qemufix"
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
export WINEPREFIX WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINESERVER=/usr/lib/wine/wineserver64

log() { printf '[wine-setup] %s\n' "$*" >&2; }
die() { printf '[wine-setup] ERROR: %s\n' "$*" >&2; exit 1; }
t0=$(date +%s)

[ "$(id -u)" = 0 ] || die "must run as root"
[ "$(dpkg --print-architecture)" = amd64 ] || die "only amd64 hosts are supported"
for c in timeout gcc; do command -v "$c" >/dev/null || die "'$c' is required (apt-get install coreutils gcc)"; done

# ---------------------------------------------------------------- packages
pkgs=(wine wine32:i386 wine64 libwine:i386 qemu-user-static)
missing=()
for p in "${pkgs[@]}"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    [ "${WINE_SETUP_NO_APT:-0}" = 1 ] && die "missing packages: ${missing[*]}"
    log "installing: ${missing[*]}"
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    export DEBIAN_FRONTEND=noninteractive
    timeout 600 apt-get update -qq >/dev/null || die "apt-get update failed"
    timeout 900 apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null \
        || die "apt-get install ${missing[*]} failed"
fi
[ -x /usr/lib/wine/wine ] && [ -x /usr/lib/wine/wine64 ] && [ -x "$WINESERVER" ] \
    || die "wine loaders not found in /usr/lib/wine (Debian wine 8.0 layout expected)"

# ---------------------------------------------------------------- 32-bit ELF execution
run32() { timeout 60 /lib/ld-linux.so.2 --version >/dev/null 2>&1; }
# an enabled binfmt_misc entry for i386 ELF takes precedence over native exec
i386_binfmt() {
    local f
    for f in /proc/sys/fs/binfmt_misc/*; do
        case "$f" in */register|*/status) continue ;; esac
        [ -f "$f" ] && grep -qx enabled "$f" 2>/dev/null \
            && grep -q '^magic 7f454c4601010100000000000000000002000300' "$f" 2>/dev/null && return 0
    done
    return 1
}
mode=native
if i386_binfmt || ! run32; then
    mode=qemu
    [ -x /usr/bin/qemu-i386-static ] || die "qemu-i386-static missing"
    if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
        mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null \
            || die "cannot mount binfmt_misc (need root in the initial namespace)"
    fi
    if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
        grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-i386 || echo 1 > /proc/sys/fs/binfmt_misc/qemu-i386
    else
        log "registering binfmt_misc handler qemu-i386 -> /usr/bin/qemu-i386-static"
        printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
            > /proc/sys/fs/binfmt_misc/register || die "binfmt_misc registration failed"
    fi
    grep -qx enabled /proc/sys/fs/binfmt_misc/status || echo 1 > /proc/sys/fs/binfmt_misc/status
    run32 || die "32-bit ELF still cannot run (tried /lib/ld-linux.so.2 --version through qemu-i386)"
fi
log "32-bit ELF execution: $mode"

# ---------------------------------------------------------------- LD_PRELOAD helper
mkdir -p "$WINEPREFIX" "$FIXDIR/lib/i386-linux-gnu" "$FIXDIR/lib/x86_64-linux-gnu"
src="$FIXDIR/wineqemufix.c"
cp "$HERE/wine/wineqemufix.c" "$src.new"
so32="$FIXDIR/lib/i386-linux-gnu/wineqemufix.so"
so64="$FIXDIR/lib/x86_64-linux-gnu/wineqemufix.so"
if [ ! -s "$so32" ] || [ ! -s "$so64" ] || ! cmp -s "$src.new" "$src"; then
    mv -f "$src.new" "$src"
    gcc -m32 -O2 -fPIC -shared -nostdlib -ffreestanding -fno-stack-protector \
        -o "$so32.tmp" "$src" /lib/i386-linux-gnu/libc.so.6 || die "building $so32 failed"
    # 64-bit processes inherit LD_PRELOAD='.../$LIB/wineqemufix.so': give them a no-op
    echo 'void wineqemufix_noop(void) {}' > "$FIXDIR/noop64.c"
    gcc -O2 -fPIC -shared -nostdlib -o "$so64.tmp" "$FIXDIR/noop64.c" || die "building $so64 failed"
    mv -f "$so32.tmp" "$so32"; mv -f "$so64.tmp" "$so64"
else
    rm -f "$src.new"
fi
echo "$mode" > "$FIXDIR/mode"
if [ "$mode" = qemu ]; then
    export LD_PRELOAD="$FIXDIR/\$LIB/wineqemufix.so"
fi

# ---------------------------------------------------------------- prefix
cleanup_server() { timeout 30 "$WINESERVER" -k >/dev/null 2>&1 || true; }
if [ -f "$WINEPREFIX/.setup-ok" ] && [ -f "$WINEPREFIX/system.reg" ]; then
    log "prefix $WINEPREFIX already initialised"
else
    log "creating prefix $WINEPREFIX (timeout ${BOOT_TIMEOUT}s)"
    rm -f "$WINEPREFIX/.setup-ok"
    if ! timeout -k 10 "$BOOT_TIMEOUT" /usr/lib/wine/wine64 wineboot -i >"$FIXDIR/wineboot.log" 2>&1; then
        cleanup_server
        tail -n 20 "$FIXDIR/wineboot.log" >&2 || true
        die "wineboot -i failed or timed out (log: $FIXDIR/wineboot.log)"
    fi
    timeout 120 "$WINESERVER" -w || { cleanup_server; die "wineserver did not finish after wineboot"; }
    [ -f "$WINEPREFIX/system.reg" ] || die "prefix was not created (no system.reg)"
    # no crash debugger: an unhandled exception must end the program at once
    # (winedbg would start and wait); the exit status is then the NTSTATUS.
    for key in 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
               'HKLM\Software\Wow6432Node\Microsoft\Windows NT\CurrentVersion\AeDebug'; do
        timeout 120 /usr/lib/wine/wine64 reg add "$key" /v Debugger /t REG_SZ /d "" /f >/dev/null 2>&1 \
            && timeout 120 /usr/lib/wine/wine64 reg add "$key" /v Auto /t REG_SZ /d 0 /f >/dev/null 2>&1 \
            || { cleanup_server; die "could not configure AeDebug in the registry"; }
    done
    timeout 120 "$WINESERVER" -w || { cleanup_server; die "wineserver did not finish"; }
fi

# ---------------------------------------------------------------- self-test (32-bit cmd.exe)
log "self-test: 32-bit cmd.exe"
out=$(cd / && timeout -k 10 180 /usr/lib/wine/wine 'C:\windows\syswow64\cmd.exe' /c 'echo wine32-ok& exit 3' 2>/dev/null) && rc=0 || rc=$?
if [ "$rc" != 3 ] || ! printf '%s' "$out" | grep -q wine32-ok; then
    cleanup_server
    die "self-test failed (rc=$rc, output: ${out:-<none>})"
fi
timeout 60 "$WINESERVER" -w || cleanup_server
touch "$WINEPREFIX/.setup-ok"
log "ready in $(( $(date +%s) - t0 ))s: run programs with cmake/wine-run.sh prog.exe args..."
