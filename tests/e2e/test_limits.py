"""Work that multiplies, and memory: every request under a 4 GiB address-space
limit ends with an answer, a ceiling message or "out of memory", never with a
signal."""
import base64
import json
import math
import resource
import struct
import subprocess
from concurrent.futures import ThreadPoolExecutor

import pytest

from tarvo import CLI, Result

ADDRESS_SPACE = 4 << 30
# AddressSanitizer reserves terabytes of shadow memory at start, so a
# sanitized binary cannot run under an address-space limit at all.
with open(CLI, "rb") as binary:
    SANITIZED = b"__asan_init" in binary.read()


def limited():
    if not SANITIZED:
        resource.setrlimit(resource.RLIMIT_AS, (ADDRESS_SPACE, ADDRESS_SPACE))


def run_limited(op, objects, vid, **extra):
    document = {"objects": objects}
    document.update(extra.pop("document", {}))
    request = {"jsonStr": json.dumps(document), "vid": vid, **extra}
    proc = subprocess.run([CLI, op], input=json.dumps(request).encode(), capture_output=True,
                          timeout=600, preexec_fn=limited)
    return Result(proc)


def svg(vid, points, visible=False):
    return {"vid": vid, "type": "svg", "_polygons": [points], "visible": visible}


def tetrahedra_stl(count):
    """Base64 of a binary STL holding `count` separate tetrahedra (4 triangles each)."""
    data = bytearray(80) + struct.pack("<I", 4 * count)
    for k in range(count):
        x = 2.0 * (k % 100)
        y = 2.0 * (k // 100)
        a, b, c, d = (x, y, 0), (x + 1, y, 0), (x, y + 1, 0), (x, y, 1)
        for tri in ((a, c, b), (a, b, d), (b, c, d), (c, a, d)):
            data += struct.pack("<3f", 0, 0, 0)
            for p in tri:
                data += struct.pack("<3f", *p)
            data += b"\0\0"
    return base64.b64encode(bytes(data)).decode()


def ring(n):
    """A round outline of n points, beside the Z axis."""
    return [[20 + 10 * math.cos(2 * math.pi * i / n), 10 * math.sin(2 * math.pi * i / n)]
            for i in range(n)]


CUBE = {"vid": "c", "type": "cube", "size": 1, "visible": False}
LONG = svg("o", ring(100000))

OVER_CEILINGS = {
    "an id listed 100,001 times": (
        [CUBE, {"vid": "u", "type": "union", "baseObjects": ["c"] * 100001}], "u", {},
        "copy count"),
    "200 objects each uniting all earlier ones": (
        [CUBE] + [{"vid": "u%d" % k, "type": "union", "visible": k == 199,
                   "baseObjects": ["c"] + ["u%d" % j for j in range(k)]} for k in range(200)],
        "_all_", {}, "copy count"),
    "an STL attachment listed again and again": (
        [{"vid": "p", "type": "polygons", "attachmentVids": ["a"] * 200}], "p",
        {"document": {"attachments": [{"vid": "a", "filetype": "model/stl",
                                       "content": tetrahedra_stl(5000)}]}},
        "triangle count"),
    "a lathe of a long outline": (
        [LONG, {"vid": "l", "type": "lathe", "outcut": ["o"], "size": {"segments": 1024}}],
        "l", {}, "triangle count"),
    "a twisted extrusion of a long outline": (
        [LONG, {"vid": "t", "type": "extrudetwist", "baseObjects": ["o"],
                "size": {"twist": 90, "slices": 1024}}], "t", {}, "triangle count"),
    "a height map of 2 x 500,000 samples": (
        [{"vid": "b", "type": "bumpmesh", "_heightmap": [7] * 1000000,
          "_heightmapWidth": 2, "_heightmapHeight": 500000}], "b", {}, "triangle count"),
    "an outline of 300,000 points": (
        [svg("s", ring(300000), True)], "s", {}, "outline point count"),
}


@pytest.mark.parametrize("name", list(OVER_CEILINGS))
def test_work_beyond_a_ceiling_fails_with_a_message_naming_it(name):
    objects, vid, extra, ceiling = OVER_CEILINGS[name]
    r = run_limited("build", objects, vid, **extra)
    assert (r.code, r.out) == (1, ""), r.err[-300:]
    assert ceiling + " of " in r.err and "exceeds the limit" in r.err


def sphere_grid(rows):
    return [{"vid": "s", "type": "sphere", "size": 10, "visible": False},
            {"vid": "g", "type": "grid", "baseObjects": ["s"],
             "grid": {"rows": rows, "columns": 1, "x": 20, "y": 20}}]


# The heaviest requests still under the ceilings.
HEAVIEST = {
    # 7 spheres of 524,288 triangles: 3.7 million of the 4 million.
    "a grid of fine spheres": ("build", sphere_grid(7), "g", {"segments": 1024}),
    # A photo: two triangles per grey value, 3.9 million.
    "a relief of a 1400 x 1400 photo": (
        "build", [{"vid": "b", "type": "bumpmesh", "_heightmap": list(range(256)) * 7656 + [0] * 64,
                   "_heightmapWidth": 1400, "_heightmapHeight": 1400}], "b", {}),
    # Pixels 120,000 times longer than wide: 32 triangles per grey value, 3.8 million.
    "a relief of a one-column map of 120,000 samples": (
        "build", [{"vid": "b", "type": "bumpmesh", "_heightmap": list(range(256)) * 468 + [0] * 192,
                   "_heightmapWidth": 1, "_heightmapHeight": 120000}], "b", {}),
    # Found by the fuzzer as slow under the sanitizers: a torus at 1,000
    # segments, 2 million triangles written out as a 3MF document.
    "a torus at 1,000 segments as a 3MF document": (
        "build_xml", [{"vid": "t", "type": "torus"}], "t", {"segments": 1000}),
    # The library's triangulator recurses once per point of a collinear run.
    "a collinear outline at the point ceiling": (
        "build", [svg("s", [[i * 0.01, 0] for i in range(250000)], True)], "s", {}),
    "a collinear outline at the point ceiling as a region": (
        "cross_section", [svg("s", [[i * 0.01, 0] for i in range(250000)], True)], "s", {}),
}


@pytest.mark.skipif(SANITIZED, reason="needs an address-space limit")
def test_heaviest_requests_under_the_ceilings_answer_within_4_gib():
    def answer(name):
        op, objects, vid, extra = HEAVIEST[name]
        return name, run_limited(op, objects, vid, **extra)

    with ThreadPoolExecutor(max_workers=2) as pool:
        results = list(pool.map(answer, HEAVIEST))
    for name, r in results:
        assert r.code == 0 or (r.code == 1 and r.out == "" and r.err == "out of memory\n"), \
            (name, r.code, r.err[-300:])
        if r.code == 0:
            r.json()
