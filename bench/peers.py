#!/usr/bin/env python3
"""Runs the text and photo relief jobs in a peer program (Debian's openscad,
installed by scripts/peer-deps.sh) and in tarvo-cli, and prints their figures
side by side: processor time (user + system), peak memory, triangles, output
size and the mesh's volume and extent, the median over a few runs.

Every run is bounded: `timeout -s KILL` for its time and `prlimit --as` for its
address space, under /usr/bin/time for the peak resident size. The processor
time is the whole chain's, less what the chain takes around /bin/true. The two
programs take turns; a run that hits a bound is reported as such and is not
repeated.

The jobs, as equal as the two programs allow:
  text_name_16/64  "Margaretha Lindqvist" in DejaVu Sans, extruded: our
      request bench/models/text_name_N.build.json, and
      linear_extrude(height=Z) text(TEXT, size=S, font="DejaVu Sans", $fn=N)
      exported as binary STL. Our fontSize is the font's em; OpenSCAD lays the
      em out at size x 100/72, so S = fontSize x 0.72 (a capital H is then
      0.73 x fontSize tall in both). OpenSCAD is given a fontconfig file that
      lists our pinned font directory alone, so it reads the same DejaVuSans.ttf.
  lithophane_jpeg  our request: the 4000 x 3000 JPEG of bench/run.py, inverted,
      100 x 75 mm, base 0.8, relief 2.4, at the default resolution (500 x 375).
      OpenSCAD's surface() reads PNG only, so the JPEG is decoded to grey by
      `djpeg -grayscale` (the JPEG's own luma channel) and written as an 8-bit
      grey PNG, (a) whole, 4000 x 3000, and (b) shrunk to 500 x 375 by the mean
      of each 8 x 8 block (the area filter at a whole ratio), then
      scale([100/(W-1), 75/(H-1), 2.4/100]) surface(file, invert=true), lifted
      so that its floor is at z = 0, exported as binary STL; and (c) the small
      one with our base: its top where ours lies (0.8 + 2.4 x (1 - grey)) and
      cube([100, 75, ...]) under it, joined by union(), which 2021.01 computes
      with CGAL's exact polyhedra.

Usage: peers.py --bin BUILD_DIR [--runs N] [--timeout S] [--mem-limit MIB] [--only NAME...]
"""
import argparse
import base64
import json
import os
import re
import shutil
import statistics
import struct
import subprocess
import sys
import time
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.dont_write_bytecode = True  # no __pycache__ in bench/ from the import below
import run  # noqa: E402  (the benchmark's own request makers)

OUT = os.path.join(run.OUT, "peers")
TIME = "/usr/bin/time"
JOBS = ("text_name_16", "text_name_64", "lithophane_jpeg")
# Our relief's arrangement, as make_photo_request in run.py writes it.
RELIEF_X, RELIEF_Y, RELIEF_BASE, RELIEF_Z = 100.0, 75.0, 0.8, 2.4
SHRINK = 8  # 4000 x 3000 to the 500 x 375 pixels tarvo-cli builds at


def bounded(argv, stdin_path, stdout_path, timeout_s, mem_mib, env=None):
    """Runs argv once under the time and memory bounds; returns a dict with
    cpu_s, wall_s, peak_mib, and "bound" (None, or what stopped the run).

    The processor time is that of the whole chain (time, timeout, prlimit and
    the program) from wait4, in microseconds; /usr/bin/time's own figure has
    10 ms steps. The peak is /usr/bin/time's: wait4 on a child forked from
    this process would count this process's resident size too."""
    stat_path = stdout_path + ".time"
    err_path = stdout_path + ".stderr"
    wrapped = [TIME, "-f", "%M", "-o", stat_path, "timeout", "-s", "KILL", str(timeout_s),
               "prlimit", "--as=%d" % (mem_mib << 20), "--"] + argv
    with open(stdin_path or os.devnull, "rb") as fin, open(stdout_path, "wb") as fout, \
            open(err_path, "wb") as ferr:
        start = time.perf_counter()
        proc = subprocess.Popen(wrapped, stdin=fin, stdout=fout, stderr=ferr, env=env)
        _, status, usage = os.wait4(proc.pid, 0)
        wall = time.perf_counter() - start
    code = os.waitstatus_to_exitcode(status)
    with open(stat_path) as f:
        peak_kib = float(f.read().split()[-1])
    with open(err_path, "rb") as f:
        err = f.read().decode(errors="replace").strip().splitlines()
    result = {"wall_s": wall, "cpu_s": usage.ru_utime + usage.ru_stime,
              "peak_mib": peak_kib / 1024.0, "bound": None}
    if code != 0:
        last = err[-1].replace("what():", "").strip() if err else ""
        if code == 137 and wall >= timeout_s - 0.5:
            result["bound"] = "killed at the %d s bound" % timeout_s
        elif re.search(r"bad_alloc|memory|mmap|allocat", " ".join(err[-5:]), re.I):
            result["bound"] = "out of memory at the %d MiB bound (%s)" % (mem_mib, last[:80])
        else:
            result["bound"] = "exit %d (%s)" % (code, last[:80])
    return result


def wrapper_cost(runs=15):
    """The processor time the bounding chain adds to a program: the median over
    `runs` of the chain around /bin/true, less that of /bin/true alone."""
    path = os.path.join(OUT, "true.out")
    chained, alone = [], []
    for _ in range(runs):
        chained.append(bounded(["true"], None, path, 10, 64)["cpu_s"])
        proc = subprocess.Popen(["true"])
        usage = os.wait4(proc.pid, 0)[2]
        alone.append(usage.ru_utime + usage.ru_stime)
    return max(0.0, statistics.median(chained) - statistics.median(alone))


def stl_facts(path):
    """Returns (triangles, volume, (dx, dy, dz)) of a binary STL, the volume and
    extent only for files under 200 MB (None otherwise)."""
    size = os.path.getsize(path)
    with open(path, "rb") as f:
        head = f.read(84)
        if len(head) < 84:
            return 0, None, None
        n = struct.unpack_from("<I", head, 80)[0]
        if size != 84 + 50 * n or size > 200e6:
            return n, None, None
        data = f.read()
    pts = []
    for rec in struct.iter_unpack("<12fH", data):
        pts.append(rec[3:12])
    return n, volume_of(pts), extent_of(pts)


def answer_facts(path):
    """Returns (triangles, volume, (dx, dy, dz)) of a "build" answer."""
    with open(path, "rb") as f:
        answer = json.loads(f.read())
    stride = answer.get("numProp", 3)
    vp = base64.b64decode(answer["vp"])
    verts = struct.unpack("<%df" % (len(vp) // 4), vp)
    tv = base64.b64decode(answer["tv"])
    idx = struct.unpack("<%dI" % (len(tv) // 4), tv)
    pts = []
    for i in range(0, len(idx), 3):
        tri = ()
        for k in idx[i:i + 3]:
            tri += verts[k * stride:k * stride + 3]
        pts.append(tri)
    vol = volume_of(pts)
    return answer["numTri"], (-vol if answer.get("flipWinding") else vol), extent_of(pts)


def volume_of(tris):
    """The enclosed volume of triangles given as 9-tuples (divergence theorem)."""
    total = 0.0
    for ax, ay, az, bx, by, bz, cx, cy, cz in tris:
        total += ax * (by * cz - bz * cy) - ay * (bx * cz - bz * cx) + az * (bx * cy - by * cx)
    return total / 6.0


def extent_of(tris):
    """The size (dx, dy, dz) of the box around triangles given as 9-tuples."""
    if not tris:
        return (0.0, 0.0, 0.0)
    ext = []
    for axis in range(3):
        vals = [t[axis + 3 * k] for t in tris for k in range(3)]
        ext.append(max(vals) - min(vals))
    return tuple(ext)


def font_dir(bindir):
    """Our pinned font directory, as the build found it."""
    with open(os.path.join(bindir, "CMakeCache.txt")) as f:
        for line in f:
            if line.startswith("TARVO_FONT_DIR:"):
                return line.split("=", 1)[1].strip()
    return None


def fontconfig_file(fonts):
    """Writes a fontconfig file that lists our font directory alone; returns its path."""
    path = os.path.join(OUT, "fonts.conf")
    with open(path, "w") as f:
        f.write('<?xml version="1.0"?>\n<!DOCTYPE fontconfig SYSTEM "fonts.dtd">\n<fontconfig>\n'
                "  <dir>%s</dir>\n  <cachedir>%s</cachedir>\n</fontconfig>\n"
                % (fonts, os.path.join(OUT, "fc-cache")))
    return path


def write_grey_png(path, width, height, rows):
    """Writes rows of 8-bit grey values as a PNG (no filter, zlib level 6)."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    raw = b"".join(b"\0" + bytes(r) for r in rows)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n"
                + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(raw, 6)) + chunk(b"IEND", b""))


def read_pgm(data):
    """Returns (width, height, pixel bytes) of a binary 8-bit PGM."""
    m = re.match(rb"P5\s+(\d+)\s+(\d+)\s+(\d+)\s", data)
    if not m or int(m.group(3)) != 255:
        raise ValueError("djpeg gave no 8-bit PGM")
    w, h = int(m.group(1)), int(m.group(2))
    return w, h, data[m.end():m.end() + w * h]


def make_pngs(photo):
    """Writes the photo as a grey PNG whole and shrunk by SHRINK; returns
    [(label, path, width, height, highest grey value)]."""
    full, small = os.path.join(OUT, "photo-full.png"), os.path.join(OUT, "photo-small.png")
    meta = os.path.join(OUT, "photo.json")
    stamp = os.path.getmtime(photo)
    if os.path.exists(meta):
        with open(meta) as f:
            known = json.load(f)
        if known.get("stamp") == stamp and os.path.exists(full) and os.path.exists(small):
            return known["pngs"]
    pgm = subprocess.run(["djpeg", "-grayscale", "-pnm", photo], check=True,
                         stdout=subprocess.PIPE).stdout
    w, h, pix = read_pgm(pgm)
    rows = [pix[y * w:(y + 1) * w] for y in range(h)]
    write_grey_png(full, w, h, rows)
    sw, sh = w // SHRINK, h // SHRINK
    small_rows = []
    area = SHRINK * SHRINK
    for by in range(sh):
        sums = [0] * sw
        for y in range(by * SHRINK, (by + 1) * SHRINK):
            row = rows[y]
            for bx in range(sw):
                sums[bx] += sum(row[bx * SHRINK:(bx + 1) * SHRINK])
        small_rows.append([(s + area // 2) // area for s in sums])
    write_grey_png(small, sw, sh, small_rows)
    pngs = [("%dx%d PNG" % (w, h), full, w, h, max(pix)),
            ("%dx%d PNG" % (sw, sh), small, sw, sh, max(max(r) for r in small_rows))]
    with open(meta, "w") as f:
        json.dump({"stamp": stamp, "pngs": pngs}, f)
    return pngs


def surface_scad(path, png, width, height, highest, with_base=False):
    """Writes the OpenSCAD relief of a grey PNG: 100 x 75 mm, relief 2.4 mm,
    inverted. Alone, its floor is lifted to z = 0; with_base, its top lies
    where ours does (0.8 + 2.4 x (1 - grey)) and a box under it stands for our
    0.8 mm base, joined by union()."""
    k = RELIEF_Z / 100.0
    # Inverted, surface() maps grey p (0..255) to (1 - p) x 100/255, so white
    # lies 254 x 100/255 below black; its floor is 1 below the lowest point,
    # or at 0 when that is lower.
    floor = min(0.0, (1 - highest) * 100.0 / 255 - 1)
    lift = RELIEF_BASE + RELIEF_Z - k * 100.0 / 255 if with_base else -floor * k
    relief = ("translate([0, 0, %.9g]) scale([%.9g, %.9g, %.9g])\n"
              "  surface(file=\"%s\", invert=true);\n"
              % (lift, RELIEF_X / (width - 1), RELIEF_Y / (height - 1), k, png))
    with open(path, "w") as f:
        if with_base:
            # The box reaches halfway into the surface's floor, so that the
            # two overlap rather than touch.
            f.write("union() {\n  cube([%g, %g, %.9g]);\n  %s}\n"
                    % (RELIEF_X, RELIEF_Y, lift + k * (floor + 0.5), relief))
        else:
            f.write(relief)


def text_scad(path, request, segments):
    """Writes the OpenSCAD text job matching our text request; returns its description."""
    with open(request) as f:
        obj = json.loads(json.load(f)["jsonStr"])["objects"][0]
    size = obj.get("fontSize", 10) * 0.72
    height = obj.get("size", {}).get("z", 1)
    line = ('linear_extrude(height=%g) text(%s, size=%g, font="DejaVu Sans", $fn=%d);\n'
            % (height, json.dumps(obj["text"]), size, segments))
    with open(path, "w") as f:
        f.write(line)
    return line.strip()


def median_of(results, key):
    return statistics.median(r[key] for r in results)


def summary(results, facts, overhead):
    """One job side's figures: the medians over runs that finished (processor
    time less the bounding chain's), or the bound."""
    ok = [r for r in results if not r["bound"]]
    if not ok:
        r = results[0]
        return {"bound": r["bound"], "cpu_s": r["cpu_s"] - overhead, "wall_s": r["wall_s"],
                "peak_mib": r["peak_mib"]}
    out = {"cpu_s": median_of(ok, "cpu_s") - overhead, "wall_s": median_of(ok, "wall_s"),
           "peak_mib": max(r["peak_mib"] for r in ok), "runs": len(ok), "bound": None}
    out.update(facts())
    return out


def fmt_cpu(seconds):
    return "%.1f ms" % (seconds * 1e3) if seconds < 1 else "%.2f s" % seconds


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True, help="build directory holding tarvo-cli and bench/")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--timeout", type=int, default=300, help="seconds a run may take")
    ap.add_argument("--mem-limit", type=int, default=4096,
                    help="MiB of address space a run may map")
    ap.add_argument("--only", nargs="*", help="jobs to run (default all)")
    args = ap.parse_args()
    args.runs = max(1, args.runs)
    jobs = [j for j in JOBS if not args.only or j in args.only]
    if not jobs:
        return 0
    openscad = shutil.which("openscad")
    if not openscad:
        print("\npeer figures skipped: openscad is not installed "
              "(scripts/peer-deps.sh installs Debian's)")
        return 0
    version = subprocess.run([openscad, "--version"], capture_output=True, text=True)
    version = (version.stderr or version.stdout).strip().replace("OpenSCAD version ", "")
    os.makedirs(OUT, exist_ok=True)
    cli = os.path.join(args.bin, "tarvo-cli")
    fonts = font_dir(args.bin)
    env_fc = dict(os.environ, FONTCONFIG_FILE=fontconfig_file(fonts)) if fonts else None
    rows, notes = [], []
    overhead = wrapper_cost()

    for job in jobs:
        if job.startswith("text_name"):
            if not fonts or not os.path.exists(os.path.join(fonts, "DejaVuSans.ttf")):
                notes.append("%s: skipped, our font directory is not in %s/CMakeCache.txt"
                             % (job, args.bin))
                continue
            segments = int(job.rsplit("_", 1)[1])
            request = os.path.join(run.MODELS, job + ".build.json")
            scad = os.path.join(OUT, job + ".scad")
            peers = [("", text_scad(scad, request, segments), scad)]
        else:
            if not shutil.which("djpeg"):
                notes.append("%s: skipped, djpeg is not installed (scripts/peer-deps.sh "
                             "installs it)" % job)
                continue
            request = run.make_photo_request(args.bin)
            peers = []
            pngs = make_pngs(os.path.join(run.OUT, "photo-4000x3000.jpg"))
            # Both pictures alone, and the small one on a base as ours.
            for (label, png, w, h, highest), with_base in [(p, False) for p in pngs] + [
                    (pngs[-1], True)]:
                scad = os.path.join(OUT, "%s-%dx%d%s.scad" % (job, w, h,
                                                               "-base" if with_base else ""))
                surface_scad(scad, png, w, h, highest, with_base)
                with open(scad) as f:
                    code = " ".join(f.read().split()).replace(OUT + os.sep, "")
                peers.append((" " + label + (" + base" if with_base else ""), code, scad))
        answer = os.path.join(OUT, job + ".answer")
        ours = []
        # A first run of OpenSCAD fills its font cache: not counted.
        if job.startswith("text_name"):
            subprocess.run([openscad, "-o", os.path.join(OUT, "warm.stl"), "--export-format",
                            "binstl", peers[0][2]], env=env_fc, capture_output=True)
        for path in [answer] + [scad[:-5] + ".stl" for _, _, scad in peers]:
            if os.path.exists(path):
                os.remove(path)
        # The two programs take turns, so that both see the same background
        # load; a side that hits a bound runs no more.
        peer_runs = {label: [] for label, _, _ in peers}
        for _ in range(args.runs):
            if not any(r["bound"] for r in ours):
                ours.append(bounded([cli, "build"], request, answer, args.timeout,
                                    args.mem_limit))
            for label, _, scad in peers:
                if not any(r["bound"] for r in peer_runs[label]):
                    peer_runs[label].append(bounded(
                        [openscad, "-o", scad[:-5] + ".stl", "--export-format", "binstl", scad],
                        None, scad + ".stdout", args.timeout, args.mem_limit, env_fc))
        row = {"job": job, "ours": summary(ours, lambda: dict(zip(
            ("triangles", "volume", "extent"), answer_facts(answer)),
            output_bytes=os.path.getsize(answer)), overhead), "peers": []}
        for label, code, scad in peers:
            stl = scad[:-5] + ".stl"
            facts = summary(peer_runs[label], lambda: dict(zip(
                ("triangles", "volume", "extent"), stl_facts(stl)),
                output_bytes=os.path.getsize(stl)), overhead)
            facts.update({"label": label.strip(), "code": code})
            row["peers"].append(facts)
        rows.append(row)
        print("  peers %-16s done" % job, file=sys.stderr)

    load = os.getloadavg()
    print("\nbeside a peer: tarvo-cli \"build\" and OpenSCAD %s exporting binary STL, the same"
          % version)
    print("jobs (bench/peers.py says how they are matched); cpu: median user + system over %d"
          % args.runs)
    print("runs, peak: largest resident size; each run bounded to %d s and %d MiB of address"
          % (args.timeout, args.mem_limit))
    print("space; the %.1f ms of processor time that the chain of time, timeout and prlimit"
          % (overhead * 1e3))
    print("takes around a program (measured around /bin/true) is taken off every figure;")
    print("%d cores, load average %.1f %.1f %.1f at the end."
          % (os.cpu_count() or 0, load[0], load[1], load[2]))
    print("%-28s %9s %8s %10s %9s %12s %14s" % ("job", "cpu", "peak", "triangles", "output",
                                                "volume mm3", "extent mm"))
    for row in rows:
        for name, side in [(row["job"] + " tarvo-cli", row["ours"])] + [
                ("  OpenSCAD" + (" " + p["label"] if p["label"] else ""), p)
                for p in row["peers"]]:
            if side["bound"] and "triangles" not in side:
                print("%-28s %9s %4.0f MiB  %s after %.0f s wall" % (
                    name, fmt_cpu(side["cpu_s"]), side["peak_mib"], side["bound"],
                    side["wall_s"]))
                continue
            ext = side.get("extent")
            print("%-28s %9s %4.0f MiB %10s %9s %12s %14s" % (
                name, fmt_cpu(side["cpu_s"]), side["peak_mib"], side["triangles"],
                run.fmt_size(side["output_bytes"]),
                "%.1f" % side["volume"] if side.get("volume") is not None else "-",
                "%.1f x %.1f x %.2f" % ext if ext else "-"))
        for p in row["peers"]:
            print("    %s" % p["code"])
    for note in notes:
        print(note)
    with open(os.path.join(OUT, "peers.json"), "w") as f:
        json.dump({"openscad": version, "load": load, "wrapper_cpu_s": overhead,
                   "timeout_s": args.timeout, "mem_limit_mib": args.mem_limit, "rows": rows},
                  f, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main())
