#!/usr/bin/env bash
# Remakes the bundled samples from our own generated pictures (needs build/native).
set -euo pipefail
cd "$(dirname "$0")/.."
art=$(mktemp -d)
trap 'rm -rf "$art"' EXIT
build/native/bin/make_sample_art "$art"
build/native/bin/tlg encode "$art/dusk.png" --format tlg5 -o samples/dusk-tlg5.tlg
build/native/bin/tlg encode "$art/badge.png" --format tlg6 -o samples/badge-tlg6.tlg
build/native/bin/tlg encode "$art/tiles.png" --format tlg6 --wrap \
  --tag title=Tiles --tag made-by=make_sample_art -o samples/tiles-wrapped.tlg
ls -l samples/*.tlg
