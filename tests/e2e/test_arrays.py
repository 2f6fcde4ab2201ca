"""Array objects through the real binary."""
import time

from tarvo import build


def test_huge_copy_count_fails_fast_with_a_message():
    cube = {"vid": "c", "type": "cube", "size": 5, "visible": False}
    grid = {"vid": "g", "type": "grid", "baseObjects": ["c"],
            "grid": {"rows": 100000, "columns": 100000}}
    start = time.monotonic()
    r = build([cube, grid], "g")
    assert time.monotonic() - start < 5
    assert (r.code, r.out) == (1, "")
    assert "copy count of 10000000000 exceeds the limit" in r.err
