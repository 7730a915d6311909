#!/usr/bin/env bash
# Builds libtlg as WebAssembly with emscripten (build/web) and lays out the
# JavaScript package from web/ in build/web/package.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/targets.sh

# emscripten's JavaScript optimiser needs Debian's acorn, which node does not
# look for by itself.
export NODE_PATH=/usr/share/nodejs
out=build/web
if [ ! -f "$out/build.ninja" ]; then
  emcmake cmake -S web -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
# A warning that binaryen's version is not the one emscripten expects is
# Debian's packaging, and harmless.
cmake --build "$out" -j "$jobs"

# Both builds import the same functions under the same names, so one glue
# serves both; a change that breaks that must not pass unseen.
if ! cmp -s <(sed 's/tlg-core-simd\.wasm/tlg-core.wasm/g' "$out/tlg-core-simd.js") "$out/tlg-core.js"; then
  echo "build-web: the SIMD build needs other glue than the plain one" >&2
  exit 1
fi

package="$out/package"
rm -rf "$package"
mkdir -p "$package"
cp web/package.json web/README.md LICENSE "$package/"
cp web/src/*.js web/src/*.d.ts "$package/"
cp "$out/tlg-core.js" "$out/tlg-core.wasm" "$out/tlg-core-simd.wasm" "$package/"
chmod 644 "$package"/*
echo "build-web: $package"

# The page (web/app), with the package beside it in tlg/: serve build/web/app.
app="$out/app"
rm -rf "$app"
mkdir -p "$app"
cp web/app/*.html web/app/*.css web/app/app.js web/app/worker.js "$app/"
cp -r "$package" "$app/tlg"
# PNG and zip libraries from web/node_modules, bundled into one file so that
# the page needs nothing from elsewhere.
bash scripts/web-deps.sh
web/node_modules/.bin/esbuild web/app/vendor.js --bundle --format=esm --minify --legal-comments=inline \
  --log-level=warning --outfile="$app/vendor.js"
echo "build-web: $app"
