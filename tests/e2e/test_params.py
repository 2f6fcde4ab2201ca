"""Sizes written as expressions, placeholders and dropdowns reach the built solid."""
import pytest

from tarvo import Mesh, approx, build


def param(vid, value):
    return {"vid": vid, "type": "parameter", "value": {"value": value}}


def cube(size):
    return {"vid": "c", "type": "cube", "size": size}


@pytest.mark.parametrize("params, size, extent", [
    # The placeholder is replaced, then the arithmetic evaluated; the dropdown chooses 7.
    ([param("w", 12)], {"x": "={{w}}*2", "y": "|5|*7|9", "z": 3}, (24, 7, 3)),
    # A parameter's own expression is solved before it is used; digit counts round.
    ([param("w", "=3+4"), param("r", 2.345)], {"x": "={{w}}*2", "y": "={{r|2}}", "z": "= 1"},
     (14, 2.3, 1)),
    # A chosen entry is not evaluated, but "=5" still reads as 5.
    ([param("w", 12)], {"x": "|={{w}}|*=5", "y": "=2*(1+1)", "z": "=1/2"}, (5, 4, 0.5)),
    # Templates run before dropdowns, so a placeholder naming a dropdown parameter
    # stays unresolved and the dimension falls back to its default of 10.
    ([param("d", "|10|*20")], {"x": "={{d}}+1", "y": 2, "z": 2}, (10, 2, 2)),
    # Unknown names and self-reference leave text that reads as the default.
    ([param("a", "={{b}}"), param("b", "={{a}}*2")],
     {"x": "={{a}}", "y": "={{nowhere}}", "z": 2}, (10, 10, 2)),
])
def test_cube_size_from_expressions(params, size, extent):
    r = build(params + [cube(size)])
    assert r.code == 0, r.err
    mesh = Mesh(r.json())
    lo, hi = mesh.bounds()
    assert mesh.closed()
    for axis in range(3):
        assert approx(lo[axis], 0) and approx(hi[axis] - lo[axis], extent[axis]), (lo, hi)
    assert approx(mesh.volume(), extent[0] * extent[1] * extent[2])

