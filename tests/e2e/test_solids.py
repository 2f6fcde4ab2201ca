"""A failure while building a solid, as the command line reports it."""
from tarvo import build


def test_bad_colour_of_the_built_object_exits_1_without_answer():
    r = build([{"vid": "c", "type": "cube", "color": {"color": "#zz0000"}}], "c", wantColors=True)
    assert (r.code, r.out) == (1, "")
    assert "stoul" in r.err
