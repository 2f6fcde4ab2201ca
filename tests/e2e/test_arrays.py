"""Array objects through the real binary."""
import time

from tarvo import Mesh, approx, build

CUBE = {"vid": "c", "type": "cube", "size": 5, "visible": False}


def test_grid_of_cubes_with_templates_builds():
    width = {"vid": "w", "type": "parameter", "value": {"value": 8}}
    grid = {"vid": "g", "type": "grid", "baseObjects": ["c"],
            "grid": {"rows": "2", "columns": 3, "x": "={{w}}"}}
    r = build([width, CUBE, grid])
    assert r.code == 0, r.err
    mesh = Mesh(r.json())
    assert mesh.closed()
    assert approx(mesh.volume(), 6 * 125)
    assert mesh.bounds() == ([0, 0, 0], [21, 15, 5])


def test_huge_copy_count_fails_fast_with_a_message():
    grid = {"vid": "g", "type": "grid", "baseObjects": ["c"],
            "grid": {"rows": 100000, "columns": 100000}}
    start = time.monotonic()
    r = build([CUBE, grid], "g")
    assert time.monotonic() - start < 5
    assert r.code == 1
    assert r.out == ""
    assert "copy count of 10000000000 exceeds the limit" in r.err
