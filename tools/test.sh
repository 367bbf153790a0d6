#!/usr/bin/env bash
# The second command: installs what is missing, builds every configuration and runs all tests:
# natively, with AddressSanitizer and UndefinedBehaviorSanitizer, and the 32-bit Windows build
# under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup.sh
tools/build.sh native asan win32

status=0
for configuration in native asan win32; do
    echo
    echo "test: $configuration"
    (cd "build/$configuration" && ctest --output-on-failure --timeout 600) || status=1
done
exit $status
