#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test; then builds once more with
# AddressSanitizer and UndefinedBehaviorSanitizer and runs the unit tests there.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

JOBS="${LUMORA_JOBS:-$(nproc)}"
export CTEST_OUTPUT_ON_FAILURE=1

bash scripts/build.sh build
(cd build && ctest -j "$JOBS" --timeout 900)

bash scripts/build.sh build-asan -DLUMORA_SANITIZE=ON -DLUMORA_BUILD_BENCH=OFF
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
(cd build-asan && ctest -j "$JOBS" -L unit --timeout 900)
echo "All tests passed."
