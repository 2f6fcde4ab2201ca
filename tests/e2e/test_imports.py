"""STL attachments, outlines and included models through the real binary."""
import base64
import json
import struct

from tarvo import Mesh, approx, build, doc, run

CORNERS = [(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 0), (0, 0, 1), (1, 0, 1), (1, 1, 1), (0, 1, 1)]
FACES = [(0, 2, 1), (0, 3, 2), (4, 5, 6), (4, 6, 7), (0, 1, 5), (0, 5, 4),
         (1, 2, 6), (1, 6, 5), (2, 3, 7), (2, 7, 6), (3, 0, 4), (3, 4, 7)]


def stl_model(size, cut=None):
    """A model whose "polygons" object holds a binary STL of a cube, in
    Base64 with line breaks every 76 characters."""
    data = bytearray(80) + struct.pack("<I", len(FACES))
    for face in FACES:
        data += struct.pack("<3f", 0, 0, 0)
        for corner in face:
            data += struct.pack("<3f", *(c * size for c in CORNERS[corner]))
        data += b"\0\0"
    text = base64.b64encode(bytes(data[:cut])).decode()
    content = "\r\n".join(text[i:i + 76] for i in range(0, len(text), 76))
    return doc({"vid": "p", "type": "polygons", "attachmentVids": ["a"]},
               attachments=[{"vid": "a", "filetype": "model/stl", "content": content}])


def test_stl_attachment_builds_and_logs_to_stderr_only():
    r = build(stl_model(10), "p")
    assert r.code == 0, r.err
    mesh = Mesh(r.json())
    assert mesh.closed() and approx(mesh.volume(), 1000)
    assert "[Tarvo STL] OK: 12 tris -> 8 verts (dedup) -> manifold\n" in r.err
    assert "Tarvo" not in r.out

    r = build(stl_model(10, cut=83), "_all_")
    assert r.code == 0 and r.json() == {"empty": True}
    assert "[Tarvo STL] REJECTED: buffer too small (83 bytes)\n" in r.err


def test_outline_coordinates_must_be_numbers():
    text = {"vid": "t", "type": "text", "_polygons": [[[0, 0], [4, 0], [4, "3"]]]}
    objects = [text, {"vid": "c", "type": "cube", "size": 2}]
    r = build(objects, "t")
    assert r.code == 1 and r.out == ""
    assert "type must be number, but is string" in r.err
    # The whole-model walk leaves the broken outline out.
    r = build(objects, "_all_")
    assert r.code == 0, r.err
    assert approx(Mesh(r.json()).volume(), 8)


def test_includes_nested_too_deep_end_the_request():
    model = {"objects": [{"vid": "c", "type": "cube", "size": 1}]}
    for _ in range(110):
        model = {"objects": [{"vid": "i", "type": "includepart", "attachmentVid": "m"}],
                 "attachments": [{"vid": "m", "filetype": "vela", "content": model}]}
    r = run("build", {"jsonStr": json.dumps(model), "vid": "_all_"})
    assert r.code == 1 and r.out == ""
    assert "objects nest deeper than 200 levels" in r.err
