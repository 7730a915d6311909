#!/usr/bin/env python3
"""Writes a zip or tar.gz of a folder that is the same bytes every time:
entries sorted, one timestamp for all (SOURCE_DATE_EPOCH), no owner names.

usage: make_archive.py FOLDER OUT.zip|OUT.tar.gz
The archive holds FOLDER's contents under FOLDER's own name."""
import gzip
import io
import os
import sys
import tarfile
import time
import zipfile


def entries(folder):
    """(archive name, path, is folder) for everything under folder, sorted."""
    base = os.path.basename(os.path.normpath(folder))
    found = [(base + "/", folder, True)]
    for root, dirs, files in os.walk(folder):
        relative = os.path.relpath(root, folder)
        prefix = base + "/" + ("" if relative == "." else relative.replace(os.sep, "/") + "/")
        found += [(prefix + name + "/", os.path.join(root, name), True) for name in dirs]
        found += [(prefix + name, os.path.join(root, name), False) for name in files]
    return sorted(found)


def mode_of(path, is_folder):
    return 0o755 if is_folder or os.access(path, os.X_OK) else 0o644


def write_zip(folder, out, epoch):
    stamp = time.gmtime(max(epoch, 315532800))[:6]  # zip dates start in 1980
    with zipfile.ZipFile(out, "w") as archive:
        for name, path, is_folder in entries(folder):
            info = zipfile.ZipInfo(name, stamp)
            info.create_system = 3  # Unix, so that the modes below are read
            info.external_attr = ((0o40000 if is_folder else 0o100000) | mode_of(path, is_folder)) << 16
            if is_folder:
                archive.writestr(info, b"")
            else:
                info.compress_type = zipfile.ZIP_DEFLATED
                with open(path, "rb") as source:
                    archive.writestr(info, source.read(), compresslevel=9)


def write_tar_gz(folder, out, epoch):
    buffer = io.BytesIO()
    with tarfile.open(fileobj=buffer, mode="w", format=tarfile.PAX_FORMAT) as archive:
        for name, path, is_folder in entries(folder):
            info = tarfile.TarInfo(name.rstrip("/"))
            info.mtime = epoch
            info.mode = mode_of(path, is_folder)
            info.uid = info.gid = 0
            info.uname = info.gname = ""
            if is_folder:
                info.type = tarfile.DIRTYPE
                archive.addfile(info)
            else:
                info.size = os.path.getsize(path)
                with open(path, "rb") as source:
                    archive.addfile(info, source)
    with open(out, "wb") as raw, gzip.GzipFile(filename="", mode="wb", fileobj=raw, mtime=epoch,
                                               compresslevel=9) as compressed:
        compressed.write(buffer.getvalue())


def main(folder, out):
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH", "0"))
    if out.endswith(".zip"):
        write_zip(folder, out, epoch)
    elif out.endswith(".tar.gz"):
        write_tar_gz(folder, out, epoch)
    else:
        sys.exit("make_archive: unknown archive kind " + out)


if __name__ == "__main__":
    main(*sys.argv[1:])
