#!/usr/bin/env bash
# Tests the release packages: scripts/package.sh twice gives the same bytes,
# the checksums hold, lintian finds nothing to warn of in the Debian packages,
# and the Windows zip, unpacked into an empty folder, works from that folder
# alone under Wine, as a user's download would.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/targets.sh
export TLG_WINE_DIR="$PWD/build/wine"
version=$(sed -n 's/^project(tlg VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
work="$PWD/build/package-test"  # inside the project: the 32-bit virtual machine sees it
rm -rf "$work"
mkdir -p "$work"

source scripts/checks.sh

bash scripts/package.sh || { echo "package: 0 passed, 1 failed"; exit 1; }
TLG_DIST="$work/second" bash scripts/package.sh >/dev/null || { echo "package: 0 passed, 1 failed"; exit 1; }
zip="tlg-$version-windows.zip"
tarball="tlg-$version-linux-x86_64.tar.gz"
debs=$(cd dist && ls ./*.deb | sed 's|^\./||')
for file in "$zip" "$tarball" $debs SHA256SUMS "tlg-$version-x64.msi" "tlg-$version-x86.msi" "tlg-$version-web.zip"; do
  check "$file is the same bytes in two runs" cmp "dist/$file" "$work/second/$file"
done
check "SHA256SUMS holds" sh -c "cd dist && sha256sum -c SHA256SUMS"
check "the web zip holds the page, its libraries and the package" sh -c "python3 -m zipfile -l dist/tlg-$version-web.zip |
  grep -c -e '^tlg-$version-web/\(index.html\|app.js\|worker.js\|vendor.js\|tlg/index.js\|tlg/tlg-core-simd.wasm\) ' | grep -qx 6"

# The Debian packages: each of them, and lintian finds nothing to warn of
# (scripts/test-deb.sh installs them).
check "the six Debian packages are there" test "$(echo $debs | tr ' ' '\n' | sed 's/_.*//' | tr '\n' ' ')" = \
  "libtlg-dev libtlg-gdk-pixbuf libtlg1 python3-tlg qt6-tlg-image-plugin tlg "
header_functions() {
  grep -o 'TLG_API [^(;]*[ *]tlg_[a-z0-9_]*(' include/tlg/tlg.h | sed 's/.*[ *]\(tlg_[a-z0-9_]*\)($/\1/' | sort
}
# libtlg1's symbols file is complete as its package is built; this catches a
# function it lists that the library lost while still at the listed version.
symbols_match() {
  local exported listed
  exported=$(dpkg-deb --ctrl-tarfile "dist/libtlg1_${version}_amd64.deb" | tar -xO ./symbols |
    sed -n 's/^ \([a-z0-9_]*\)@Base .*/\1/p' | LC_ALL=C sort)
  listed=$(sed -n 's/^ \([a-z0-9_]*\)@Base .*/\1/p' debian/libtlg1.symbols | LC_ALL=C sort)
  [ "$(echo "$listed" | wc -l)" -ge 10 ] && [ "$exported" = "$listed" ] &&
    [ "$listed" = "$(header_functions | grep -v '_w$' | LC_ALL=C sort)" ]
}
check "libtlg1's symbols are the header's functions, every one exported" symbols_match
check "lintian: no error or warning in the Debian packages" \
  lintian --fail-on error,warning $(printf 'dist/%s ' $debs)

# The zip: exactly the files a user expects, README.txt in CRLF.
unpacked="$work/unpacked"
mkdir -p "$unpacked"
python3 -m zipfile -e "dist/$zip" "$unpacked"
windows="$unpacked/tlg-$version-windows"
listing() { (cd "$windows" && ls | tr '\n' ' '); }
check "the zip holds the plug-ins, the codecs, the tool, libtlg, the read-me and the licence" \
  test "$(listing)" = "LICENSE.txt README.txt iftlg.sph iftlg.spi install.cmd libtlg tlg.exe tlgwic32.dll tlgwic64.dll uninstall.cmd "
check "the zip's libtlg holds both DLLs, their import libraries, tlg.def and the header" \
  test "$(cd "$windows/libtlg" && find . -type f | LC_ALL=C sort | tr '\n' ' ')" = \
  "./include/tlg/tlg.h ./include/tlg/tlg_version.h ./tlg.def ./x64/libtlg.dll.a ./x64/tlg.dll ./x86/libtlg.dll.a ./x86/tlg.dll "
check "README.txt has CRLF line ends" python3 -c \
  "import sys; t = open(sys.argv[1], 'rb').read(); sys.exit(not (b'plug-in' in t and t.count(b'\n') == t.count(b'\r\n')))" \
  "$windows/README.txt"

# Each plug-in from the unpacked folder, loaded by our host kept elsewhere, so
# that nothing of the build can stand in for a missing piece; the pictures
# must equal those of the plug-in in the build tree.
sample=samples/badge-tlg6.tlg
host_test() {  # host_test BUILD PLUGIN
  local host="$work/host-$2"
  mkdir -p "$host"
  cp "$1/bin/spi_host.exe" "$host/"
  scripts/wine-run.sh "$host/spi_host.exe" "$windows/$2" "$sample" "$work/$2-unpacked.bmp" &&
    scripts/wine-run.sh "$host/spi_host.exe" "$1/bin/$2" "$sample" "$work/$2-built.bmp" &&
    cmp "$work/$2-unpacked.bmp" "$work/$2-built.bmp"
}
check "iftlg.sph from the zip decodes under Wine" host_test build/win64 iftlg.sph
check "iftlg.spi from the zip decodes under 32-bit Wine" run_32bit bash -c "$(declare -f host_test); work='$work' windows='$windows' sample='$sample' host_test build/win32 iftlg.spi"

# libtlg from the zip: tlg.def names exactly the header's functions, and the
# example, built against the zip's header and linked through either import
# library (MinGW's, or one made from tlg.def as MSVC's lib /def: does), runs
# with the zip's x64 tlg.dll under Wine.
def_functions() {
  tr -d '\r' < "$windows/libtlg/tlg.def" | sed -n '/^EXPORTS$/,$p' | sed 1d | tr -d ' ' | sort
}
def_lists_header() {
  local header
  header=$(header_functions)
  [ "$(echo "$header" | wc -l)" -ge 10 ] && [ "$header" = "$(def_functions)" ]
}
check "tlg.def lists the header's functions" def_lists_header
dll_test() {  # dll_test NAME IMPORT_LIBRARY
  local dir="$work/dll-$1"
  mkdir -p "$dir" && cp "$windows/libtlg/x64/tlg.dll" "$dir/" &&
    x86_64-w64-mingw32-gcc -std=c99 -Wall -Werror -I"$windows/libtlg/include" \
      examples/decode_first_pixel.c "$2" -o "$dir/example.exe" &&
    scripts/wine-run.sh "$dir/example.exe" samples/tiles-wrapped.tlg | tr -d '\r' | grep -x '120 x 84' >/dev/null
}
check "the x64 tlg.dll works through libtlg.dll.a" dll_test mingw "$windows/libtlg/x64/libtlg.dll.a"
dll_test_from_def() {
  x86_64-w64-mingw32-dlltool -d "$windows/libtlg/tlg.def" -l "$work/from-def.lib" &&
    dll_test def "$work/from-def.lib"
}
check "the x64 tlg.dll works through an import library made from tlg.def" dll_test_from_def

# tlg.exe from the zip: its version, and a decode equal to the native tool's.
check "tlg.exe --version" sh -c "scripts/wine-run.sh '$windows/tlg.exe' --version | tr -d '\\r' | grep -qx 'tlg $version'"
check "tlg.exe decodes a sample like the native tool" sh -c \
  "scripts/wine-run.sh '$windows/tlg.exe' decode '$sample' -o '$work/exe.pam' &&
   build/native/bin/tlg decode '$sample' -o '$work/native.pam' && cmp '$work/exe.pam' '$work/native.pam'"

# The 64-bit installer, installed into a fresh prefix, used and removed.
check "tlg-$version-x64.msi installs, works and uninstalls under Wine" \
  bash scripts/test-msi.sh "dist/tlg-$version-x64.msi" "$version" "$work/msi"

# The tarball: the installed tree, the tool runs from it, the manual page is there.
mkdir -p "$work/linux"
tar -xzf "dist/$tarball" -C "$work/linux"
linux="$work/linux/tlg-$version-linux-x86_64"
check "the tarball's tlg runs" sh -c "'$linux/bin/tlg' --version | grep -qx 'tlg $version'"
check "the tarball holds the manual page" test -f "$linux/share/man/man1/tlg.1"
check "the tarball keeps libtlg.so's links as links" sh -c \
  "test -L '$linux/lib/libtlg.so' && test -L '$linux/lib/libtlg.so.1' && test -f '$linux/lib/libtlg.so.1.0.0' &&
   ! test -L '$linux/lib/libtlg.so.1.0.0'"
no_debug_information() {
  local found=0 file
  for file in $(find "$linux" -type f \( -name '*.so*' -o -name '*.a' -o -path '*/bin/*' \)); do
    found=$((found + 1))
    readelf -SW "$file" > "$work/sections" || return 1
    if grep -q '\.debug_' "$work/sections"; then echo "debug information in $file"; return 1; fi
  done
  [ "$found" -ge 4 ]  # the tool, libtlg twice, the desktop plug-ins
}
check "no debug information in the tarball's binaries" no_debug_information
check "no owner names in the tarball" sh -c "! tar -tvzf 'dist/$tarball' | grep -v ' 0/0 '"

echo "package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
