#!/usr/bin/env bash
# Installs the Debian packages of dist/ (scripts/package.sh makes them) on
# this machine as a user does, 'apt-get install ./dist/*.deb', and uses each
# piece from /usr with no environment variable set: the tool and its manual
# page, GdkPixbuf through the system's loaders cache and the thumbnailer, a
# Qt program's QImageReader, Debian's python3 with Pillow, and the README's
# example in C through pkg-config and find_package. Then purges them, and
# what apt brought along, and checks that nothing of theirs is left.
# Whatever happens, the machine is left with the packages it had before.
# Needs root (CI has it); elsewhere it says so and skips.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
version=$(sed -n 's/^project(tlg VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)

if [ "$(id -u)" -ne 0 ]; then
  echo "deb: SKIPPED: installing the Debian packages needs root"
  exit 0
fi
debs=("$root"/dist/*.deb)
if [ ! -f "${debs[0]}" ]; then
  echo "deb: no packages in dist/; run scripts/package.sh first"
  exit 1
fi
ours=()
for deb in "${debs[@]}"; do ours+=("$(dpkg-deb -f "$deb" Package)"); done
installed() { dpkg-query -W -f='${db:Status-Abbrev} ${binary:Package}\n' 2>/dev/null | awk '$1 ~ /^.i/ {print $2}' | sort; }
for package in "${ours[@]}"; do
  if dpkg-query -W -f='${db:Status-Abbrev}' "$package" 2>/dev/null | grep '^.i' >/dev/null; then
    echo "deb: $package is installed already; purge it first (this test leaves the machine as it found it)"
    exit 1
  fi
done

work="$root/build/deb-test"
rm -rf "$work"
mkdir -p "$work/home"
export DEBIAN_FRONTEND=noninteractive
before="$work/packages-before"
installed > "$before"

source "$root/scripts/checks.sh"

# Purges ours, then whatever the install brought along, so that the machine
# has again exactly the packages it had.
purged=0
purge() {
  [ "$purged" -eq 1 ] && return 0
  purged=1
  apt-get purge -y -qq "${ours[@]}" >"$work/purge.log" 2>&1
  local extra
  extra=$(comm -13 "$before" <(installed))
  if [ -n "$extra" ]; then
    # shellcheck disable=SC2086
    apt-get purge -y -qq $extra >>"$work/purge.log" 2>&1
  fi
}
trap purge EXIT

# A clean environment: nothing may point the programs at our files.
clean() { env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME="$work/home" LANG=C.UTF-8 "$@"; }

# The packages with only Debian's beside them.
if ! apt-get install -y -q "${debs[@]}" >"$work/install.log" 2>&1; then
  echo "FAILED: apt-get install ./dist/*.deb"
  sed 's/^/  /' "$work/install.log"
  echo "deb: 0 passed, 1 failed"
  exit 1
fi
passed=$((passed + 1))
files="$work/files"  # everything our packages put on the machine
dpkg -L "${ours[@]}" | sort -u > "$files"

sample=samples/badge-tlg6.tlg
check "tlg --version runs from /usr/bin" clean sh -c \
  "[ \"\$(command -v tlg)\" = /usr/bin/tlg ] && [ \"\$(tlg --version)\" = 'tlg $version' ]"
check "man -w tlg finds the manual page" clean sh -c "[ \"\$(man -w tlg)\" = /usr/share/man/man1/tlg.1.gz ]"
# Every reference below: the tool's own decode.
clean tlg decode "$sample" -o "$work/expected.pam" >/dev/null 2>&1

# GdkPixbuf: our loader is in the cache the trigger rebuilt, and programs
# open pictures and make thumbnails through it.
cache=$(pkg-config --variable=gdk_pixbuf_cache_file gdk-pixbuf-2.0)
check "gdk-pixbuf's loaders cache lists our loader" grep -q 'libpixbufloader-tlg.so' "$cache"
check "the MIME database knows image/x-tlg" test -f /usr/share/mime/image/x-tlg.xml
cc -std=c99 -Wall -o "$work/pixbuf_to_pam" tests/deb/pixbuf_to_pam.c \
  $(pkg-config --cflags --libs gdk-pixbuf-2.0) 2>"$work/cc.log" || cat "$work/cc.log"
pixbuf_opens() {
  clean "$work/pixbuf_to_pam" "$sample" "$work/pixbuf.pam" && cmp "$work/pixbuf.pam" "$work/expected.pam"
}
check "GdkPixbuf opens a .tlg through the system's loaders" pixbuf_opens
thumbnail() {
  clean gdk-pixbuf-thumbnailer -s 64 "$root/$sample" "$work/thumbnail.png" &&
    clean "$work/pixbuf_to_pam" "$work/thumbnail.png" "$work/thumbnail.pam" &&
    head -c 40 "$work/thumbnail.pam" | grep -a 'WIDTH 64' >/dev/null
}
check "gdk-pixbuf-thumbnailer makes a 64-pixel thumbnail of a .tlg" thumbnail

# Qt: the plug-in in Qt's own folder, no plug-in path set.
c++ -std=c++17 -fPIC -o "$work/qt_to_pam" tests/deb/qt_to_pam.cpp \
  $(pkg-config --cflags --libs Qt6Gui) 2>"$work/c++.log" || cat "$work/c++.log"
qt_reads() {
  clean "$work/qt_to_pam" "$sample" "$work/qt.pam" && cmp "$work/qt.pam" "$work/expected.pam"
}
check "QImageReader reads a .tlg with no plug-in path set" qt_reads

# Debian's python3, outside the checkout (whose tlg/ folder holds C++).
python_reads() {
  (cd "$work" && clean /usr/bin/python3 - "$root/$sample" "$work/expected.pam") <<'PY'
import sys
import numpy
import tlg
from PIL import Image
assert tlg.__file__.startswith("/usr/lib/python3/dist-packages/"), tlg.__file__
expected = open(sys.argv[2], "rb").read().split(b"ENDHDR\n", 1)[1]
pixels = tlg.decode(sys.argv[1])
assert pixels.dtype == numpy.uint8 and pixels.tobytes() == expected, "tlg.decode"
with Image.open(sys.argv[1]) as image:
    assert image.convert("RGBA").tobytes() == expected, "Pillow"
PY
}
check "/usr/bin/python3 imports tlg, and Pillow opens a .tlg" python_reads

# The README's example, against /usr: pkg-config and find_package, as is.
sed -n '/^```c$/,/^```$/p' README.md | sed '1d;$d' > "$work/app.c"
example_pkg_config() {
  clean sh -c "cc -std=c99 -Wall -Werror '$work/app.c' -o '$work/app' \$(pkg-config --cflags --libs tlg)" &&
    [ "$(clean "$work/app" samples/tiles-wrapped.tlg)" = "120 x 84" ] &&
    ldd "$work/app" | grep 'libtlg\.so\.1 => /\(usr/\)\?lib/x86_64-linux-gnu/libtlg\.so\.1 ' >/dev/null
}
check "the README's example builds with pkg-config and runs" example_pkg_config
example_cmake() {
  clean cmake -S examples -B "$work/cmake" -G Ninja -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF &&
    clean cmake --build "$work/cmake" &&
    clean "$work/cmake/decode_first_pixel" samples/tiles-wrapped.tlg | grep -x '120 x 84' >/dev/null &&
    clean "$work/cmake/decode_first_pixel_static" samples/tiles-wrapped.tlg | grep -x '120 x 84' >/dev/null &&
    grep -q '/usr/lib/x86_64-linux-gnu/cmake/tlg' "$work/cmake/CMakeCache.txt"
}
check "examples/ builds with find_package(tlg) against /usr and runs" example_cmake

# Purged: none of our files left, gdk-pixbuf's cache and the MIME database
# without us, and the packages the machine had before, no more.
purge
left_behind() {
  local file left=0
  while read -r file; do
    # Folders other packages share stay; files and links must go.
    if [ -e "$file" ] && ! [ -d "$file" ] || [ -L "$file" ]; then echo "left: $file"; left=1; fi
  done < "$files"
  for dir in /usr/include/tlg /usr/lib/x86_64-linux-gnu/cmake/tlg /usr/lib/python3/dist-packages/tlg /usr/share/doc/tlg; do
    if [ -e "$dir" ]; then echo "left: $dir"; left=1; fi
  done
  return $left
}
check "apt-get purge leaves none of our files" left_behind
check "gdk-pixbuf's loaders cache no longer lists our loader" sh -c "! grep -q libpixbufloader-tlg '$cache'"
check "the MIME database no longer knows image/x-tlg" test ! -e /usr/share/mime/image/x-tlg.xml
same_packages() { installed | cmp - "$before"; }
check "the machine has the packages it had before" same_packages

echo "deb: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
