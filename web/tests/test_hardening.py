"""The server against hostile and careless clients: deep JSON, odd digits,
idle and half-sent connections, a greedy client, clients that leave, a killed
server, and pages of other sites. Most run against the stand-in tarvo-cli."""
import concurrent.futures
import itertools
import json
import os
import signal
import socket
import threading
import time
import urllib.parse

import pytest

from serving import WEB, request, server

FAKE = str(WEB / "tests" / "fake_cli.py")
unique = itertools.count()


def fake_server(tmp_path, **settings):
    env = {"TARVO_CLI": FAKE, "FAKE_CLI_DIR": tmp_path, "log": tmp_path / "server.log"}
    env.update(settings)
    return server(**env)


def log_lines(tmp_path):
    return (tmp_path / "server.log").read_text(errors="replace").splitlines()


def fresh_box():
    """A box build no earlier request asked for, so the cache cannot answer it."""
    # Widths on the model's own steps (30 to 200 mm by 1), then other segment counts.
    n = next(unique)
    return {"model": "box", "values": {"width": 30 + n % 171}, "segments": 16 + n // 171}


def raw(base, data, source="127.0.0.1"):
    """Returns a socket to the server from `source` that has sent `data`."""
    host = urllib.parse.urlsplit(base)
    s = socket.create_connection((host.hostname, host.port), timeout=30, source_address=(source, 0))
    s.sendall(data)
    return s


def post_from(base, source, body, timeout=30):
    """Returns (status, body) of a build posted from the local address `source`."""
    data = json.dumps(body).encode()
    s = raw(base, b"POST /api/build HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
            b"Connection: close\r\nContent-Length: %d\r\n\r\n%s" % (len(data), data), source)
    s.settimeout(timeout)
    answer = b""
    while chunk := s.recv(65536):
        answer += chunk
    s.close()
    return int(answer.split(b" ", 2)[1]), answer.split(b"\r\n\r\n", 1)[1]


def gone(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().split(") ", 1)[1].startswith("Z")
    except FileNotFoundError:
        return True


def wait_until(predicate, seconds=10.0):
    end = time.monotonic() + seconds
    while not predicate():
        if time.monotonic() > end:
            return False
        time.sleep(0.05)
    return True


@pytest.fixture(scope="module")
def fake(tmp_path_factory):
    folder = tmp_path_factory.mktemp("fake")
    with fake_server(folder, FAKE_CLI_SECONDS=0.01) as (base, _):
        yield base


DEEP = "[" * 1000 + "]" * 1000


@pytest.mark.parametrize("path,body,status,message", [
    ("/api/build", ('{"model": "box", "values": %s}' % DEEP).encode(), 400, "nests deeper than 32"),
    ("/api/build", ('{"model": "box", "values": {"width": %s}}' % DEEP).encode(), 400, "nests deeper"),
    ("/api/build", DEEP.encode(), 400, "nests deeper"),
    ("/api/build", b'{"model": "box", "x": "[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[["}', 200, ""),
    ("/api/export?format=stl&model=box&values=" + urllib.parse.quote('{"width": %s}' % DEEP), None,
     400, "values nests deeper"),
    ("/api/build", {"model": "box", "segments": "²"}, 400, '"segments" must be'),
    ("/api/build", {"model": "box", "segments": "¹²"}, 400, '"segments" must be'),
    ("/api/build", {"model": "box", "segments": "٣٢"}, 400, '"segments" must be'),
    ("/api/build", {"model": "box", "segments": "9" * 4301}, 400, '"segments" must be'),
    ("/api/build", {"model": "box", "segments": "32"}, 200, ""),
    ("/api/export?format=stl&model=box&segments=%C2%B2", None, 400, '"segments" must be'),
    ("/api/export?format=stl&model=box&segments=" + "9" * 4400, None, 400, '"segments" must be'),
    ("/api/export?format=stl&model=box&segments=%D9%A3", None, 400, '"segments" must be'),
])
def test_deep_json_and_digits_beyond_ascii_are_refused_with_a_json_message(fake, path, body, status,
                                                                          message):
    answer = request(fake, path, body)
    assert answer.status == status, answer.body[:300]
    if message:
        assert message in answer.json()["error"]


def test_a_content_length_of_thousands_of_digits_is_refused_413(fake):
    s = raw(fake, b"POST /api/build HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
            b"Content-Length: " + b"9" * 5000 + b"\r\n\r\n{}")
    answer = s.recv(65536)
    s.close()
    assert answer.startswith(b"HTTP/1.1 413") or answer.startswith(b"HTTP/1.1 400"), answer[:200]


@pytest.mark.parametrize("headers,status,message", [
    ({"Host": "evil.example"}, 400, "does not answer to that host"),
    ({"Host": "rebind.attacker.example:8080"}, 400, "does not answer to that host"),
    ({"Content-Type": "text/plain"}, 415, "application/json"),
    ({"Content-Type": "application/x-www-form-urlencoded"}, 415, "application/json"),
    ({"Origin": "http://evil.example"}, 403, "other sites"),
    ({"Origin": "null"}, 403, "other sites"),
    ({"Sec-Fetch-Site": "cross-site"}, 403, "other sites"),
    ({"Origin": "http://127.0.0.1:8080", "Sec-Fetch-Site": "same-origin"}, 200, ""),
    ({"Host": "localhost:1234", "Content-Type": "application/json; charset=utf-8"}, 200, ""),
])
def test_builds_come_only_as_json_from_this_site_to_an_allowed_host(fake, headers, status, message):
    answer = request(fake, "/api/build", fresh_box(), headers=headers)
    assert answer.status == status, answer.body[:300]
    if message:
        assert message in answer.json()["error"]
    assert answer.headers["x-content-type-options"] == "nosniff"


def test_every_answer_carries_the_security_headers(fake):
    for path in ("/", "/static/app.js", "/api/models", "/api/export?format=obj", "/nowhere"):
        answer = request(fake, path)
        assert answer.headers["x-content-type-options"] == "nosniff", path
        policy = answer.headers["content-security-policy"]
        assert "frame-ancestors 'none'" in policy and "default-src 'self'" in policy, path
        assert "'unsafe-inline'" not in policy
    # The page's inline import map is allowed by its hash, and nothing else inline.
    assert "'sha256-" in request(fake, "/").headers["content-security-policy"]


def test_idle_and_half_sent_connections_neither_starve_builds_nor_flood_the_log(tmp_path):
    # 1,100 connections that send half a request head, against a server whose
    # open-file limit is 1,024: a build still gets its answer, the idle ones
    # are closed once the head time limit passes, and the log stays short.
    with fake_server(tmp_path, nofile=1024, TARVO_HEADER_TIMEOUT=3,
                     FAKE_CLI_SECONDS=0.01) as (base, _):
        idle = []
        for i in range(1100):
            try:
                idle.append(raw(base, b"GET /api/models HTTP/1.1\r\nHost: 127"))
            except OSError:
                pass
        assert len(idle) > 1000
        assert request(base, "/api/build", fresh_box(), timeout=30).status == 200
        assert request(base, "/api/models", timeout=30).status == 200
        for s in idle[-50:]:
            s.settimeout(30)
            try:
                assert s.recv(100) == b""
            except ConnectionResetError:
                pass
        for s in idle:
            s.close()
        assert request(base, "/api/build", fresh_box(), timeout=30).status == 200
    lines = log_lines(tmp_path)
    assert not [line for line in lines if "Traceback" in line]
    assert len(lines) < 20, lines[:40]


def test_a_body_sent_too_slowly_is_answered_408(tmp_path):
    with fake_server(tmp_path, TARVO_BODY_TIMEOUT=1) as (base, _):
        s = raw(base, b"POST /api/build HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
                b"Content-Length: 100\r\n\r\n{\"model\"")
        s.settimeout(30)
        answer = b""
        while chunk := s.recv(65536):
            answer += chunk
        s.close()
    assert answer.startswith(b"HTTP/1.1 408"), answer[:200]
    assert b"took longer than 1 s" in answer


def test_one_greedy_client_cannot_starve_the_others(tmp_path):
    # One client keeps ten builds in flight, as many as the pool has places;
    # ten others send one build at a time from addresses of their own and
    # come back after a second when refused, as the page does. Everyone
    # gets builds.
    stop = time.monotonic() + 8
    with fake_server(tmp_path, TARVO_WORKERS=2, TARVO_QUEUE=8, FAKE_CLI_SECONDS=0.2) as (base, _):
        def greedy(_):
            count = 0
            while time.monotonic() < stop:
                count += post_from(base, "127.0.0.1", fresh_box())[0] == 200
            return count

        def polite(i):
            count = 0
            while time.monotonic() < stop:
                if post_from(base, f"127.0.0.{i + 2}", fresh_box())[0] == 200:
                    count += 1
                else:
                    time.sleep(1)
            return count

        with concurrent.futures.ThreadPoolExecutor(20) as pool:
            greedy_runs = [pool.submit(greedy, i) for i in range(10)]
            polite_runs = [pool.submit(polite, i) for i in range(10)]
            greedy_builds = sum(f.result() for f in greedy_runs)
            polite_builds = [f.result() for f in polite_runs]
    assert min(polite_builds) >= 1, repr((polite_builds, greedy_builds))
    assert greedy_builds >= 1


def test_a_build_whose_client_leaves_is_stopped(tmp_path):
    with fake_server(tmp_path, FAKE_CLI_MODE="hang") as (base, _):
        body = json.dumps({"model": "box"}).encode()
        s = raw(base, b"POST /api/build HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json"
                b"\r\nContent-Length: %d\r\n\r\n%s" % (len(body), body))
        assert wait_until(lambda: (tmp_path / "pids").exists())
        time.sleep(0.2)
        pids = [int(p) for p in (tmp_path / "pids").read_text().split()]
        s.close()
        assert wait_until(lambda: all(gone(p) for p in pids)), pids
        assert request(base, "/api/models").status == 200
    lines = log_lines(tmp_path)
    assert [line for line in lines if "went away" in line and "stopped" in line]
    assert not [line for line in lines if "Traceback" in line]


def test_each_connection_dropped_mid_body_is_one_line_in_the_log(tmp_path):
    with fake_server(tmp_path) as (base, _):
        for _ in range(20):
            s = raw(base, b"POST /api/build HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                    b"Content-Type: application/json\r\nContent-Length: 1000\r\n\r\n{\"model\": ")
            time.sleep(0.02)
            s.close()
        assert request(base, "/api/models").status == 200
    lines = log_lines(tmp_path)
    dropped = [line for line in lines if "went away while sending the body" in line]
    assert len(dropped) == 20 and len(lines) <= 22, lines[:40]


def test_a_killed_server_takes_its_processes_along_and_its_files_are_cleared_at_the_next_start(
        tmp_path):
    temporary = tmp_path / "tmp"
    temporary.mkdir()
    with fake_server(tmp_path, FAKE_CLI_MODE="hang", TMPDIR=temporary) as (base, pid):
        def doomed():
            try:
                request(base, "/api/build", {"model": "box"}, timeout=30)
            except OSError:
                pass  # the server is killed under it

        threading.Thread(target=doomed, daemon=True).start()
        assert wait_until(lambda: (tmp_path / "pids").exists())
        time.sleep(0.2)
        cli = int((tmp_path / "pids").read_text().split()[0])
        left = list(temporary.glob("tarvo-serve-*"))
        assert len(left) == 1
        (left[0] / "export-in-progress").mkdir()
        os.kill(pid, signal.SIGKILL)
        try:
            assert wait_until(lambda: gone(cli)), cli
        finally:
            os.killpg(cli, signal.SIGKILL)  # the stand-in's own child
    with fake_server(tmp_path, TMPDIR=temporary, log=tmp_path / "second.log") as (base, _):
        # The new server's own folder is the only one; a running server's
        # folder is left alone by a second one starting beside it.
        assert [p for p in temporary.glob("tarvo-serve-*")] != left
        with fake_server(tmp_path, TMPDIR=temporary, log=tmp_path / "third.log"):
            assert len(list(temporary.glob("tarvo-serve-*"))) == 2
            assert request(base, "/api/models").status == 200
