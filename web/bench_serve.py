"""Load on the configurator server: CLIENTS clients at once send BUILDS builds
of the example models with random parameter values, and the figures are
printed: throughput, median and 95th-percentile latency, errors, and the
server's resident memory before and after.

    python3 web/bench_serve.py [--clients 8] [--builds 400] [--seed 1]
"""
import argparse
import concurrent.futures
import json
import random
import statistics
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent / "tests"))
from serving import request, server  # noqa: E402


def resident_kib(pid):
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    return 0


def random_values(model, rng):
    values = {}
    for p in model["parameters"]:
        if p["kind"] == "number":
            low, high = p.get("min", p["value"] / 2), p.get("max", p["value"] * 2)
            step = p.get("step") or (high - low) / 100
            values[p["name"]] = round(low + step * rng.randint(0, int((high - low) / step)), 6)
        elif p["kind"] == "choice":
            values[p["name"]] = rng.choice(p["choices"])
    return values


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--clients", type=int, default=8)
    parser.add_argument("--builds", type=int, default=400)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    rng = random.Random(args.seed)

    with server() as (base, pid):
        models = request(base, "/api/models").json()["models"]
        for model in models:  # one build of each before measuring
            request(base, "/api/build", {"model": model["name"]})
        before = resident_kib(pid)
        jobs = []
        for _ in range(args.builds):
            model = rng.choice(models)
            jobs.append({"model": model["name"], "values": random_values(model, rng)})

        def run(job):
            start = time.perf_counter()
            answer = request(base, "/api/build", job, timeout=120)
            return job["model"], answer.status, time.perf_counter() - start, answer

        # Memory is read halfway too: growth from there to the end would be a leak,
        # growth before it the allocator settling.
        half = len(jobs) // 2
        start = time.perf_counter()
        with concurrent.futures.ThreadPoolExecutor(args.clients) as clients:
            results = list(clients.map(run, jobs[:half]))
            middle = resident_kib(pid)
            results += list(clients.map(run, jobs[half:]))
        elapsed = time.perf_counter() - start
        after = resident_kib(pid)

    latencies = sorted(r[2] * 1000 for r in results)
    errors = [r for r in results if r[1] != 200]
    print(f"{args.builds} builds, {args.clients} clients, {elapsed:.1f} s")
    print(f"throughput        {args.builds / elapsed:.1f} builds/s")
    print(f"latency median    {statistics.median(latencies):.0f} ms")
    print(f"latency p95       {latencies[int(0.95 * (len(latencies) - 1))]:.0f} ms")
    print(f"errors            {len(errors)}")
    print(f"server memory     {before / 1024:.1f} MiB at start, {middle / 1024:.1f} MiB halfway, "
          f"{after / 1024:.1f} MiB at end")
    print("per model (builds, median tarvo-cli ms):")
    for model in sorted({r[0] for r in results}):
        ms = [r[3].json()["ms"] for r in results if r[0] == model and r[1] == 200]
        print(f"  {model:12} {len(ms):4d} {statistics.median(ms) if ms else 0:8.0f}")
    for model, status, _, answer in errors[:5]:
        print(f"  error {status} on {model}: {answer.body[:200]!r}")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
