#!/usr/bin/env bash
# Builds the file readers' libFuzzer targets with clang, writes their seed corpora with the
# project's own writers, and runs each target for a bounded time. A crash, a sanitizer report or a
# leak fails the run, and so does an input that takes longer than a few seconds: no reader may
# spend time out of proportion to its input.   Usage: tools/fuzz.sh [SECONDS_PER_TARGET]
# (default 15)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-15}

if [ ! -f build/fuzz/build.ninja ]; then
    CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DTRESKPRO_FUZZ=ON \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build build/fuzz -j2

build/fuzz/bin/treskpro-fuzz-seeds build/fuzz/seeds
status=0
for pair in PatchFile:patch HostChunk:chunk Config:config ControllerMap:controllers \
    Tuning:tuning PatternFile:pattern SongFile:song WavetableSet:wavetable \
    MidiFile:midi Png:png SkinDefinition:skin GuiSettings:gui; do
    target=${pair%%:*}
    seeds=${pair#*:}
    corpus=build/fuzz/corpus/$target
    mkdir -p "$corpus"
    cp -f build/fuzz/seeds/"$seeds"/* "$corpus"/
    if build/fuzz/bin/fuzz-"$target" -max_total_time="$seconds" -max_len=65536 -timeout=5 \
        -rss_limit_mb=2048 -print_final_stats=0 "$corpus" >build/fuzz/"$target".log 2>&1; then
        echo "fuzz: $target ran clean for $seconds s ($(ls "$corpus" | wc -l) corpus files)"
    else
        echo "fuzz: $target FAILED (build/fuzz/$target.log):"
        tail -n 30 build/fuzz/"$target".log
        status=1
    fi
done
exit $status
