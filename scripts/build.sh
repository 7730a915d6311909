#!/usr/bin/env bash
# Sets up the machine and builds every target: native (build/native),
# 32-bit Windows (build/win32), 64-bit Windows (build/win64) and WebAssembly
# (build/web); then decodes the bundled samples (see scripts/run-samples.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/build-deps.sh
source scripts/targets.sh
for target in native win32 win64; do
  build_target "$target"
done
bash scripts/build-web.sh  # libtlg in WebAssembly, for the JavaScript package
echo "build: native, win32, win64 and WebAssembly built"
bash scripts/run-samples.sh
