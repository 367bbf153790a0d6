#!/usr/bin/env bash
# The second command: installs what is missing, builds every configuration and runs all tests:
# natively, with AddressSanitizer and UndefinedBehaviorSanitizer, the threaded tests with
# ThreadSanitizer, the 32-bit Windows build under Wine, and the file readers' fuzzers for a
# bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup.sh
tools/build.sh native asan tsan win32

status=0
for configuration in native asan win32; do
    echo
    echo "test: $configuration"
    (cd "build/$configuration" && ctest --output-on-failure --timeout 600) || status=1
done

echo
echo "test: threads (ThreadSanitizer)"
build/tsan/bin/treskpro-unit-tests --gtest_filter='PatchHandOver.*:HostState.*' || status=1

echo
tools/fuzz.sh 20 || status=1
exit $status
