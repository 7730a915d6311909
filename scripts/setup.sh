#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks for both builds. Idempotent, non-interactive.
set -euo pipefail

export DEBIAN_FRONTEND=noninteractive
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

packages=(
  build-essential cmake ninja-build pkg-config
  googletest libgtest-dev libbenchmark-dev libpng-dev
  clang libclang-rt-14-dev valgrind python3
  libwebp-dev python3-pil python3-matplotlib
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  wine wine64 wine32:i386
  qemu-system-x86 linux-image-amd64 busybox-static cpio wixl
  libz-mingw-w64-dev
  libgdk-pixbuf-2.0-dev libgdk-pixbuf2.0-bin shared-mime-info libglib2.0-bin qt6-base-dev
  debhelper dh-python lintian dpkg-dev man-db
  eog xvfb x11-utils imagemagick dbus-daemon
  python3-dev python3-venv python3-pip python3-setuptools python3-wheel
  python3-numpy python3-pytest pybind11-dev
  emscripten node-acorn nodejs
  chromium
)

missing=()
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  need_update=1
fi
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
    missing+=("$p")
  fi
done

# Some builds of nodejs bring npm along; Debian's comes apart.
if ! command -v npm >/dev/null 2>&1; then missing+=(npm); fi

if [ "${#missing[@]}" -gt 0 ] || [ -n "${need_update:-}" ]; then
  $SUDO apt-get update -qq
fi
if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

bash "$(dirname "$0")/web-deps.sh"
echo "setup: all build and test packages present"
