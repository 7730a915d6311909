#!/usr/bin/env bash
# Tests the side-by-side stream decoding of the SIMD build in Node, then
# the JavaScript package as a user gets it: packed (scripts/pack-web.sh),
# installed with npm into a scratch folder, then node's test runner on
# web/test against the native tlg tool (build/native), and tsc on a user's
# file against the package's declarations. Then the page (build/web/app) in
# headless Chromium (web/browser).
set -euo pipefail
cd "$(dirname "$0")/.."

root=$PWD
status=0
# The SIMD build's side-by-side stream decoding against the one-by-one one.
node build/web/lanes-check.js || status=1

work=build/web/test
rm -rf "$work"
mkdir -p "$work/dist" "$work/user"
tarball=$(bash scripts/pack-web.sh "$work/dist")

cd "$work/user"
echo '{ "name": "user", "private": true, "type": "module" }' > package.json
npm install --silent --no-audit --no-fund --offline "$root/$tarball"
cp "$root"/web/test/*.js "$root"/web/test/types.ts "$root"/web/test/tsconfig.json .

"$root/web/node_modules/.bin/tsc" -p tsconfig.json && echo "web: declarations check" || status=1
TLG_SAMPLES="$root/samples" TLG_TOOL="$root/build/native/bin/tlg" node --test ./*.test.js || status=1

cd "$root"
TLG_APP="$root/build/web/app" TLG_SAMPLES="$root/samples" TLG_TOOL="$root/build/native/bin/tlg" \
  node --test web/browser/*.test.js || status=1
exit $status
