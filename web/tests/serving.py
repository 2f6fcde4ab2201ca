"""Starts the configurator server for a test and talks HTTP to it."""
import contextlib
import json
import os
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request
from pathlib import Path

WEB = Path(__file__).resolve().parent.parent
ROOT = WEB.parent
CLI = os.environ.get("TARVO_CLI", str(ROOT / "build" / "tarvo-cli"))
WEB_PY = os.environ.get("TARVO_WEB_PY", str(ROOT / ".deps" / "web-py"))


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


@contextlib.contextmanager
def server(log=None, nofile=None, **settings):
    """Runs web/server.py with the given environment settings (TARVO_CLI and
    the rest) and yields (base URL, process id); stops it afterwards. Its
    output goes to the file `log` (a temporary file by default); `nofile`
    sets its open-file limit."""
    port = int(settings.pop("PORT", 0)) or free_port()
    env = dict(os.environ, PORT=str(port), PYTHONPATH=WEB_PY, TARVO_CLI=CLI)
    env.update({k: str(v) for k, v in settings.items()})
    limit = None
    if nofile:
        import resource
        limit = lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (nofile, nofile))  # noqa: E731
    output = open(log, "w+b") if log else tempfile.TemporaryFile()
    process = subprocess.Popen([sys.executable, str(WEB / "server.py")], env=env,
                               stdout=output, stderr=subprocess.STDOUT, preexec_fn=limit)
    base = f"http://127.0.0.1:{port}"
    try:
        for _ in range(400):
            if process.poll() is not None:
                output.seek(0)
                raise RuntimeError("server ended: " + output.read().decode())
            try:
                urllib.request.urlopen(base + "/api/models", timeout=2).read()
                break
            except OSError:
                time.sleep(0.05)
        yield base, process.pid
    finally:
        process.terminate()
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
        output.close()


class Answer:
    def __init__(self, status, headers, body):
        self.status, self.headers, self.body = status, headers, body

    def json(self):
        return json.loads(self.body)


def request(base, path, body=None, method=None, timeout=60, headers=None):
    """Returns the Answer to one request; `body` is sent as JSON unless it is bytes
    (as application/json either way, unless `headers` says otherwise)."""
    if body is not None and not isinstance(body, bytes):
        body = json.dumps(body).encode()
    headers = dict({"Content-Type": "application/json"} if body is not None else {}, **(headers or {}))
    req = urllib.request.Request(base + path, data=body, headers=headers,
                                 method=method or ("POST" if body is not None else "GET"))
    try:
        with urllib.request.urlopen(req, timeout=timeout) as r:
            return Answer(r.status, dict(r.headers), r.read())
    except urllib.error.HTTPError as e:
        return Answer(e.code, dict(e.headers), e.read())


@contextlib.contextmanager
def redis_server(folder):
    """Runs Debian's redis-server on a free loopback port, without saving
    anything to disk, and yields (its URL, the process); stops it afterwards."""
    port = free_port()
    process = subprocess.Popen(
        ["redis-server", "--port", str(port), "--bind", "127.0.0.1", "--save", "",
         "--appendonly", "no", "--dir", str(folder), "--maxmemory", "64mb",
         "--maxmemory-policy", "allkeys-lru", "--logfile", str(Path(folder) / "redis.log")],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        for _ in range(200):
            try:
                with socket.create_connection(("127.0.0.1", port), timeout=1) as s:
                    s.sendall(b"PING\r\n")
                    if s.recv(16).startswith(b"+PONG"):
                        break
            except OSError:
                time.sleep(0.05)
        yield f"redis://127.0.0.1:{port}/0", process
    finally:
        process.kill()
        process.wait()
