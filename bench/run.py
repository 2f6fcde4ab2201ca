#!/usr/bin/env python3
"""Runs the benchmark models through tarvo-cli (and the direct program) and
prints a table: median wall time with its spread, peak memory, triangle
count, answer size, and the tarvo-cli / direct ratio; then the 1,000,000-
triangle model exported to every file format, against its "build".

The machine is shared and noisy, so every figure is a median over several
runs, and tarvo-cli and the direct program run alternately so that both see
the same background load; the ratio is the median of the per-pair ratios.
Usage: run.py --bin BUILD_DIR [--runs N] [--only NAME...]
"""
import argparse
import base64
import json
import os
import statistics
import struct
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
MODELS = os.path.join(HERE, "models")
OUT = os.path.join(HERE, "out")
TIME = "/usr/bin/time"
# Models the direct program can build; the STL ones read the file itself.
DIRECT = {"spheres", "plate_holes_csg", "plate_holes", "screw_m10", "plate_m3", "loft_hollow",
          "relief_flat", "relief_cylinder", "relief_photo", "stl_1m", "rounded_box",
          "hull_spheres"}


def timed(argv, stdin_path, stdout_path):
    """Runs argv once; returns (wall seconds, processor seconds, peak RSS in MiB, exit code).

    /usr/bin/time measures the peak: a child forked straight from this
    Python process would report Python's own resident size as its peak.
    """
    mem_path = stdout_path + ".rss"
    if os.path.exists(TIME):
        argv = [TIME, "-f", "%M", "-o", mem_path] + argv
    with open(stdin_path, "rb") as fin, open(stdout_path, "wb") as fout:
        start = time.perf_counter()
        proc = subprocess.Popen(argv, stdin=fin, stdout=fout, stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(proc.pid, 0)
        wall = time.perf_counter() - start
    code = os.waitstatus_to_exitcode(status)
    peak_kib = usage.ru_maxrss
    if os.path.exists(TIME):
        with open(mem_path) as f:
            lines = f.read().split()
        peak_kib = int(lines[-1]) if lines and lines[-1].isdigit() else peak_kib
    return wall, usage.ru_utime + usage.ru_stime, peak_kib / 1024.0, code


def spread(values):
    """The interquartile-like spread: (max - min) / median over the runs, in percent."""
    m = statistics.median(values)
    return 100.0 * (max(values) - min(values)) / m if m > 0 else 0.0


def make_stl_requests(bindir):
    """Writes the 1,000,000-triangle STL and its two requests into bench/out/."""
    stl = os.path.join(OUT, "torus-1m.stl")
    if not os.path.exists(stl):
        subprocess.run([os.path.join(bindir, "bench", "tarvo_bench_throughput"), "--stl", stl],
                       check=True)
    with open(stl, "rb") as f:
        content = base64.b64encode(f.read()).decode()
    document = json.dumps({"objects": [{"vid": "mesh", "type": "polygons",
                                        "attachmentVids": ["torus"]}],
                           "attachments": [{"vid": "torus", "filetype": "model/stl",
                                            "content": content}]}, separators=(",", ":"))
    with open(os.path.join(OUT, "stl_1m.model.json"), "w") as f:
        f.write(document)
    paths = []
    for op in ("build", "build_xml"):
        path = os.path.join(OUT, "stl_1m.%s.json" % op)
        with open(path, "w") as f:
            json.dump({"jsonStr": document, "vid": "mesh"}, f, separators=(",", ":"))
        paths.append(path)
    return stl, paths


def make_relief_request():
    """Writes the request of a 1000 x 1000 flat relief into bench/out/."""
    path = os.path.join(OUT, "relief_photo.build.json")
    if not os.path.exists(path):
        sys.path.insert(0, HERE)
        import make_models
        with open(path, "w") as f:
            json.dump(make_models.relief_photo(), f, separators=(",", ":"))
    return path


def make_photo_request(bindir):
    """Writes the request of a lithophane of a 4000 x 3000 JPEG (a phone
    photo's size) at the default resolution into bench/out/."""
    photo = os.path.join(OUT, "photo-4000x3000.jpg")
    if not os.path.exists(photo):
        subprocess.run([os.path.join(bindir, "bench", "tarvo_bench_make_photo"), photo],
                       check=True)
    with open(photo, "rb") as f:
        content = base64.b64encode(f.read()).decode()
    document = json.dumps({"objects": [{"vid": "litho", "type": "bumpmesh", "attachmentVid": "photo",
                                        "invert": True,
                                        "size": {"x": 100, "y": 75, "base": 0.8, "z": 2.4}}],
                           "attachments": [{"vid": "photo", "filetype": "image/jpeg",
                                            "content": content}]}, separators=(",", ":"))
    path = os.path.join(OUT, "lithophane_jpeg.build.json")
    with open(path, "w") as f:
        json.dump({"jsonStr": document, "vid": "litho"}, f, separators=(",", ":"))
    return path


def describe(answer_path, op):
    """Returns (triangle count or '-', answer bytes, answer dict or None)."""
    size = os.path.getsize(answer_path)
    with open(answer_path, "rb") as f:
        text = f.read()
    try:
        answer = json.loads(text)
    except ValueError:
        return "-", size, None
    if answer.get("empty"):
        return "empty", size, answer
    if op == "build":
        return answer.get("numTri", "-"), size, answer
    if "xml" in answer:
        return answer["xml"].count("<triangle "), size, answer
    if "rings" in answer:
        return "%d rings" % len(answer["rings"]), size, answer
    return "-", size, answer


def triangles(tv):
    """Returns the sorted triangles of a "tv" text, each starting at its lowest index."""
    raw = base64.b64decode(tv)
    idx = struct.unpack("<%dI" % (len(raw) // 4), raw)
    tris = []
    for i in range(0, len(idx), 3):
        t = idx[i:i + 3]
        k = t.index(min(t))
        tris.append(t[k:] + t[:k])
    return sorted(tris)


def same_mesh(answer, direct):
    """"yes" for identical buffers, "order" when only the triangle order differs, else "NO"."""
    if answer is None or any(answer.get(k) != direct.get(k) for k in ("numTri", "vp")):
        return "NO"
    if answer.get("tv") == direct.get("tv"):
        return "yes"
    return "order" if triangles(answer["tv"]) == triangles(direct["tv"]) else "NO"


def bench_model(name, op, request, args, stl):
    cli = os.path.join(args.bin, "tarvo-cli")
    direct = os.path.join(args.bin, "bench", "tarvo_bench_direct")
    has_direct = op == "build" and name in DIRECT
    tarvo_out = os.path.join(OUT, name + "." + op + ".answer")
    direct_out = os.path.join(OUT, name + ".direct.answer")
    times, cpus, mems, dtimes, dcpus, ratios, wall_ratios = [], [], [], [], [], [], []
    runs = args.runs
    i = 0
    while i < runs:
        # Alternate the order, so neither side always runs first after the other.
        order = ["tarvo", "direct"] if i % 2 == 0 else ["direct", "tarvo"]
        pair = {}
        for side in order:
            if side == "tarvo":
                wall, cpu, rss, code = timed([cli, op], request, tarvo_out)
                if code != 0:
                    return {"name": name, "op": op, "error": "exit %d" % code}
                times.append(wall)
                cpus.append(cpu)
                mems.append(rss)
                pair["tarvo"] = (wall, cpu)
            elif has_direct:
                argv = [direct, name] + ([stl] if name == "stl_1m" else [])
                wall, cpu, _, code = timed(argv, os.devnull, direct_out)
                dtimes.append(wall)
                dcpus.append(cpu)
                pair["direct"] = (wall, cpu)
        i += 1
        # Models that take seconds get three runs, which keeps the whole
        # benchmark within minutes.
        if i == 1 and times[0] > 2.0:
            runs = min(runs, 3)
        if "direct" in pair:
            wall_ratios.append(pair["tarvo"][0] / pair["direct"][0])
            ratios.append(pair["tarvo"][1] / max(pair["direct"][1], 1e-6))
    tris, size, answer = describe(tarvo_out, op)
    row = {"name": name, "op": op, "median_s": statistics.median(times),
           "spread_pct": spread(times), "cpu_s": statistics.median(cpus), "peak_mib": max(mems),
           "triangles": tris, "answer_bytes": size}
    if has_direct:
        row["direct_s"] = statistics.median(dtimes)
        row["direct_cpu_s"] = statistics.median(dcpus)
        row["ratio"] = statistics.median(ratios)
        row["wall_ratio"] = statistics.median(wall_ratios)
        with open(direct_out, "rb") as f:
            try:
                d = json.loads(f.read())
            except ValueError:
                d = {}
        row["same_mesh"] = same_mesh(answer, d)
    return row


# Export rows: output file and extra arguments; the picture at 1600 x 1200.
EXPORTS = [("stl_1m.stl", []), ("stl_1m.glb", []), ("stl_1m.3mf", []),
           ("stl_1m.png", ["--size", "1600x1200"])]


def bench_exports(args, build_row):
    """Exports the 1,000,000-triangle model to every format; returns one row per format
    with the processor time over that of answering "build" for the same model, the median
    over runs made in alternating pairs with "build" (a shared machine drifts by a fifth
    between minutes, which separate medians would mistake for cost)."""
    cli = os.path.join(args.bin, "tarvo-cli")
    model = os.path.join(OUT, "stl_1m.model.json")
    request = os.path.join(OUT, "stl_1m.build.json")
    rows = []
    for name, extra in EXPORTS:
        target = os.path.join(OUT, name)
        times, cpus, mems, ratios = [], [], [], []
        for i in range(max(args.runs, 5)):
            pair = {}
            for side in (["export", "build"] if i % 2 == 0 else ["build", "export"]):
                if side == "build":
                    _, cpu, _, code = timed([cli, "build"], request, os.devnull)
                else:
                    wall, cpu, rss, code = timed(
                        [cli, "export", model, "-o", target, "--object", "mesh"] + extra,
                        os.devnull, target + ".stdout")
                    times.append(wall)
                    cpus.append(cpu)
                    mems.append(rss)
                if code != 0:
                    break
                pair[side] = cpu
            if code != 0:
                rows.append({"file": name, "error": "%s: exit %d" % (side, code)})
                break
            ratios.append(pair["export"] / max(pair["build"], 1e-6))
        else:
            rows.append({"file": name, "median_s": statistics.median(times),
                         "cpu_s": statistics.median(cpus), "peak_mib": max(mems),
                         "bytes": os.path.getsize(target),
                         "over_build_pct": 100.0 * (statistics.median(ratios) - 1)})
        print("  export %-12s %s" % (name, rows[-1].get("error") or "%.3f s" % rows[-1]["cpu_s"]),
              file=sys.stderr)
    return rows


def probe(args, runs=200):
    cli = os.path.join(args.bin, "tarvo-cli")
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run([cli, "probe"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       check=True)
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def throughput(args):
    prog = os.path.join(args.bin, "bench", "tarvo_bench_throughput")
    proc = subprocess.run([prog], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, check=True)
    results = {}
    for line in proc.stderr.decode().splitlines():
        if line.startswith("RESULT "):
            _, key, value, unit = line.split()
            results[key] = (float(value), unit)
        else:
            print("  " + line)
    return results


def thousand_objects(kind):
    """Returns a model document of 1,000 objects: 1,000 cubes, or 333 boxes
    each with a hole cut by a subtract (a parameter sets their width)."""
    if kind == "cubes":
        return {"objects": [{"vid": "c%d" % i, "type": "cube", "size": {"x": 10, "y": 8, "z": 4},
                             "move": {"x": 12 * (i % 40), "y": 12 * (i // 40)}}
                            for i in range(1000)]}
    objects = [{"vid": "w", "type": "parameter", "value": {"value": 10}}]
    for i in range(333):
        x, y = 12 * (i % 20), 12 * (i // 20)
        objects += [
            {"vid": "c%d" % i, "type": "cube", "size": {"x": "={{w}}", "y": 8, "z": 4},
             "move": {"x": x, "y": y}, "visible": False},
            {"vid": "h%d" % i, "type": "cylinder", "size": {"diameter": 3, "height": 10},
             "move": {"x": x + 5, "y": y + 4, "z": -1}, "visible": False},
            {"vid": "s%d" % i, "type": "subtract", "baseObjects": ["c%d" % i],
             "subtractObjects": ["h%d" % i]}]
    return {"objects": objects}


def check_times(args):
    """Median (wall, processor) seconds of `tarvo-cli check` on each 1,000-object model."""
    cli = os.path.join(args.bin, "tarvo-cli")
    results = {}
    for kind in ("cubes", "boxes_with_holes"):
        path = os.path.join(OUT, "check_%s.json" % kind)
        with open(path, "w") as f:
            json.dump(thousand_objects(kind), f)
        runs = [timed([cli, "check", "-", "--json"], path, path + ".out") for _ in range(args.runs)]
        results[kind] = (statistics.median(r[0] for r in runs), statistics.median(r[1] for r in runs))
    return results


def fmt_size(n):
    return "%.1f MB" % (n / 1e6) if n >= 1e6 else "%.1f kB" % (n / 1e3)


def library_python(rows, args):
    """Prints the rounding and hull rows beside the library's Python binding
    (manifold3d, pinned by scripts/bench.sh) timed on the same calls in one
    process; returns its figures, or None without the binding."""
    path = os.environ.get("TARVO_BENCH_PY")
    done = subprocess.run([sys.executable, os.path.join(HERE, "library_python.py"),
                           str(args.runs)], capture_output=True, text=True,
                          env=dict(os.environ, PYTHONPATH=path or ""))
    if done.returncode != 0:
        print("\nmanifold3d is not installed (scripts/bench.sh installs it): no figures beside ours")
        return None
    figures = json.loads(done.stdout)
    print("\nhull and rounding beside the library: tarvo-cli and the direct C++ program as whole")
    print("processes (processor time), manifold3d in one Python process (wall time of the calls")
    print("and the mesh); ratio: tarvo-cli over the direct program.")
    print("%-14s %10s %10s %12s %8s %10s" % ("model", "tarvo-cli", "direct", "manifold3d",
                                             "ratio", "triangles"))
    for r in rows:
        if r.get("name") in figures and "direct_cpu_s" in r:
            f = figures[r["name"]]
            print("%-14s %8.1fms %8.1fms %10.1fms %8.2f %10s" % (
                r["name"], r["cpu_s"] * 1e3, r["direct_cpu_s"] * 1e3, f["ms"], r["ratio"],
                "%s / %d" % (r["triangles"], f["triangles"])))
    return figures


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", required=True, help="build directory holding tarvo-cli and bench/")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--only", nargs="*", help="model names to run (default all)")
    ap.add_argument("--skip-throughput", action="store_true")
    args = ap.parse_args()
    os.makedirs(OUT, exist_ok=True)

    stl, stl_requests = make_stl_requests(args.bin)
    requests = sorted(os.path.join(MODELS, f) for f in os.listdir(MODELS) if f.endswith(".json"))
    requests += stl_requests + [make_relief_request(), make_photo_request(args.bin)]
    rows = []
    for path in requests:
        name, op = os.path.basename(path)[:-5].rsplit(".", 1)
        if args.only and name not in args.only:
            continue
        rows.append(bench_model(name, op, path, args, stl))
        r = rows[-1]
        print("  %-16s %-13s %s" % (name, op, "error " + r["error"] if "error" in r else
                                      "%.3f s" % r["median_s"]), file=sys.stderr)

    print()
    print("wall: median whole-process wall time (spread = (max - min) / median); cpu: median")
    print("user + system time; ratio: median over alternating pairs of tarvo-cli / direct,")
    print("by processor time (by wall time in brackets); same: the direct mesh bytes match.")
    print("%-16s %-13s %8s %6s %8s %9s %9s %10s %8s %13s %5s" % (
        "model", "op", "wall", "spread", "cpu", "peak", "triangles", "answer", "direct",
        "ratio", "same"))
    for r in rows:
        if "error" in r:
            print("%-16s %-13s %s" % (r["name"], r["op"], r["error"]))
            continue
        print("%-16s %-13s %7.3fs %5.0f%% %7.3fs %5.0f MiB %9s %10s %8s %13s %5s" % (
            r["name"], r["op"], r["median_s"], r["spread_pct"], r["cpu_s"], r["peak_mib"],
            r["triangles"], fmt_size(r["answer_bytes"]),
            "%.3fs" % r["direct_cpu_s"] if "direct_cpu_s" in r else "-",
            "%.2f (%.2f)" % (r["ratio"], r["wall_ratio"]) if "ratio" in r else "-",
            r.get("same_mesh", "-")))

    results = {"models": rows}
    results["library_python"] = library_python(rows, args)
    build_1m = [r for r in rows if (r["name"], r["op"]) == ("stl_1m", "build") and "cpu_s" in r]
    if build_1m:
        results["exports"] = bench_exports(args, build_1m[0])
        print("\nexport of the 1,000,000-triangle model (processor time; the cost is the median")
        print("of export / build over alternating pairs, less one; \"build\" alone took %.3f s):"
              % build_1m[0]["cpu_s"])
        floor = subprocess.run([os.path.join(args.bin, "bench", "tarvo_bench_library_floor")],
                               capture_output=True, text=True)
        if floor.returncode == 0:
            results["library_floor"] = json.loads(floor.stdout)
            print("(the library alone, building the same solid from a merged mesh of %.0f MiB in"
                  % results["library_floor"]["mesh_mib"])
            print("a program doing nothing else, peaks at %.0f MiB and keeps %.0f MiB: the floor"
                  % (results["library_floor"]["peak_mib"], results["library_floor"]["kept_mib"]))
            print("of any job that builds it)")
        print("%-14s %8s %8s %9s %10s %8s" % ("file", "wall", "cpu", "peak", "size", "cost"))
        for r in results["exports"]:
            if "error" in r:
                print("%-14s %s" % (r["file"], r["error"]))
                continue
            print("%-14s %7.3fs %7.3fs %5.0f MiB %10s %7.0f%%" % (
                r["file"], r["median_s"], r["cpu_s"], r["peak_mib"], fmt_size(r["bytes"]),
                r["over_build_pct"]))
    results["check"] = check_times(args)
    print("\ncheck of a 1,000-object model (median wall / cpu):")
    for kind, (wall, cpu) in results["check"].items():
        print("  %-32s %.3f s / %.3f s" % (kind, wall, cpu))
    results["probe_median_ms"] = probe(args) * 1e3
    print("\nprobe start-up: median %.2f ms over 200 runs" % results["probe_median_ms"])
    if not args.skip_throughput:
        t = throughput(args)
        results["throughput"] = {k: v[0] for k, v in t.items()}
        print("throughput:")
        for key, (value, unit) in t.items():
            print("  %-32s %10.4g %s" % (key, value, unit))
    with open(os.path.join(OUT, "results.json"), "w") as f:
        json.dump(results, f, indent=1)
    # The text and photo reliefs beside a peer program's figures.
    subprocess.run([sys.executable, os.path.join(HERE, "peers.py"), "--bin", args.bin,
                    "--runs", str(args.runs)] + (["--only"] + args.only if args.only else []))


if __name__ == "__main__":
    main()
