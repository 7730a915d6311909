#!/usr/bin/env bash
# Decode benchmark of TLG against libpng and libwebp on real pictures, the
# TLG decoders' instructions per pixel under callgrind, and encoder speed and
# instructions per pixel against libpng's and libwebp's encoders.
# Writes out/bench/results.md and out/bench/throughput.png and prints the
# table. Not part of scripts/test.sh or CI: it takes several minutes.
#   scripts/bench.sh [--quick]   (--quick: shorter timing runs, no callgrind)
#   scripts/bench.sh --web       the WebAssembly decoder against the browser's
#                                PNG and WebP in headless Chromium, and against
#                                the native decoder: out/bench/web.md
set -euo pipefail
cd "$(dirname "$0")/.."

quick=""
web=""
if [ "${1:-}" = "--quick" ]; then quick=1; fi
if [ "${1:-}" = "--web" ]; then web=1; fi

bash scripts/setup.sh
bash scripts/fetch-bench-images.sh
source scripts/targets.sh
build_target native

bin=build/native/bin
files=cache/bench/files
out=out/bench
mkdir -p "$out"
"$bin/prepare_corpus" cache/bench/source "$files"

if [ -n "$web" ]; then
  bash scripts/build-web.sh >/dev/null
  "$bin/tlg_bench" --benchmark_filter='^decode/tlg[56]/' --benchmark_min_time=0.2 \
    --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true \
    --benchmark_report_aggregates_only=true \
    --benchmark_out="$out/web-native.json" --benchmark_out_format=json "$files" >/dev/null
  node web/browser/bench.js build/web/app "$files" "$out/web-native.json" >"$out/web.md"
  cat "$out/web.md"
  exit 0
fi

# Every contender in one run, repetitions interleaved at random, so that the
# ratios hold while the machine's load changes; the fastest of each is kept.
repetitions=7
min_time=0.2
if [ -n "$quick" ]; then repetitions=1; min_time=0.1; fi
"$bin/tlg_bench" --benchmark_filter='^decode/' --benchmark_min_time=$min_time \
  --benchmark_repetitions=$repetitions --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true \
  --benchmark_out="$out/decode.json" --benchmark_out_format=json "$files" >/dev/null

# Encoders: ours, libpng and libwebp on the same pixels, one encode per
# repetition (the slowest take seconds), interleaved likewise.
encode_repetitions=3
if [ -n "$quick" ]; then encode_repetitions=1; fi
"$bin/tlg_bench" --benchmark_filter='^encode/' --benchmark_min_time=0 \
  --benchmark_repetitions=$encode_repetitions --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true \
  --benchmark_out="$out/encode.json" --benchmark_out_format=json "$files" >/dev/null

# Instructions of LoadTlg alone, per set and format.
if [ -z "$quick" ]; then
  : >"$out/callgrind.tsv"
  for set in $(ls "$files"); do
    for fmt in tlg6 tlg5; do
      pixels=$("$bin/decode_once" "$files/$set"/*."$fmt")
      valgrind --tool=callgrind --toggle-collect='LoadTlg(*' \
        --callgrind-out-file="$out/callgrind.$set.$fmt" "$bin/decode_once" "$files/$set"/*."$fmt" \
        >/dev/null 2>&1
      ir=$(grep -E '^(summary|totals):' "$out/callgrind.$set.$fmt" | head -n1 | awk '{print $2}')
      printf '%s\t%s\t%s\t%s\n' "$fmt" "$set" "$ir" "$pixels" >>"$out/callgrind.tsv"
    done
  done
  # And of our encoders (one thread), from the same pixels.
  : >"$out/callgrind-encode.tsv"
  for set in $(ls "$files"); do
    for fmt in tlg6 tlg5; do
      valgrind --tool=callgrind --toggle-collect='EncodeOnce(*' \
        --callgrind-out-file="$out/callgrind-encode.$set.$fmt" \
        "$bin/encode_once" "$fmt" "$files/$set"/*.png >"$out/encode_once.$set.$fmt" 2>/dev/null
      pixels=$(awk '$1 == "total" {print $2}' "$out/encode_once.$set.$fmt")
      ir=$(grep -E '^(summary|totals):' "$out/callgrind-encode.$set.$fmt" | head -n1 | awk '{print $2}')
      printf '%s\t%s\t%s\t%s\n' "$fmt" "$set" "$ir" "$pixels" >>"$out/callgrind-encode.tsv"
    done
  done
fi

# Batch work with the tool over the whole corpus: one file at a time against
# the default of one per core; the wall time of the best of five runs, since
# a shared machine's load moves two-core runs most.
batch_time() {  # batch_time COMMAND... ; prints seconds
  local best=""
  for _ in 1 2 3 4 5; do
    rm -rf "$out/batch" && mkdir -p "$out/batch"
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    best=$(echo "$start $end ${best:-1e9}" | awk '{t = $2 - $1; print (t < $3 ? t : $3)}')
  done
  echo "$best"
}
tlgs=("$files"/*/*.tlg6)
pngs=("$files"/*/*.png)
{
  echo "| batch over the corpus | -j 1 (s) | default -j $(nproc) (s) | speed-up |"
  echo "| --- | --- | --- | --- |"
  for job in "decode:${#tlgs[@]} TLG6 files" "encode:${#pngs[@]} PNG files to TLG6"; do
    command=${job%%:*}
    inputs=("${tlgs[@]}")
    [ "$command" = encode ] && inputs=("${pngs[@]}")
    # The corpus names its TLG6 files .tlg6; the tool reads any name.
    one=$(batch_time "$bin/tlg" "$command" -j 1 -d "$out/batch" "${inputs[@]}")
    all=$(batch_time "$bin/tlg" "$command" -d "$out/batch" "${inputs[@]}")
    printf '| `tlg %s`, %s | %.2f | %.2f | %.2fx |\n' "$command" "${job#*:}" "$one" "$all" \
      "$(echo "$one $all" | awk '{print $1 / $2}')"
  done
} >"$out/batch.md"
rm -rf "$out/batch"

/usr/bin/python3 scripts/bench_report.py "$out/decode.json" --encode "$out/encode.json" \
  --callgrind "$out/callgrind.tsv" --callgrind-encode "$out/callgrind-encode.tsv" --out "$out"
cat "$out/batch.md" >>"$out/results.md"
cat "$out/batch.md"
