"""3MF documents of "build_xml" and "multi_xml", read back with the reference reader."""
import re

from read_3mf import Model3MF
from tarvo import approx, doc, run

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
    assert (model.warnings, model.unit) == ([], 1)  # 1: millimetre
    return model


# Two overlapping cubes, red at the origin and blue moved by 5 along every axis, united.
TWO_COLOURS = [cube("r", color={"color": "#FF0000"}, visible=False),
               cube("b", color={"color": "#0000FF"}, move={"x": 5, "y": 5, "z": 5}, visible=False),
               {"vid": "u", "type": "union", "baseObjects": ["r", "b"]}]


NAME = "a<b>c&d\"e'f\tg\x01h\x1fi\x7fj\u00e4\u20ac"
ESCAPED = "a&lt;b&gt;c&amp;d&quot;e&apos;f\tghi\x7fj\u00e4\u20ac"
READ_NAME = NAME.replace("\x01", "").replace("\x1f", "")


def test_build_xml_default_colour_is_uniform_green_and_names_are_escaped():
    xml = build_xml([cube("c")], "c", name=NAME)
    assert ('<m:colorgroup id="1"><m:color color="#00FF00"/></m:colorgroup>'
            '<object id="2" type="model" name="%s" pid="1" pindex="0"><mesh>' % ESCAPED) in xml
    model = read(xml)
    assert model.color_groups == {1: ["#00FF00"]}
    [obj] = model.objects
    assert (obj.id, obj.name, len(obj.triangles), model.items) == (2, READ_NAME, 12, [2])
    assert obj.colors == ["#00FF00"] * 12 and approx(obj.volume(), 1000)


def test_build_xml_two_colours_go_on_the_triangles():
    xml = build_xml(TWO_COLOURS, "u", name="pair")
    assert '<object id="2" type="model" name="pair"><mesh>' in xml
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


def test_multi_xml_skips_parts_that_build_nothing():
    objects = [cube("a"), cube("c", move={"x": 20}), {"vid": "p", "type": "parameter"}]
    xml = multi_xml(objects, [["a", NAME, "#FF0000"], ["nope", "missing", "#0000FF"],
                              ["p", "parameter", ""], ["c", "third", ""]])
    # Both parts got the default channels, so their colour texts are unused.
    assert ('<m:colorgroup id="1"><m:color color="#00FF00"/></m:colorgroup>'
            '<object id="2" name="%s" type="model" pid="1"><mesh>' % ESCAPED) in xml
    model = read(xml)
    assert [(o.id, o.name) for o in model.objects] == [(2, READ_NAME), (3, "third")]
    assert (model.items, model.color_groups) == ([2, 3], {1: ["#00FF00"]})
    for obj in model.objects:
        assert obj.colors == ["#00FF00"] * 12 and approx(obj.volume(), 1000)


def test_multi_xml_mixed_part_uses_the_shared_group():
    xml = multi_xml(TWO_COLOURS + [cube("g", 4)], [["g", "green", ""], ["u", "mixed", ""]])
    assert ('<m:colorgroup id="1"><m:color color="#00FF00"/></m:colorgroup>'
            '<m:colorgroup id="2"><m:color color="#00FF00"/><m:color color="#') in xml
    model = read(xml)
    assert sorted(model.color_groups[2]) == ["#0000FF", "#00FF00", "#FF0000"]
    green, mixed = model.objects
    assert (green.name, mixed.name, model.items) == ("green", "mixed", [3, 4])
    assert (green.colors, set(mixed.colors)) == (["#00FF00"] * 12, {"#FF0000", "#0000FF"})
    assert approx(mixed.volume(), 1875) and approx(green.volume(), 64)
