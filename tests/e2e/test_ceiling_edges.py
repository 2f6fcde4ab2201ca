"""Each ceiling that a cheap request can reach, at its value and one past it,
through the real binary: the request at the value answers, the one past it
fails with the ceiling's message, and `check` agrees with the build."""
import base64
import json
import struct

import pytest

from tarvo import run

NEST_MESSAGE = "objects nest deeper than 200 levels\n"


def chain(length):
    """`length` objects, each a union of the next; the last is a cube."""
    objects = [{"vid": "u%d" % i, "type": "union", "baseObjects": ["u%d" % (i + 1)],
                "visible": i == 0} for i in range(length - 1)]
    objects.append({"vid": "u%d" % (length - 1), "type": "cube", "size": 1, "visible": length == 1})
    return {"objects": objects}


def includes(levels):
    """A cube inside `levels` included models, each including the next."""
    model = {"objects": [{"vid": "c", "type": "cube", "size": 1}]}
    for _ in range(levels):
        model = {"objects": [{"vid": "i", "type": "includepart", "attachmentVid": "m"}],
                 "attachments": [{"vid": "m", "filetype": "vela", "content": model}]}
    return model


def tetrahedra_stl(count):
    """Base64 of a binary STL of `count` separate tetrahedra (4 triangles each)."""
    data = bytearray(80) + struct.pack("<I", 4 * count)
    for k in range(count):
        a, b, c, d = (2.0 * k, 0, 0), (2.0 * k + 1, 0, 0), (2.0 * k, 1, 0), (2.0 * k, 0, 1)
        for tri in ((a, c, b), (a, b, d), (b, c, d), (c, a, d)):
            data += struct.pack("<12fH", 0, 0, 0, *tri[0], *tri[1], *tri[2], 0)
    return base64.b64encode(bytes(data)).decode()


def stl_listed(tetrahedra, times, *more):
    """A part listing an STL of `tetrahedra` `times` times. It is charged one
    triangle per 50 bytes when decoded (its triangles and one more for the
    header) and its triangles again at every later use."""
    return {"objects": [{"vid": "p", "type": "polygons", "attachmentVids": ["a"] * times}] +
            list(more),
            "attachments": [{"vid": "a", "filetype": "model/stl",
                             "content": tetrahedra_stl(tetrahedra)}]}


# A straight extrusion of a triangle, charged its three points.
TRIANGLE_PRISM = [{"vid": "t", "type": "svg", "_polygons": [[[0, -5], [3, -5], [0, -2]]],
                   "visible": False},
                  {"vid": "x", "type": "extrudetwist", "baseObjects": ["t"]}]

EDGES = {
    # Each union is one more level of objects.
    "a chain of 200 objects": (chain(200), None),
    "a chain of 201 objects": (chain(201), NEST_MESSAGE),
    # An included model is two levels: the include and the object built in it.
    "99 included models": (includes(99), None),
    "100 included models": (includes(100), NEST_MESSAGE),
    # Listed again and again, a cube is charged but built once.
    "a cube listed 100,000 times": (
        {"objects": [{"vid": "c", "type": "cube", "size": 1, "visible": False},
                     {"vid": "u", "type": "union", "baseObjects": ["c"] * 100000}]}, None),
    "a cube listed 100,001 times": (
        {"objects": [{"vid": "c", "type": "cube", "size": 1, "visible": False},
                     {"vid": "u", "type": "union", "baseObjects": ["c"] * 100001}]},
        "copy count of 100001 exceeds the limit of 100000\n"),
    # 37,037 uses of 108 triangles, one for the header, three for the prism's
    # points: 4,000,000.
    "4,000,000 triangles": (stl_listed(27, 37037, *TRIANGLE_PRISM), None),
    # 10,000 uses of 400 triangles and one for the header: 4,000,001.
    "4,000,001 triangles": (stl_listed(100, 10000),
                            "triangle count of 4000001 exceeds the limit of 4000000\n"),
}


@pytest.mark.parametrize("name", list(EDGES))
def test_ceilings_admit_their_value_and_refuse_one_more(tmp_path, name):
    document, message = EDGES[name]
    r = run("build", {"jsonStr": json.dumps(document), "vid": "_all_"}, timeout=120)
    if message is None:
        assert r.code == 0, r.err[-300:]
        assert r.json()["numTri"] > 0
    else:
        # (the STL reader's own log line may follow)
        assert (r.code, r.out) == (1, "") and r.err.startswith(message), r.err[-300:]
    # `check` builds each visible object the same way and reports the ceiling.
    path = tmp_path / "model.json"
    path.write_text(json.dumps(document))
    c = run("check", args=[str(path)], timeout=120)
    assert c.code == (0 if message is None else 1), c.out[-300:] + c.err[-300:]
    if message is not None:
        assert "meets a ceiling: " + message in c.out


@pytest.mark.parametrize("levels, finding", [(199, False), (200, True)])
def test_check_finds_included_models_nested_200_deep(tmp_path, levels, finding):
    path = tmp_path / "model.json"
    path.write_text(json.dumps(includes(levels)))
    c = run("check", args=[str(path), "--json"], timeout=120)
    assert c.code == 1  # the build's own ceiling is met long before
    found = [f for f in json.loads(c.out)["diagnostics"]
             if f["message"] == "included models nest deeper than 200 levels"]
    assert len(found) == (1 if finding else 0), c.out[-500:]
    if finding:
        # Reported at the 200th included model.
        assert found[0]["pointer"] == "/attachments/0/content" * 200
