#!/usr/bin/env bash
# Builds libpng for the Windows targets (Debian ships it for Linux only), from
# Debian's own source package, into build/deps/<triple>. Cached: does nothing
# once built.
set -euo pipefail
cd "$(dirname "$0")/.."
deps="$PWD/build/deps"
version=1.6.39
mkdir -p "$deps"

if [ ! -d "$deps/src/libpng-$version" ]; then
  # A private source list, so that the machine's own apt set-up stays as it is.
  apt_dir="$deps/apt"
  mkdir -p "$apt_dir/lists/partial" "$deps/src"
  cat > "$apt_dir/sources.sources" <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  apt_options=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$apt_dir"
               -o "Dir::State::Lists=$apt_dir/lists" -o APT::Sandbox::User=root)
  apt-get "${apt_options[@]}" update -qq
  (cd "$deps/src" && apt-get "${apt_options[@]}" source --download-only -qq libpng1.6)
  tar -xzf "$deps/src"/libpng1.6_"$version".orig.tar.gz -C "$deps/src"
fi

for triple in i686-w64-mingw32 x86_64-w64-mingw32; do
  prefix="$deps/$triple"
  [ -f "$prefix/lib/libpng16.a" ] && continue
  toolchain=cmake/mingw-i686.cmake
  [ "$triple" = x86_64-w64-mingw32 ] && toolchain=cmake/mingw-x86_64.cmake
  cmake -S "$deps/src/libpng-$version" -B "$deps/build-$triple" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DPNG_SHARED=OFF -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
    -DSKIP_INSTALL_PROGRAMS=ON -DSKIP_INSTALL_FILES=ON -DSKIP_INSTALL_EXPORT=ON >/dev/null
  cmake --build "$deps/build-$triple" --target install >/dev/null
  echo "deps: libpng $version built for $triple"
done
