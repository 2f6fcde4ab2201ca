"""The "cross_section" operation: planar regions answered as rings."""
import math

import pytest

from tarvo import Mesh, approx, build, doc, run


def section(objects, vid, **req):
    request = {"jsonStr": doc(*objects), "vid": vid}
    request.update(req)
    return run("cross_section", request)


def ring_area(ring):
    """Signed shoelace area of a flat x0, y0, x1, y1, ... ring."""
    pts = list(zip(ring[0::2], ring[1::2]))
    return 0.5 * sum(x0 * y1 - x1 * y0 for (x0, y0), (x1, y1) in zip(pts, pts[1:] + pts[:1]))


def test_rectangle_rings():
    r = section([{"vid": "r", "type": "rectangle", "size": {"x": 20, "y": 10}}], "r")
    assert r.code == 0, r.err
    rings = r.json()["rings"]
    assert len(rings) == 1 and len(rings[0]) == 8
    xs, ys = rings[0][0::2], rings[0][1::2]
    assert (min(xs), max(xs), min(ys), max(ys)) == (0, 20, 0, 10)
    assert approx(ring_area(rings[0]), 200)


def test_circle_area_follows_request_segments():
    r = section([{"vid": "c", "type": "circle", "size": 20}], "c", segments=6)
    rings = r.json()["rings"]
    assert len(rings) == 1 and len(rings[0]) == 12
    assert approx(ring_area(rings[0]), 0.5 * 6 * 100 * math.sin(2 * math.pi / 6))


def test_merge2d_with_hole_and_template():
    objects = [
        {"vid": "w", "type": "parameter", "value": {"value": 30}},
        {"vid": "outer", "type": "rectangle", "size": {"x": "={{w}}", "y": 30}, "visible": False},
        {"vid": "hole", "type": "circle", "size": 10, "move": {"x": 15, "y": 15}},
        {"vid": "m", "type": "merge2d", "union": ["outer"], "subtract": ["hole"]},
    ]
    rings = section(objects, "m").json()["rings"]
    areas = sorted(ring_area(ring) for ring in rings)
    assert len(rings) == 2
    # The hole runs the other way round.
    assert areas[0] < 0 < areas[1]
    assert approx(areas[1], 900)
    assert approx(sum(areas), 900 - 0.5 * 64 * 25 * math.sin(2 * math.pi / 64))


@pytest.mark.parametrize("objects,vid", [
    ([{"vid": "r", "type": "rectangle"}], "nope"),
    ([{"vid": "c", "type": "cube", "size": 10}], "c"),
    ([{"vid": "m", "type": "merge2d", "union": ["m"]}], "m"),
])
def test_empty_regions(objects, vid):
    r = section(objects, vid)
    assert r.code == 0, r.err
    assert r.out == '{"empty":true}\n'


def test_document_that_is_not_json_is_empty():
    r = run("cross_section", {"jsonStr": "{", "vid": "a"})
    assert r.code == 0 and r.out == '{"empty":true}\n'


def test_non_numeric_outline_point_fails_the_request():
    text = {"vid": "t", "type": "text", "_polygons": [[[0, 0], [4, "x"], [4, 4]]]}
    r = section([text], "t")
    assert r.code == 1
    assert r.out == ""
    assert r.err.strip()


@pytest.mark.parametrize("size", [
    {"copies": "radial", "copiesCount": 2000000000},
    {"copies": "grid", "copiesRows": 100000, "copiesColumns": 100000},
])
def test_copy_ceiling_fails_the_request_quickly(size):
    objects = [{"vid": "a", "type": "rectangle", "size": {"x": 1, "y": 1}},
               {"vid": "m", "type": "merge2d", "union": ["a"], "size": size}]
    r = section(objects, "m", timeout=10)
    assert r.code == 1
    assert r.out == ""
    assert "copy count" in r.err


def test_planar_objects_build_as_stacked_slabs():
    objects = [{"vid": "a", "type": "rectangle", "size": {"x": 10, "y": 10}},
               {"vid": "b", "type": "circle", "size": 4, "move": {"x": 20}}]
    r = build(objects, segments=16)
    mesh = Mesh(r.json())
    assert mesh.closed()
    lo, hi = mesh.bounds()
    assert approx(lo[2], 0.05) and approx(hi[2], 0.101)
    assert approx(mesh.volume(), 0.001 * (100 + 0.5 * 16 * 4 * math.sin(2 * math.pi / 16)))
