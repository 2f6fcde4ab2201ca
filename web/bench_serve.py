"""Load on the configurator as a shop would see it, for one replica and for
the cluster (two replicas, Redis, nginx), and the fairness case.

The mix: USERS visitors, each from a loopback address of its own, ask for
configurations whose popularity falls off as 1/rank^1.1 (the defaults of the
models first), one request at a time with a short pause between; nine in
ten are builds and one in ten an export (3MF, STL or GLB). A refused request
(503) is asked again after a second, as the page does. Printed per setup:
answers per second, latency percentiles of cache hits and misses, the hit
ratio, final statuses, the 503s retried and the servers' resident memory.

The fairness case: one client keeps ten builds in flight while FAIR_USERS
others send one build at a time (never the same twice) with the page's
back-off; printed are the builds each got.

    python3 web/bench_serve.py [--users 16] [--seconds 20] [--fair-users 50] [--seed 1]
"""
import argparse
import concurrent.futures
import http.client
import itertools
import json
import os
import random
import statistics
import sys
import threading
import time
import urllib.parse
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent / "tests"))
from serving import WEB_PY, request, server  # noqa: E402
from cluster import Cluster  # noqa: E402

BACK_OFF = 1.0  # seconds, as the page waits after a 503


def resident_mib(pid):
    try:
        for line in Path(f"/proc/{pid}/status").read_text().splitlines():
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    except OSError:
        pass
    return 0.0


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


def configurations(models, rng, count=300):
    """Returns `count` (model, values) pairs, most popular first: each model's
    default, then random values of random models."""
    configs = [(m["name"], {}) for m in models]
    while len(configs) < count:
        model = rng.choice(models)
        configs.append((model["name"], random_values(model, rng)))
    return configs


def send(port, source, job):
    """Returns (status, X-Cache, seconds) of one request from address `source`."""
    kind, model, values, extra = job
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=120, source_address=(source, 0))
    start = time.perf_counter()
    try:
        if kind == "build":
            conn.request("POST", "/api/build", json.dumps({"model": model, "values": values}),
                         {"Content-Type": "application/json"})
        else:
            query = urllib.parse.urlencode({"model": model, "format": extra,
                                            "values": json.dumps(values)})
            conn.request("GET", "/api/export?" + query)
        response = conn.getresponse()
        response.read()
        return response.status, response.getheader("X-Cache") or "", time.perf_counter() - start
    except OSError:
        return 0, "", time.perf_counter() - start
    finally:
        conn.close()


def percentile(values, p):
    if not values:
        return float("nan")
    values = sorted(values)
    return values[min(len(values) - 1, int(round(p / 100 * (len(values) - 1))))]


def shop_mix(port, models, args, pids):
    """Runs the mix for args.seconds; returns the figures as lines."""
    rng = random.Random(args.seed)
    configs = configurations(models, rng)
    weights = [1 / (rank + 1) ** 1.1 for rank in range(len(configs))]
    stop = time.monotonic() + args.seconds
    results, retried = [], [0]
    lock = threading.Lock()
    memory = [max(resident_mib(p) for p in pids)]

    def visitor(i):
        local = random.Random(args.seed * 1000 + i)
        while time.monotonic() < stop:
            model, values = local.choices(configs, weights)[0]
            job = ("build", model, values, None) if local.random() < 0.9 else \
                ("export", model, values, local.choice(["3mf", "stl", "glb"]))
            while True:
                status, cache, seconds = send(port, f"127.0.0.{i + 2}", job)
                with lock:
                    results.append((job[0], status, cache, seconds))
                if status != 503 or time.monotonic() >= stop:
                    break
                retried[0] += 1
                time.sleep(BACK_OFF)
            time.sleep(local.uniform(0.05, 0.3))  # the visitor looks at the part

    def sample():
        while time.monotonic() < stop:
            memory.append(max(resident_mib(p) for p in pids))
            time.sleep(0.5)

    start = time.perf_counter()
    with concurrent.futures.ThreadPoolExecutor(args.users + 1) as pool:
        pool.submit(sample)
        list(pool.map(visitor, range(args.users)))
    elapsed = time.perf_counter() - start
    answered = [r for r in results if r[1] == 200]
    hits = [r[3] * 1000 for r in answered if r[2] == "hit"]
    misses = [r[3] * 1000 for r in answered if r[2] == "miss"]
    final = {}
    for r in results:
        if r[1] != 503:
            final[r[1]] = final.get(r[1], 0) + 1
    builds = sum(1 for r in answered if r[0] == "build")
    return [
        f"answers           {len(answered)} in {elapsed:.1f} s: {len(answered) / elapsed:.1f}/s "
        f"({builds / elapsed:.1f} builds/s, {(len(answered) - builds) / elapsed:.1f} exports/s)",
        f"hit ratio         {len(hits) / max(1, len(answered)):.0%}",
        f"hits   p50/95/99  {percentile(hits, 50):.1f} / {percentile(hits, 95):.1f} / "
        f"{percentile(hits, 99):.1f} ms ({len(hits)})",
        f"misses p50/95/99  {percentile(misses, 50):.0f} / {percentile(misses, 95):.0f} / "
        f"{percentile(misses, 99):.0f} ms ({len(misses)})",
        f"statuses          {dict(sorted(final.items()))}, 503 retried after {BACK_OFF:g} s: {retried[0]}",
        f"server memory     {memory[0]:.1f} MiB at start, {max(memory):.1f} MiB at most (largest process)",
    ]


def fairness(port, args):
    """Returns lines: builds per polite user and of the greedy client."""
    stop = time.monotonic() + args.fair_seconds
    counter = itertools.count()

    def fresh():
        return ("build", "box", {"width": 30 + next(counter) * 1e-4}, None)

    def greedy(_):
        return sum(send(port, "127.0.0.1", fresh())[0] == 200 for _ in iter(
            lambda: time.monotonic() < stop, False))

    def polite(i):
        got = 0
        while time.monotonic() < stop:
            if send(port, f"127.0.1.{i + 1}", fresh())[0] == 200:
                got += 1
            else:
                time.sleep(BACK_OFF)
        return got

    with concurrent.futures.ThreadPoolExecutor(10 + args.fair_users) as pool:
        greedy_runs = [pool.submit(greedy, i) for i in range(10)]
        polite_runs = [pool.submit(polite, i) for i in range(args.fair_users)]
        got_greedy = sum(f.result() for f in greedy_runs)
        got = sorted(f.result() for f in polite_runs)
    return [f"fairness          {args.fair_users} users for {args.fair_seconds:g} s beside one client "
            f"with 10 in flight: builds per user min {got[0]}, median {statistics.median(got):g}, "
            f"max {got[-1]}; users with none: {sum(1 for g in got if g == 0)}; "
            f"the greedy client: {got_greedy}"]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--users", type=int, default=16)
    parser.add_argument("--seconds", type=float, default=20)
    parser.add_argument("--fair-users", type=int, default=50)
    parser.add_argument("--fair-seconds", type=float, default=20)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()

    print(f"one replica ({os.cpu_count()} workers, queue {4 * (os.cpu_count() or 1)}):")
    with server() as (base, pid):
        port = int(base.rsplit(":", 1)[1])
        models = request(base, "/api/models").json()["models"]
        for line in shop_mix(port, models, args, [pid]):
            print("  " + line, flush=True)
    with server() as (base, pid):
        for line in fairness(int(base.rsplit(":", 1)[1]), args):
            print("  " + line, flush=True)

    print("cluster (nginx, two replicas of one worker each, Redis; the same machine):")
    with Cluster(python_path=WEB_PY) as cluster:
        pids = [p.pid for _, _, p in cluster.replicas]
        for line in shop_mix(cluster.port, models, args, pids):
            print("  " + line, flush=True)
        print(f"  redis memory      {resident_mib(cluster.redis.pid):.1f} MiB, "
              f"nginx {resident_mib(cluster.nginx.pid):.1f} MiB (master)")
    with Cluster(python_path=WEB_PY) as cluster:
        for line in fairness(cluster.port, args):
            print("  " + line, flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
