#!/usr/bin/env bash
# Builds the NMEA fuzz target with clang, AddressSanitizer and UndefinedBehaviorSanitizer
# (in build-fuzz/, apart from the normal g++ builds) and runs it on the corpus.
# Usage: fuzz/gps/run.sh [seconds, default 600] [extra libFuzzer options...]
set -euo pipefail
cd "$(dirname "$0")/../.."
SECONDS_TO_RUN="${1:-600}"
shift || true
JOBS="${LUMORA_JOBS:-$(nproc)}"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DLUMORA_BUILD_FUZZ=ON -DLUMORA_SANITIZE=ON -DLUMORA_BUILD_BENCH=OFF
cmake --build build-fuzz -j "$JOBS" --target fuzz_nmea_lines
# New inputs go to a scratch folder; the corpus in the repository stays as it is.
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
build-fuzz/bin/fuzz_nmea_lines -max_total_time="$SECONDS_TO_RUN" -print_final_stats=1 \
    -max_len=8192 "$@" "$WORK" fuzz/gps/corpus
