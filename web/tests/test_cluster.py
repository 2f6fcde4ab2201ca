"""Two replicas of the server behind Debian's nginx, sharing Debian's
redis-server, with the real tarvo-cli: answers are shared, and losing a
replica or Redis under load fails no request."""
import concurrent.futures
import http.client
import itertools
import json
import shutil
import signal
import sys
import time

import pytest

from serving import CLI, WEB, WEB_PY

sys.path.insert(0, str(WEB))
from cluster import NGINX, Cluster  # noqa: E402

pytestmark = pytest.mark.skipif(
    not shutil.which("redis-server") or not shutil.which(NGINX),
    reason="redis-server or nginx is not installed (scripts/cluster-deps.sh installs them)")
unique = itertools.count()


def build(port, source="127.0.0.1", width=None):
    """Returns (status, headers, body) of a box build sent from `source`."""
    # Widths on the model's own steps (30 to 200 mm by 1), then other segment counts.
    n = next(unique)
    values = {"width": 30 + n % 171} if width is None else {"width": width}
    segments = 16 + n // 171 if width is None else 16
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=60, source_address=(source, 0))
    try:
        conn.request("POST", "/api/build", json.dumps({"model": "box", "values": values,
                                                        "segments": segments}),
                     {"Content-Type": "application/json"})
        response = conn.getresponse()
        return response.status, dict(response.getheaders()), response.read()
    finally:
        conn.close()


@pytest.fixture()
def cluster(tmp_path):
    with Cluster(run=tmp_path / "run", env={"TARVO_CLI": CLI}, python_path=WEB_PY) as c:
        yield c


def load(cluster, seconds, midway):
    """Sends builds through nginx from four clients for `seconds`, calls
    `midway` after a third of it; returns the statuses."""
    stop = time.monotonic() + seconds

    def client(i):
        statuses = []
        while time.monotonic() < stop:
            statuses.append(build(cluster.port, f"127.0.0.{i + 2}")[0])
        return statuses

    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        runs = [pool.submit(client, i) for i in range(4)]
        time.sleep(seconds / 3)
        midway()
        return [s for run in runs for s in run.result()]


def test_an_answer_built_by_one_replica_is_a_hit_on_the_other(cluster):
    (one, port_one, _), (two, port_two, _) = cluster.replicas
    status, headers, body = build(port_one, width=64)
    assert status == 200 and headers["x-cache"] == "miss" and headers["x-served-by"] == one
    status, headers, again = build(port_two, width=64)
    assert status == 200 and headers["x-cache"] == "hit" and headers["x-served-by"] == two
    assert again == body
    # Through the load balancer, either replica answers it from the cache.
    status, headers, _ = build(cluster.port, width=64)
    assert status == 200 and headers["x-cache"] == "hit"


def test_killing_a_replica_under_load_loses_no_request(cluster):
    victim = cluster.replicas[0][2]
    statuses = load(cluster, 4.5, lambda: victim.send_signal(signal.SIGKILL))
    assert victim.poll() is not None
    assert len(statuses) > 20 and set(statuses) == {200}, statuses


def test_stopping_redis_under_load_fails_no_request(cluster):
    statuses = load(cluster, 4.5, lambda: cluster.redis.send_signal(signal.SIGKILL))
    assert len(statuses) > 20 and set(statuses) == {200}, statuses
    for name, _, _ in cluster.replicas:
        log = (cluster.run / f"{name}.log").read_text()
        assert log.count("cache: redis failed") <= 1 and "Traceback" not in log, log
