"""The server's documented limits at their exact values, through the public
HTTP API only: TARVO_MAX_BODY (a body of exactly that many bytes is taken,
one more is refused), TARVO_WORKERS and TARVO_QUEUE (exactly workers + queue
requests are held at once, every other one is answered 503), and no process
a build started is left running once it is answered."""
import concurrent.futures
import http.client
import json
import os
import stat
import sys
import time
import urllib.parse

import pytest

from serving import request, server

# Stands in for tarvo-cli. STUB_DIR is where it is told what to do and
# records what it did; STUB_MODE chooses:
#   quick  answers at once
#   hold   leaves a file started-PID in STUB_DIR, waits until STUB_DIR/release
#          exists (a minute at most), then answers
#   child  starts a sleeping child that keeps none of its pipes, writes both
#          process ids to STUB_DIR/pids and answers at once
STUB = """#!{python}
import json, os, subprocess, sys, time
folder, mode = os.environ["STUB_DIR"], os.environ.get("STUB_MODE", "quick")
if sys.argv[1:] == ["probe"]:  # the server asks for the version when it starts
    print('{{"ok":true,"version":"stub"}}')
    sys.exit(0)
sys.stdin.read()
if mode == "hold":
    open(os.path.join(folder, "started-%d" % os.getpid()), "w").close()
    end = time.time() + 60
    while not os.path.exists(os.path.join(folder, "release")) and time.time() < end:
        time.sleep(0.02)
elif mode == "child":
    child = subprocess.Popen(["sleep", "300"], stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(os.path.join(folder, "pids"), "w") as f:
        f.write("%d %d" % (os.getpid(), child.pid))
print(json.dumps({{"flipWinding": False, "numProp": 3, "numTri": 1, "tv": "AAAAAAEAAAACAAAA",
                  "vp": "AAAAAAAAAAAAAAAAAACAPwAAAAAAAAAAAAAAAAAAgD8AAAAA"}},
                 separators=(",", ":"), sort_keys=True))
"""


def stub_server(tmp_path, mode="quick", **settings):
    program = tmp_path / "stub-cli"
    program.write_text(STUB.format(python=sys.executable))
    program.chmod(program.stat().st_mode | stat.S_IXUSR)
    return server(TARVO_CLI=program, STUB_DIR=tmp_path, STUB_MODE=mode, **settings)


def body_of(size):
    """A build request for the box model padded to exactly `size` bytes."""
    head, tail = b'{"model": "box", "pad": "', b'"}'
    body = head + b"x" * (size - len(head) - len(tail)) + tail
    assert len(body) == size
    return body


def post_streamed(base, body):
    """Posts `body` in chunks without announcing its length; returns the status."""
    address = urllib.parse.urlsplit(base)
    conn = http.client.HTTPConnection(address.hostname, address.port, timeout=60)
    try:
        chunks = (body[i:i + 4096] for i in range(0, len(body), 4096))
        conn.request("POST", "/api/build", body=chunks, encode_chunked=True,
                     headers={"Content-Type": "application/json"})
        response = conn.getresponse()
        response.read()
        return response.status
    finally:
        conn.close()


@pytest.mark.parametrize("settings, limit", [({}, 65536), ({"TARVO_MAX_BODY": 1000}, 1000)])
def test_a_body_of_exactly_the_limit_is_taken_and_one_byte_more_refused(tmp_path, settings, limit):
    with stub_server(tmp_path, **settings) as (base, _):
        for size, status in [(limit - 1, 200), (limit, 200), (limit + 1, 413)]:
            announced = request(base, "/api/build", body_of(size))
            assert announced.status == status, (size, announced.body[:200])
            if status == 413:
                assert "above %d bytes" % limit in announced.json()["error"]
            assert post_streamed(base, body_of(size)) == status, size


@pytest.mark.parametrize("workers, queue, clients", [(1, 2, 8), (2, 3, 9), (1, 0, 4)])
def test_exactly_workers_plus_queue_requests_are_held_and_the_rest_refused(
        tmp_path, workers, queue, clients):
    held = workers + queue
    # One client may hold every place here, and each request asks for a
    # configuration of its own, so neither the fair shares nor the joining of
    # equal requests changes the count.
    with stub_server(tmp_path, "hold", TARVO_WORKERS=workers, TARVO_QUEUE=queue,
                     TARVO_CLIENT_SHARE=held) as (base, _):
        with concurrent.futures.ThreadPoolExecutor(clients) as pool:
            futures = [pool.submit(request, base, "/api/build", {"model": "box", "segments": 10 + i})
                       for i in range(clients)]
            # Nothing finishes until released, so every refusal comes while all
            # the places are taken. Wait for the refusals (a server admitting
            # one more than it should never gives them all) and for a process
            # per worker (and a moment for any extra one to show), then let the
            # builds end.
            def started():
                return len(list(tmp_path.glob("started-*")))

            deadline = time.time() + 20
            while ((sum(f.done() for f in futures) < clients - held or started() < workers)
                   and time.time() < deadline):
                time.sleep(0.05)
            time.sleep(0.5)
            refused_while_held = sum(f.done() for f in futures)
            running = started()
            (tmp_path / "release").write_text("")
            answers = [f.result() for f in futures]
    statuses = sorted(a.status for a in answers)
    assert statuses == [200] * held + [503] * (clients - held)
    assert refused_while_held == clients - held
    # Of those held, one process per worker ran; the others waited.
    assert running == workers
    assert all("busy" in a.json()["error"] for a in answers if a.status == 503)


def alive(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().split(") ", 1)[1][0] != "Z"
    except FileNotFoundError:
        return False


def test_no_process_a_build_started_is_left_running_after_it_is_answered(tmp_path):
    with stub_server(tmp_path, "child") as (base, _):
        answer = request(base, "/api/build", {"model": "box"})
        assert answer.status == 200 and answer.json()["numTri"] == 1
        pids = [int(p) for p in (tmp_path / "pids").read_text().split()]
        running = pids
        for _ in range(100):
            running = [p for p in pids if alive(p)]
            if not running:
                break
            time.sleep(0.05)
        try:
            assert running == []
        finally:  # a failing run leaves no sleeping child behind either
            for pid in running:
                os.kill(pid, 9)
