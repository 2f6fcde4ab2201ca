"""STL attachments, included models, outlines and reliefs through the real binary."""
import base64
import json
import struct

from tarvo import Mesh, approx, build, doc, run

CUBE_CORNERS = [(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 0), (0, 0, 1), (1, 0, 1), (1, 1, 1), (0, 1, 1)]
CUBE_FACES = [(0, 2, 1), (0, 3, 2), (4, 5, 6), (4, 6, 7), (0, 1, 5), (0, 5, 4),
              (1, 2, 6), (1, 6, 5), (2, 3, 7), (2, 7, 6), (3, 0, 4), (3, 4, 7)]


def cube_stl(size):
    """The bytes of a binary STL of the cube [0, size]^3."""
    out = bytearray(80) + struct.pack("<I", len(CUBE_FACES))
    for face in CUBE_FACES:
        out += struct.pack("<3f", 0, 0, 0)
        for corner in face:
            out += struct.pack("<3f", *(c * size for c in CUBE_CORNERS[corner]))
        out += b"\0\0"
    return bytes(out)


def wrapped_base64(data):
    text = base64.b64encode(data).decode()
    return "\r\n".join(text[i:i + 76] for i in range(0, len(text), 76))


def stl_model(data):
    return doc({"vid": "p", "type": "polygons", "attachmentVids": ["a"]},
               attachments=[{"vid": "a", "filetype": "model/stl", "content": wrapped_base64(data)}])


def test_stl_attachment_builds_and_logs_to_stderr_only():
    r = build(stl_model(cube_stl(10)), "p")
    assert r.code == 0, r.err
    mesh = Mesh(r.json())
    assert mesh.closed() and approx(mesh.volume(), 1000)
    assert "[Tarvo STL] OK: 12 tris -> 8 verts (dedup) -> manifold\n" in r.err
    assert "Tarvo" not in r.out


def test_rejected_stl_builds_nothing():
    r = build(stl_model(cube_stl(10)[:83]), "_all_")
    assert r.code == 0, r.err
    assert r.json() == {"empty": True}
    assert "[Tarvo STL] REJECTED: buffer too small (83 bytes)\n" in r.err


def outline(vid, points, kind="text"):
    return {"vid": vid, "type": kind, "_polygons": [points], "size": {"z": 2}}


def test_outline_coordinates_must_be_numbers():
    objects = [outline("t", [[0, 0], [4, 0], [4, "3"]]), {"vid": "c", "type": "cube", "size": 2}]
    r = build(objects, "t")
    assert r.code == 1 and r.out == ""
    assert "type must be number, but is string" in r.err
    # The whole-model walk leaves the broken outline out.
    r = build(objects, "_all_")
    assert r.code == 0, r.err
    assert approx(Mesh(r.json()).volume(), 8)


def test_text_mirrors_in_y_and_svg_does_not():
    square = [[0, 5], [4, 5], [4, 8], [0, 8]]
    for kind, y in (("text", (-8, -5)), ("svg", (5, 8))):
        r = build([outline("o", square, kind)], "o")
        lo, hi = Mesh(r.json()).bounds()
        assert approx(lo[1], y[0]) and approx(hi[1], y[1]) and approx(hi[2], 2), (kind, lo, hi)


def included(partvalues):
    return {"vid": "inc", "type": "includepart", "attachmentVid": "m", "partvalues": partvalues,
            "move": {"x": 5}}


def test_included_model_takes_part_values():
    inner = {"objects": [
        {"vid": "s", "type": "parameter", "value": {"value": 1}, "info": {"isimportant": 2}},
        {"vid": "c", "type": "cube", "size": "={{s}}"},
        {"vid": "hidden", "type": "cube", "size": 50, "visible": False}]}
    text = doc({"vid": "w", "type": "parameter", "value": {"value": 3}},
               included(["={{w}}+1"]),
               attachments=[{"vid": "m", "filetype": "vela", "content": inner}])
    r = build(text, "_all_")
    assert r.code == 0, r.err
    mesh = Mesh(r.json())
    lo, hi = mesh.bounds()
    assert approx(mesh.volume(), 64) and approx(lo[0], 5) and approx(hi[0], 9)


def test_includes_nested_too_deep_end_the_request():
    model = {"objects": [{"vid": "c", "type": "cube", "size": 1}]}
    for _ in range(150):
        model = {"objects": [included([])],
                 "attachments": [{"vid": "m", "filetype": "vela", "content": model}]}
    r = run("build", {"jsonStr": json.dumps(model), "vid": "_all_"})
    assert r.code == 1 and r.out == ""
    assert "objects nest deeper than 200 levels" in r.err


def test_height_map_reliefs():
    relief = {"vid": "r", "type": "bumpmesh", "_heightmap": [0, 255, 0, 255],
              "_heightmapWidth": 2, "_heightmapHeight": 2,
              "size": {"x": 10, "y": 10, "base": 1, "z": 5}}
    mesh = Mesh(build([relief], "r").json())
    lo, hi = mesh.bounds()
    assert mesh.closed() and approx(hi[2], 6) and approx(hi[0], 10)
    # Only the edge x = 10 reads the white column: the top ramps up towards it.
    assert 100 < mesh.volume() < 600

    cylinder = {"vid": "r", "type": "bumpmeshCylinder", "_heightmap": [255] * 64,
                "_heightmapWidth": 16, "_heightmapHeight": 4,
                "size": {"diameter": 20, "height": 5, "base": 10}}
    mesh = Mesh(build([cylinder], "r").json())
    lo, hi = mesh.bounds()
    assert mesh.closed() and approx(hi[0], 10) and approx(hi[2], 5)
