"""The "cross_section" operation: planar regions answered as rings."""
import math

import pytest

from tarvo import approx, doc, run


def section(objects, vid, **req):
    return run("cross_section", dict({"jsonStr": doc(*objects), "vid": vid}, **req), timeout=10)


def ring_area(ring):
    """Signed shoelace area of a flat x0, y0, x1, y1, ... ring."""
    pts = list(zip(ring[0::2], ring[1::2]))
    return 0.5 * sum(x0 * y1 - x1 * y0 for (x0, y0), (x1, y1) in zip(pts, pts[1:] + pts[:1]))


@pytest.mark.parametrize("objects,vid,areas", [
    ([{"vid": "c", "type": "circle", "size": 20}], "c", [0.5 * 6 * 100 * math.sin(math.pi / 3)]),
    # A hole runs the other way round; the width comes from a parameter.
    ([{"vid": "w", "type": "parameter", "value": {"value": 30}},
      {"vid": "o", "type": "rectangle", "size": {"x": "={{w}}", "y": 30}},
      {"vid": "h", "type": "rectangle", "size": {"x": 10, "y": 10}, "move": {"x": 10, "y": 10}},
      {"vid": "m", "type": "merge2d", "union": ["o"], "subtract": ["h"]}], "m", [-100, 900]),
])
def test_rings(objects, vid, areas):
    r = section(objects, vid, segments=6)
    assert r.code == 0, r.err
    rings = r.json()["rings"]
    assert all(approx(a, b) for a, b in zip(sorted(map(ring_area, rings)), areas))
    assert len(rings) == len(areas)


@pytest.mark.parametrize("obj,message", [
    ({"vid": "t", "type": "text", "_polygons": [[[0, 0], [4, "x"], [4, 4]]]}, "type"),
    ({"vid": "t", "type": "merge2d", "union": ["r"],
      "size": {"copies": "grid", "copiesRows": 100000, "copiesColumns": 100000}}, "copy count"),
])
def test_failed_request(obj, message):
    r = section([{"vid": "r", "type": "rectangle"}, obj], "t")
    assert (r.code, r.out) == (1, "")
    assert message in r.err
