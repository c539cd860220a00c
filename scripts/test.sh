#!/usr/bin/env bash
# Installs what is missing, builds velora and runs the whole test suite twice:
# once as built for use, once under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
jobs=$(nproc)

echo "=== build and test (RelWithDebInfo) ==="
cmake -S . -B build/test -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/test -j"$jobs"
(cd build/test && ctest --output-on-failure -j"$jobs")

echo "=== build and test under AddressSanitizer + UndefinedBehaviorSanitizer ==="
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DVELORA_SANITIZE=ON -DVELORA_BENCH=OFF
cmake --build build/asan -j"$jobs"
export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
(cd build/asan && ctest --output-on-failure -j"$jobs")

# ---- fuzzing -------------------------------------------------------------
# A short run of every libFuzzer target (clang, ASan + UBSan); any finding fails the test.
echo "=== fuzz the loaders and the workbook writers (one minute per target) ==="
bash scripts/fuzz.sh 60
