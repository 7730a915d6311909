#!/usr/bin/env python3
"""Checks a built plug-in DLL without running it: every export under its
plain name (and, in a 32-bit DLL, its stdcall-decorated name at the same
address), and imports from system libraries only."""
import struct
import sys

EXPORTS = {"GetPluginInfo": 12, "IsSupported": 8, "GetPictureInfo": 16,
           "GetPluginInfoW": 12, "IsSupportedW": 8, "GetPictureInfoW": 16,
           "GetPictureW": 28, "GetPreviewW": 28,
           "GetPicture": 28, "GetPreview": 28}
SYSTEM = {"kernel32.dll", "msvcrt.dll", "ntdll.dll", "user32.dll", "advapi32.dll"}


def main(path):
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    assert data[pe:pe + 4] == b"PE\0\0", "not a PE file"
    machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    table = [(va, raw, size) for size, va, _, raw in
             (struct.unpack_from("<IIII", data, optional + optional_size + 40 * i + 8)
              for i in range(sections))]

    def offset(rva):
        for va, raw, size in table:
            if va <= rva < va + max(size, 1):
                return rva - va + raw
        raise ValueError("rva %x outside the sections" % rva)

    def text(rva):
        start = offset(rva)
        return data[start:data.index(b"\0", start)].decode("ascii")

    failures = []
    export_rva = struct.unpack_from("<I", data, directories)[0]
    if export_rva == 0:
        print(path + ": exports nothing")
        return 1
    count_functions, count_names, functions, names, ordinals = struct.unpack_from(
        "<20x IIIII", data, offset(export_rva))
    exported = {}
    for i in range(count_names):
        name = text(struct.unpack_from("<I", data, offset(names) + 4 * i)[0])
        ordinal = struct.unpack_from("<H", data, offset(ordinals) + 2 * i)[0]
        exported[name] = struct.unpack_from("<I", data, offset(functions) + 4 * ordinal)[0]
    for name, argument_bytes in EXPORTS.items():
        if name not in exported:
            failures.append("missing export " + name)
        elif machine == 0x14C:
            decorated = "_%s@%d" % (name, argument_bytes)
            if exported.get(decorated) != exported[name]:
                failures.append("%s is not exported at the address of %s" % (decorated, name))

    import_rva = struct.unpack_from("<I", data, directories + 8)[0]
    entry = offset(import_rva)
    while True:
        name_rva = struct.unpack_from("<I", data, entry + 12)[0]
        if name_rva == 0:
            break
        library = text(name_rva).lower()
        if library not in SYSTEM and not library.startswith("api-ms-win-"):
            failures.append("imports a non-system library: " + library)
        entry += 20

    for failure in failures:
        print(path + ": " + failure)
    print("%s: %d exports checked, %s" % (path, len(exported), "FAILED" if failures else "ok"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
