"""The exceptions of the tlg package, and the one place that maps libtlg's
error codes onto them."""
import enum
import errno


class ErrorCode(enum.IntEnum):
    """libtlg's error codes."""

    NOT_TLG = 1
    TRUNCATED = 2
    CORRUPT = 3
    TOO_LARGE = 4
    OUT_OF_MEMORY = 5
    IO = 6
    STOPPED = 7
    INVALID_ARGUMENT = 8


class TlgError(ValueError):
    """Data that cannot be read as a TLG picture, or pixels that cannot be
    written as one. ``code`` is the ErrorCode."""

    def __init__(self, message, code=None):
        super().__init__(message)
        self.code = code


class NotTlgError(TlgError):
    """The data does not begin with a TLG signature."""


class TruncatedError(TlgError):
    """The data ends before the picture does."""


class CorruptError(TlgError):
    """Malformed headers or picture data."""


class TooLargeError(TlgError):
    """Over the pixel limit, or sizes the format or the library cannot hold."""


_CLASSES = {
    ErrorCode.NOT_TLG: NotTlgError,
    ErrorCode.TRUNCATED: TruncatedError,
    ErrorCode.CORRUPT: CorruptError,
    ErrorCode.TOO_LARGE: TooLargeError,
}


def error_for(code, message):
    """The exception to raise for a libtlg error code."""
    try:
        code = ErrorCode(code)
    except ValueError:
        return TlgError(message)
    if code == ErrorCode.OUT_OF_MEMORY:
        return MemoryError(message)
    if code == ErrorCode.IO:
        return OSError(errno.EIO, message)
    return _CLASSES.get(code, TlgError)(message, code)
