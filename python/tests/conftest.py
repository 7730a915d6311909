import os
import subprocess
from pathlib import Path

import numpy
import pytest

ROOT = Path(__file__).resolve().parents[2]
SAMPLES = sorted((ROOT / "samples").glob("*.tlg"))


def native_tool():
    tool = Path(os.environ.get("TLG_TOOL", ROOT / "build" / "native" / "bin" / "tlg"))
    if not tool.is_file():
        pytest.fail(f"the native tlg tool is needed: build it into {tool} or set TLG_TOOL")
    return tool


def read_pam(path):
    data = path.read_bytes()
    end = data.index(b"ENDHDR\n") + len(b"ENDHDR\n")
    fields = dict(line.split(b" ", 1) for line in data[:end].splitlines()[1:-1])
    shape = (int(fields[b"HEIGHT"]), int(fields[b"WIDTH"]), int(fields[b"DEPTH"]))
    return numpy.frombuffer(data[end:], numpy.uint8).reshape(shape)


@pytest.fixture(scope="session")
def native_pixels(tmp_path_factory):
    """The RGBA pixels `tlg decode` gives for each sample."""
    folder = tmp_path_factory.mktemp("native")
    pixels = {}
    for sample in SAMPLES:
        out = folder / (sample.stem + ".pam")
        subprocess.run([native_tool(), "decode", sample, "-o", out], check=True,
                       stdout=subprocess.DEVNULL)
        pixels[sample.name] = read_pam(out)
    return pixels


def random_pixels(height, width, channels, seed=0, opaque=False):
    pixels = numpy.random.default_rng(seed).integers(0, 256, (height, width, channels), numpy.uint8)
    # Runs and gradients as well as noise, so that both encoders' paths are taken.
    pixels[: height // 2, : width // 2] = pixels[0, 0]
    if channels == 4 and opaque:
        pixels[..., 3] = 255
    return pixels


# The tags damaged_tags_files() expects, in this order; the last is damaged.
KEPT_TAG = ("author", "us")
DAMAGED_TAG = ("title", "Dusk")


def damaged_tags_files(good):
    """From a wrapped file whose last chunk is "tags" ending in DAMAGED_TAG's
    entry: a colon missing, the separator missing, the entry cut short within
    its chunk, and the file ending inside a chunk that holds the entry alone
    (as tests/support does)."""
    key, value = (text.encode() for text in DAMAGED_TAG)
    last = b"%d:%s=%d:%s," % (len(key), key, len(value), value)
    assert good.endswith(last)
    at = 15 + int.from_bytes(good[11:15], "little")  # the first chunk
    while at + 8 + int.from_bytes(good[at + 4 : at + 8], "little") < len(good):
        at += 8 + int.from_bytes(good[at + 4 : at + 8], "little")
    assert good[at : at + 4] == b"tags"

    def erase(start, count):
        size = int.from_bytes(good[at + 4 : at + 8], "little") - count
        damaged = good[: at + 4] + size.to_bytes(4, "little") + good[at + 8 :]
        return damaged[:start] + damaged[start + count :]

    entry = len(good) - len(last)
    # The file ends inside a chunk of its own, which gives nothing; the
    # entries of the chunk before it stay.
    kept = good[at + 8 : entry]
    split = (good[:at] + b"tags" + len(kept).to_bytes(4, "little") + kept
             + b"tags" + len(last).to_bytes(4, "little") + last)
    return {
        "a colon missing": erase(entry + last.index(b":"), 1),
        "the separator missing": erase(len(good) - 1, 1),
        "the entry cut short": erase(len(good) - 3, 3),
        "the file ending inside the tags": split[:-3],
    }
