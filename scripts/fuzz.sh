#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each for the
# given number of seconds (default 60), two at a time, with the dictionary and
# a scratch copy of the seed corpus. Exits non-zero when any target finds an
# input that crashes it or breaks its checks; such inputs are kept under
# <build>/findings/<target>/ and belong, once fixed, in fuzz/regressions/.
#   bash scripts/fuzz.sh [seconds-per-target] [target ...]
# VELORA_QT=6 builds them against Qt 6 (best in its own VELORA_FUZZ_BUILD).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_problem fuzz_answer fuzz_roster fuzz_xlsx fuzz_xls)
build=${VELORA_FUZZ_BUILD:-build/fuzz}

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELORA_FUZZ=ON -DVELORA_SANITIZE=ON -DBUILD_TESTING=OFF -DVELORA_BENCH=OFF -DVELORA_QT="${VELORA_QT:-5}" >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/velora-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
findings=$PWD/$build/findings
export LC_ALL=C.UTF-8 LANG=C.UTF-8
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp

run_one() {
  local t=$1 max_len=65536
  case $t in fuzz_xlsx | fuzz_xls) max_len=16384 ;; esac
  mkdir -p "$scratch/$t/corpus" "$scratch/$t/artifacts"
  cp fuzz/corpus/"$t"/* "$scratch/$t/corpus/"
  cp fuzz/regressions/"$t"/* "$scratch/$t/corpus/" 2>/dev/null || true
  local rc=0
  "$build/fuzz/$t" -dict=fuzz/velora.dict -max_total_time="$seconds" -max_len="$max_len" \
    -rss_limit_mb=4096 -timeout=30 -print_final_stats=1 \
    -artifact_prefix="$scratch/$t/artifacts/" "$scratch/$t/corpus" >"$scratch/$t/log" 2>&1 || rc=$?
  echo "$rc" >"$scratch/$t/rc"
}

# Two at a time: the machine has two cores.
pids=()
for t in "${targets[@]}"; do
  run_one "$t" &
  pids+=($!)
  if [ ${#pids[@]} -ge 2 ]; then
    wait "${pids[0]}"
    pids=("${pids[@]:1}")
  fi
done
wait

failed=0
printf '%-14s %12s %8s %7s %8s %7s  %s\n' target executions exec/s cov ft corpus result
for t in "${targets[@]}"; do
  log=$scratch/$t/log
  rc=$(cat "$scratch/$t/rc")
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  status=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$status")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$status")
  corpus=$(find "$scratch/$t/corpus" -type f | wc -l)
  result=clean
  if [ "$rc" != 0 ] || [ -n "$(ls -A "$scratch/$t/artifacts")" ]; then
    result="FOUND (exit $rc)"
    failed=$((failed + 1))
    mkdir -p "$findings/$t"
    cp "$scratch/$t/artifacts/"* "$findings/$t/" 2>/dev/null || true
    cp "$log" "$findings/$t/log"
    grep -E 'contract violated|ERROR:|SUMMARY:' "$log" | head -5 | sed 's/^/    /'
  fi
  printf '%-14s %12s %8s %7s %8s %7s  %s\n' "$t" "${execs:-?}" "${rate:-?}" "${cov:-?}" "${ft:-?}" "$corpus" "$result"
done
echo "fuzz: $((${#targets[@]} - failed)) passed, $failed failed"
if [ "$failed" != 0 ]; then
  echo "fuzzing found inputs that break velora: see $findings" >&2
  exit 1
fi
