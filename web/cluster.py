"""The configurator as a small cluster on one machine: Redis (the shared
result cache), REPLICAS copies of the server, and nginx in front of them
(least connections; a build that fails on one replica is tried on another,
since builds are pure). Every piece listens on loopback only and keeps its
files in one run folder.

    python3 web/cluster.py [--port 8080] [--replicas 2]     (make serve-cluster)

The same pieces on separate machines are described in README.md
("Several machines"); nginx_config() writes the load balancer's
configuration for either.
"""

import argparse
import contextlib
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
NGINX = shutil.which("nginx") or "/usr/sbin/nginx"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def nginx_config(listen, replicas, run):
    """Returns nginx's configuration: `listen` ("host:port") in front of the
    replicas ("host:port" each), its own files in the folder `run`."""
    servers = "\n".join(f"    server {r} max_fails=1 fail_timeout=5s;" for r in replicas)
    return f"""\
worker_processes 1;
daemon off;
pid {run}/nginx.pid;
error_log {run}/nginx-error.log warn;
events {{ worker_connections 4096; }}
http {{
  access_log off;
  client_body_temp_path {run}/client-body;
  proxy_temp_path {run}/proxy;
  fastcgi_temp_path {run}/fastcgi;
  uwsgi_temp_path {run}/uwsgi;
  scgi_temp_path {run}/scgi;
  # Bodies are small (the server takes 64 KiB at most) and must come quickly.
  client_max_body_size 64k;
  client_body_buffer_size 64k;
  client_header_timeout 10s;
  client_body_timeout 10s;
  keepalive_timeout 5s;
  send_timeout 30s;
  upstream tarvo {{
    least_conn;
{servers}
    keepalive 32;
  }}
  server {{
    listen {listen} backlog=1024;
    location / {{
      proxy_pass http://tarvo;
      proxy_http_version 1.1;
      proxy_set_header Connection "";
      proxy_set_header Host $host;
      # The client's own address, replacing whatever it claims: the replicas
      # share their workers out by it.
      proxy_set_header X-Forwarded-For $remote_addr;
      # Builds and exports are pure, so one whose replica fails (gone,
      # refusing connections, closing mid-answer) is tried once on another,
      # POST included. A busy replica's 503 goes back to the client, which
      # asks again a second later: counting it as a failure would take the
      # replica out of the group for fail_timeout.
      proxy_next_upstream error timeout non_idempotent;
      proxy_next_upstream_tries 2;
      proxy_connect_timeout 2s;
      proxy_read_timeout 120s;
      proxy_buffering on;
      proxy_max_temp_file_size 0;
    }}
  }}
}}
"""


def _wait_for_port(port, process, what, seconds=30):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if process.poll() is not None:
            raise RuntimeError(f"{what} ended with code {process.returncode}")
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1):
                return
        except OSError:
            time.sleep(0.05)
    raise RuntimeError(f"{what} did not listen on port {port} within {seconds} s")


class Cluster:
    """Redis, the replicas and nginx, started in `run` (a new temporary folder
    by default). `env` adds settings for the replicas (TARVO_CLI and the rest)."""

    def __init__(self, port=None, replicas=2, run=None, env=None, python_path=None):
        self.port = port or free_port()
        self.run = Path(run or tempfile.mkdtemp(prefix="tarvo-cluster-"))
        self.run.mkdir(parents=True, exist_ok=True)
        self.count = replicas
        self.env = dict(env or {})
        self.python_path = python_path or os.environ.get("PYTHONPATH", "")
        self.redis = self.nginx = None
        self.replicas = []  # [(name, port, process)]
        self.redis_port = free_port()

    @property
    def base(self):
        return f"http://127.0.0.1:{self.port}"

    def start_redis(self):
        """Starts redis-server: no persistence, 256 MiB, least recently used out."""
        log = self.run / "redis.log"
        self.redis = subprocess.Popen(
            ["redis-server", "--port", str(self.redis_port), "--bind", "127.0.0.1",
             "--save", "", "--appendonly", "no", "--dir", str(self.run),
             "--maxmemory", "256mb", "--maxmemory-policy", "allkeys-lru", "--logfile", str(log)],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _wait_for_port(self.redis_port, self.redis, "redis-server")

    def start_replica(self, i, port=None):
        """Starts replica i (again, after a stop, on its old port)."""
        name = f"replica-{i + 1}"
        port = port or free_port()
        workers = max(1, (os.cpu_count() or 1) // self.count)
        env = dict(os.environ, PORT=str(port), PYTHONPATH=self.python_path, TARVO_REPLICA=name,
                   TARVO_REDIS_URL=f"redis://127.0.0.1:{self.redis_port}/0",
                   TARVO_WORKERS=str(workers))
        env.update({k: str(v) for k, v in self.env.items()})
        with open(self.run / f"{name}.log", "ab") as log:
            process = subprocess.Popen([sys.executable, str(HERE / "server.py")], env=env,
                                       stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)
        _wait_for_port(port, process, name)
        entry = (name, port, process)
        if i < len(self.replicas):
            self.replicas[i] = entry
        else:
            self.replicas.append(entry)
        return entry

    def start_nginx(self):
        conf = self.run / "nginx.conf"
        conf.write_text(nginx_config(f"127.0.0.1:{self.port}",
                                     [f"127.0.0.1:{port}" for _, port, _ in self.replicas], self.run))
        self.nginx = subprocess.Popen(
            [NGINX, "-p", str(self.run), "-c", str(conf), "-e", str(self.run / "nginx-error.log")],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _wait_for_port(self.port, self.nginx, "nginx")

    def start(self):
        """Starts every piece; returns the cluster."""
        try:
            self.start_redis()
            for i in range(self.count):
                self.start_replica(i)
            self.start_nginx()
        except BaseException:
            self.stop()
            raise
        return self

    def stop(self):
        """Stops nginx, the replicas and Redis, and waits for them."""
        processes = [self.nginx] + [p for _, _, p in self.replicas] + [self.redis]
        for process in processes:
            if process is not None and process.poll() is None:
                process.send_signal(signal.SIGQUIT if process is self.nginx else signal.SIGTERM)
        for process in processes:
            if process is None:
                continue
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--port", type=int, default=int(os.environ.get("PORT", 8080)))
    parser.add_argument("--replicas", type=int, default=2)
    args = parser.parse_args()
    cluster = Cluster(args.port, args.replicas, run=Path(tempfile.gettempdir()) / f"tarvo-cluster-{args.port}")
    stopping = []
    signal.signal(signal.SIGTERM, lambda *_: stopping.append(1))
    with cluster:
        print(f"tarvo configurator cluster: http://127.0.0.1:{args.port}/ (nginx, "
              + ", ".join(f"{name} on {port}" for name, port, _ in cluster.replicas)
              + f", redis on {cluster.redis_port}; logs in {cluster.run})", flush=True)
        with contextlib.suppress(KeyboardInterrupt):
            while not stopping:
                time.sleep(0.5)
                for name, _, process in cluster.replicas:
                    if process.poll() is not None:
                        print(f"tarvo-cluster: {name} ended with code {process.returncode}", flush=True)
                        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
