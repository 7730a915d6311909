#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a bounded time from seeds made
# by our encoders. Fails on any finding; a crashing input is left in
# build/fuzz/findings/.
#   scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
dir=build/fuzz
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTLG_FUZZ=ON -DTLG_BUILD_TESTS=OFF \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
fi
cmake --build "$dir" -j "$(nproc)"

seeds="$dir/seeds"
rm -rf "$seeds"
"$dir/bin/make_seeds" "$seeds"
mkdir -p "$dir/findings"

declare -A corpus=(
  [fuzz_load_tlg]=tlg [fuzz_get_picture]=tlg [fuzz_slide_decompress]=slide
  [fuzz_tags]=tags [fuzz_round_trip]=pixels [fuzz_tlg6_values]=values
  [fuzz_libtlg_decode]=tlg
)
status=0
targets=(fuzz_load_tlg fuzz_get_picture fuzz_slide_decompress fuzz_tags fuzz_tlg6_values fuzz_round_trip
         fuzz_libtlg_decode)
for target in "${targets[@]}"; do
  work="$dir/corpus/$target"
  mkdir -p "$work"
  log="$dir/$target.log"
  # Every input that once found a fault runs first, under the same limits.
  if [ -d "fuzz/regressions/$target" ]; then
    if ! "$dir/bin/$target" -rss_limit_mb=2048 -malloc_limit_mb=1024 -timeout=10 \
         fuzz/regressions/"$target"/* >"$log" 2>&1; then
      echo "fuzz: $target fails on a regression input; its log follows"
      tail -n 60 "$log"
      status=$((status + 1))
      continue
    fi
  fi
  if "$dir/bin/$target" "$work" "$seeds/${corpus[$target]}" -max_total_time="$seconds" \
       -rss_limit_mb=2048 -malloc_limit_mb=1024 -timeout=10 -print_final_stats=1 \
       -artifact_prefix="$dir/findings/$target-" >"$log" 2>&1; then
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
    echo "fuzz: $target ran $runs inputs in ${seconds}s, no finding"
  else
    echo "fuzz: $target FOUND A FAULT; its log follows"
    tail -n 60 "$log"
    status=$((status + 1))
  fi
done
echo "fuzz: $(( ${#targets[@]} - status )) passed, $status failed"
[ "$status" -eq 0 ]
