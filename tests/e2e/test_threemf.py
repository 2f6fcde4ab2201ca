"""3MF documents of "build_xml" and "multi_xml", read back with the reference reader."""
import json
import re

import pytest

from read_3mf import Model3MF
from tarvo import approx, doc, run

RED = {"color": "#FF0000"}
BLUE = {"color": "#0000FF"}


def cube(vid, size=10, **extra):
    return dict({"vid": vid, "type": "cube", "size": size}, **extra)


def build_xml(objects, vid, **req):
    r = run("build_xml", dict({"jsonStr": doc(*objects), "vid": vid}, **req))
    assert r.code == 0, r.err
    return r.json()["xml"]


def multi_xml(objects, parts):
    r = run("multi_xml", {"partsJson": doc(*objects), "parts": parts})
    assert r.code == 0, r.err
    return r.json()["xml"]


def read(xml):
    assert "\n" not in xml and not re.search(r">\s|\s<", xml)
    model = Model3MF(xml)
    assert model.warnings == []
    assert model.unit == 1  # millimetre
    return model


# Two overlapping cubes, red at the origin and blue moved by 5 along every axis, united.
TWO_COLOURS = [cube("r", color=RED, visible=False),
               cube("b", color=BLUE, move={"x": 5, "y": 5, "z": 5}, visible=False),
               {"vid": "u", "type": "union", "baseObjects": ["r", "b"]}]


def test_build_xml_default_colour_is_uniform_green():
    xml = build_xml([cube("c")], "c")
    assert ('<m:colorgroup id="1"><m:color color="#00FF00"/></m:colorgroup>'
            '<object id="2" type="model" name="model" pid="1" pindex="0"><mesh>') in xml
    assert xml.count("pid") == 1
    model = read(xml)
    assert model.color_groups == {1: ["#00FF00"]}
    assert model.items == [2]
    [obj] = model.objects
    assert (obj.id, obj.name, len(obj.triangles)) == (2, "model", 12)
    assert obj.colors == ["#00FF00"] * 12
    assert approx(obj.volume(), 1000)


def test_build_xml_two_colours_go_on_the_triangles():
    xml = build_xml(TWO_COLOURS, "u", name="pair")
    assert '<object id="2" type="model" name="pair"><mesh>' in xml
    triangles = re.findall(r"<triangle [^>]*/>", xml)
    assert triangles and all(re.search(r' pid="1" p1="[01]"/>$', t) for t in triangles)
    model = read(xml)
    assert sorted(model.color_groups[1]) == ["#0000FF", "#FF0000"]
    [obj] = model.objects
    assert approx(obj.volume(), 1875)
    # Every surface piece keeps the colour of the cube it came from.
    boxes = {"#FF0000": (0, 10), "#0000FF": (5, 15)}
    for tri, color in zip(obj.triangles, obj.colors):
        lo, hi = boxes[color]
        assert all(lo <= c <= hi for v in tri for c in obj.vertices[v])
    assert obj.colors[0] == model.color_groups[1][0]


NAME = "a<b>c&d\"e'f\tg\x01h\x1fi\x7fj\u00e4\u20ac"
ESCAPED = "a&lt;b&gt;c&amp;d&quot;e&apos;f\tghi\x7fj\u00e4\u20ac"


def test_names_are_escaped_and_read_back():
    xml = build_xml([cube("c")], "c", name=NAME)
    assert 'name="%s"' % ESCAPED in xml
    expected = NAME.replace("\x01", "").replace("\x1f", "")
    assert read(xml).objects[0].name == expected
    xml = multi_xml([cube("c")], [["c", NAME, ""]])
    assert 'name="%s"' % ESCAPED in xml
    assert read(xml).objects[0].name == expected


def test_multi_xml_skips_parts_that_build_nothing():
    objects = [cube("a"), cube("c", move={"x": 20}), {"vid": "p", "type": "parameter"}]
    xml = multi_xml(objects, [["a", "first", "#FF0000"], ["nope", "missing", "#0000FF"],
                              ["p", "parameter", ""], ["c", "third", ""]])
    # Both parts got the default channels, so their colour texts are unused.
    assert ('<m:colorgroup id="1"><m:color color="#00FF00"/></m:colorgroup>'
            '<object id="2" name="first" type="model" pid="1"><mesh>') in xml
    assert '<object id="3" name="third" type="model" pid="1"><mesh>' in xml
    assert xml.endswith('<build><item objectid="2"/><item objectid="3"/></build></model>')
    model = read(xml)
    assert [(o.id, o.name) for o in model.objects] == [(2, "first"), (3, "third")]
    assert model.items == [2, 3]
    assert model.color_groups == {1: ["#00FF00"]}
    for obj in model.objects:
        assert obj.colors == ["#00FF00"] * 12 and approx(obj.volume(), 1000)
    assert min(v[0] for v in model.objects[1].vertices) == 20


def test_multi_xml_mixed_part_uses_the_shared_group():
    xml = multi_xml(TWO_COLOURS + [cube("g", 4)], [["g", "green", ""], ["u", "mixed", ""]])
    assert ('<m:colorgroup id="1"><m:color color="#00FF00"/></m:colorgroup>'
            '<m:colorgroup id="2"><m:color color="#00FF00"/><m:color color="#') in xml
    assert '<object id="3" name="green" type="model" pid="1"><mesh>' in xml
    assert '<object id="4" name="mixed" type="model"><mesh>' in xml
    model = read(xml)
    assert sorted(model.color_groups[2]) == ["#0000FF", "#00FF00", "#FF0000"]
    green, mixed = model.objects
    assert (green.name, mixed.name, model.items) == ("green", "mixed", [3, 4])
    assert xml.count(' pid="2" p1="') == len(mixed.triangles)
    assert green.colors == ["#00FF00"] * 12
    assert set(mixed.colors) == {"#FF0000", "#0000FF"}
    assert approx(mixed.volume(), 1875) and approx(green.volume(), 64)


@pytest.mark.parametrize("request_", [
    {"partsJson": "{not json", "parts": [["a", "a", ""]]},
    {"partsJson": doc(cube("a"))},
    {"partsJson": doc(cube("a")), "parts": [["nope", "n", ""], ["", "e", ""], [1], "a"]},
])
def test_multi_xml_with_nothing_to_build_is_empty(request_):
    r = run("multi_xml", request_)
    assert (r.code, r.out) == (0, '{"xml":""}\n')


def test_multi_xml_ceiling_errors_end_the_request():
    # A chain of unions nested past the depth ceiling is not a part to skip silently.
    objects = [cube("c0")] + [{"vid": "c%d" % (i + 1), "type": "union", "baseObjects": ["c%d" % i]}
                              for i in range(300)]
    r = run("multi_xml", {"partsJson": doc(*objects), "parts": [["c0", "ok", ""], ["c300", "deep", ""]]})
    assert r.code == 1 and r.out == ""
    assert "deeper" in r.err
