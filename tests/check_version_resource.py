#!/usr/bin/env python3
"""Checks the version resource that Windows shows in a file's properties:
present, with the project's version and every field a user looks at.

usage: check_version_resource.py FILE VERSION [DESCRIPTION_WORD]"""
import os
import sys

from pe_file import PeFile

FIELDS = ("FileDescription", "FileVersion", "ProductName", "ProductVersion", "LegalCopyright",
          "OriginalFilename")


def main(path, version, description_word=None):
    info = PeFile(path).version_info()
    if info is None:
        print(path + ": no version resource")
        return 1
    file_version, product_version, strings = info
    expected = tuple(int(part) for part in version.split(".")) + (0,)
    failures = []
    if file_version != expected or product_version != expected:
        failures.append("numeric version %s / %s, expected %s" % (file_version, product_version, expected))
    for field in FIELDS:
        if not strings.get(field):
            failures.append("no " + field)
    for field in ("FileVersion", "ProductVersion"):
        if strings.get(field) != version:
            failures.append("%s is %r, expected %r" % (field, strings.get(field), version))
    if strings.get("OriginalFilename", "").lower() != os.path.basename(path).lower():
        failures.append("OriginalFilename is %r" % strings.get("OriginalFilename"))
    if description_word and description_word not in strings.get("FileDescription", ""):
        failures.append("FileDescription %r does not mention %r" % (strings.get("FileDescription"), description_word))
    for failure in failures:
        print(path + ": " + failure)
    print("%s: version %s, %s" % (path, strings.get("FileVersion"), "FAILED" if failures else "ok"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
