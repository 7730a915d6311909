import io

import numpy
import pytest
from conftest import DAMAGED_TAG, KEPT_TAG, SAMPLES, damaged_tags_files, random_pixels
from PIL import Image, ImageFile, UnidentifiedImageError

import tlg


def saved(im, **params):
    out = io.BytesIO()
    im.save(out, format="TLG", **params)
    return out.getvalue()


def test_samples_open_as_the_native_tool_decodes(native_pixels):
    assert len(SAMPLES) >= 3
    for sample in SAMPLES:
        expected = native_pixels[sample.name]
        info = tlg.info(sample)
        with Image.open(sample) as im:
            assert (im.format, im.mode, im.size) == ("TLG", info.mode, (info.width, info.height))
            assert im.get_format_mimetype() == "image/x-tlg"
            assert im.info.get("tags") == (info.tags if info.kind == "wrapped" else None)
            numpy.testing.assert_array_equal(numpy.asarray(im), expected[..., : len(im.mode)])
    assert Image.registered_extensions()[".tlg"] == "TLG"


def test_open_reads_headers_and_load_finds_damage(monkeypatch, native_pixels):
    data = SAMPLES[0].parent.joinpath("badge-tlg6.tlg").read_bytes()
    im = Image.open(io.BytesIO(data[: len(data) // 2]))
    assert (im.mode, im.size) == ("RGBA", (96, 96))
    with pytest.raises(OSError, match="truncated"):
        im.load()
    monkeypatch.setattr(ImageFile, "LOAD_TRUNCATED_IMAGES", True)
    with Image.open(io.BytesIO(data[: len(data) // 2])) as im:
        loaded = numpy.asarray(im)
    expected = native_pixels["badge-tlg6.tlg"]
    kept = next(y for y in range(96) if (loaded[y] != expected[y]).any())
    assert expected[:kept].any() and not loaded[kept:].any()
    numpy.testing.assert_array_equal(loaded[:kept], expected[:kept])
    monkeypatch.setattr(ImageFile, "LOAD_TRUNCATED_IMAGES", False)
    corrupt = bytearray(data)
    corrupt[-40:] = bytes(40)
    with pytest.raises(OSError):
        Image.open(io.BytesIO(bytes(corrupt))).load()
    with pytest.raises(UnidentifiedImageError):
        Image.open(io.BytesIO(b"TLG7.0\x00raw\x1a" + data[11:]))
    with pytest.raises(OSError) as raised:
        Image.open(io.BytesIO(data[:14]))
    assert not isinstance(raised.value, UnidentifiedImageError)


def test_damaged_tags_keep_the_entries_before_the_damage():
    pixels = random_pixels(12, 10, 4)
    good = tlg.encode(pixels, tags=dict([KEPT_TAG, DAMAGED_TAG]))
    for what, data in damaged_tags_files(good).items():
        kept = dict([KEPT_TAG])
        assert tlg.info(data).tags == kept, what
        assert tlg.info(io.BytesIO(data)).tags == kept, what
        numpy.testing.assert_array_equal(tlg.decode(data), pixels, err_msg=what)
        with Image.open(io.BytesIO(data)) as im:
            assert im.info["tags"] == kept, what
            numpy.testing.assert_array_equal(numpy.asarray(im), pixels, err_msg=what)


def test_save_round_trips(tmp_path):
    pixels = random_pixels(20, 30, 4)
    path = tmp_path / "out.tlg"
    Image.fromarray(pixels).save(path)
    assert tlg.info(path).kind == "tlg6"
    with Image.open(path) as im:
        numpy.testing.assert_array_equal(numpy.asarray(im), pixels)

    rgb = Image.fromarray(pixels[..., :3])
    data = saved(rgb, tlg_format="tlg5", tags={"title": "x"})
    info = tlg.info(data)
    assert (info.kind, info.raster, info.colours, info.tags) == ("wrapped", "tlg5", 3, {"title": "x"})
    with Image.open(io.BytesIO(data)) as im:
        assert im.info["tags"] == {"title": "x"}
        numpy.testing.assert_array_equal(numpy.asarray(im), pixels[..., :3])
    with pytest.raises(ValueError):
        saved(rgb, tlg_format="tlg7")


def test_save_converts_other_modes():
    rgba = Image.fromarray(random_pixels(6, 7, 4))
    palette = rgba.convert("RGB").convert("P")
    keyed = palette.copy()
    keyed.info["transparency"] = keyed.getpixel((0, 0))
    cases = {
        "L": (rgba.convert("L"), "RGB"),
        "LA": (rgba.convert("LA"), "RGBA"),
        "1": (rgba.convert("1"), "RGB"),
        "RGBX": (rgba.convert("RGBX"), "RGB"),
        "CMYK": (rgba.convert("CMYK"), "RGB"),
        "P": (palette, "RGB"),
        "P with transparency": (keyed, "RGBA"),
    }
    for name, (im, mode) in cases.items():
        with Image.open(io.BytesIO(saved(im))) as back:
            assert back.mode == mode, name
            numpy.testing.assert_array_equal(numpy.asarray(back), numpy.asarray(im.convert(mode)),
                                             err_msg=name)
    for mode in ("I", "F", "I;16"):
        with pytest.raises(OSError, match="cannot write mode"):
            saved(Image.new(mode, (2, 2)))


def test_decompression_bomb_limit(monkeypatch):
    data = saved(Image.new("RGB", (20, 10)))
    monkeypatch.setattr(Image, "MAX_IMAGE_PIXELS", 150)
    with pytest.warns(Image.DecompressionBombWarning):
        Image.open(io.BytesIO(data)).load()
    monkeypatch.setattr(Image, "MAX_IMAGE_PIXELS", 99)
    with pytest.raises(Image.DecompressionBombError):
        Image.open(io.BytesIO(data))
