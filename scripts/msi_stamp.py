#!/usr/bin/env python3
"""Makes a package from wixl reproducible: wixl writes a random package code
and the current time into the summary information; this puts in the given
code and time instead, in place (same lengths, so the file's layout holds).

usage: msi_stamp.py MSI PACKAGE_CODE EPOCH_SECONDS"""
import re
import sys

# The package code (a 38-character string property) followed by the
# creation and last-save times (FILETIME properties).
SUMMARY = re.compile(rb"\x1e\x00\x00\x00'\x00\x00\x00(\{[0-9A-F-]{36}\})\x00\x00"
                     rb"@\x00\x00\x00(.{8})@\x00\x00\x00(.{8})", re.S)
FILETIME_EPOCH_OFFSET = 11644473600  # seconds from 1601 to 1970


def main(path, code, epoch):
    data = bytearray(open(path, "rb").read())
    found = list(SUMMARY.finditer(data))
    if len(found) != 1:
        print("%s: %d summary blocks found, expected 1" % (path, len(found)))
        return 1
    match = found[0]
    stamp = ((int(epoch) + FILETIME_EPOCH_OFFSET) * 10_000_000).to_bytes(8, "little")
    data[match.start(1):match.end(1)] = ("{%s}" % code.upper().strip("{}")).encode("ascii")
    data[match.start(2):match.end(2)] = stamp
    data[match.start(3):match.end(3)] = stamp
    open(path, "wb").write(bytes(data))
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
