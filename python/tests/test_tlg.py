import concurrent.futures
import dataclasses
import io
import os
import sys
import threading
import time

import numpy
import pytest
from conftest import SAMPLES, random_pixels

import tlg


def test_samples_decode_as_the_native_tool_does(native_pixels):
    described = {
        "badge-tlg6.tlg": ("tlg6", "tlg6", 4, 96, 96, {}),
        "dusk-tlg5.tlg": ("tlg5", "tlg5", 3, 240, 160, {}),
        "tiles-wrapped.tlg": ("wrapped", "tlg6", 3, 120, 84,
                              {"made-by": "make_sample_art", "title": "Tiles"}),
    }
    assert sorted(described) == [sample.name for sample in SAMPLES]
    for sample in SAMPLES:
        expected, data = native_pixels[sample.name], sample.read_bytes()
        with open(sample, "rb") as file:
            sources = [file, sample, str(sample), data, bytearray(data), memoryview(data)]
            for source in sources:
                numpy.testing.assert_array_equal(tlg.decode(source), expected, err_msg=str(sample))
        numpy.testing.assert_array_equal(tlg.decode(data, "RGB"), expected[..., :3])
        info = tlg.info(sample)
        assert dataclasses.astuple(info) == described[sample.name]
        assert info == tlg.info(data) == tlg.info(io.BytesIO(data))


@pytest.mark.parametrize("format", ["tlg5", "tlg6"])
def test_round_trip(format):
    for channels, opaque, colours in ((4, False, 4), (4, True, 3), (3, False, 3)):
        pixels = random_pixels(37, 53, channels, seed=channels, opaque=opaque)
        data = tlg.encode(pixels, format)
        info = tlg.info(data)
        assert (info.kind, info.colours, info.width, info.height) == (format, colours, 53, 37)
        numpy.testing.assert_array_equal(tlg.decode(data, info.mode), pixels[..., : len(info.mode)])
    for shape in ((0, 0, 4), (0, 5, 3), (4, 0, 4)):
        assert tlg.decode(tlg.encode(numpy.zeros(shape, numpy.uint8), format)).shape == shape[:2] + (4,)


def test_threads_and_clear_transparent():
    pixels = random_pixels(70, 45, 4, seed=8)
    pixels[::3, ::2, 3] = 0
    alone = tlg.encode(pixels)
    assert tlg.encode(pixels, threads=4) == alone
    cleared = tlg.decode(tlg.encode(pixels, "tlg5", clear_transparent=True))
    transparent = pixels[..., 3] == 0
    assert not cleared[transparent].any()
    numpy.testing.assert_array_equal(cleared[~transparent], pixels[~transparent])
    with pytest.raises(ValueError):
        tlg.encode(pixels, threads=0)


def test_any_strides():
    wide = random_pixels(40, 70, 4, seed=3)
    views = {
        "padded rows": wide[:, 10:60],
        "rows upside down": wide[::-1],
        "every other column": wide[:, ::2],
        "channels reversed": wide[..., ::-1],
        "column-major": numpy.asfortranarray(wide),
        "transposed": wide.transpose(1, 0, 2),
        "broadcast": numpy.broadcast_to(wide[0], (5, 70, 4)),
        "three of four channels": wide[..., :3],
        "read-only": numpy.frombuffer(wide.tobytes(), numpy.uint8).reshape(wide.shape),
    }
    for name, view in views.items():
        expected = numpy.ascontiguousarray(view)
        decoded = tlg.decode(tlg.encode(view), "RGBA" if view.shape[2] == 4 else "RGB")
        numpy.testing.assert_array_equal(decoded, expected, err_msg=name)


def test_tags(tmp_path):
    pixels = random_pixels(8, 8, 3)
    info = tlg.info(tlg.encode(pixels, "tlg5", {"title": "夕暮れ", "": "", "raw": b"\xff\x00"}))
    assert (info.kind, info.tags) == ("wrapped", {"title": "夕暮れ", "": "", "raw": "\udcff\x00"})
    # Tags read back are written back as the same bytes.
    assert tlg.info(tlg.encode(pixels, tags=info.tags)).tags == info.tags
    assert dataclasses.astuple(tlg.info(tlg.encode(pixels, wrap=True)))[::5] == ("wrapped", {})

    # A file past the read-ahead: its tags are read behind the picture.
    large = tlg.encode(random_pixels(200, 200, 4), "tlg5", {"a": "1"})
    assert len(large) > 64 * 1024
    path = tmp_path / "large.tlg"
    path.write_bytes(large)
    with open(path, "rb") as file:
        assert tlg.info(file).tags == {"a": "1"} == tlg.info(large).tags
        assert file.tell() == 0


def test_damaged_data_raises_its_error():
    data = SAMPLES[0].parent.joinpath("badge-tlg6.tlg").read_bytes()
    huge = data[:15] + (1 << 16).to_bytes(4, "little") * 2 + data[23:]  # 2^32 pixels
    cases = [
        (b"", tlg.NotTlgError),
        (b"GIF89a not a TLG file", tlg.NotTlgError),
        (data[:5], tlg.TruncatedError),
        (data[:20], tlg.TruncatedError),
        (data[: len(data) // 2], tlg.TruncatedError),
        (data[:11] + b"\x02" + data[12:], tlg.CorruptError),  # two colours
        (huge, tlg.TooLargeError),
    ]
    for damaged, error in cases:
        with pytest.raises(error) as raised:
            tlg.decode(damaged)
        assert isinstance(raised.value, ValueError)
        assert raised.value.code.name.lower().replace("_", "") in error.__name__.lower()
    with pytest.raises(tlg.TooLargeError):
        tlg.decode(SAMPLES[0], max_pixels=100)
    assert tlg.decode(SAMPLES[0], max_pixels=96 * 96).shape == (96, 96, 4)


def test_every_cut_and_flipped_byte_fails_cleanly():
    data = SAMPLES[0].parent.joinpath("badge-tlg6.tlg").read_bytes()
    for end in range(len(data)):
        with pytest.raises(tlg.TlgError):
            tlg.decode(data[:end])
    outcomes = set()
    for position in numpy.random.default_rng(7).integers(0, len(data), 300):
        flipped = bytearray(data)
        flipped[position] ^= 0xFF
        try:
            outcomes.add(tlg.decode(flipped).shape)
        except tlg.TlgError as error:
            outcomes.add(type(error))
    assert tlg.CorruptError in outcomes
    assert all(outcome == (96, 96, 4) for outcome in outcomes if isinstance(outcome, tuple))


def test_wrong_arguments(tmp_path):
    pixels = numpy.zeros((2, 2, 4), numpy.uint8)
    cases = [
        (lambda: tlg.decode(tmp_path / "missing.tlg"), FileNotFoundError),
        (lambda: tlg.info(tmp_path / "missing.tlg"), FileNotFoundError),
        (lambda: tlg.decode(tmp_path), IsADirectoryError),
        (lambda: tlg.decode(io.StringIO("text")), TypeError),
        (lambda: tlg.decode(12), TypeError),
        (lambda: tlg.decode(SAMPLES[0], "L"), ValueError),
        (lambda: tlg.decode(SAMPLES[0], max_pixels=0), ValueError),
        (lambda: tlg.encode(pixels.astype(numpy.uint16)), TypeError),
        (lambda: tlg.encode(pixels[..., :2]), ValueError),
        (lambda: tlg.encode(pixels[0]), ValueError),
        (lambda: tlg.encode(pixels, "png"), ValueError),
        (lambda: tlg.encode(pixels, tags={"a": 1}), TypeError),
        (lambda: tlg.encode(pixels, tags=["a"]), TypeError),
    ]
    for call, error in cases:
        with pytest.raises(error):
            call()


def test_write_is_atomic(tmp_path):
    path = tmp_path / "out.tlg"
    pixels = random_pixels(10, 12, 4)
    tlg.write(path, pixels, "tlg5", {"a": "b"})
    numpy.testing.assert_array_equal(tlg.decode(path), pixels)
    assert tlg.info(str(path)).tags == {"a": "b"}
    before = path.read_bytes()
    with pytest.raises(TypeError):
        tlg.write(path, pixels.astype(float))
    assert path.read_bytes() == before
    with pytest.raises(FileNotFoundError) as raised:
        tlg.write(tmp_path / "no folder" / "out.tlg", pixels)
    assert raised.value.filename == str(tmp_path / "no folder" / "out.tlg")
    tlg.write(path, pixels[..., :3])
    assert tlg.info(path).colours == 3
    assert sorted(os.listdir(tmp_path)) == ["out.tlg"]


@pytest.fixture(scope="module")
def large_pixels():
    y, x = numpy.mgrid[0:512, 0:512]
    return numpy.dstack([(x * y) & 255, (x ^ y) & 255, (x + y) & 255, x & 255]).astype(numpy.uint8)


@pytest.fixture(scope="module")
def large_picture(large_pixels):
    return tlg.encode(large_pixels)


def test_threads_decode_alike(large_picture):
    pictures = [large_picture] + [s.read_bytes() for s in SAMPLES]
    expected = [tlg.decode(p) for p in pictures]
    with concurrent.futures.ThreadPoolExecutor(6) as pool:
        decoded = list(pool.map(tlg.decode, pictures * 12))
    for i, pixels in enumerate(decoded):
        numpy.testing.assert_array_equal(pixels, expected[i % len(pictures)])


@pytest.mark.parametrize("call", ["decode", "encode"])
def test_other_threads_run_meanwhile(call, large_pixels, large_picture):
    # With no forced switches, a thread that held the GIL through its calls
    # would keep this one from taking any time stamp between its two.
    span, stamps, started = [], [], threading.Event()

    def work():
        started.set()
        span.append(time.perf_counter())
        for _ in range(4):
            tlg.decode(large_picture) if call == "decode" else tlg.encode(large_pixels, "tlg5")
        span.append(time.perf_counter())

    interval = sys.getswitchinterval()
    sys.setswitchinterval(100)
    try:
        thread = threading.Thread(target=work)
        thread.start()
        started.wait()
        while thread.is_alive():
            stamps.append(time.perf_counter())
            time.sleep(0)  # lets the decoding thread have the GIL back
        thread.join()
    finally:
        sys.setswitchinterval(interval)
    assert sum(span[0] < t < span[1] for t in stamps) > 10
