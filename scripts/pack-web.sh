#!/usr/bin/env bash
# Builds the JavaScript package (scripts/build-web.sh) and packs it with
# npm pack into DIR (default dist/) as tlg-VERSION.tgz, then prints that path.
# npm gives every entry the same time and order, so the bytes depend on the
# files alone.
set -euo pipefail
cd "$(dirname "$0")/.."

dist=${1:-dist}
version=$(sed -n 's/^project(tlg VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
declared=$(node -p 'JSON.parse(require("fs").readFileSync("web/package.json", "utf8")).version')
if [ "$declared" != "$version" ]; then
  echo "pack-web: web/package.json says version $declared, CMakeLists.txt $version" >&2
  exit 1
fi
bash scripts/build-web.sh >/dev/null
mkdir -p "$dist"
npm pack --silent --pack-destination "$(realpath "$dist")" ./build/web/package >/dev/null
echo "$dist/tlg-$version.tgz"
