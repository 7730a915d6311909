#!/usr/bin/env python3
"""The desktop integrations as a user installs them.

install: `cmake --install` into a private prefix puts the gdk-pixbuf module,
the MIME type, the thumbnailer entry and the Qt plug-in where gdk-pixbuf,
shared-mime-info and Qt look for them, and each works from there.

eog: Eye of GNOME, under Xvfb with the installed module registered in a
private loaders cache and MIME database, shows a TLG picture: its colour
appears at the centre of eog's window on a screenshot.

Everything it starts runs in its own process group and is killed at the end.
"""
import argparse
import ctypes
import os
import shutil
import signal
import struct
import subprocess
import sys
import time
import zlib

SKIP = 77  # ctest's SKIP_RETURN_CODE for this test

# A colour neither eog nor its theme draws: the centre of the picture.
MARK = (214, 32, 122)
WIDTH, HEIGHT = 480, 300


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def run(args, env=None, timeout=120):
    result = subprocess.run(args, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            timeout=timeout)
    if result.returncode != 0:
        fail("%s exited with %d:\n%s" % (" ".join(args), result.returncode,
                                          result.stdout.decode(errors="replace")))
    return result.stdout.decode(errors="replace")


def write_png(path, width, height, pixel):
    """An RGB PNG; pixel(x, y) gives each (r, g, b)."""
    rows = b"".join(b"\0" + bytes(c for x in range(width) for c in pixel(x, y))
                    for y in range(height))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
                chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def picture_pixel(x, y):
    # A soft gradient around a panel of the mark colour.
    if WIDTH // 4 <= x < WIDTH * 3 // 4 and HEIGHT // 4 <= y < HEIGHT * 3 // 4:
        return MARK
    return (40 + x * 120 // WIDTH, 90 + y * 100 // HEIGHT, 160 - x * 60 // WIDTH)


def install(opts, prefix):
    """Installs into prefix; returns the environment that finds what was installed."""
    run([opts.cmake, "--install", opts.build, "--prefix", prefix])
    module = os.path.join(prefix, opts.pixbuf_moduledir, "libpixbufloader-tlg.so")
    for path in (module, os.path.join(prefix, "share/mime/packages/tlg.xml"),
                 os.path.join(prefix, "share/thumbnailers/tlg.thumbnailer")):
        if not os.path.isfile(path):
            fail("not installed: " + path)

    # gdk-pixbuf's own loaders and ours, in a cache of our own.
    system_loaders = sorted(os.path.join(opts.system_moduledir, name)
                            for name in os.listdir(opts.system_moduledir) if name.endswith(".so"))
    cache = run([opts.query_loaders] + system_loaders + [module])
    if '"image/x-tlg"' not in cache:
        fail("gdk-pixbuf-query-loaders does not see the installed module:\n" + cache)
    cache_file = os.path.join(prefix, "loaders.cache")
    with open(cache_file, "w") as f:
        f.write(cache)
    run([opts.update_mime_database, os.path.join(prefix, "share/mime")])

    env = dict(os.environ)
    env.update({
        "GDK_PIXBUF_MODULE_FILE": cache_file,
        "XDG_DATA_DIRS": os.path.join(prefix, "share") + ":/usr/local/share:/usr/share",
        "XDG_DATA_HOME": os.path.join(prefix, "home/data"),
        "XDG_CONFIG_HOME": os.path.join(prefix, "home/config"),
        "XDG_CACHE_HOME": os.path.join(prefix, "home/cache"),
        "XDG_RUNTIME_DIR": os.path.join(prefix, "home/runtime"),
        "HOME": os.path.join(prefix, "home"),
        "GSETTINGS_BACKEND": "keyfile",
        "NO_AT_BRIDGE": "1",
    })
    os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700)
    # eog's side panel off, so that the picture is all its window shows.
    settings = os.path.join(env["XDG_CONFIG_HOME"], "glib-2.0/settings")
    os.makedirs(settings)
    with open(os.path.join(settings, "keyfile"), "w") as f:
        f.write("[org/gnome/eog/ui]\nsidebar=false\n")
    return env


def check_install(opts, work):
    prefix = os.path.join(work, "prefix")
    env = install(opts, prefix)
    picture = os.path.join(work, "picture.tlg")
    shutil.copy(os.path.join(opts.source, "samples/badge-tlg6.tlg"), picture)

    # The MIME database names the type by content, as file managers ask it.
    mime = run(["gio", "info", "-a", "standard::content-type", picture], env=env) if shutil.which("gio") else ""
    if shutil.which("gio") and "image/x-tlg" not in mime:
        fail("the installed MIME database does not know the picture:\n" + mime)

    # The thumbnailer entry's command, run as a file manager runs it.
    entry = open(os.path.join(prefix, "share/thumbnailers/tlg.thumbnailer")).read()
    exec_line = next(line for line in entry.splitlines() if line.startswith("Exec="))
    thumbnail = os.path.join(work, "thumbnail.png")
    args = [a.replace("%s", "64").replace("%u", "file://" + picture).replace("%o", thumbnail)
            for a in exec_line[len("Exec="):].split()]
    run(args, env=env)
    with open(thumbnail, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n" or struct.unpack(">II", head[16:24]) != (64, 64):
        fail("the thumbnailer did not write a 64 x 64 PNG")

    # The installed Qt plug-in, found where Qt looks for plug-ins.
    if opts.qt_test:
        qt_env = dict(env, QT_QPA_PLATFORM="offscreen",
                      QT_PLUGIN_PATH=os.path.join(prefix, opts.qt_plugindir))
        run([opts.qt_test, "--gtest_filter=QtPlugin.IsListedForReadingAndWriting"], env=qt_env)
    print("installed integrations work from " + prefix)


class Group:
    """Processes started in their own groups, all killed on exit."""

    def __init__(self):
        self.processes = []

    @staticmethod
    def _die_with_parent():
        # Killed along with this script, should the test runner kill it first.
        ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG

    def start(self, args, **kwargs):
        p = subprocess.Popen(args, start_new_session=True, preexec_fn=self._die_with_parent, **kwargs)
        self.processes.append(p)
        return p

    def stop(self, p):
        if p.poll() is None:
            try:
                os.killpg(p.pid, signal.SIGTERM)
                p.wait(timeout=5)
            except (ProcessLookupError, subprocess.TimeoutExpired):
                try:
                    os.killpg(p.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
                p.wait()

    def stop_all(self):
        for p in reversed(self.processes):
            self.stop(p)


def start_xvfb(group):
    read_fd, write_fd = os.pipe()
    xvfb = group.start(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24",
                        "-nolisten", "tcp"], pass_fds=(write_fd,), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
    os.close(write_fd)
    number = b""
    deadline = time.time() + 20
    while not number.endswith(b"\n") and time.time() < deadline and xvfb.poll() is None:
        chunk = os.read(read_fd, 16)
        if not chunk:
            break
        number += chunk
    os.close(read_fd)
    if not number.strip().isdigit():
        fail("Xvfb did not start")
    return ":" + number.strip().decode()


def eog_window(env):
    """eog's top-level window as (x, y, width, height), or None."""
    out = subprocess.run(["xwininfo", "-root", "-children"], env=env, stdout=subprocess.PIPE,
                         stderr=subprocess.DEVNULL, timeout=10).stdout.decode(errors="replace")
    best = None
    for line in out.splitlines():
        if '("eog"' not in line:
            continue
        # ... ("eog" "Eog"):  WxH+X+Y  +X+Y
        geometry = line.split(")")[-1].split()
        if len(geometry) < 2:
            continue
        size, _, _ = geometry[0].partition("+")
        w, h = (int(v) for v in size.split("x"))
        x, y = (int(v) for v in geometry[1].lstrip("+").split("+"))
        if w > 100 and h > 100 and (best is None or w * h > best[2] * best[3]):
            best = (x, y, w, h)
    return best


def screenshot(env):
    """The screen as (width, height, rgb bytes)."""
    data = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"], env=env,
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=20).stdout
    fields = []
    i = 0
    while len(fields) < 4:  # P6 width height maxval, then one whitespace byte
        while data[i:i + 1].isspace():
            i += 1
        start = i
        while not data[i:i + 1].isspace():
            i += 1
        fields.append(data[start:i])
    width, height = int(fields[1]), int(fields[2])
    return width, height, data[i + 1:i + 1 + width * height * 3]


def near(a, b):
    return all(abs(x - y) <= 3 for x, y in zip(a, b))


def check_eog(opts, work):
    missing = [p for p in ("eog", "Xvfb", "import", "xwininfo") if not shutil.which(p)]
    if missing:
        print("SKIP: the eog test needs %s" % ", ".join(missing))
        sys.exit(SKIP)
    env = install(opts, os.path.join(work, "prefix"))
    png, picture = os.path.join(work, "picture.png"), os.path.join(work, "picture.tlg")
    write_png(png, WIDTH, HEIGHT, picture_pixel)
    run([opts.tool, "encode", png, "-o", picture])

    group = Group()
    try:
        env["DISPLAY"] = start_xvfb(group)
        env["GDK_BACKEND"] = "x11"
        eog_args = ["eog", "--new-instance", "--disable-gallery", picture]
        if shutil.which("dbus-run-session"):
            eog_args = ["dbus-run-session", "--"] + eog_args
        log = open(os.path.join(work, "eog.log"), "w")
        for attempt in range(3):
            eog = group.start(eog_args, env=env, stdout=log, stderr=subprocess.STDOUT)
            deadline = time.time() + 40
            while time.time() < deadline and eog.poll() is None:
                time.sleep(0.5)
                window = eog_window(env)
                if window is None:
                    continue
                width, height, rgb = screenshot(env)
                x, y, w, h = window
                cx, cy = x + w // 2, y + h // 2
                if not (0 <= cx < width and 0 <= cy < height):
                    continue
                centre = tuple(rgb[(cy * width + cx) * 3:(cy * width + cx) * 3 + 3])
                if near(centre, MARK):
                    marked = sum(1 for i in range(0, len(rgb), 3) if near(rgb[i:i + 3], MARK))
                    if marked < (WIDTH // 2) * (HEIGHT // 2) // 2:
                        fail("only %d pixels of the picture's colour on screen" % marked)
                    if opts.screenshot:
                        subprocess.run(["import", "-window", "root", "-crop",
                                        "%dx%d+%d+%d" % (w, h, x, y), opts.screenshot], env=env,
                                       timeout=20, check=True)
                    print("eog shows the picture: colour %s at the window's centre (%d, %d), "
                          "%d pixels of it on screen" % (centre, cx, cy, marked))
                    return
            group.stop(eog)
            print("eog attempt %d: no picture within 40 s (exit %s)" % (attempt + 1, eog.poll()))
        log.close()
        fail("eog never showed the picture; its output:\n" +
             open(os.path.join(work, "eog.log")).read()[-3000:])
    finally:
        group.stop_all()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("what", choices=["install", "eog"])
    parser.add_argument("--build", required=True)
    parser.add_argument("--source", required=True)
    parser.add_argument("--cmake", required=True)
    parser.add_argument("--tool", required=True)
    parser.add_argument("--pixbuf-moduledir", required=True, help="relative to the prefix")
    parser.add_argument("--system-moduledir", required=True)
    parser.add_argument("--query-loaders", required=True)
    parser.add_argument("--update-mime-database", required=True)
    parser.add_argument("--qt-plugindir", help="relative to the prefix")
    parser.add_argument("--qt-test")
    parser.add_argument("--screenshot", help="where to keep a PNG of eog's window")
    parser.add_argument("--work", required=True)
    opts = parser.parse_args()

    work = os.path.abspath(opts.work)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    if opts.what == "install":
        check_install(opts, work)
    else:
        check_eog(opts, work)


if __name__ == "__main__":
    main()
