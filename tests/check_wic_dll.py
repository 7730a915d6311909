#!/usr/bin/env python3
"""Checks a built imaging component decoder DLL without running it: the four
exports of a COM server under their plain names, and imports from system
libraries only (libgcc, libstdc++ and winpthread are linked in)."""
import sys

from pe_file import PeFile

EXPORTS = ("DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer")
SYSTEM = {"kernel32.dll", "msvcrt.dll", "ntdll.dll", "user32.dll", "advapi32.dll", "ole32.dll",
          "oleaut32.dll", "shlwapi.dll"}


def main(path):
    dll = PeFile(path)
    exported = dll.exports()
    failures = ["missing export " + name for name in EXPORTS if name not in exported]
    failures += ["imports a non-system library: " + library for library in dll.imports()
                 if library not in SYSTEM and not library.startswith("api-ms-win-")]
    for failure in failures:
        print(path + ": " + failure)
    print("%s: %s" % (path, "FAILED" if failures else "ok"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
