"""The server's settings, all from the environment (names and defaults in
README.md, "Configurator"). Nothing else reads os.environ."""

import os
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent


def _number(env, name, default, kind=int, low=0):
    text = env.get(name)
    if text is None or text == "":
        return default
    try:
        value = kind(text)
    except ValueError:
        raise SystemExit(f"tarvo-serve: {name}={text!r} is not a number")
    if value < low:
        raise SystemExit(f"tarvo-serve: {name}={text!r} is below {low}")
    return value


def _list(env, name, default):
    text = env.get(name)
    items = default if text is None else text.split(",")
    return [item.strip() for item in items if item.strip()]


class Settings:
    def __init__(self, env=os.environ):
        self.port = _number(env, "PORT", 8080, low=1)
        self.host = env.get("TARVO_HOST", "127.0.0.1")
        self.cli = env.get("TARVO_CLI", str(ROOT / "build" / "tarvo-cli"))
        self.models = env.get("TARVO_MODELS", str(ROOT / "examples" / "models"))
        # The process pool: workers at once, requests waiting, and how many of
        # those places (running plus waiting) one client may hold.
        self.workers = _number(env, "TARVO_WORKERS", os.cpu_count() or 1, low=1)
        self.queue = _number(env, "TARVO_QUEUE", 4 * self.workers)
        self.client_share = _number(
            env, "TARVO_CLIENT_SHARE", max(2, -(-(self.workers + self.queue) // 4)), low=1)
        self.time_limit = _number(env, "TARVO_TIME_LIMIT", 20.0, float)
        # What a request may send, and how long it may take to send it.
        self.max_body = _number(env, "TARVO_MAX_BODY", 65536)
        self.header_timeout = _number(env, "TARVO_HEADER_TIMEOUT", 10.0, float)
        self.body_timeout = _number(env, "TARVO_BODY_TIMEOUT", 10.0, float)
        self.keep_alive = _number(env, "TARVO_KEEP_ALIVE", 5, low=1)
        # Open connections at most; 0 takes what the open-file limit leaves.
        self.max_connections = _number(env, "TARVO_MAX_CONNECTIONS", 0)
        # Names the server answers to (the Host header; "*" for any) and the
        # addresses whose X-Forwarded-For names the client (a load balancer).
        self.allowed_hosts = _list(env, "TARVO_ALLOWED_HOSTS", ["127.0.0.1", "localhost", "[::1]"])
        self.trusted_proxies = ",".join(_list(env, "TARVO_TRUSTED_PROXIES", ["127.0.0.1"]))
        # The result cache: in memory (bytes), optionally on disk, or shared in Redis.
        self.cache_bytes = _number(env, "TARVO_CACHE_BYTES", 64 << 20)
        self.cache_dir = env.get("TARVO_CACHE_DIR") or None
        self.cache_disk_bytes = _number(env, "TARVO_CACHE_DISK_BYTES", 1 << 30)
        self.redis_url = env.get("TARVO_REDIS_URL") or None
        self.cache_ttl = _number(env, "TARVO_CACHE_TTL", 7 * 86400, low=1)
        # A name for this replica, sent back as X-Served-By.
        self.replica = env.get("TARVO_REPLICA", "")
