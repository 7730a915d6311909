#!/usr/bin/env bash
# Decoding through the Windows Imaging Component against tlg_decode, under
# Wine, on the benchmark corpus (see scripts/bench.sh): the 64-bit decoder is
# registered in a Wine prefix of its own, then bench/wic_bench.cpp times both
# on every TLG5 and TLG6 file. Writes out/bench/wic.md and prints it.
#   scripts/bench-wic.sh [--rounds N]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/targets.sh

files=cache/bench/files
if [ ! -d "$files" ]; then
  bash scripts/fetch-bench-images.sh
  build_target native
  build/native/bin/prepare_corpus cache/bench/source "$files"
fi
cmake --build build/win64 -j "$jobs" --target tlgwic wic_bench test_wic >/dev/null

export TLG_WINE_DIR="$PWD/build/bench-wic"
rm -rf "$TLG_WINE_DIR"
bin=build/win64/bin
scripts/wine-run.sh "$bin/test_wic.exe" --regsvr32 "$bin/tlgwic64.dll"
mkdir -p out/bench
scripts/wine-run.sh "$bin/wic_bench.exe" "$@" "$files"/*/*.tlg6 "$files"/*/*.tlg5 | tr -d '\r' | tee out/bench/wic.md
