"""Sizes written as expressions, placeholders and dropdowns reach the built solid."""
from tarvo import Mesh, approx, build


def param(vid, value):
    return {"vid": vid, "type": "parameter", "value": {"value": value}}


def test_cube_size_from_expressions():
    # Templates run before dropdowns, so a placeholder naming a dropdown parameter
    # stays unresolved and z falls back to its default of 10.
    size = {"x": "={{w}}*2", "y": "|5|*7|9", "z": "={{d}}+1"}
    cube = {"vid": "c", "type": "cube", "size": size}
    r = build([param("w", "=3+4"), param("d", "|1|*20"), cube])
    assert r.code == 0, r.err
    mesh = Mesh(r.json())
    assert mesh.closed() and approx(mesh.volume(), 14 * 7 * 10)
    lo, hi = mesh.bounds()
    assert all(approx(a, b) for a, b in zip(lo + hi, [0, 0, 0, 14, 7, 10]))
