#!/usr/bin/env bash
# Counts the instructions the instrument spends on one second of audio, with valgrind's
# callgrind: figures that do not depend on the machine's speed or on what else it is doing.
# Each figure is the difference between a long and a short render of the same pattern, divided
# by the difference in audio length, so loading the plug-in and its tables drops out. What is
# left over is reported too: loading and start-up, the instructions a render of no length would
# take.
#
# Usage: tools/instructions.sh [BUILD_FOLDER]   (default build/native)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/native}
render=$build/bin/treskpro-render
patches="$build/bundle/Tresk Pro Patches"
default_patch="$patches/Tresk Pro Patch.tpro"

if ! command -v valgrind >/dev/null; then
    echo "instructions: valgrind is needed (apt-get install valgrind)" >&2
    exit 1
fi
if [ ! -x "$render" ] || [ ! -f "$default_patch" ]; then
    echo "instructions: build $build first (tools/build.sh native)" >&2
    exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Prints "INSTRUCTIONS SECONDS" for one render of BARS bars of PATCH's pattern.
measure() {
    local patch=$1 bars=$2
    valgrind --tool=callgrind --callgrind-out-file="$work/callgrind.out" \
        "$render" --patch "$patch" --bars "$bars" --tail 0 --bench --repeat 1 \
        >"$work/render.log" 2>"$work/valgrind.log"
    local instructions seconds
    instructions=$(sed -n 's/.*Collected : \([0-9]*\).*/\1/p' "$work/valgrind.log")
    seconds=$(sed -n 's/^bench: \([0-9.]*\) s of audio.*/\1/p' "$work/render.log")
    echo "$instructions $seconds"
}

# Prints the instructions per second of audio of PATCH as millions, with a label; with a third
# argument, also what a render of no length would take (loading and start-up).
per_second() {
    local label=$1 patch=$2 with_load=${3:-}
    read -r short_count short_seconds < <(measure "$patch" 4)
    read -r long_count long_seconds < <(measure "$patch" 12)
    awk -v label="$label" -v a="$short_count" -v b="$long_count" -v s="$short_seconds" \
        -v t="$long_seconds" -v with_load="$with_load" 'BEGIN {
            rate = (b - a) / (t - s)
            printf "%-42s %7.1f M instructions per second of audio\n", label, rate / 1e6
            if (with_load != "")
                printf "%-42s %7.1f M instructions\n", "loading and start-up", (a - rate * s) / 1e6
        }'
}

# The first instance of a process on its own: the library's loading and its entry point, which
# reads the wavetables and the plug-in folder's files, counted apart from the host around it.
valgrind --tool=callgrind --callgrind-out-file="$work/load.out" \
    --toggle-collect='treskpro::PluginHost::load*' "$render" --info "$build/bundle/Treskpro.so" \
    >/dev/null 2>"$work/valgrind.log"
sed -n 's/.*Collected : \([0-9]*\).*/\1/p' "$work/valgrind.log" |
    awk '{ printf "%-42s %7.1f M instructions\n", "first instance load to ready", $1 / 1e6 }'

per_second "default patch's pattern (filter model 0)" "$default_patch" load

# The costliest filter model, oversampled twice, on the same pattern and sound.
sed 's/^FilterMode = .*/FilterMode = 5\r/' "$default_patch" >"$work/Model 5.tpro"
per_second "the same pattern through filter model 5" "$work/Model 5.tpro"
