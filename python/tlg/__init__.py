"""Reading and writing TLG pictures (TLG5, TLG6, and either one in a TLG0
wrapper with tags) as NumPy arrays, over libtlg.

A *source* is a path (str or os.PathLike), a bytes-like object (bytes,
bytearray, memoryview, mmap), or a binary file object. File objects are read
from their current position: decode() reads them to the end; info() reads
only the headers (and the tags) and puts the position back where it found it.

Tags are returned as str, decoded from UTF-8; bytes that are not UTF-8 come
back as surrogate escapes, so that writing them again gives the same bytes.

Importing the package registers the TLG format with Pillow, when Pillow is
installed (see tlg.pillow).
"""
import dataclasses
import os

import numpy

from . import _tlg
from ._errors import (
    CorruptError,
    ErrorCode,
    NotTlgError,
    TlgError,
    TooLargeError,
    TruncatedError,
)

__all__ = [
    "CorruptError",
    "ErrorCode",
    "Info",
    "NotTlgError",
    "TlgError",
    "TooLargeError",
    "TruncatedError",
    "decode",
    "encode",
    "info",
    "write",
    "DEFAULT_MAX_PIXELS",
]

__version__ = "1.0.0"

#: Pictures of more pixels are refused unless decode() is given max_pixels.
DEFAULT_MAX_PIXELS = _tlg.DEFAULT_MAX_PIXELS

_KIND_NAMES = {5: "tlg5", 6: "tlg6", 7: "wrapped"}
_FORMATS = {"tlg5": 5, "tlg6": 6}
# More threads than this only cost memory.
_MOST_THREADS = 256

# Bytes read ahead for the headers: far more than any header takes, little
# enough to cost nothing.
_HEAD_SIZE = 64 * 1024
# A wrapper: signature, then the size of the picture inside, then chunks.
_WRAPPER_SIGNATURE_SIZE = 11
_WRAPPER_HEADER_SIZE = 15


@dataclasses.dataclass(frozen=True)
class Info:
    """What a TLG file's headers say."""

    kind: str  # "tlg5", "tlg6", or "wrapped" for a TLG0 wrapper
    raster: str  # "tlg5" or "tlg6": the picture itself, inside any wrapper
    colours: int  # 3 or 4 (TLG6 may also hold 1)
    width: int
    height: int
    tags: dict  # the wrapper's tags; empty when there are none

    @property
    def mode(self):
        """The natural mode to decode to: RGB for three colours, else RGBA."""
        return "RGB" if self.colours == 3 else "RGBA"


def library_version():
    """The version of the libtlg built into the package, as (major, minor, patch)."""
    return _tlg.library_version()


def _text(raw):
    return raw.decode("utf-8", "surrogateescape")


def _raw(text, what):
    if isinstance(text, str):
        return text.encode("utf-8", "surrogateescape")
    if isinstance(text, (bytes, bytearray, memoryview)):
        return bytes(text)
    raise TypeError(f"tag {what}s must be str or bytes, not {type(text).__name__}")


def _is_path(source):
    return isinstance(source, (str, os.PathLike))


def _read_all(source):
    """The bytes of a source: a file's contents, or the buffer itself."""
    if _is_path(source):
        with open(source, "rb") as file:
            return file.read()
    if hasattr(source, "read"):
        data = source.read()
        if not isinstance(data, (bytes, bytearray, memoryview)):
            raise TypeError("file objects must be opened in binary mode")
        return data
    return source


def _make_info(described, tags):
    kind, raster, colours, width, height, _ = described
    return Info(
        kind=_KIND_NAMES[kind],
        raster=_KIND_NAMES[raster],
        colours=colours,
        width=width,
        height=height,
        tags={_text(k): _text(v) for k, v in tags},
    )


def _info_of_bytes(data):
    described = _tlg.info(data)
    return _make_info(described, _tlg.tags(data) if described[5] else [])


def _info_of_stream(file):
    """Info from a seekable binary file, reading the headers and, for a
    wrapper, the chunks after the picture, but not the picture itself."""
    start = file.tell()
    try:
        head = file.read(_HEAD_SIZE)
        if len(head) < _HEAD_SIZE:
            return _info_of_bytes(head)  # the whole file
        try:
            described = _tlg.info(head)
        except TruncatedError:  # headers longer than guessed: take it all
            file.seek(start)
            return _info_of_bytes(file.read())
        if _KIND_NAMES[described[0]] != "wrapped":
            return _make_info(described, [])
        # The tags follow the picture: read the chunks alone, behind a wrapper
        # header that says the picture inside is empty.
        inner = int.from_bytes(head[_WRAPPER_SIGNATURE_SIZE:_WRAPPER_HEADER_SIZE], "little")
        file.seek(start + _WRAPPER_HEADER_SIZE + inner)
        chunks = file.read()
        tags = _tlg.tags(head[:_WRAPPER_SIGNATURE_SIZE] + bytes(4) + chunks)
        return _make_info(described, tags)
    finally:
        file.seek(start)


def info(source):
    """Describes a TLG picture without decoding it: an Info."""
    if _is_path(source):
        with open(source, "rb") as file:
            return _info_of_stream(file)
    if hasattr(source, "read"):
        if hasattr(source, "seekable") and source.seekable():
            return _info_of_stream(source)
        return _info_of_bytes(_read_all(source))
    return _info_of_bytes(source)


def _max_pixels(max_pixels):
    if max_pixels is None:
        return 0
    if max_pixels < 1:
        raise ValueError("max_pixels must be at least 1")
    return min(int(max_pixels), 2**64 - 1)


def decode(source, mode="RGBA", *, max_pixels=None):
    """Decodes a TLG picture into a uint8 array of shape (height, width, 4)
    for mode "RGBA", or (height, width, 3) for mode "RGB".

    Pictures of more than max_pixels pixels (default DEFAULT_MAX_PIXELS) are
    refused with TooLargeError before any memory is set aside for them.
    """
    channels = {"RGBA": 4, "RGB": 3}.get(mode)
    if channels is None:
        raise ValueError(f'mode must be "RGBA" or "RGB", not {mode!r}')
    return _tlg.decode(_read_all(source), channels, _max_pixels(max_pixels))


def _encode_args(format, tags, wrap):
    kind = _FORMATS.get(format.lower() if isinstance(format, str) else format)
    if kind is None:
        raise ValueError(f'format must be "tlg5" or "tlg6", not {format!r}')
    pairs = []
    if tags is not None:
        if not hasattr(tags, "items"):
            raise TypeError(f"tags must be a mapping, not {type(tags).__name__}")
        pairs = [(_raw(k, "key"), _raw(v, "value")) for k, v in tags.items()]
    return kind, bool(wrap) or tags is not None, pairs


def encode(pixels, format="tlg6", tags=None, *, wrap=False, threads=1, clear_transparent=False):
    """Encodes a uint8 array of shape (height, width, 3) or (height, width, 4),
    of any strides, into TLG bytes.

    format is "tlg5" or "tlg6". With tags (a mapping of str or bytes), or
    wrap=True, the picture goes into a TLG0 wrapper with a "tags" chunk.
    Pictures whose every alpha is 255 are stored with three colours.
    threads: TLG6 is coded on this many threads (the bytes are the same for
    any count). clear_transparent: fully transparent pixels are stored as 0,
    whatever their colour, which makes files smaller but loses that colour.
    """
    kind, wrapped, pairs = _encode_args(format, tags, wrap)
    if not isinstance(threads, int) or threads < 1:
        raise ValueError("threads must be a whole number from 1 up")
    if not isinstance(pixels, numpy.ndarray):
        pixels = numpy.asarray(pixels)
    return _tlg.encode(pixels, kind, wrapped, pairs, min(threads, _MOST_THREADS), bool(clear_transparent))


def write(path, pixels, format="tlg6", tags=None, *, wrap=False, threads=1, clear_transparent=False):
    """Encodes pixels as encode() does and writes them to path atomically: the
    file is written under a temporary name in the same folder and renamed over
    path once whole, so that path never holds a partial picture."""
    data = encode(pixels, format, tags, wrap=wrap, threads=threads, clear_transparent=clear_transparent)
    path = os.fspath(path)
    folder, name = os.path.split(path)
    for _ in range(100):
        temporary = os.path.join(folder, f".{name}.{os.urandom(6).hex()}.tmp")
        try:
            # 0o666 less the umask, as any file the program creates.
            flags = os.O_WRONLY | os.O_CREAT | os.O_EXCL | getattr(os, "O_BINARY", 0)
            descriptor = os.open(temporary, flags, 0o666)
            break
        except FileExistsError:
            continue
        except OSError as error:
            raise type(error)(error.errno, error.strerror, path) from None
    else:
        raise FileExistsError(f"no free temporary name beside {path}")
    try:
        with os.fdopen(descriptor, "wb") as file:
            file.write(data)
        os.replace(temporary, path)
    except BaseException:
        try:
            os.unlink(temporary)
        except OSError:
            pass
        raise


try:
    import PIL  # noqa: F401
except ImportError:  # Pillow is optional
    pass
else:
    from . import pillow  # noqa: F401  (registers the format)
