"""3MF documents of "build_xml" and "multi_xml", read back with the reference reader."""
import re

import pytest

from read_3mf import Model3MF
from tarvo import Mesh, approx, build, doc, run


def cube(vid, size=10, **extra):
    return dict({"vid": vid, "type": "cube", "size": size}, **extra)


def read(op, **request):
    r = run(op, request)
    assert (r.code, r.err) == (0, ""), r.err
    xml = r.json()["xml"]
    assert "\n" not in xml and not re.search(r">\s|\s<", xml)
    model = Model3MF(xml)
    assert (model.warnings, model.unit) == ([], 1)  # 1: millimetre
    return model


# Two overlapping cubes, red at the origin and blue moved by 5 along every axis, united.
TWO_COLOURS = [cube("r", color={"color": "#FF0000"}, visible=False),
               cube("b", color={"color": "#0000FF"}, move={"x": 5, "y": 5, "z": 5}, visible=False),
               {"vid": "u", "type": "union", "baseObjects": ["r", "b"]}]
# A 40 x 40 x 4 plate with a hole of diameter 10 through it, plate and hole
# of one colour.
PLATE = [cube("p", size={"x": 40, "y": 40, "z": 4}, color={"color": "#FF8000"}, visible=False),
         {"vid": "h", "type": "cylinder", "size": {"diameter": 10, "height": 10},
          "color": {"color": "#FF8000"}, "move": {"x": 20, "y": 20, "z": -3}, "visible": False},
         {"vid": "m", "type": "subtract", "baseObjects": ["p"], "subtractObjects": ["h"]}]
NAME = "a<b>c&d\"e'f\tg\x01h\x1fi\x7fj\u00e4\u20ac"
READ_NAME = NAME.replace("\x01", "").replace("\x1f", "")


def test_build_xml_default_colour_is_uniform_green_and_names_survive():
    model = read("build_xml", jsonStr=doc(cube("c")), vid="c", name=NAME)
    [obj] = model.objects
    assert (model.color_groups, model.items) == ({1: ["#00FF00"]}, [2])
    assert (obj.id, obj.name, obj.colors) == (2, READ_NAME, ["#00FF00"] * 12)
    assert approx(obj.volume(), 1000)


def test_build_xml_two_colours_go_on_the_triangles():
    model = read("build_xml", jsonStr=doc(*TWO_COLOURS), vid="u")
    [obj] = model.objects
    assert sorted(model.color_groups[1]) == ["#0000FF", "#FF0000"] and obj.name == "model"
    assert approx(obj.volume(), 1875)
    # Every surface piece keeps the colour of the cube it came from.
    boxes = {"#FF0000": (0, 10), "#0000FF": (5, 15)}
    for tri, color in zip(obj.triangles, obj.colors):
        lo, hi = boxes[color]
        assert all(lo <= c <= hi for v in tri for c in obj.vertices[v])


def test_multi_xml_skips_parts_that_build_nothing():
    objects = [cube("a"), cube("c", move={"x": 20}), {"vid": "p", "type": "parameter"}]
    parts = [["a", NAME, "#FF0000"], ["nope", "missing", "#0000FF"], ["p", "parameter", ""],
             ["c", "third", ""]]
    model = read("multi_xml", partsJson=doc(*objects), parts=parts)
    # Both parts got the default channels, so their colour texts are unused.
    assert [(o.id, o.name) for o in model.objects] == [(2, READ_NAME), (3, "third")]
    assert (model.items, model.color_groups) == ([2, 3], {1: ["#00FF00"]})
    for obj in model.objects:
        assert obj.colors == ["#00FF00"] * 12 and approx(obj.volume(), 1000)


def test_multi_xml_mixed_part_uses_the_shared_group():
    model = read("multi_xml", partsJson=doc(*TWO_COLOURS, cube("g", 4)),
                 parts=[["g", "green", ""], ["u", "mixed", ""]])
    assert model.color_groups[1] == ["#00FF00"]
    assert sorted(model.color_groups[2]) == ["#0000FF", "#00FF00", "#FF0000"]
    green, mixed = model.objects
    assert (green.name, mixed.name, model.items) == ("green", "mixed", [3, 4])
    assert (green.colors, set(mixed.colors)) == (["#00FF00"] * 12, {"#FF0000", "#0000FF"})
    assert approx(mixed.volume(), 1875) and approx(green.volume(), 64)


# Coloured meshes come out of the library split along every seam where the
# operands of a Boolean met; readers and slicers need each position written
# once and triangles that share their edges by index.
CLOSED_DOCUMENTS = {
    "single, one colour": ("build_xml", {"jsonStr": doc(cube("c")), "vid": "c"}),
    "single, two colours united": ("build_xml", {"jsonStr": doc(*TWO_COLOURS), "vid": "u"}),
    "single, plate minus a hole": ("build_xml", {"jsonStr": doc(*PLATE), "vid": "m"}),
    "multi, plain, mixed and cut parts": (
        "multi_xml", {"partsJson": doc(*TWO_COLOURS, *PLATE, cube("g", 4)),
                      "parts": [["g", "green", ""], ["u", "mixed", ""], ["m", "plate", "#123456"]]}),
}


@pytest.mark.parametrize("case", CLOSED_DOCUMENTS)
def test_3mf_meshes_are_closed_by_vertex_index(case):
    op, request = CLOSED_DOCUMENTS[case]
    model = read(op, **request)
    for obj in model.objects:
        assert obj.closed_by_index() and obj.manifold_and_oriented, obj.name
        assert len(set(obj.vertices)) == len(obj.vertices), obj.name
    # The same solids through "build": the weld keeps every triangle and the volume.
    document = request.get("jsonStr") or request["partsJson"]
    vids = [request["vid"]] if "vid" in request else [p[0] for p in request["parts"]]
    for vid, obj in zip(vids, model.objects):
        mesh = Mesh(build(document, vid, wantColors=True).json())
        assert len(obj.triangles) == len(mesh.tris) and approx(obj.volume(), mesh.volume())


# Spaces at either end and inside, and every other printable character.
PRINTABLE = " " + "".join(map(chr, range(0x20, 0x7F))) + "  "


@pytest.mark.parametrize("op", ["build_xml", "multi_xml"])
def test_every_printable_character_of_a_name_survives(op):
    if op == "build_xml":
        model = read(op, jsonStr=doc(cube("c")), vid="c", name=PRINTABLE)
    else:
        model = read(op, partsJson=doc(cube("c")), parts=[["c", PRINTABLE, ""]])
    assert [o.name for o in model.objects] == [PRINTABLE]
