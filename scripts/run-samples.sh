#!/usr/bin/env bash
# The main job on the bundled samples: decodes each one with the tlg tool and
# through the real plug-in DLL under Wine with our host program, and writes
# pictures that a person can open.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/targets.sh
export TLG_WINE_DIR="$PWD/build/wine"
out=out/samples
mkdir -p "$out/tlg" "$out/plugin-64" "$out/plugin-32"

if [ "${1:-}" != --plugin-32 ]; then
  echo "samples: tlg info"
  build/native/bin/tlg info samples/*.tlg
  build/native/bin/tlg decode -f samples/*.tlg -d "$out/tlg"  # our own outputs of a run before
fi

run_plugin() {  # run_plugin BUILD_DIR PLUGIN OUT_DIR
  for sample in samples/*.tlg; do
    name=$(basename "$sample" .tlg)
    scripts/wine-run.sh "$1/bin/spi_host.exe" "$1/bin/$2" "$sample" "$3/$name.bmp"
  done
}
if [ "${1:-}" = --plugin-32 ]; then  # the 32-bit half, run where 32-bit programs execute
  run_plugin build/win32 iftlg.spi "$out/plugin-32"
  exit 0
fi
run_plugin build/win64 iftlg.sph "$out/plugin-64"
run_32bit bash scripts/run-samples.sh --plugin-32
echo "samples: pictures written to $out/tlg (PNG, from the tlg tool) and $out/plugin-* (BMP, from the plug-in)"
