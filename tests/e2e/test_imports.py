"""STL attachments through the real binary: the reader's log stays off stdout."""
import base64
import struct

from tarvo import Mesh, approx, build, doc

CORNERS = [(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 0), (0, 0, 1), (1, 0, 1), (1, 1, 1), (0, 1, 1)]
FACES = [(0, 2, 1), (0, 3, 2), (4, 5, 6), (4, 6, 7), (0, 1, 5), (0, 5, 4),
         (1, 2, 6), (1, 6, 5), (2, 3, 7), (2, 7, 6), (3, 0, 4), (3, 4, 7)]


def test_stl_attachment_builds_and_logs_to_stderr_only():
    data = bytearray(80) + struct.pack("<I", len(FACES))
    for face in FACES:
        data += struct.pack("<12f", 0, 0, 0, *(10 * c for i in face for c in CORNERS[i])) + b"\0\0"
    text = base64.b64encode(bytes(data)).decode()
    content = "\r\n".join(text[i:i + 76] for i in range(0, len(text), 76))
    r = build(doc({"vid": "p", "type": "polygons", "attachmentVids": ["a"]},
                  attachments=[{"vid": "a", "filetype": "model/stl", "content": content}]), "p")
    assert r.code == 0, r.err
    mesh = Mesh(r.json())
    assert mesh.closed() and approx(mesh.volume(), 1000)
    assert "[Tarvo STL] OK: 12 tris -> 8 verts (dedup) -> manifold\n" in r.err
    assert "Tarvo" not in r.out
