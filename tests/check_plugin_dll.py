#!/usr/bin/env python3
"""Checks a built plug-in DLL without running it: every export under its
plain name (and, in a 32-bit DLL, its stdcall-decorated name at the same
address), and imports from system libraries only."""
import sys

from pe_file import PeFile

EXPORTS = {"GetPluginInfo": 12, "IsSupported": 8, "GetPictureInfo": 16,
           "GetPluginInfoW": 12, "IsSupportedW": 8, "GetPictureInfoW": 16,
           "GetPictureW": 28, "GetPreviewW": 28,
           "GetPicture": 28, "GetPreview": 28}
SYSTEM = {"kernel32.dll", "msvcrt.dll", "ntdll.dll", "user32.dll", "advapi32.dll"}


def main(path):
    dll = PeFile(path)
    failures = []
    exported = dll.exports()
    if not exported:
        print(path + ": exports nothing")
        return 1
    for name, argument_bytes in EXPORTS.items():
        if name not in exported:
            failures.append("missing export " + name)
        elif dll.machine == 0x14C:
            decorated = "_%s@%d" % (name, argument_bytes)
            if exported.get(decorated) != exported[name]:
                failures.append("%s is not exported at the address of %s" % (decorated, name))

    for library in dll.imports():
        if library not in SYSTEM and not library.startswith("api-ms-win-"):
            failures.append("imports a non-system library: " + library)

    for failure in failures:
        print(path + ": " + failure)
    print("%s: %d exports checked, %s" % (path, len(exported), "FAILED" if failures else "ok"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
