#!/usr/bin/env bash
# The libFuzzer targets (fuzz/), built with clang in build-fuzz/.
#   scripts/fuzz.sh --replay          runs every target once over its seed corpus (CI; seconds)
#   scripts/fuzz.sh SECONDS [NAME..]  fuzzes each target (or the named ones) for SECONDS; new inputs
#                                     go to build-fuzz/corpus/NAME, crashes to build-fuzz/findings/
set -euo pipefail
cd "$(dirname "$0")/.."
mode="${1:-}"
if [ -z "$mode" ]; then
  echo "usage: $0 --replay | SECONDS [target...]" >&2
  exit 2
fi
shift
dir="${TVC_FUZZ_BUILD_DIR:-build-fuzz}"
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DTVC_FUZZ=ON -DTVC_BUILD_TESTS=OFF -DTVC_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" --target fuzz_targets -j "$(nproc)"
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=($(ls fuzz/corpus))
fi
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
for name in "${targets[@]}"; do
  bin="$dir/bin/fuzz_$name"
  if [ "$mode" = --replay ]; then
    echo "--- $name: replaying $(ls fuzz/corpus/$name | wc -l) inputs"
    "$bin" -runs=0 "fuzz/corpus/$name" 2>&1 | tail -n 2
  else
    mkdir -p "$dir/corpus/$name" "$dir/findings/$name"
    echo "--- $name: fuzzing for $mode s"
    "$bin" -max_total_time="$mode" -max_len=65536 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$dir/findings/$name/" "$dir/corpus/$name" "fuzz/corpus/$name" 2>&1 |
      grep -E "^(stat::number_of_executed_units|stat::new_units_added|Done|==|SUMMARY|property broken)" || true
  fi
done
