#!/usr/bin/python3
"""Times torvenquill against the peer tools a user would pick instead, and against the limit
reference (tvq_limit: the bare libraries doing the same conversion), interleaved in one run.

Every tool writes the same kind of file: PNG 8-bit RGB, Adam7, zlib level 6, default filters;
JPEG baseline q99, optimised Huffman tables, 4:2:0, smoothing 50 where the tool has it; TIFF
uncompressed strips; PPM/PGM/PBM raw; SGI verbatim; PCX 3 planes RLE. Results are medians over
the rounds, quoted as ratios to the limit measured in the same run; absolute times only say what
this machine did at that moment.
"""

import argparse
import json
import os
import shlex
import statistics
import struct
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
IM = "/usr/bin/convert-im6.q16"
PICTURE_RECIPE = "plasma-v1"  # change when the recipe below changes, so cached pictures remake
SIZES = {"photo": (6000, 4000), "hd": (1920, 1080)}
TARGETS = ["jpg", "bmp", "tif", "png", "ppm", "pgm", "pbm", "pcx", "pic", "sgi"]
SOURCES = {"jpg": "JPEG q90", "png": "PNG", "adam7.png": "PNG Adam7", "tif": "TIFF"}

# --- test pictures ---------------------------------------------------------------------------


def make_pictures(folder, name, size):
    """A photo-like picture (smooth seeded plasma, a few shapes, mild noise) in every source
    form; cached, remade only when missing or when the recipe changes."""
    w, h = size
    stamp = folder / f"{name}.recipe"
    files = {kind: folder / f"{name}.{kind}" for kind in ["bmp", *SOURCES]}
    if stamp.exists() and stamp.read_text() == PICTURE_RECIPE and all(
        f.exists() for f in files.values()
    ):
        return files
    print(f"making the {w} x {h} test pictures ...", file=sys.stderr)
    s = w / 1920
    draw = [
        "-fill", "#c04020", "-draw", f"circle {600*s:.0f},{500*s:.0f} {600*s:.0f},{800*s:.0f}",
        "-fill", "#203060", "-draw", f"rectangle {1200*s:.0f},{200*s:.0f} {1700*s:.0f},{600*s:.0f}",
        "-fill", "none", "-stroke", "white", "-strokewidth", f"{12*s:.0f}",
        "-draw", f"line {100*s:.0f},{1000*s:.0f} {1800*s:.0f},{100*s:.0f}",
    ]  # fmt: skip
    run([IM, "-seed", "4242", "-size", f"{w // 4}x{h // 4}", "plasma:steelblue-tan",
         "-resize", f"{w}x{h}!", *draw, "-attenuate", "0.25", "+noise", "Gaussian",
         "-type", "TrueColor", f"BMP3:{files['bmp']}"])  # fmt: skip
    bmp = str(files["bmp"])
    run([IM, bmp, "-quality", "90", f"jpg:{files['jpg']}"])
    run([IM, bmp, "-interlace", "none", f"png24:{files['png']}"])
    run([IM, bmp, "-interlace", "PNG", f"png24:{files['adam7.png']}"])
    run([IM, bmp, "-compress", "none", f"tiff:{files['tif']}"])
    stamp.write_text(PICTURE_RECIPE)
    return files


def run(cmd):
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)


# --- the tools -------------------------------------------------------------------------------
# Each tool maps (source, target path, target format) to a command, or None when it cannot
# write that format. Notes say where a tool cannot write exactly the kind of file asked for.

IM_ARGS = {
    "jpg": (["-quality", "99", "-sampling-factor", "2x2,1x1,1x1",
             "-define", "jpeg:optimize-coding=true"], "jpg"),
    "bmp": (["-type", "TrueColor"], "bmp3"),
    "tif": (["-type", "TrueColor", "-compress", "none"], "tiff"),
    "png": (["-quality", "65", "-interlace", "PNG"], "png24"),  # level 6, adaptive filters
    "ppm": ([], "ppm"),
    "pgm": (["-colorspace", "Gray"], "pgm"),
    "pbm": (["-colorspace", "Gray", "-threshold", "50%"], "pbm"),
    "pcx": (["-type", "TrueColor"], "pcx"),
    "sgi": (["-compress", "none"], "sgi"),
}  # fmt: skip
GM_ARGS = dict(IM_ARGS, png=(["-quality", "65", "-interlace", "Line"], "png24"))


def magick(program, table):
    def command(src, dst, fmt):
        if fmt not in table:
            return None
        args, coder = table[fmt]
        return [*program, str(src), *args, f"{coder}:{dst}"]

    return command


def vips(src, dst, fmt):
    src, dst = str(src), str(dst)
    commands = {
        "jpg": ["jpegsave", src, dst, "--Q", "99", "--optimize-coding", "--subsample-mode", "on"],
        "png": ["pngsave", src, dst, "--compression", "6", "--interlace", "--filter", "all"],
        "tif": ["tiffsave", src, dst, "--compression", "none"],
        "ppm": ["ppmsave", src, dst],
        "pgm": ["colourspace", src, dst, "b-w"],
        "bmp": ["copy", src, dst],  # through its ImageMagick saver, which knows no PCX or SGI
    }
    return ["vips", *commands[fmt]] if fmt in commands else None


PILLOW_SCRIPT = """
import sys
from PIL import Image
src, dst, fmt = sys.argv[1:4]
im = Image.open(src)
if im.mode != "RGB":
    im = im.convert("RGB")
if fmt == "jpg":
    im.save(dst, "JPEG", quality=99, optimize=True, subsampling=2, smooth=50)
elif fmt == "png":
    im.save(dst, "PNG", compress_level=6)
elif fmt == "pgm":
    im.convert("L").save(dst, "PPM")
elif fmt == "pbm":
    im.convert("L").point(lambda v: 255 if v >= 128 else 0, "1").save(dst, "PPM")
else:
    im.save(dst, {"tif": "TIFF", "ppm": "PPM", "pcx": "PCX", "sgi": "SGI", "bmp": "BMP"}[fmt])
"""


def pillow(src, dst, fmt):
    if fmt not in ["jpg", "png", "tif", "ppm", "pgm", "pbm", "pcx", "sgi", "bmp"]:
        return None
    return ["/usr/bin/python3", "-c", PILLOW_SCRIPT, str(src), str(dst), fmt]


NETPBM_READERS = {".bmp": "bmptopnm", ".jpg": "jpegtopnm", ".png": "pngtopam", ".tif": "tifftopnm"}
NETPBM_WRITERS = {
    "jpg": "pnmtojpeg --quality=99 --optimize --smooth=50",
    "bmp": "ppmtobmp -windows -bpp=24",
    "tif": "pamtotiff",
    "png": "pnmtopng -interlace -compression=6",
    "ppm": "cat",
    "pgm": "ppmtopgm",
    "pbm": "ppmtopgm | pgmtopbm -threshold -value=0.5",
    "pcx": "ppmtopcx -24bit",
    "sgi": "pnmtosgi -verbatim",
}


def netpbm(src, dst, fmt):
    reader = NETPBM_READERS.get(Path(src).suffix)
    if reader is None or fmt not in NETPBM_WRITERS:
        return None
    line = f"{reader} {shlex.quote(str(src))} 2>/dev/null | {NETPBM_WRITERS[fmt]} > {shlex.quote(str(dst))}"
    return ["sh", "-c", line]


NOTES = {
    ("imagemagick", "jpg"): "no smoothing",
    ("graphicsmagick", "jpg"): "no smoothing",
    ("vips", "jpg"): "no smoothing",
    ("vips", "bmp"): "ImageMagick saver",
    ("pillow", "png"): "cannot write Adam7",
}


def tool_table(build):
    cli = str(build / "cli" / "torvenquill")
    limit = str(build / "bench" / "tvq_limit")
    return {
        "limit": lambda s, d, f: [limit, str(s), str(d)],
        "torvenquill": lambda s, d, f: [cli, str(s), str(d)],
        "imagemagick": magick([IM], IM_ARGS),
        "graphicsmagick": magick(["gm", "convert"], GM_ARGS),
        "vips": vips,
        "pillow": pillow,
        "netpbm": netpbm,
    }


# --- what kind of file came out --------------------------------------------------------------


def describe(path, fmt):
    """Deviations from the kind of file every tool was asked for; empty when none."""
    data = path.read_bytes()[:4096] if path.exists() else b""
    if not data:
        return "no output"
    if fmt == "png":
        bits, colour, interlace = data[24], data[25], data[28]
        found = [] if (bits, colour) == (8, 2) else [f"depth {bits} type {colour}"]
        return ", ".join(found + ([] if interlace == 1 else ["not Adam7"]))
    if fmt == "jpg":
        return describe_jpeg(path.read_bytes())
    if fmt == "tif":
        tags = tiff_tags(path)
        return "" if tags.get(259, 1) == 1 else f"compression {tags.get(259)}"
    magic = {"ppm": b"P6", "pgm": b"P5", "pbm": b"P4"}
    if fmt in magic:
        return "" if data[:2] == magic[fmt] else f"magic {data[:2].decode(errors='replace')}"
    if fmt == "sgi":
        return "" if data[2] == 0 else "RLE"
    if fmt == "pcx":
        return "" if (data[2], data[3], data[65]) == (1, 8, 3) else f"{data[65]} planes of {data[3]} bits"
    if fmt == "bmp":
        return "" if struct.unpack_from("<HI", data, 28) == (24, 0) else "not 24-bit uncompressed"
    return ""


def describe_jpeg(data):
    pos = 2
    while pos + 4 <= len(data) and data[pos] == 0xFF:
        marker, length = data[pos + 1], struct.unpack_from(">H", data, pos + 2)[0]
        if 0xC0 <= marker <= 0xC2:
            found = [] if marker == 0xC0 else ["progressive" if marker == 0xC2 else "extended"]
            sampling = data[pos + 11]  # first component's factors
            return ", ".join(found + ([] if sampling == 0x22 else [f"sampling {sampling:02x}"]))
        pos += 2 + length
    return "no frame"


def tiff_tags(path):
    data = path.read_bytes()
    order = "<" if data[:2] == b"II" else ">"
    (ifd,) = struct.unpack_from(order + "I", data, 4)
    (count,) = struct.unpack_from(order + "H", data, ifd)
    tags = {}
    for i in range(count):
        tag, kind, _, value = struct.unpack_from(order + "HHII", data, ifd + 2 + 12 * i)
        if kind == 3:
            value = struct.unpack_from(order + "H", data, ifd + 2 + 12 * i + 8)[0]
        tags[tag] = value
    return tags


# --- measuring -------------------------------------------------------------------------------


def measure(cmd, dst, scratch):
    """Wall seconds, CPU seconds (user + system, from the kernel's accounting at microsecond
    resolution) and peak resident kilobytes (from /usr/bin/time -v); None when the tool failed."""
    if dst.exists():
        dst.unlink()
    report = scratch / "time.txt"
    errors = scratch / "stderr.txt"
    with open(errors, "wb") as err:
        start = time.perf_counter()
        child = subprocess.Popen(["/usr/bin/time", "-v", "-o", str(report), *cmd],
                                 stdout=subprocess.DEVNULL, stderr=err)  # fmt: skip
        _, status, usage = os.wait4(child.pid, 0)
        wall = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0 or not dst.exists():
        return None, errors.read_text(errors="replace").strip().splitlines()[:1]
    peak = 0
    for line in report.read_text().splitlines():
        if "Maximum resident set size" in line:
            peak = int(line.rpartition(": ")[2])
    return (wall, usage.ru_utime + usage.ru_stime, peak), None


def probe(tools, tiny, scratch):
    """Which (tool, conversion) pairs work at all, found on a tiny picture: a writer or reader
    that does not exist yet is skipped with the tool's own words."""
    works = {}
    for name, command in tools.items():
        for src_kind in ["bmp", *SOURCES]:
            for fmt in TARGETS if src_kind == "bmp" else ["bmp"]:
                dst = scratch / f"probe-{name}.{fmt}"
                cmd = command(tiny[src_kind], dst, fmt)
                if cmd is None:
                    works[(name, src_kind, fmt)] = "does not write this format"
                    continue
                result, error = measure(cmd, dst, scratch)
                works[(name, src_kind, fmt)] = None if result else why_not(name, error)
    return works


def why_not(name, error):
    text = " ".join(error)
    if name == "torvenquill" and "cannot write" in text:
        return "no writer for this format yet"
    if name == "torvenquill" and "not an image this program can read" in text:
        return "no reader for this format yet"
    return "failed: " + text


def conversions(sizes):
    for size in sizes:
        for fmt in TARGETS:
            yield size, "bmp", fmt
        for kind in SOURCES:
            yield size, kind, "bmp"


def label(size, src_kind, fmt):
    return f"{size} {src_kind.replace('adam7.png', 'png-adam7')} -> {fmt}"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=str(ROOT / "build-bench"), help="Release build tree")
    parser.add_argument("--rounds", type=int, default=3, help="timed rounds (default 3)")
    parser.add_argument("--sizes", default="hd,photo", help="pictures: hd, photo (default both)")
    parser.add_argument("--only", default="", help="conversions whose label contains this text")
    parser.add_argument("--tools", default="", help="comma-separated tools (default all)")
    args = parser.parse_args()

    build = Path(args.build).resolve()
    out = ROOT / "bench" / "out"
    scratch = out / "run"
    scratch.mkdir(parents=True, exist_ok=True)
    sizes = [s for s in args.sizes.split(",") if s]
    tools = tool_table(build)
    if args.tools:
        wanted = ["limit", *args.tools.split(",")]
        tools = {k: v for k, v in tools.items() if k in wanted}
    pictures = {s: make_pictures(out, s, SIZES[s]) for s in sizes}
    tiny = make_tiny(out)
    works = probe(tools, tiny, scratch)

    jobs = [c for c in conversions(sizes) if args.only in label(*c)]
    for files in pictures.values():  # inputs in the page cache before the first timing
        for f in files.values():
            f.read_bytes()
    samples = {}
    load_before = os.getloadavg()
    for r in range(args.rounds):
        print(f"round {r + 1} of {args.rounds} ...", file=sys.stderr)
        for size, src_kind, fmt in jobs:
            names = list(tools)
            names = names[r % len(names):] + names[:r % len(names)]  # each tool takes each slot
            for name in names:
                if works[(name, src_kind, fmt)] is not None:
                    continue
                dst = scratch / f"{name}.{fmt}"
                cmd = tools[name](pictures[size][src_kind], dst, fmt)
                result, error = measure(cmd, dst, scratch)
                key = (size, src_kind, fmt, name)
                entry = samples.setdefault(key, {"runs": [], "size": 0, "kind": "", "error": ""})
                if result is None:
                    entry["error"] = "failed: " + " ".join(error)
                    continue
                entry["runs"].append(result)
                entry["size"] = dst.stat().st_size
                entry["kind"] = describe(dst, fmt)
    table = report(jobs, tools, works, samples)
    table += (f"\nload average {load_before[0]:.2f} before, {os.getloadavg()[0]:.2f} after; "
              f"{args.rounds} rounds; torvenquill's pixel memory in {temp_folder()}\n")  # fmt: skip
    print(table)
    stamp = time.strftime("%Y%m%d-%H%M%S")
    (out / f"results-{stamp}.txt").write_text(table)
    rows = [{"conversion": label(*k[:3]), "tool": k[3], **v} for k, v in samples.items()]
    (out / f"results-{stamp}.json").write_text(json.dumps(rows, indent=1))


def temp_folder():
    """Where torvenquill keeps its pixel memory, and on what file system: it shapes the cost."""
    folder = os.environ.get("TMPDIR", "")
    folder = folder if os.path.isdir(folder) else "/tmp"
    kind = subprocess.run(["findmnt", "-n", "-o", "FSTYPE", "-T", folder], capture_output=True,
                          text=True)  # fmt: skip
    return f"{folder} ({kind.stdout.strip() or 'unknown'})"


def make_tiny(out):
    folder = out / "tiny"
    folder.mkdir(exist_ok=True)
    return make_pictures(folder, "tiny", (48, 32))


def report(jobs, tools, works, samples):
    header = (f"{'conversion':<22} {'tool':<15} {'median s':>9} {'ratio':>6} {'cpu s':>7} "
              f"{'cpu ratio':>9} {'peak MB':>8} {'output':>12}  note")  # fmt: skip
    lines = [header, "-" * len(header)]
    for size, src_kind, fmt in jobs:
        limit = samples.get((size, src_kind, fmt, "limit"), {}).get("runs")
        limit_wall = statistics.median(r[0] for r in limit) if limit else None
        limit_cpu = statistics.median(r[1] for r in limit) if limit else None
        for name in tools:
            first = f"{label(size, src_kind, fmt):<22} {name:<15}"
            skipped = works[(name, src_kind, fmt)]
            entry = samples.get((size, src_kind, fmt, name))
            if skipped is not None or not entry or not entry["runs"]:
                why = skipped or (entry or {}).get("error", "no run")
                dashes = " ".join(f"{'-':>{n}}" for n in [9, 6, 7, 9, 8, 12])
                lines.append(f"{first} {dashes}  {why}")
                continue
            wall = statistics.median(r[0] for r in entry["runs"])
            cpu = statistics.median(r[1] for r in entry["runs"])
            peak = max(r[2] for r in entry["runs"]) / 1024
            ratio = f"{wall / limit_wall:.2f}" if limit_wall else "-"
            cpu_ratio = f"{cpu / limit_cpu:.2f}" if limit_cpu else "-"
            note = ", ".join(n for n in [entry["kind"], NOTES.get((name, fmt), ""), entry["error"]] if n)
            lines.append(f"{first} {wall:9.3f} {ratio:>6} {cpu:7.3f} {cpu_ratio:>9} {peak:8.1f} "
                         f"{entry['size']:12d}  {note}")  # fmt: skip
        lines.append("")
    return "\n".join(lines)


if __name__ == "__main__":
    main()
