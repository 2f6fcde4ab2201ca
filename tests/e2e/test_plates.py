"""Plates, threaded holes and metric screws through the real binary."""
import math
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


def pieces(mesh):
    """The number of connected pieces of the mesh (vertices merged by position)."""
    ids = {}
    parent = [ids.setdefault(tuple(v[:3]), len(ids)) for v in mesh.verts]
    root = list(range(len(ids)))

    def find(a):
        while root[a] != a:
            root[a] = root[root[a]]
            a = root[a]
        return a

    for t in mesh.tris:
        for k in (1, 2):
            root[find(parent[t[0]])] = find(parent[t[k]])
    return len({find(a) for a in range(len(ids))})


@pytest.mark.parametrize("segments", [16, 32, 128])
def test_chamfered_name_tag_is_one_closed_piece_with_the_bevelled_volume(segments):
    # At 16 segments this tag once came with a stray sliver beside it.
    objects = [{"vid": "r", "type": "rectangle", "size": {"x": 74, "y": 10, "corners": 4}},
               {"vid": "p", "type": "plate", "outershell": "r",
                "size": {"depth": 3, "faseTopOuter": 1}}]
    r = build(objects, "p", segments=segments)
    assert r.code == 0
    mesh = Mesh(r.json())
    assert mesh.closed() and pieces(mesh) == 1

    def area(t):  # the outline shrunk by t, its corners exact arcs (16 segments lose 0.2%)
        return (74 - 2 * t) * (10 - 2 * t) - (4 - math.pi) * (4 - t) ** 2

    exact = 2 * area(0) + (area(0) + 4 * area(0.5) + area(1)) / 6
    assert approx(mesh.volume(), exact, 0.005)
    lo, hi = mesh.bounds()
    assert approx(hi[0] - lo[0], 74) and approx(hi[1] - lo[1], 10) and (lo[2], hi[2]) == (0, 3)
