#!/usr/bin/env python3
"""Stands in for tarvo-cli in the server tests. FAKE_CLI_DIR is a folder it
records into; FAKE_CLI_MODE chooses what it does:

  count  notes how many copies run at once and how many ran in all
         (FAKE_CLI_DIR/counts.json), takes FAKE_CLI_SECONDS, answers a small mesh
  hang   starts a child that sleeps, writes both process ids to
         FAKE_CLI_DIR/pids and sleeps itself until killed

"export IN -o OUT ..." in any mode copies IN to OUT and the arguments to
FAKE_CLI_DIR/export-args.
"""
import fcntl
import json
import os
import subprocess
import sys
import time

folder = os.environ["FAKE_CLI_DIR"]
mode = os.environ.get("FAKE_CLI_MODE", "count")


def add_running(delta):
    with open(os.path.join(folder, "lock"), "a+") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        counts = {"now": 0, "max": 0}
        path = os.path.join(folder, "counts.json")
        if os.path.exists(path):
            with open(path) as f:
                counts = json.load(f)
        counts["now"] += delta
        counts["max"] = max(counts["max"], counts["now"])
        if delta > 0:
            counts["runs"] = counts.get("runs", 0) + 1
        with open(path, "w") as f:
            json.dump(counts, f)


if sys.argv[1] == "probe":
    print('{"ok":true,"version":"fake"}')
    sys.exit(0)

if sys.argv[1] == "export":
    args = sys.argv[2:]
    add_running(1)
    add_running(-1)
    with open(args[0], "rb") as source, open(args[args.index("-o") + 1], "wb") as target:
        target.write(source.read())
    with open(os.path.join(folder, "export-args"), "w") as f:
        json.dump(args, f)
    sys.exit(0)

request = json.loads(sys.stdin.read())
if mode == "hang":
    child = subprocess.Popen(["sleep", "300"])
    with open(os.path.join(folder, "pids"), "w") as f:
        f.write(f"{os.getpid()} {child.pid}")
    time.sleep(300)

add_running(1)
try:
    time.sleep(float(os.environ.get("FAKE_CLI_SECONDS", "0.3")))
finally:
    add_running(-1)
# One triangle, enough for the server to pass on.
print(json.dumps({"flipWinding": False, "numProp": 3, "numTri": 1,
                  "tv": "AAAAAAEAAAACAAAA", "vp": "AAAAAAAAAAAAAAAAAACAPwAAAAAAAAAAAAAAAAAAgD8AAAAA"},
                 separators=(",", ":"), sort_keys=True))
