"""The TLG format for Pillow, registered when this module is imported (which
``import tlg`` does): Image.open reads TLG5, TLG6 and wrapped files, and
Image.save writes them.

Opening reads the headers only: the size, the mode ("RGB" for three colours,
else "RGBA"), ``im.info["tlg_kind"]`` ("tlg5" or "tlg6") and, for a wrapped
file, ``im.info["tags"]``. The pixels are decoded on load; with
ImageFile.LOAD_TRUNCATED_IMAGES set, a file that ends early gives the rows
before its end, and black below them. Saving writes TLG6 unless
``tlg_format="tlg5"`` is given; ``tags={...}`` puts the picture in a wrapper
with those tags; ``threads=N`` and ``clear_transparent=True`` are passed on
to tlg.encode(). Modes other than RGB and RGBA are converted to the one of
the two that keeps their colours and transparency; I, F and I;16 are refused.
"""
from PIL import Image, ImageFile

import tlg

FORMAT = "TLG"
MIME = "image/x-tlg"
_NO_LIMIT = 2**64 - 1

# Modes written as they are, and the mode others become.
_SAVE_MODES = {
    "RGB": "RGB",
    "RGBA": "RGBA",
    "RGBX": "RGB",
    "RGBa": "RGBA",
    "1": "RGB",
    "L": "RGB",
    "LA": "RGBA",
    "La": "RGBA",
    "PA": "RGBA",
    "CMYK": "RGB",
    "YCbCr": "RGB",
    "HSV": "RGB",
}


def _accept(prefix):
    return tlg._tlg.probe(prefix) != 0


def _oserror(error):
    """A TLG error as Pillow reports damage: an OSError."""
    if isinstance(error, tlg.TruncatedError):
        return OSError(f"image file is truncated: {error}")
    return OSError(f"cannot read TLG file: {error}")


class TlgImageFile(ImageFile.ImageFile):
    format = FORMAT
    format_description = "TLG image"

    def _open(self):
        start = self.fp.tell()
        try:
            described = tlg._info_of_stream(self.fp)
        except tlg.NotTlgError as error:
            raise SyntaxError("not a TLG file") from error
        except tlg.TlgError as error:
            raise _oserror(error) from error
        self.mode = described.mode
        self._size = (described.width, described.height)
        if described.kind == "wrapped":
            self.info["tags"] = described.tags
        self.info["tlg_kind"] = described.raster

        # Image might not be small
        Image._decompression_bomb_check(self.size)

        # RGB pictures are decoded as RGBA, whose alpha the unpacker skips.
        # (Pillow itself refuses pictures of width or height 0.)
        rawmode = "RGBX" if self.mode == "RGB" else "RGBA"
        self.tile = [("tlg", (0, 0) + self.size, start, (rawmode,))]


class TlgDecoder(ImageFile.PyDecoder):
    _pulls_fd = True

    def decode(self, buffer):
        data = self.fd.read()
        try:
            # The size has passed Pillow's own limit, which governs here.
            if ImageFile.LOAD_TRUNCATED_IMAGES:
                pixels, _ = tlg._tlg.decode_truncated(data, _NO_LIMIT)
            else:
                pixels = tlg._tlg.decode(data, 4, _NO_LIMIT)
        except tlg.TlgError as error:
            raise _oserror(error) from error
        if (pixels.shape[1], pixels.shape[0]) != self.state.extents()[2:]:
            raise OSError("cannot read TLG file: the size changed since it was opened")
        self.set_as_raw(pixels, self.args[0])
        return -1, 0


def _save(im, fp, filename):
    options = im.encoderinfo
    target = _SAVE_MODES.get(im.mode)
    if im.mode == "P":
        palette = im.palette.mode if im.palette is not None else "RGB"
        transparent = "transparency" in im.info or palette == "RGBA"
        target = "RGBA" if transparent else "RGB"
    elif im.mode in ("L", "RGB") and "transparency" in im.info:
        target = "RGBA"
    if target is None:
        raise OSError(f"cannot write mode {im.mode} as TLG")
    if im.mode != target:
        im = im.convert(target)
    try:
        data = tlg.encode(im, options.get("tlg_format", "tlg6"), options.get("tags"),
                          threads=options.get("threads", 1),
                          clear_transparent=options.get("clear_transparent", False))
    except tlg.TlgError as error:
        raise OSError(f"cannot write TLG file: {error}") from error
    fp.write(data)


Image.register_open(FORMAT, TlgImageFile, _accept)
Image.register_decoder("tlg", TlgDecoder)
Image.register_save(FORMAT, _save)
Image.register_extension(FORMAT, ".tlg")
Image.register_mime(FORMAT, MIME)
