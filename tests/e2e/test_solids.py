"""Solid primitives, groups, placement and colour as the "build" answer shows them."""
import base64

import pytest

from tarvo import Mesh, approx, build


def cube(vid, size=10, **extra):
    return dict({"vid": vid, "type": "cube", "size": size}, **extra)


def box_near(bounds, lo, hi, tol=1e-4):
    return all(abs(a - b) <= tol for a, b in zip(bounds[0] + bounds[1], lo + hi))


def test_cube_answer_fields():
    r = build([cube("c")])
    assert r.code == 0, r.err
    answer = r.json()
    assert (answer["numProp"], answer["numTri"], answer["flipWinding"]) == (3, 12, False)
    vp = base64.b64decode(answer["vp"])
    assert len(vp) > 0 and len(vp) % 12 == 0
    assert len(base64.b64decode(answer["tv"])) == 144
    mesh = Mesh(answer)
    assert mesh.closed()
    assert approx(mesh.volume(), 1000)
    assert box_near(mesh.bounds(), [0, 0, 0], [10, 10, 10])


@pytest.mark.parametrize("objects,colors", [
    ([cube("c", color={"color": "#f00"})], {(1.0, 0.0, 0.0)}),
    ([cube("c")], {(0.0, 1.0, 0.0)}),
    ([cube("r", visible=False, color={"color": "#ff0000"}),
      cube("b", visible=False, move={"x": 20}, color={"color": "#00f"}),
      {"vid": "u", "type": "union", "baseObjects": ["r", "b"]}],
     {(1.0, 0.0, 0.0), (0.0, 0.0, 1.0)}),
])
def test_colour_channels(objects, colors):
    r = build(objects, wantColors=True)
    assert r.code == 0, r.err
    mesh = Mesh(r.json())
    assert mesh.num_prop == 6
    assert mesh.colors() == colors


@pytest.mark.parametrize("objects,vid,segments,message", [
    ([cube("c", color={"color": "#zz0000"})], "c", 64, "stoul"),
    ([{"vid": "c", "type": "cylinder", "size": {"segments": 2000000000}}], "c", 64, "2000000000"),
    # Ceiling breaches are not swallowed by the walk over all objects.
    ([{"vid": "c", "type": "cone", "size": 100000}], "_all_", 64, "100000"),
    ([cube("c"), {"vid": "s", "type": "sphere"}], "_all_", 2000000000, "2000000000"),
])
def test_failed_requests_exit_1_without_answer(objects, vid, segments, message):
    r = build(objects, vid=vid, wantColors=True, segments=segments)
    assert r.code == 1
    assert r.out == ""
    assert message in r.err


def test_bad_colour_in_all_leaves_that_object_out():
    r = build([cube("good"), cube("bad", move={"x": 20}, color={"color": "#zz0000"})],
              wantColors=True)
    assert r.code == 0, r.err
    mesh = Mesh(r.json())
    assert approx(mesh.volume(), 1000)
    assert box_near(mesh.bounds(), [0, 0, 0], [10, 10, 10])


@pytest.mark.parametrize("visible,volume,lo", [(True, 1000, 0), (False, 500, 5)])
def test_all_unites_visible_objects_without_cutting_them(visible, volume, lo):
    objects = [cube("c", visible=visible), cube("tool", visible=False, move={"x": -5}),
               {"vid": "s", "type": "subtract", "baseObjects": ["c"], "subtractObjects": ["tool"]}]
    r = build(objects)
    assert r.code == 0, r.err
    mesh = Mesh(r.json())
    assert mesh.closed()
    # The cut solid lies inside the visible cube, which stays whole.
    assert approx(mesh.volume(), volume)
    assert box_near(mesh.bounds(), [lo, 0, 0], [10, 10, 10])
