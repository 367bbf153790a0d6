#!/usr/bin/env bash
# The second command: installs what is missing, builds every configuration and runs all tests:
# natively, with AddressSanitizer and UndefinedBehaviorSanitizer, the threaded tests with
# ThreadSanitizer, the 32-bit and 64-bit Windows builds under Wine, and the file readers' fuzzers
# for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup.sh
tools/build.sh native asan tsan win32 win64

passed=0
failed=0
stage() {
    local name=$1
    shift
    echo
    echo "test: $name"
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "test: $name FAILED"
    fi
}

for configuration in native asan win32 win64; do
    stage "$configuration" bash -c "cd build/$configuration && ctest --output-on-failure --timeout 600"
done
stage "threads (ThreadSanitizer)" \
    build/tsan/bin/treskpro-unit-tests --gtest_filter='PatchHandOver.*:HostState.*:RenderThreads.*:SafeFile.*:EditorThreads.*'
stage "fuzzing" tools/fuzz.sh 20

echo
echo "stages: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
