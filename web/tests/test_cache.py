"""The result cache: answers kept by a hash of exactly what makes them, in
memory, on disk and in Redis; a store that fails is bypassed."""
import asyncio
import concurrent.futures
import json
import sys
import threading
import time
import urllib.parse

from serving import WEB, redis_server, request, server

sys.path.insert(0, str(WEB))
from cache import DiskStore, MemoryStore, ResultCache, result_key  # noqa: E402

FAKE = str(WEB / "tests" / "fake_cli.py")


def fake_server(tmp_path, **settings):
    env = {"TARVO_CLI": FAKE, "FAKE_CLI_DIR": tmp_path, "log": tmp_path / "server.log"}
    env.update(settings)
    return server(**env)


def runs(tmp_path):
    return json.loads((tmp_path / "counts.json").read_text())["runs"]


def test_keys_change_with_each_input_and_only_with_them():
    document = {"objects": [{"vid": "a", "type": "cube", "size": 10}]}
    key = result_key("1.0:abc", "build", document, 48)
    assert key == result_key("1.0:abc", "build", json.loads(json.dumps(document)), 48)
    others = [
        result_key("1.0:abd", "build", document, 48),
        result_key("1.0:abc", "export", document, 48, "stl"),
        result_key("1.0:abc", "export", document, 48, "3mf"),
        result_key("1.0:abc", "build", document, 47),
        result_key("1.0:abc", "build", {"objects": [{"vid": "a", "type": "cube", "size": 11}]}, 48),
    ]
    assert len({key, *others}) == 6


def test_memory_and_disk_stores_stay_within_their_bytes(tmp_path):
    async def fill():
        memory, disk = MemoryStore(10_000), DiskStore(tmp_path / "disk", 10_000)
        for i in range(50):
            await memory.put(f"k{i}", bytes(1000))
            await disk.put(f"k{i}", bytes(1000))
            await memory.get("k0")  # used again and again: kept
        return memory, disk

    memory, disk = asyncio.run(fill())
    assert memory.used <= 10_000 and "k0" in memory.entries and "k49" in memory.entries
    on_disk = sum(p.stat().st_size for p in (tmp_path / "disk").glob("*.bin"))
    assert on_disk <= 10_000 and (tmp_path / "disk" / "k49.bin").exists()
    assert not list((tmp_path / "disk").glob(".tmp-*"))


class Broken:
    name = "broken"

    def __init__(self):
        self.calls = 0

    async def get(self, key):
        self.calls += 1
        raise ConnectionError("refused")

    async def put(self, key, value):
        self.calls += 1
        raise OSError(28, "No space left on device")


def test_a_failing_store_is_bypassed_logged_once_and_tried_again_later(caplog, monkeypatch):
    import cache
    broken = Broken()
    store = ResultCache([MemoryStore(1 << 20), broken])

    async def use():
        answers = []
        for i in range(5):
            answers.append(await store.get(f"k{i}"))
            await store.put(f"k{i}", b"x")
        return answers

    with caplog.at_level("WARNING", logger="tarvo-serve"):
        assert asyncio.run(use()) == [(None, None)] * 5
        assert broken.calls == 1  # not asked again before the retry time
        monkeypatch.setattr(cache, "RETRY_SECONDS", 0.0)
        store.down_until["broken"] = 0.0
        asyncio.run(use())
    assert broken.calls > 1
    assert len([r for r in caplog.records if "broken failed" in r.message]) == 1


def test_the_same_request_is_built_once_and_answered_from_the_cache(tmp_path):
    with fake_server(tmp_path, FAKE_CLI_SECONDS=0.01) as (base, _):
        body = {"model": "box", "values": {"width": 50}, "segments": 32}
        first, second = request(base, "/api/build", body), request(base, "/api/build", body)
        assert (first.headers["x-cache"], second.headers["x-cache"]) == ("miss", "hit")
        assert first.body == second.body
        # The same values written another way make the same document.
        same = request(base, "/api/build", {"model": "box", "values": {"width": 50.0}, "segments": "32"})
        assert same.headers["x-cache"] == "hit"
        for other in ({"model": "box", "values": {"width": 51}, "segments": 32},
                      {"model": "box", "values": {"width": 50}, "segments": 33}):
            assert request(base, "/api/build", other).headers["x-cache"] == "miss"
        path = "/api/export?model=box&segments=32&values=" + urllib.parse.quote('{"width": 50}')
        stl, again = request(base, path + "&format=stl"), request(base, path + "&format=stl")
        other = request(base, path + "&format=glb")
        assert [a.headers["x-cache"] for a in (stl, again, other)] == ["miss", "hit", "miss"]
        assert stl.body == again.body and again.headers["content-type"] == "model/stl"
        assert runs(tmp_path) == 5


def test_the_same_request_sent_at_once_is_built_once(tmp_path):
    with fake_server(tmp_path, FAKE_CLI_SECONDS=1) as (base, _):
        with concurrent.futures.ThreadPoolExecutor(8) as clients:
            answers = list(clients.map(lambda i: request(base, "/api/build", {"model": "box"}), range(8)))
    assert [a.status for a in answers] == [200] * 8
    assert len({a.body for a in answers}) == 1
    assert sorted(a.headers["x-cache"] for a in answers) == ["hit"] * 7 + ["miss"]
    assert runs(tmp_path) == 1


def test_a_hit_is_answered_while_every_worker_is_busy(tmp_path):
    with fake_server(tmp_path, TARVO_WORKERS=1, TARVO_QUEUE=0, FAKE_CLI_SECONDS=2) as (base, _):
        kept = {"model": "box", "values": {"width": 40}}
        assert request(base, "/api/build", kept).status == 200
        slow = threading.Thread(target=request, args=(base, "/api/build", {"model": "box"}))
        slow.start()
        time.sleep(0.5)
        assert request(base, "/api/build", {"model": "box", "values": {"width": 41}}).status == 503
        hit = request(base, "/api/build", kept)
        slow.join()
    assert hit.status == 200 and hit.headers["x-cache"] == "hit"


def test_the_disk_cache_outlives_the_server(tmp_path):
    settings = dict(FAKE_CLI_SECONDS=0.01, TARVO_CACHE_DIR=tmp_path / "cache")
    with fake_server(tmp_path, **settings) as (base, _):
        assert request(base, "/api/build", {"model": "box"}).headers["x-cache"] == "miss"
    with fake_server(tmp_path, **settings) as (base, _):
        assert request(base, "/api/build", {"model": "box"}).headers["x-cache"] == "hit"
    assert runs(tmp_path) == 1


def test_servers_sharing_redis_share_answers_and_work_on_when_it_stops(tmp_path):
    with redis_server(tmp_path) as (url, redis):
        with fake_server(tmp_path, FAKE_CLI_SECONDS=0.01, TARVO_REDIS_URL=url) as (one, _), \
                fake_server(tmp_path, FAKE_CLI_SECONDS=0.01, TARVO_REDIS_URL=url,
                            log=tmp_path / "two.log") as (two, _):
            body = {"model": "box", "values": {"width": 77}}
            assert request(one, "/api/build", body).headers["x-cache"] == "miss"
            assert request(two, "/api/build", body).headers["x-cache"] == "hit"
            redis.kill()
            redis.wait()
            with concurrent.futures.ThreadPoolExecutor(3) as clients:
                answers = list(clients.map(lambda i: request(two, "/api/build", {
                    "model": "box", "values": {"width": 100 + i % 10}}), range(40)))
            assert [a.status for a in answers] == [200] * 40
    log = (tmp_path / "two.log").read_text()
    assert log.count("cache: redis failed") == 1, log
    assert "Traceback" not in log
