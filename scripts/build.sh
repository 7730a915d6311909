#!/usr/bin/env bash
# Sets up the machine and builds every target: native (build/native),
# 32-bit Windows (build/win32) and 64-bit Windows (build/win64); then decodes
# the bundled samples (see scripts/run-samples.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/build-deps.sh
source scripts/targets.sh
for target in native win32 win64; do
  build_target "$target"
done
echo "build: native, win32 and win64 built"
bash scripts/run-samples.sh
