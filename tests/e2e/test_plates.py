"""Plates, threaded holes and metric screws through the real binary."""
import time

import pytest

from tarvo import Mesh, approx, build


def rect(vid, x, y, mx=0, my=0):
    return {"vid": vid, "type": "rectangle", "visible": False,
            "size": {"x": x, "y": y}, "move": {"x": mx, "y": my}}


def thread(vid, size, mx=0, my=0):
    return {"vid": vid, "type": "thread", "size": size, "move": {"x": mx, "y": my}}


def plate(vid, shell, size, cuts=()):
    return {"vid": vid, "type": "plate", "outershell": shell, "size": size,
            "innercuts": list(cuts)}


def built(objects, vid):
    r = build(objects, vid)
    assert r.code == 0, r.err
    return r.json()


@pytest.mark.parametrize("objects, vid", [
    ([thread("t", {"diameter": 10, "height": 100, "screw": 1e-6})], "t"),
    # The ceiling also ends a whole-model build instead of dropping the object.
    ([thread("t", {"diameter": 10, "height": 100, "screw": 1e-6})], "_all_"),
    ([rect("r", 20, 20), thread("t", {"screw": "1e-7"}, 10, 10),
      plate("p", "r", {"depth": 5}, [{"vid": "t"}])], "p"),
])
def test_too_many_helix_rings_fail_fast(objects, vid):
    start = time.monotonic()
    r = build(objects, vid)
    assert time.monotonic() - start < 5
    assert r.code == 1 and r.out == ""
    assert "screw thread ring count" in r.err


def test_non_finite_sizes_build_nothing():
    for size in ({"diameter": "inf"}, {"height": "inf"}, {"screw": "-inf"}, {"screw": "nan"}):
        assert built([thread("t", size)], "t") == {"empty": True}, size
    for size in ({"depth": "inf"}, {"depth": "nan"}, {"offset": "nan"}, {"offset": "inf"}):
        assert built([rect("r", 10, 10), plate("p", "r", size)], "p") == {"empty": True}, size
    # A threaded hole at an unusable position is left out; the plate stays whole.
    objects = [rect("r", 10, 10), thread("t", {"standard": "M3"}, "inf", 5),
               plate("p", "r", {"depth": 3}, [{"vid": "t"}])]
    assert approx(Mesh(built(objects, "p")).volume(), 300)
