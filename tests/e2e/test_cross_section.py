"""The "cross_section" operation: planar regions answered as rings."""
import pytest

from tarvo import approx, doc, run


def section(objects, vid):
    return run("cross_section", {"jsonStr": doc(*objects), "vid": vid}, timeout=10)


def ring_area(ring):
    pts = list(zip(ring[0::2], ring[1::2]))  # flat x0, y0, x1, y1, ...; signed
    return 0.5 * sum(x0 * y1 - x1 * y0 for (x0, y0), (x1, y1) in zip(pts, pts[1:] + pts[:1]))


def test_a_hole_runs_the_other_way_round():
    r = section([{"vid": "w", "type": "parameter", "value": {"value": 30}},
                 {"vid": "o", "type": "rectangle", "size": {"x": "={{w}}", "y": 30}},
                 {"vid": "h", "type": "rectangle", "size": {"x": 10, "y": 10},
                  "move": {"x": 10, "y": 10}},
                 {"vid": "m", "type": "merge2d", "union": ["o"], "subtract": ["h"]}], "m")
    assert r.code == 0, r.err
    areas = sorted(map(ring_area, r.json()["rings"]))
    assert len(areas) == 2 and approx(areas[0], -100) and approx(areas[1], 900)


@pytest.mark.parametrize("obj,message", [
    ({"vid": "t", "type": "text", "_polygons": [[[0, 0], [4, "x"], [4, 4]]]}, "type"),
    ({"vid": "t", "type": "merge2d", "union": ["r"],
      "size": {"copies": "grid", "copiesRows": 100000, "copiesColumns": 100000}}, "copy count"),
])
def test_failed_request(obj, message):
    r = section([{"vid": "r", "type": "rectangle"}, obj], "t")
    assert (r.code, r.out) == (1, "")
    assert message in r.err
