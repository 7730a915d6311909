#!/usr/bin/env bash
# Builds what a release needs and writes it into dist/ (or $TLG_DIST):
#   tlg-VERSION-windows.zip       both plug-ins, tlg.exe (64-bit), README.txt, LICENSE.txt,
#                                 and libtlg/ (tlg.dll for x64 and x86, import libraries,
#                                 tlg.def, the header)
#   tlg-VERSION-linux-x86_64.tar.gz   what 'cmake --install' puts in a prefix, without
#                                 debug information, its library links kept as links
#   tlg-VERSION-x64.msi, tlg-VERSION-x86.msi   the installers (scripts/make-msi.sh)
#   tlg-VERSION.tgz               the JavaScript package (scripts/pack-web.sh)
#   tlg-VERSION-web.zip           the page (build/web/app), for any static file server
#   *_VERSION_amd64.deb            the Debian packages (scripts/package-deb.sh)
#   SHA256SUMS
# Two runs from the same commit give the same bytes: every timestamp is the
# commit's, entries are sorted, and no owner names are stored.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/targets.sh

version=$(sed -n 's/^project(tlg VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
dist=${TLG_DIST:-dist}
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 0)}

# The Windows libpng that tlg.exe links (does nothing once built).
bash scripts/build-deps.sh
for target in native win32 win64; do
  build_target "$target" >/dev/null
done

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$dist"

# Text for Windows users: CRLF line ends.
crlf() { sed -e 's/\r$//' -e 's/$/\r/' "$1" > "$2"; }

windows="$stage/tlg-$version-windows"
mkdir -p "$windows"
i686-w64-mingw32-strip -o "$windows/iftlg.spi" build/win32/bin/iftlg.spi
x86_64-w64-mingw32-strip -o "$windows/iftlg.sph" build/win64/bin/iftlg.sph
x86_64-w64-mingw32-strip -o "$windows/tlg.exe" build/win64/bin/tlg.exe
i686-w64-mingw32-strip -o "$windows/tlgwic32.dll" build/win32/bin/tlgwic32.dll
x86_64-w64-mingw32-strip -o "$windows/tlgwic64.dll" build/win64/bin/tlgwic64.dll
for script in install uninstall; do crlf "packaging/$script.cmd" "$windows/$script.cmd"; done
sed "s/@VERSION@/$version/g" packaging/windows-README.txt > "$stage/README.txt"
crlf "$stage/README.txt" "$windows/README.txt"
crlf LICENSE "$windows/LICENSE.txt"

# The export list of a DLL as a module-definition file, from which MSVC's
# 'lib /def:' makes an import library.
def_file() {  # def_file DLL
  echo "LIBRARY tlg.dll"
  echo "EXPORTS"
  x86_64-w64-mingw32-objdump -p "$1" |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/s/^[[:space:]]*\[ *[0-9]*\] \(.*\)$/  \1/p'
}

# libtlg for Windows developers: each DLL with its MinGW import library.
libtlg="$windows/libtlg"
for build in win64:x64:x86_64 win32:x86:i686; do
  IFS=: read -r dir arch triple <<< "$build"
  installed="$stage/install-$dir"
  cmake --install "build/$dir" --prefix "$installed" >/dev/null
  mkdir -p "$libtlg/$arch"
  "$triple-w64-mingw32-strip" -o "$libtlg/$arch/tlg.dll" "$installed/bin/tlg.dll"
  cp "$installed/lib/libtlg.dll.a" "$libtlg/$arch/"
  def_file "$installed/bin/tlg.dll" > "$stage/tlg-$arch.def"
done
# One .def serves both: the functions are cdecl, exported under plain names.
if ! cmp -s "$stage/tlg-x64.def" "$stage/tlg-x86.def"; then
  echo "package: the x64 and x86 tlg.dll export different functions" >&2
  exit 1
fi
crlf "$stage/tlg-x64.def" "$libtlg/tlg.def"
cp -r "$stage/install-win64/include" "$libtlg/"

linux="$stage/tlg-$version-linux-x86_64"
cmake --install build/native --prefix "$linux" --strip >/dev/null
# --strip leaves static libraries alone; -D keeps the archive deterministic.
strip -D --strip-debug "$linux/lib/libtlg.a"
cp LICENSE "$linux/LICENSE"

zip="tlg-$version-windows.zip"
tarball="tlg-$version-linux-x86_64.tar.gz"
python3 scripts/make_archive.py "$windows" "$dist/$zip"
python3 scripts/make_archive.py "$linux" "$dist/$tarball"
# The installers (scripts/make-msi.sh), from the zip's files.
i686-w64-mingw32-strip -o "$stage/tlg32.exe" build/win32/bin/tlg.exe
bash scripts/make-msi.sh "$windows" "$stage/tlg32.exe" "$dist" "$version"
(cd "$dist" && sha256sum "$zip" "$tarball" "tlg-$version-x64.msi" "tlg-$version-x86.msi" > SHA256SUMS)
# The JavaScript package, libtlg in WebAssembly: dist/tlg-VERSION.tgz.
web_package=$(bash scripts/pack-web.sh "$dist")  # a line of its own, so that a failure stops here
web=$(basename "$web_package")
(cd "$dist" && sha256sum "$web" >> SHA256SUMS)
# The page, which pack-web.sh's build laid out: dist/tlg-VERSION-web.zip.
cp -r build/web/app "$stage/tlg-$version-web"
python3 scripts/make_archive.py "$stage/tlg-$version-web" "$dist/tlg-$version-web.zip"
(cd "$dist" && sha256sum "tlg-$version-web.zip" >> SHA256SUMS)
# The Debian packages, from debian/.
rm -f "$dist"/*.deb
deb_list=$(bash scripts/package-deb.sh "$dist")
mapfile -t debs <<< "$deb_list"
(cd "$dist" && sha256sum "${debs[@]}" >> SHA256SUMS)
echo "package: $dist/$zip, $dist/$tarball, $dist/$web, ${#debs[@]} .deb files and $dist/SHA256SUMS"
