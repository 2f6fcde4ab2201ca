#!/usr/bin/env python3
"""Writes the benchmark requests into bench/models/.

A file is named NAME.OP.json and holds the request that `tarvo-cli OP` reads.
The height maps are generated from a fixed formula, so the files are
reproducible; the 1,000,000-triangle STL request is made at bench time by
run.py (it is too big to keep in the repository).
"""
import json
import math
import os

HERE = os.path.dirname(os.path.abspath(__file__))


def request(objects, vid, **extra):
    r = {"jsonStr": json.dumps({"objects": objects}, separators=(",", ":")), "vid": vid}
    r.update(extra)
    return r


def heightmap(w, h):
    """Grey values of a smooth pattern of rings and ripples, row after row."""
    out = []
    for j in range(h):
        for i in range(w):
            u, v = i / (w - 1) - 0.5, j / (h - 1) - 0.5
            g = 0.5 + 0.25 * math.sin(40 * math.hypot(u, v)) + 0.25 * math.cos(12 * u) * math.sin(9 * v)
            out.append(max(0, min(255, int(round(g * 255)))))
    return out


def plate_holes():
    # 200 x 100 x 5 plate, 10 x 10 holes of diameter 6 on a 20 x 10 pitch.
    return request([
        {"vid": "outline", "type": "rectangle", "size": {"x": 200, "y": 100}, "visible": False},
        {"vid": "hole", "type": "circle", "size": {"diameter": 6, "segments": 32},
         "move": {"x": 10, "y": 5}, "visible": False},
        {"vid": "holes", "type": "merge2d", "union": ["hole"], "visible": False,
         "size": {"copies": "grid", "copiesRows": 10, "copiesColumns": 10,
                  "copiesX": 20, "copiesY": 10}},
        {"vid": "plate", "type": "plate", "outershell": "outline", "size": {"depth": 5},
         "innercuts": [{"vid": "holes", "depth": 0}]},
    ], "plate")


def plate_holes_csg():
    # The same plate as a cube minus a grid of cylinders.
    return request([
        {"vid": "slab", "type": "cube", "size": {"x": 200, "y": 100, "z": 5}, "visible": False},
        {"vid": "pin", "type": "cylinder", "size": {"diameter": 6, "height": 7, "segments": 32},
         "move": {"x": 10, "y": 5, "z": -1}, "visible": False},
        {"vid": "pins", "type": "grid", "baseObjects": ["pin"], "visible": False,
         "grid": {"rows": 10, "columns": 10, "x": 20, "y": 10}},
        {"vid": "plate", "type": "subtract", "baseObjects": ["slab"], "subtractObjects": ["pins"]},
    ], "plate")


def spheres():
    # 20 x 20 overlapping spheres of diameter 10 on an 8 pitch.
    return request([
        {"vid": "ball", "type": "sphere", "size": {"diameter": 10}, "visible": False},
        {"vid": "balls", "type": "grid", "baseObjects": ["ball"],
         "grid": {"rows": 20, "columns": 20, "x": 8, "y": 8}},
    ], "balls", segments=32)


def screw():
    return request([{"vid": "m10", "type": "thread", "size": {"standard": "M10", "height": 20}}],
                   "m10", segments=64)


def name_tag(segments, chamfer):
    # 74 x 10 x 3 with corners of radius 4, with or without a 1 mm top chamfer.
    size = {"depth": 3}
    if chamfer:
        size["faseTopOuter"] = chamfer
    return request([
        {"vid": "outline", "type": "rectangle", "size": {"x": 74, "y": 10, "corners": 4},
         "visible": False},
        {"vid": "tag", "type": "plate", "outershell": "outline", "size": size},
    ], "tag", segments=segments)


def plate_countersunk():
    # 120 x 60 x 4 with corners of radius 6, 2 rows of 10 holes of diameter 4, each
    # countersunk by 1.
    objects = [{"vid": "outline", "type": "rectangle", "size": {"x": 120, "y": 60, "corners": 6},
                "visible": False}]
    cuts = []
    for r in range(2):
        for c in range(10):
            vid = "hole_%d_%d" % (r, c)
            objects.append({"vid": vid, "type": "circle", "size": {"diameter": 4},
                            "move": {"x": -54 + 12 * c, "y": -15 + 30 * r}, "visible": False})
            cuts.append({"vid": vid, "depth": 0})
    objects.append({"vid": "plate", "type": "plate", "outershell": "outline", "innercuts": cuts,
                    "size": {"depth": 4, "faseTopInner": 1}})
    return request(objects, "plate", segments=32)


def relief_photo():
    # A 1000 x 1000 photo on a 100 x 100 plate: written by run.py at bench time (5 MB).
    return request([{"vid": "relief", "type": "bumpmesh", "_heightmap": heightmap(1000, 1000),
                     "_heightmapWidth": 1000, "_heightmapHeight": 1000,
                     "size": {"x": 100, "y": 100, "base": 2, "z": 3}}], "relief")


def plate_m3():
    # 120 x 40 x 6 plate with 2 rows of 10 threaded M3 holes, 0.5 countersinks.
    objects = [{"vid": "outline", "type": "rectangle", "size": {"x": 120, "y": 40},
                "visible": False}]
    cuts = []
    for r in range(2):
        for c in range(10):
            vid = "m3_%d_%d" % (r, c)
            objects.append({"vid": vid, "type": "thread", "size": {"standard": "M3"},
                            "move": {"x": 6 + 12 * c, "y": 10 + 20 * r}, "visible": False})
            cuts.append({"vid": vid, "depth": 0})
    objects.append({"vid": "plate", "type": "plate", "outershell": "outline", "innercuts": cuts,
                    "size": {"depth": 6, "faseTopInner": 0.5}})
    return request(objects, "plate", segments=32)


def loft():
    # Circles of 512 and 300 points; their 38,400-point match is resampled.
    return request([
        {"vid": "low", "type": "circle", "size": {"diameter": 60, "segments": 512}, "visible": False},
        {"vid": "high", "type": "circle", "size": {"diameter": 40, "segments": 300}, "visible": False},
        {"vid": "vase", "type": "loft", "bottom": ["low"], "top": ["high"],
         "size": {"height": 50, "x": 5, "wall": 2}},
    ], "vase")


def relief_flat():
    return request([{"vid": "relief", "type": "bumpmesh", "_heightmap": heightmap(256, 256),
                     "_heightmapWidth": 256, "_heightmapHeight": 256,
                     "size": {"x": 100, "y": 100, "base": 2, "z": 3}}], "relief")


def relief_cylinder():
    return request([{"vid": "relief", "type": "bumpmeshCylinder", "_heightmap": heightmap(256, 128),
                     "_heightmapWidth": 256, "_heightmapHeight": 128,
                     "size": {"diameter": 50, "height": 40, "base": 46, "segments": 32}}], "relief")


def parts10():
    colours = ["#FF0000", "#00FF00", "#0000FF", "#FFFF00", "#00FFFF"]
    objects, parts = [], []
    shapes = [("cube", {"x": 20, "y": 20, "z": 10}), ("cylinder", {"diameter": 16, "height": 20}),
              ("sphere", {"diameter": 18}), ("torus", {"majorDiameter": 30, "tubeDiameter": 6}),
              ("cone", {"diameter": 16, "height": 20})]
    for i in range(10):
        kind, size = shapes[i % 5]
        vid = "part%d" % i
        objects.append({"vid": vid, "type": kind, "size": size, "move": {"x": 40 * i},
                        "color": {"color": colours[i % 5]} if i % 2 == 0 else {}})
        parts.append([vid, "Part %d" % i, colours[(i + 1) % 5]])
    return {"partsJson": json.dumps({"objects": objects}, separators=(",", ":")), "parts": parts}


def cross_radial():
    # A slotted ring segment copied 12 times around the origin.
    return request([
        {"vid": "bar", "type": "rectangle", "size": {"x": 30, "y": 6, "corners": 2},
         "move": {"x": 10, "y": -3}, "visible": False},
        {"vid": "dot", "type": "circle", "size": {"diameter": 8, "segments": 48},
         "move": {"x": 40}, "visible": False},
        {"vid": "slot", "type": "circle", "size": {"diameter": 3, "segments": 24},
         "move": {"x": 25}, "visible": False},
        {"vid": "star", "type": "merge2d", "union": ["bar", "dot"], "subtract": ["slot"],
         "size": {"copies": "radial", "copiesCount": 12, "copiesDegree": 330}},
    ], "star")


# Centres of the 20 spheres of the hull benchmark: a loose, irregular cloud.
HULL_CENTRES = [(7.0 * (i % 5) + 3.0 * math.sin(i), 6.0 * (i // 5) + 2.0 * math.cos(3 * i),
                 4.0 * math.sin(1.7 * i)) for i in range(20)]


def rounded_box():
    # A 40 x 30 x 20 box with every edge rounded by 2, at 64 segments.
    return request([
        {"vid": "box", "type": "cube", "size": {"x": 40, "y": 30, "z": 20}, "visible": False},
        {"vid": "rounded", "type": "round", "baseObjects": ["box"], "radius": 2},
    ], "rounded", segments=64)


def hull_spheres():
    # The convex hull of 20 spheres of diameter 6 at 64 segments.
    objects = [{"vid": "s%d" % i, "type": "sphere", "size": 6, "visible": False,
                "move": {"x": round(x, 6), "y": round(y, 6), "z": round(z, 6)}}
               for i, (x, y, z) in enumerate(HULL_CENTRES)]
    objects.append({"vid": "hull", "type": "hull", "baseObjects": ["s%d" % i for i in range(20)]})
    return request(objects, "hull", segments=64)


MODELS = {
    "rounded_box.build": rounded_box,
    "hull_spheres.build": hull_spheres,
    "plate_holes.build": plate_holes,
    "plate_holes_csg.build": plate_holes_csg,
    "spheres.build": spheres,
    "screw_m10.build": screw,
    "plate_m3.build": plate_m3,
    "loft_hollow.build": loft,
    "relief_flat.build": relief_flat,
    "plate_countersunk.build": plate_countersunk,
    "relief_cylinder.build": relief_cylinder,
    "parts10.multi_xml": parts10,
    "cross_radial.cross_section": cross_radial,
}
for _n in (8, 16, 32, 64, 128):
    MODELS["tag_plain_%d.build" % _n] = lambda n=_n: name_tag(n, 0)
    MODELS["tag_chamfer_%d.build" % _n] = lambda n=_n: name_tag(n, 1)


def main():
    out = os.path.join(HERE, "models")
    os.makedirs(out, exist_ok=True)
    for name, make in MODELS.items():
        with open(os.path.join(out, name + ".json"), "w") as f:
            json.dump(make(), f, separators=(",", ":"))
            f.write("\n")
    print("wrote %d requests to %s" % (len(MODELS), out))


if __name__ == "__main__":
    main()
