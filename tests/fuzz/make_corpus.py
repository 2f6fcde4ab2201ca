#!/usr/bin/env python3
"""Writes the seed corpus of the request fuzzer into a directory.

Each seed is one byte choosing the operation (its value modulo 5: 0 probe,
1 build, 2 build_xml, 3 multi_xml, 4 cross_section) and the form of the rest
(its value divided by 5: 0 a whole request, 1 a model document built for
object "m", 2 the same for "_all_"), then the text. The seeds are the
requests under examples/ and one small model per object type, each as a
request and as a bare document, so that the fuzzer starts from inputs that
reach every handler.
Usage: make_corpus.py OUTPUT_DIR
"""
import base64
import glob
import json
import os
import struct
import sys
import zlib

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
OPS = {"probe": 0, "build": 1, "build_xml": 2, "multi_xml": 3, "cross_section": 4}


def cube_stl(count=1):
    """Returns the bytes of a binary STL of `count` closed cubes in a row,
    12 triangles each."""
    p = [(x, y, z) for x in (0, 1) for y in (0, 1) for z in (0, 1)]
    faces = [(0, 1, 3), (0, 3, 2), (4, 6, 7), (4, 7, 5), (0, 4, 5), (0, 5, 1),
             (2, 3, 7), (2, 7, 6), (0, 2, 6), (0, 6, 4), (1, 5, 7), (1, 7, 3)]
    out = b"\0" * 80 + struct.pack("<I", len(faces) * count)
    for k in range(count):
        for f in faces:
            out += struct.pack("<3f", 0, 0, 0)
            for i in f:
                x, y, z = p[i]
                out += struct.pack("<3f", x + 2 * k, y, z)
            out += b"\0\0"
    return out


SQUARE = [[[0, 0], [10, 0], [10, 10], [0, 10]]]
RECT = {"vid": "r", "type": "rectangle", "size": {"x": 20, "y": 10, "corners": 2}, "visible": False}
CIRCLE = {"vid": "c", "type": "circle", "size": {"diameter": 4, "segments": 12},
          "move": {"x": 5, "y": 5}, "visible": False}
CUBE = {"vid": "k", "type": "cube", "size": {"x": 10, "y": 8, "z": 6}, "visible": False}

# One model per object type; each builds "m" (or "_all_" when "m" is absent).
MODELS = {
    "cube": [{"vid": "m", "type": "cube", "size": {"x": 5, "width": 7, "offset": 1},
              "rotate": {"z": 30}, "move": {"x": 1}, "color": {"color": "#f00"}}],
    "cylinder": [{"vid": "m", "type": "cylinder", "size": {"diameter": 8, "height": 5, "tapering": 2,
                                                           "segments": 16}}],
    "cone": [{"vid": "m", "type": "cone", "size": 12}],
    "sphere": [{"vid": "m", "type": "sphere", "size": {"diameter": 6}}],
    "torus": [{"vid": "m", "type": "torus", "size": {"majorDiameter": 30, "tubeDiameter": 4}}],
    "triangle": [{"vid": "m", "type": "triangle", "size": {"width": 5, "height": 4, "depth": 2}}],
    "union": [CUBE, {"vid": "s", "type": "sphere", "size": 8, "visible": False},
              {"vid": "m", "type": "union", "baseObjects": ["k", "s"]}],
    "hull": [CUBE, CIRCLE, {"vid": "s", "type": "sphere", "size": 8, "move": {"z": 20},
                            "visible": False},
             {"vid": "m", "type": "hull", "baseObjects": ["k", "c", "s"]}],
    "round": [CUBE, {"vid": "m", "type": "round", "baseObjects": ["k"], "radius": 1.5,
                     "segments": 16}],
    "subtract": [CUBE, {"vid": "s", "type": "sphere", "size": 8, "visible": False},
                 {"vid": "m", "type": "subtract", "baseObjects": ["k"], "subtractObjects": ["s"]}],
    "intersect": [CUBE, {"vid": "s", "type": "sphere", "size": 8, "visible": False},
                  {"vid": "m", "type": "intersect", "baseObjects": ["k"], "intersectObjects": ["s"]}],
    "stretch": [CUBE, {"vid": "m", "type": "stretch", "baseObjects": ["k"], "scale": {"x": 200}}],
    "mirror": [CUBE, {"vid": "m", "type": "mirror", "baseObjects": ["k"], "mirror": {"axis": "Z"}}],
    "grid": [CUBE, {"vid": "m", "type": "grid", "baseObjects": ["k"],
                    "grid": {"rows": 2, "columns": 3, "x": 12, "y": 12}}],
    "radialArray": [CUBE, {"vid": "m", "type": "radialArray", "baseObjects": ["k"],
                           "grid": {"count": 4, "angle": 270, "radius": 20, "height": 10}}],
    "hexagonalGrid": [CUBE, {"vid": "m", "type": "hexagonalGrid", "baseObjects": ["k"],
                             "grid": {"rows": 2, "columns": 2}}],
    "rectangle": [{"vid": "m", "type": "rectangle", "size": {"width": 30, "height": 10},
                   "move": {"rotate": 45, "x": 3}}],
    "circle": [{"vid": "m", "type": "circle", "size": {"diameter": 20, "segments": 40}}],
    "triangle2d": [{"vid": "m", "type": "triangle2d", "size": {"x": 20, "y": 10, "width": 5}}],
    "merge2d": [RECT, CIRCLE,
                {"vid": "m", "type": "merge2d", "union": ["r"], "subtract": ["c"],
                 "size": {"offset": 1, "scalex": 150, "mirror": "x", "copies": "hex",
                          "copiesRows": 2, "copiesColumns": 2, "copiesX": 25, "copiesY": 15}}],
    "slice": [CUBE, {"vid": "m", "type": "slice", "outershell": "k", "size": {"z": 3}}],
    "lathe": [RECT, {"vid": "m", "type": "lathe", "outcut": ["r"], "innercuts": ["c"],
                     "size": {"segments": 24}}],
    "loft": [RECT, CIRCLE, {"vid": "m", "type": "loft", "bottom": ["r"], "top": ["c"],
                            "size": {"height": 10, "x": 2, "rotate": 10, "wall": 0.5}}],
    "extrudetwist": [RECT, {"vid": "m", "type": "extrudetwist", "baseObjects": ["r"],
                            "size": {"height": 10, "twist": 90, "slices": 8}}],
    "plate": [RECT, CIRCLE,
              {"vid": "t", "type": "thread", "size": {"standard": "M3"}, "move": {"x": 15, "y": 5},
               "visible": False},
              {"vid": "m", "type": "plate", "outershell": "r",
               "innercuts": [{"vid": "c", "depth": 2}, {"vid": "t", "depth": 0}],
               "size": {"depth": 4, "faseTopOuter": 0.5, "faseTopInner": 0.3}}],
    "plate_on_plate": [RECT, CIRCLE,
                       {"vid": "p", "type": "plate", "outershell": "r", "size": {"depth": 4},
                        "visible": False},
                       {"vid": "m", "type": "plate", "outershell": "p",
                        "innercuts": [{"vid": "c", "depth": 1}], "size": {"faseTopOuter": 0.5}}],
    "thread": [{"vid": "m", "type": "thread", "size": {"standard": "M4", "height": 6},
                "visible": True}],
    "polygons": [{"vid": "m", "type": "polygons", "attachmentVids": ["stl", "row"]}],
    "text": [{"vid": "m", "type": "text", "_polygons": SQUARE, "size": {"z": 2, "offset": 0.5}}],
    "text-string": [{"vid": "f", "type": "parameter", "value": {"value": "Noto Serif"}},
                    {"vid": "m", "type": "text", "text": "AV fi\u00e9\n\u05e9\u05dc\u05d5\u05dd \u4e2d",
                     "font": "={{f}}", "style": "Bold Italic", "fontSize": 8, "halign": "center",
                     "valign": "top", "spacing": 1.2, "lineHeight": 1.5, "size": {"z": 2, "offset": 0.3}}],
    "svg": [{"vid": "m", "type": "svg", "_polygons": SQUARE, "size": {"z": 2}}],
    "bumpmesh": [{"vid": "m", "type": "bumpmesh", "_heightmap": [0, 255, 128, 64, 32, 16],
                  "_heightmapWidth": 3, "_heightmapHeight": 2, "size": {"x": 10, "y": 10}}],
    "bumpmeshCylinder": [{"vid": "m", "type": "bumpmeshCylinder", "_heightmap": [0, 255, 128, 64],
                          "_heightmapWidth": 2, "_heightmapHeight": 2,
                          "size": {"diameter": 20, "height": 10, "base": 16, "segments": 8}}],
    "includepart": [{"vid": "m", "type": "includepart", "attachmentVid": "inc",
                     "partvalues": [7]}],
    "params": [{"vid": "w", "type": "parameter", "value": {"value": 12}},
               {"vid": "d", "type": "parameter", "value": {"value": "|3|*5|8"}},
               {"vid": "m", "type": "cube", "size": {"x": "={{w}} * 2 + {{d}}",
                                                      "y": "={{w|2}} / 3", "z": "|1|*2"}}],
}

ATTACHMENTS = [
    {"vid": "stl", "filetype": "model/stl", "content": base64.b64encode(cube_stl()).decode()},
    # long enough (over 4096 characters) to be read past the JSON lexer
    {"vid": "row", "filetype": "model/stl", "content": base64.b64encode(cube_stl(6)).decode()},
    {"vid": "inc", "filetype": "vela", "content": {"objects": [
        {"vid": "w", "type": "parameter", "value": {"value": 3}, "info": {"isimportant": True}},
        {"vid": "k", "type": "cube", "size": "={{w}}"}]}},
]


def grey_png(width, height, values, colour=0, depth=8):
    """Returns a PNG file of unfiltered rows of `values` (bytes, row after row)."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    row = len(values) // height
    raw = b"".join(b"\0" + bytes(values[y * row:(y + 1) * row]) for y in range(height))
    header = struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw))
            + chunk(b"IEND", b""))


def picture_models():
    """Reliefs from picture attachments: grey, RGB and grey-alpha PNGs."""
    pictures = {"grey": grey_png(4, 3, list(range(0, 240, 20))),
                "rgb": grey_png(2, 2, [255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9], colour=2),
                "alpha": grey_png(2, 1, [0, 128, 255, 0], colour=4)}
    for name, data in pictures.items():
        for kind in ("bumpmesh", "bumpmeshCylinder"):
            relief = {"vid": "m", "type": kind, "attachmentVid": "p", "invert": True,
                      "contrast": 1.5, "gamma": 0.8, "pixelSize": 0.5, "maxPixels": 10000}
            yield "picture-%s-%s" % (name, kind), {"objects": [relief], "attachments": [
                {"vid": "p", "filetype": "image/png", "content": base64.b64encode(data).decode()}]}


def seeds():
    for path in sorted(glob.glob(os.path.join(ROOT, "examples", "*.json"))):
        with open(path, "rb") as f:
            yield "example-" + os.path.basename(path)[:-5], OPS["build"], f.read()
    for name, objects in MODELS.items():
        document = {"objects": objects}
        if name in ("polygons", "includepart"):
            document["attachments"] = ATTACHMENTS
        text = json.dumps(document)
        yield name, OPS["build"], json.dumps(
            {"jsonStr": text, "vid": "m", "segments": 16, "wantColors": True})
        yield name + "-doc", OPS["build"] + 5, text
        yield name + "-doc-xml", OPS["build_xml"] + 10, text
        if name in ("merge2d", "rectangle", "circle", "slice", "text", "text-string", "svg"):
            yield name + "-section", OPS["cross_section"], json.dumps({"jsonStr": text, "vid": "m"})
            yield name + "-section-doc", OPS["cross_section"] + 5, text
    for name, document in picture_models():
        text = json.dumps(document)
        yield name, OPS["build"], json.dumps({"jsonStr": text, "vid": "m", "segments": 16})
        yield name + "-doc", OPS["build"] + 5, text
    two = json.dumps({"objects": MODELS["union"] + MODELS["params"][:2]})
    yield "build_xml", OPS["build_xml"], json.dumps(
        {"jsonStr": two, "vid": "_all_", "name": "a&b", "segments": 12})
    yield "multi_xml", OPS["multi_xml"], json.dumps(
        {"partsJson": two, "parts": [["k", "cube", "#FF0000"], ["m", "union", ""], [""], [5]]})
    yield "multi_xml-doc", OPS["multi_xml"] + 5, two
    yield "probe", OPS["probe"], ""


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    count = 0
    for name, op, body in seeds():
        data = bytes([op]) + (body if isinstance(body, bytes) else body.encode())
        with open(os.path.join(out, "seed-" + name), "wb") as f:
            f.write(data)
        count += 1
    print("%d seeds in %s" % (count, out))


if __name__ == "__main__":
    main()
