#!/usr/bin/env bash
# Installs what is missing, builds velora and runs the whole test suite three times:
# as built for use, under AddressSanitizer and UndefinedBehaviorSanitizer, and against Qt 6.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh qt6
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
unset ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS

# Qt 5 is what velora ships with; this keeps the move to Qt 6 a switch.
echo "=== build and test against Qt 6 (RelWithDebInfo) ==="
cmake -S . -B build/qt6 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELORA_QT=6
cmake --build build/qt6 -j"$jobs"
(cd build/qt6 && ctest --output-on-failure -j"$jobs")

# ---- fuzzing -------------------------------------------------------------
# A short run of every libFuzzer target (clang, ASan + UBSan); any finding fails the test.
echo "=== fuzz the loaders and the workbook writers (one minute per target) ==="
bash scripts/fuzz.sh 60
echo "=== the fuzz targets against Qt 6 (ten seconds per target) ==="
VELORA_QT=6 VELORA_FUZZ_BUILD=build/qt6-fuzz bash scripts/fuzz.sh 10
