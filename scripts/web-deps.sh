#!/usr/bin/env bash
# The JavaScript tools (TypeScript, esbuild, puppeteer-core, which fetches no
# browser: the tests drive Debian's chromium) and the page's PNG and zip
# libraries, as web/package-lock.json pins them, into web/node_modules;
# installed again only when that file changes.
set -euo pipefail
cd "$(dirname "$0")/../web"
if ! cmp -s package-lock.json node_modules/.installed-lock.json; then
  npm ci --silent --no-audit --no-fund
  cp package-lock.json node_modules/.installed-lock.json
fi
