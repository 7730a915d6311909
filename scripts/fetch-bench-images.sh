#!/usr/bin/env bash
# Fetches the benchmark pictures listed in bench/corpus.tsv from their Debian
# packages and stores each as a PNG (RGB, or RGBA when it has transparency)
# in cache/bench/source/SET/NAME.png. Nothing here is committed.
set -euo pipefail
cd "$(dirname "$0")/.."

cache=cache/bench
mkdir -p "$cache/debs" "$cache/unpacked" "$cache/source"

packages=$(grep -v '^#' bench/corpus.tsv | cut -f2 | sort -u)
for p in $packages; do
  if ! ls "$cache/debs/${p}"_*.deb >/dev/null 2>&1; then
    echo "fetch-bench-images: downloading $p"
    (cd "$cache/debs" && apt-get download -qq "$p")
  fi
  if [ ! -d "$cache/unpacked/$p" ]; then
    dpkg-deb -x "$(ls "$cache/debs/${p}"_*.deb | head -n1)" "$cache/unpacked/$p"
  fi
done

# Pillow from Debian's python3-pil, whatever python3 comes first on PATH.
/usr/bin/python3 - "$cache" <<'PY'
import csv, os, sys
from PIL import Image

cache = sys.argv[1]
with open("bench/corpus.tsv", newline="") as f:
    rows = [r for r in csv.reader(f, delimiter="\t") if r and not r[0].startswith("#")]
for set_name, package, path, name in rows:
    out_dir = os.path.join(cache, "source", set_name)
    os.makedirs(out_dir, exist_ok=True)
    out = os.path.join(out_dir, name + ".png")
    if os.path.exists(out):
        continue
    image = Image.open(os.path.join(cache, "unpacked", package, "usr/share", path))
    has_alpha = image.mode in ("RGBA", "LA", "PA") or "transparency" in image.info
    image = image.convert("RGBA" if has_alpha else "RGB")
    if has_alpha and image.getchannel("A").getextrema() == (255, 255):
        image = image.convert("RGB")
    image.save(out)
    print(f"fetch-bench-images: {set_name}/{name} {image.size[0]}x{image.size[1]} {image.mode}")
PY
