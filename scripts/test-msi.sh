#!/usr/bin/env bash
# Tests an installer under Wine, in a fresh prefix: msiexec /i puts the
# decoders in place (the x64 package both widths, each in its own registry
# view), a fresh process finds the decoder through the imaging factory and
# tlg.exe runs from where it was installed; msiexec /x takes it all away.
#   scripts/test-msi.sh MSI VERSION WORK_DIR
# tlg-*-x64.msi is tested with build/win64's test_wic.exe; tlg-*-x86.msi with
# build/win32's, in a 32-bit prefix (where 32-bit programs run: see run_32bit).
set -euo pipefail
cd "$(dirname "$0")/.."
msi=$(realpath "$1") version=$2 work=$(mkdir -p "$3" && cd "$3" && pwd)
export TLG_WINE_DIR="$work/wine"
rm -rf "$TLG_WINE_DIR"
wine=scripts/wine-run.sh
clsid=$(sed -n 's/^#define TLG_WIC_DECODER_CLSID "\(.*\)"$/\1/p' wic/guids.h)
fail() { echo "test-msi: $*"; exit 1; }

case "$msi" in
  *-x64.msi) tests=build/win64/bin/test_wic.exe prefix="$TLG_WINE_DIR/wine64" views="64 32"
             msiexec=msiexec reg=reg ;;
  *-x86.msi) tests=build/win32/bin/test_wic.exe prefix="$TLG_WINE_DIR/wine32" views=32
             # The prefix's own programs, so that wine-run.sh takes the 32-bit loader.
             "$wine" "$tests" --gtest_list_tests >/dev/null
             msiexec="$prefix/drive_c/windows/system32/msiexec.exe"
             reg="$prefix/drive_c/windows/system32/reg.exe" ;;
  *) fail "not an installer of ours: $msi" ;;
esac

"$wine" "$msiexec" /i "$msi" /qn || fail "msiexec /i failed"
installed="$prefix/drive_c/Program Files/tlg"
for file in tlg.exe README.txt LICENSE.txt "tlgwic${views%% *}.dll"; do
  [ -f "$installed/$file" ] || fail "$file not installed"
done
if [ "$views" = "64 32" ]; then
  [ -f "$prefix/drive_c/Program Files (x86)/tlg/tlgwic32.dll" ] || fail "tlgwic32.dll not installed"
fi
"$wine" "$installed/tlg.exe" --version | tr -d '\r' | grep -x "tlg $version" >/dev/null || fail "installed tlg.exe --version"
for view in $views; do
  "$wine" "$reg" query "HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32" /ve /reg:$view | tr -d '\r' |
    grep -q "Program Files.*\\\\tlgwic$view.dll" || fail "no $view-bit decoder in the $view-bit registry view"
done
"$wine" "$tests" --gtest_filter='-WicUnregistered.*' || fail "the installed decoder failed its tests"

"$wine" "$msiexec" /x "$msi" /qn || fail "msiexec /x failed"
[ ! -e "$installed/tlg.exe" ] || fail "tlg.exe left behind"
"$wine" "$tests" --gtest_filter='WicUnregistered.TheFactoryNoLongerFindsTheDecoder' ||
  fail "the decoder is still found after msiexec /x"
echo "test-msi: $(basename "$msi") installed, used and removed"
