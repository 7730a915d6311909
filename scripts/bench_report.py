#!/usr/bin/python3
"""Turns the benchmark's JSON output into one table (printed, and written as
Markdown) and a bar chart picture.

usage: bench_report.py DECODE.json [--encode ENCODE.json] [--callgrind CALLGRIND.tsv]
                       [--callgrind-encode CALLGRIND.tsv] --out DIR
"""
import argparse
import collections
import json
import os
import platform
import re

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

# Contenders in table order: benchmark name part, label, file it decodes.
DECODERS = [
    ("tlg6", "TLG6 (LoadTlg)", "tlg6"),
    ("plugin-tlg6", "TLG6 (plug-in)", "tlg6"),
    ("tlg5", "TLG5 (LoadTlg)", "tlg5"),
    ("plugin-tlg5", "TLG5 (plug-in)", "tlg5"),
    ("tlg6-avx512", "TLG6 streams in AVX-512 lanes", "tlg6"),
    ("tlg6-avx2", "TLG6 streams in AVX2 lanes", "tlg6"),
    ("tlg6-one-by-one", "TLG6 streams one by one", "tlg6"),
    ("png", "PNG (libpng)", "png"),
    ("webp", "WebP lossless (libwebp)", "webp"),
    ("copy", "memcpy of the pixels", None),
]
SETS = ["photo", "illustration", "sprite"]


ENCODERS = [
    ("tlg6", "TLG6 (one thread)"),
    ("tlg6-threads", "TLG6 (every core)"),
    ("tlg5", "TLG5"),
    ("png", "PNG (libpng, default settings)"),
    ("webp", "WebP lossless (libwebp, default settings)"),
]


def load_runs(path, time_key="cpu_time"):
    """{(kind, contender, set, image): (seconds per iteration, pixels, file bytes)}"""
    with open(path) as f:
        data = json.load(f)
    runs = {}
    for b in data["benchmarks"]:
        if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "min":
            continue
        name = b.get("run_name", b["name"])
        if name.endswith("/real_time"):
            name = name[: -len("/real_time")]
        m = re.match(r"(decode|encode)/([^/]+)/([^/]+)/([^/]+)$", name)
        if not m:
            continue
        seconds = b[time_key] * {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[b["time_unit"]]
        runs[m.groups()] = (seconds, b["pixels"], b["file_bytes"])
    return data["context"], runs


def set_totals(runs, kind, contender, set_name):
    """Megapixels per second over the whole set, and bits per pixel."""
    rows = [v for k, v in runs.items() if k[0] == kind and k[1] == contender and k[2] == set_name]
    if not rows:
        return None
    seconds = sum(r[0] for r in rows)
    pixels = sum(r[1] for r in rows)
    size = sum(r[2] for r in rows)
    return pixels / seconds / 1e6, size * 8 / pixels, len(rows), pixels


def machine(context):
    cpu = "unknown CPU"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    return (f"{cpu}, {context.get('num_cpus')} cores at {context.get('mhz_per_cpu')} MHz, "
            f"{platform.system()} {platform.release()}")



def instructions_table(title, column, path, sets):
    """Lines of a table of instructions per pixel from callgrind's
    "format set instructions pixels" rows."""
    table = collections.defaultdict(dict)
    with open(path) as f:
        for line in f:
            fmt, s, ir, pixels = line.split()
            table[fmt][s] = int(ir) / int(pixels)
    lines = [title, "", f"| {column} | " + " | ".join(sets) + " |", "| --- " * (1 + len(sets)) + "|"]
    for fmt in ("tlg6", "tlg5"):
        lines.append(f"| {fmt.upper()} | " + " | ".join(f"{table[fmt].get(s, 0):.1f}" for s in sets) + " |")
    return lines + [""]

def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("decode")
    parser.add_argument("--encode")
    parser.add_argument("--callgrind")
    parser.add_argument("--callgrind-encode")
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    context, runs = load_runs(args.decode)
    sets = [s for s in SETS if any(k[2] == s for k in runs)]

    lines = [f"Machine: {machine(context)}.", ""]
    lines.append("Decode throughput per set, in megapixels per second (whole set), with the ratio to "
                 "libpng from the same run and the files' bits per pixel.")
    lines.append("")
    header = "| decoder | " + " | ".join(
        f"{s} MP/s | {s} vs PNG | {s} bpp" for s in sets) + " |"
    lines += [header, "| --- " * (1 + 3 * len(sets)) + "|"]
    chart = collections.OrderedDict()
    for contender, label, file_kind in DECODERS:
        cells = []
        for s in sets:
            t = set_totals(runs, "decode", contender, s)
            png = set_totals(runs, "decode", "png", s)
            if t is None:
                cells += ["", "", ""]
                continue
            chart.setdefault(label, []).append(t[0])
            bpp = f"{t[1]:.2f}" if file_kind else ""
            cells += [f"{t[0]:.1f}", f"{t[0] / png[0]:.2f}x", bpp]
        if any(cells):  # a way this processor lacks has no row
            lines.append(f"| {label} | " + " | ".join(cells) + " |")
    lines.append("")
    counts = ", ".join(f"{s}: {set_totals(runs, 'decode', 'png', s)[2]} pictures, "
                       f"{set_totals(runs, 'decode', 'png', s)[3] / 1e6:.1f} MP" for s in sets)
    lines.append(f"Sets: {counts}.")
    lines.append("")

    if args.callgrind and os.path.exists(args.callgrind):
        lines += instructions_table("Instructions per pixel (callgrind, LoadTlg only):", "decoder",
                                    args.callgrind, sets)

    if args.encode and os.path.exists(args.encode):
        # Wall time: the threaded encoder works on other threads than the timed one.
        _, enc = load_runs(args.encode, "real_time")
        lines.append("Encode throughput per set, in megapixels per second (whole set, wall time), "
                     "with the ratio to libpng from the same run and the files' bits per pixel.")
        lines.append("")
        lines += ["| encoder | " + " | ".join(
            f"{s} MP/s | {s} vs PNG | {s} bpp" for s in sets) + " |",
            "| --- " * (1 + 3 * len(sets)) + "|"]
        for contender, label in ENCODERS:
            cells = []
            for s in sets:
                t = set_totals(enc, "encode", contender, s)
                png = set_totals(enc, "encode", "png", s)
                if t is None or png is None:
                    cells += ["", "", ""]
                    continue
                cells += [f"{t[0]:.2f}", f"{t[0] / png[0]:.2f}x", f"{t[1]:.2f}"]
            lines.append(f"| {label} | " + " | ".join(cells) + " |")
        lines.append("")

    if args.callgrind_encode and os.path.exists(args.callgrind_encode):
        lines += instructions_table("Instructions per pixel of our encoders (callgrind, one thread):",
                                    "encoder", args.callgrind_encode, sets)

    lines.append("Per picture (MP/s; bits per pixel of TLG6 / PNG / WebP):")
    lines.append("")
    names = [c for c, _, _ in DECODERS
             if c != "copy" and any(k[1] == c for k in runs)]
    lines += ["| picture | MP | " + " | ".join(names) + " | bpp tlg6 / png / webp |",
              "| --- " * (3 + len(names)) + "|"]
    for s in sets:
        for image in sorted({k[3] for k in runs if k[2] == s}):
            row = [f"{s}/{image}", f"{runs[('decode', 'png', s, image)][1] / 1e6:.2f}"]
            for c in names:
                r = runs.get(("decode", c, s, image))
                row.append(f"{r[1] / r[0] / 1e6:.1f}" if r else "")
            bpp = [runs[("decode", c, s, image)][2] * 8 / runs[("decode", c, s, image)][1]
                   for c in ("tlg6", "png", "webp")]
            row.append(" / ".join(f"{b:.2f}" for b in bpp))
            lines.append("| " + " | ".join(row) + " |")

    os.makedirs(args.out, exist_ok=True)
    text = "\n".join(lines) + "\n"
    with open(os.path.join(args.out, "results.md"), "w") as f:
        f.write(text)
    print(text)

    fig, ax = plt.subplots(figsize=(10, 5))
    labels = [l for l in chart if not l.startswith("memcpy")]
    width = 0.8 / len(labels)
    for i, label in enumerate(labels):
        xs = [j + i * width for j in range(len(sets))]
        ax.bar(xs, chart[label], width, label=label)
    ax.set_xticks([j + 0.4 - width / 2 for j in range(len(sets))])
    ax.set_xticklabels(sets)
    ax.set_ylabel("megapixels per second")
    ax.set_title("Decode throughput (higher is better)")
    ax.legend(fontsize="small", loc="upper left", bbox_to_anchor=(1.0, 1.0))
    fig.tight_layout()
    fig.savefig(os.path.join(args.out, "throughput.png"), dpi=100)


if __name__ == "__main__":
    main()
