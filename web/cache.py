"""The result cache. A build or an export is a pure function of the model
document (with the values set), the segments, the format and the program, so
its answer is kept under a hash of exactly those.

Three stores, asked in order: memory (bounded in bytes, least recently used
first out), a folder on disk (optional, bounded in bytes), and Redis (optional,
shared by the replicas). A store that fails is bypassed: the request is built
as if nothing were cached, the failure is logged once, and the store is tried
again a few seconds later (logged once more when it answers again)."""

import asyncio
import collections
import hashlib
import json
import logging
import os
import tempfile
import time
from pathlib import Path

log = logging.getLogger("tarvo-serve")

RETRY_SECONDS = 5.0
MAX_ENTRY = 16 << 20  # larger answers are not kept anywhere


def program_tag(program, version):
    """Returns the tag of the program for cache keys: its version and the
    SHA-256 of its file, so that a rebuilt binary never meets old answers."""
    digest = hashlib.sha256()
    try:
        with open(program, "rb") as f:
            for block in iter(lambda: f.read(1 << 20), b""):
                digest.update(block)
    except OSError:
        digest.update(program.encode())
    return f"{version}:{digest.hexdigest()[:16]}"


def result_key(tag, kind, document, segments, fmt=""):
    """Returns the hex key of one answer: the program tag, the kind ("build"
    or "export"), the document with its values set, segments and format."""
    text = json.dumps([tag, kind, document, segments, fmt], sort_keys=True,
                      separators=(",", ":"), ensure_ascii=False)
    return hashlib.sha256(text.encode()).hexdigest()


class MemoryStore:
    name = "memory"

    def __init__(self, limit):
        self.limit, self.used = limit, 0
        self.entries = collections.OrderedDict()

    async def get(self, key):
        value = self.entries.get(key)
        if value is not None:
            self.entries.move_to_end(key)
        return value

    async def put(self, key, value):
        if len(value) > self.limit // 4 or key in self.entries:
            return
        self.entries[key] = value
        self.used += len(value)
        while self.used > self.limit:
            _, old = self.entries.popitem(last=False)
            self.used -= len(old)


class DiskStore:
    """One file per answer, named by its key, written beside and renamed; the
    oldest files (by last use) go when the folder passes `limit` bytes."""

    name = "disk"

    def __init__(self, folder, limit):
        self.folder, self.limit = Path(folder), limit
        self.folder.mkdir(parents=True, exist_ok=True)
        self.used = sum(p.stat().st_size for p in self.folder.glob("*.bin"))

    def _get(self, key):
        path = self.folder / f"{key}.bin"
        try:
            value = path.read_bytes()
        except FileNotFoundError:
            return None
        os.utime(path)
        return value

    def _put(self, key, value):
        path = self.folder / f"{key}.bin"
        if path.exists():
            return
        fd, temporary = tempfile.mkstemp(dir=self.folder, prefix=".tmp-")
        try:
            with os.fdopen(fd, "wb") as f:
                f.write(value)
            os.replace(temporary, path)
        except BaseException:
            Path(temporary).unlink(missing_ok=True)
            raise
        self.used += len(value)
        if self.used > self.limit:
            files = sorted(self.folder.glob("*.bin"), key=lambda p: p.stat().st_mtime)
            self.used = sum(p.stat().st_size for p in files)
            for old in files:
                if self.used <= self.limit * 0.9:
                    break
                self.used -= old.stat().st_size
                old.unlink(missing_ok=True)

    async def get(self, key):
        return await asyncio.to_thread(self._get, key)

    async def put(self, key, value):
        await asyncio.to_thread(self._put, key, value)


class RedisStore:
    name = "redis"

    def __init__(self, url, ttl):
        import redis.asyncio
        from redis.backoff import NoBackoff
        from redis.retry import Retry

        # Short timeouts and no retries: a slow or absent Redis must cost a
        # request milliseconds, never its answer.
        self.client = redis.asyncio.Redis.from_url(
            url, socket_timeout=0.5, socket_connect_timeout=0.5,
            retry=Retry(NoBackoff(), 0), retry_on_timeout=False)
        self.ttl = ttl

    async def get(self, key):
        return await self.client.get("tarvo:" + key)

    async def put(self, key, value):
        await self.client.set("tarvo:" + key, value, ex=self.ttl)

    async def close(self):
        await self.client.aclose()


class ResultCache:
    def __init__(self, stores):
        self.stores = stores
        self.down_until = {}  # store name -> when to try it again
        self.hits = collections.Counter()
        self.misses = 0

    @classmethod
    def from_settings(cls, settings):
        """Returns the cache the settings ask for (memory always)."""
        stores = [MemoryStore(settings.cache_bytes)]
        if settings.cache_dir:
            stores.append(DiskStore(settings.cache_dir, settings.cache_disk_bytes))
        if settings.redis_url:
            stores.append(RedisStore(settings.redis_url, settings.cache_ttl))
        return cls(stores)

    def _usable(self, store):
        until = self.down_until.get(store.name)
        return until is None or time.monotonic() >= until

    def _failed(self, store, error):
        if store.name not in self.down_until:
            log.warning("cache: %s failed (%s); bypassed, trying again every %g s",
                        store.name, str(error).splitlines()[0][:200] or type(error).__name__,
                        RETRY_SECONDS)
        self.down_until[store.name] = time.monotonic() + RETRY_SECONDS

    def _worked(self, store):
        if store.name in self.down_until:
            del self.down_until[store.name]
            log.warning("cache: %s answers again", store.name)

    async def get(self, key):
        """Returns (the kept answer, the store it came from), or (None, None)."""
        for i, store in enumerate(self.stores):
            if not self._usable(store):
                continue
            try:
                value = await store.get(key)
            except Exception as error:  # a store's failure is never the request's
                self._failed(store, error)
                continue
            self._worked(store)
            if value is not None:
                self.hits[store.name] += 1
                for nearer in self.stores[:i]:
                    await self._put_one(nearer, key, value)
                return value, store.name
        self.misses += 1
        return None, None

    async def put(self, key, value):
        """Keeps an answer in every store that is up; never raises."""
        if len(value) > MAX_ENTRY:
            return
        for store in self.stores:
            await self._put_one(store, key, value)

    async def _put_one(self, store, key, value):
        if not self._usable(store):
            return
        try:
            await store.put(key, value)
        except Exception as error:
            self._failed(store, error)
        else:
            self._worked(store)

    async def close(self):
        for store in self.stores:
            if hasattr(store, "close"):
                try:
                    await store.close()
                except Exception:
                    pass
