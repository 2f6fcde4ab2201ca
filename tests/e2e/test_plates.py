"""Plates, threaded holes and metric screws through the real binary."""
import time

import pytest

from tarvo import Mesh, approx, build


def thread(vid, size, mx=0, my=0):
    return {"vid": vid, "type": "thread", "size": size, "move": {"x": mx, "y": my}}


def plate(size, *holes):
    """Objects of a plate "p" of the 10 x 10 rectangle "r", with a hole for each object given."""
    return [{"vid": "r", "type": "rectangle", "size": {"x": 10, "y": 10}}, *holes,
            {"vid": "p", "type": "plate", "outershell": "r", "size": size,
             "innercuts": [{"vid": h["vid"]} for h in holes]}]


@pytest.mark.parametrize("objects, vid", [
    # The ceiling ends a whole-model build instead of dropping the object.
    ([thread("t", {"diameter": 10, "height": 100, "screw": 1e-6})], "_all_"),
    (plate({"depth": 5}, thread("t", {"screw": "1e-7"}, 5, 5)), "p"),
])
def test_too_many_helix_rings_fail_fast(objects, vid):
    start = time.monotonic()
    r = build(objects, vid)
    assert time.monotonic() - start < 5
    assert r.code == 1 and r.out == ""
    assert "screw thread ring count" in r.err


def test_non_finite_sizes_build_nothing():
    threads = [[thread("p", s)] for s in ({"diameter": "inf"}, {"screw": "-inf"}, {"screw": "nan"})]
    for objects in threads + [plate({k: v}) for k in ("depth", "offset") for v in ("inf", "nan")]:
        r = build(objects, "p")
        assert (r.code, r.out) == (0, '{"empty":true}\n'), objects
    # A threaded hole at an unusable position is left out; the plate stays whole.
    r = build(plate({"depth": 3}, thread("t", {"standard": "M3"}, "inf", 5)), "p")
    assert approx(Mesh(r.json()).volume(), 300)
