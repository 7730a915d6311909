#!/usr/bin/env bash
# Tests the 64-bit installer under Wine, in a fresh prefix: msiexec /i puts
# both decoders in place (each width in its own registry view), a fresh
# process finds the decoder through the imaging factory and tlg.exe runs from
# where it was installed; msiexec /x takes it all away again.
#   scripts/test-msi.sh MSI VERSION WORK_DIR    (needs build/win64's test_wic.exe)
set -euo pipefail
cd "$(dirname "$0")/.."
msi=$(realpath "$1") version=$2 work=$(mkdir -p "$3" && cd "$3" && pwd)
export TLG_WINE_DIR="$work/wine"
rm -rf "$TLG_WINE_DIR"
wine=scripts/wine-run.sh
tests=build/win64/bin/test_wic.exe
prefix="$TLG_WINE_DIR/wine64"
clsid=$(sed -n 's/^#define TLG_WIC_DECODER_CLSID "\(.*\)"$/\1/p' wic/guids.h)
fail() { echo "test-msi: $*"; exit 1; }

"$wine" msiexec /i "$msi" /qn || fail "msiexec /i failed"
installed="$prefix/drive_c/Program Files/tlg"
for file in tlg.exe tlgwic64.dll README.txt LICENSE.txt; do
  [ -f "$installed/$file" ] || fail "$file not installed"
done
[ -f "$prefix/drive_c/Program Files (x86)/tlg/tlgwic32.dll" ] || fail "tlgwic32.dll not installed"
"$wine" "$installed/tlg.exe" --version | tr -d '\r' | grep -qx "tlg $version" || fail "installed tlg.exe --version"
for view in 64 32; do
  "$wine" reg query "HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" /ve /reg:$view | tr -d '\r' |
    grep -q "Program Files.*\\\\tlgwic$view.dll" || fail "no $view-bit decoder in the $view-bit registry view"
done
"$wine" "$tests" --gtest_filter='-WicUnregistered.*' || fail "the installed decoder failed its tests"

"$wine" msiexec /x "$msi" /qn || fail "msiexec /x failed"
[ ! -e "$installed/tlgwic64.dll" ] || fail "tlgwic64.dll left behind"
"$wine" "$tests" --gtest_filter='WicUnregistered.TheFactoryNoLongerFindsTheDecoder' ||
  fail "the decoder is still found after msiexec /x"
echo "test-msi: installed, used and removed"
