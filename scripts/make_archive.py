#!/usr/bin/env python3
"""Writes a zip or tar.gz of a folder that is the same bytes every time:
entries sorted, one timestamp for all (SOURCE_DATE_EPOCH), no owner names.
Symbolic links are stored as links (libtlg.so -> libtlg.so.1), not copies.

usage: make_archive.py FOLDER OUT.zip|OUT.tar.gz
The archive holds FOLDER's contents under FOLDER's own name."""
import gzip
import io
import os
import sys
import tarfile
import time
import zipfile


SYMLINK_MODE = 0o120777
ZIP_UNIX_FOLDER = 0o40000
ZIP_UNIX_FILE = 0o100000


def entries(folder):
    """(archive name, path, is folder) for everything under folder, sorted.
    A link to a folder counts as a link (a file entry), not as a folder."""
    base = os.path.basename(os.path.normpath(folder))
    found = [(base + "/", folder, True)]
    for root, dirs, files in os.walk(folder):
        relative = os.path.relpath(root, folder)
        prefix = base + "/" + ("" if relative == "." else relative.replace(os.sep, "/") + "/")
        for name in dirs:
            path = os.path.join(root, name)
            is_link = os.path.islink(path)
            found.append((prefix + name + ("" if is_link else "/"), path, not is_link))
        found += [(prefix + name, os.path.join(root, name), False) for name in files]
    return sorted(found)


def link_target(path):
    """Where a link points, or None for anything else. Only relative links:
    an absolute one would point into the unpacking machine."""
    if not os.path.islink(path):
        return None
    target = os.readlink(path)
    if os.path.isabs(target):
        sys.exit("make_archive: absolute link %s -> %s" % (path, target))
    return target


def mode_of(path, is_folder):
    return 0o755 if is_folder or os.access(path, os.X_OK) else 0o644


def write_zip(folder, out, epoch):
    stamp = time.gmtime(max(epoch, 315532800))[:6]  # zip dates start in 1980
    with zipfile.ZipFile(out, "w") as archive:
        for name, path, is_folder in entries(folder):
            info = zipfile.ZipInfo(name, stamp)
            info.create_system = 3  # Unix, so that the modes below are read
            target = link_target(path)
            if target is not None:
                # As unzip and Info-ZIP store them: the target as the content.
                info.external_attr = SYMLINK_MODE << 16
                archive.writestr(info, target.encode())
                continue
            kind = ZIP_UNIX_FOLDER if is_folder else ZIP_UNIX_FILE
            info.external_attr = (kind | mode_of(path, is_folder)) << 16
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
            target = link_target(path)
            if target is not None:
                info.type = tarfile.SYMTYPE
                info.linkname = target
                info.mode = 0o777
                archive.addfile(info)
            elif is_folder:
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
