#!/usr/bin/env bash
# Runs the whole test suite: native, native under AddressSanitizer and
# UndefinedBehaviorSanitizer, and 32-bit Windows under Wine. Fails when any test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

configure() {  # configure DIR [cmake args...]
  local dir=$1
  shift
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  fi
  cmake --build "$dir" -j "$jobs"
}

configure build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo
configure build/asan -DCMAKE_BUILD_TYPE=Debug -DTLG_SANITIZE=ON -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++
configure build/win32 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake

export TLG_WINEPREFIX="$PWD/build/wine32-prefix"
scripts/wine-run.sh cmd /c exit 0 >/dev/null 2>&1 || true  # create the prefix once, before timing starts

status=0
for dir in build/native build/asan build/win32; do
  echo "== tests: $dir"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" || status=1
done
exit $status
