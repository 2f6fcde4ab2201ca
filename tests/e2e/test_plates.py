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


@pytest.mark.parametrize("size, cuts, volume", [
    ({"depth": 3}, [], 300),
    # A 2 x 3 pocket 1 deep, and the same cut through the plate.
    ({"depth": 3}, [{"vid": "h", "depth": 1}], 300 - 6),
    ({"depth": 3}, [{"vid": "h"}], 300 - 18),
    # The top edge bevelled all round by 1: a 10 x 10 to 8 x 8 frustum on a 2-high slab.
    ({"depth": 3, "faseTopOuter": 1}, [], 200 + (100 + 64 + 80) / 3),
])
def test_plate_volume(size, cuts, volume):
    mesh = Mesh(built([rect("r", 10, 10), rect("h", 2, 3, 4, 4), plate("p", "r", size, cuts)],
                      "_all_"))
    assert mesh.closed()
    assert approx(mesh.volume(), volume)
    lo, hi = mesh.bounds()
    assert approx(lo[2], 0) and approx(hi[2], 3) and approx(hi[0] - lo[0], 10)


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
