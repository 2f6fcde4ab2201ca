"""Unusable numbers (NaN, infinities, absurd magnitudes, a division by zero in
an expression) in any numeric member of any object type: every request ends
with an answer or a failed request, never with a signal."""
import copy
import json
from concurrent.futures import ThreadPoolExecutor

from tarvo import run

UNUSABLE = ["NaN", "inf", "-inf", 1e308, -1e308, 5e-324, "=1/0"]

PLACED = {"move": {"x": 1, "y": 2, "z": 3}, "rotate": {"x": 10, "y": 20, "z": 30}}
MOVED_2D = {"move": {"x": 1, "y": 2, "rotate": 15}}
COPIES_2D = {"copies": "grid", "copiesRows": 2, "copiesColumns": 2, "copiesX": 30,
             "copiesY": 30, "copiesCount": 3, "copiesDegree": 90}

# Supporting objects every case may refer to; hidden so that they are only
# built through the object under test.
SUPPORT = [
    {"vid": "c", "type": "cube", "size": 4, "visible": False},
    {"vid": "r", "type": "rectangle", "size": {"x": 20, "y": 10}, "visible": False},
    {"vid": "k", "type": "circle", "size": 6, "visible": False},
    {"vid": "l", "type": "lathe", "outcut": ["r"], "visible": False},
    {"vid": "t", "type": "thread", "size": {"diameter": 3, "height": 4, "screw": 0.5},
     "move": {"x": 5, "y": 5}, "visible": False},
]


def obj(type_, placed=True, **members):
    record = {"vid": "o", "type": type_, **members}
    if placed:
        record.update(copy.deepcopy(PLACED))
    return record


SQUARE = [[0, 0], [10, 0], [10, 10], [0, 10]]
CASES = [
    obj("cube", size={"x": 5, "y": 6, "z": 7, "width": 5, "length": 6, "height": 7, "offset": 1}),
    obj("cube", size=5),
    obj("cylinder", size={"diameter": 5, "height": 6, "tapering": 1, "segments": 12}),
    obj("cone", size={"diameter": 5, "height": 6, "segments": 12}),
    obj("sphere", size={"diameter": 5}),
    obj("torus", size={"majorDiameter": 20, "tubeDiameter": 4}),
    obj("triangle", size={"width": 5, "height": 6, "depth": 7}),
    obj("rectangle", False, size={"x": 5, "y": 6, "width": 5, "height": 6, "corners": 1},
        **MOVED_2D),
    obj("circle", False, size={"diameter": 5, "segments": 12}, **MOVED_2D),
    obj("circle", False, size=5),
    obj("triangle2d", False, size={"x": 5, "y": 6, "width": 2}, **MOVED_2D),
    obj("merge2d", False, union=["r"], subtract=["k"], intersect=["r"],
        size={"offset": 1, "scalex": 50, "scaley": 200, **COPIES_2D}, **MOVED_2D),
    obj("merge2d", False, union=["k"], size={**COPIES_2D, "copies": "radial"}),
    obj("slice", False, outershell="c", size={"z": 2}, **MOVED_2D),
    obj("lathe", outcut=["r"], innercuts=["k"], size={"segments": 16}),
    obj("loft", bottom=["r"], top=["k"], size={"height": 5, "x": 1, "y": 2, "rotate": 10,
                                               "wall": 1}),
    obj("extrudetwist", baseObjects=["r"], size={"height": 5, "twist": 30, "slices": 4}),
    obj("union", baseObjects=["c", "t"]),
    obj("subtract", baseObjects=["c"], subtractObjects=["t"]),
    obj("intersect", baseObjects=["c"], intersectObjects=["t"]),
    obj("stretch", baseObjects=["c"], scale={"x": 50, "y": 100, "z": 200}),
    obj("mirror", baseObjects=["c"], mirror={"axis": "y"}),
    *[obj(t, baseObjects=["c"], grid={"rows": 2, "columns": 3, "x": 6, "y": 7, "width": 6,
                                      "length": 7})
      for t in ("grid", "rectangularGrid", "hexagonalGrid")],
    *[obj(t, baseObjects=["c"], grid={"count": 4, "instanceCount": 4, "angle": 90,
                                      "degree": 90, "height": 5, "radius": 10})
      for t in ("radialArray", "array")],
    obj("thread", size={"diameter": 3, "height": 4, "screw": 0.5}),
    obj("thread", size=3),
    obj("polygons", attachmentVids=["a"]),
    obj("includepart", attachmentVid="m", partvalues=[{"vid": "w", "value": 3}]),
    obj("text", _polygons=[SQUARE], size={"offset": 0.5, "z": 2}),
    obj("svg", _polygons=[SQUARE], size={"offset": 0.5, "z": 2}),
    obj("bumpmesh", _heightmap=[0, 128, 255, 64], _heightmapWidth=2, _heightmapHeight=2,
        size={"x": 20, "y": 20, "base": 1, "z": 3}),
    obj("bumpmeshCylinder", _heightmap=[0, 128, 255, 64], _heightmapWidth=2,
        _heightmapHeight=2, size={"diameter": 20, "height": 10, "base": 15, "segments": 8}),
    obj("plate", outershell="r", innercuts=[{"vid": "k", "depth": 1}, {"vid": "t", "depth": 2}],
        size={"depth": 3, "offset": 1, "faseTopOuter": 0.5, "faseTopInner": 0.5}),
    obj("plate", outershell="l", innercuts=[{"vid": "k", "depth": 1}, {"vid": "t", "depth": 2}],
        size={"depth": 3, "faseTopInner": 0.5}),
]

INCLUDED = {"objects": [{"vid": "w", "type": "parameter", "value": {"value": 5}},
                        {"vid": "ic", "type": "cube", "size": "={{w}}"}]}
ATTACHMENTS = [
    {"vid": "a", "filetype": "model/stl",
     "content": "c29saWQgdAplbmRzb2xpZCB0Cg=="},  # an empty ASCII STL
    {"vid": "m", "filetype": "vela", "content": INCLUDED},
]
PLANAR = {"rectangle", "circle", "triangle2d", "merge2d", "slice"}


def numeric_paths(value, path=()):
    """Yields the path of every number inside `value` (points of outlines included)."""
    if isinstance(value, bool):
        return
    if isinstance(value, (int, float)):
        yield path
    elif isinstance(value, dict):
        for key, member in value.items():
            yield from numeric_paths(member, path + (key,))
    elif isinstance(value, list):
        for index, member in enumerate(value):
            yield from numeric_paths(member, path + (index,))


def replaced(record, path, bad):
    record = copy.deepcopy(record)
    target = record
    for key in path[:-1]:
        target = target[key]
    target[path[-1]] = bad
    return record


def requests():
    for case in CASES:
        op = "cross_section" if case["type"] in PLANAR else "build"
        for path in numeric_paths(case):
            for bad in UNUSABLE:
                document = {"objects": SUPPORT + [replaced(case, path, bad)],
                            "attachments": ATTACHMENTS}
                yield (case["type"], path, bad), op, {"jsonStr": json.dumps(document), "vid": "o",
                                                      "segments": 16}


def test_every_numeric_member_of_every_type_answers_or_fails_cleanly():
    cases = list(requests())
    assert len({name[0] for name, _, _ in cases}) == 32  # every dispatched type

    def answer(case):
        name, op, request = case
        return name, run(op, request, timeout=120)

    with ThreadPoolExecutor(max_workers=2) as pool:
        results = list(pool.map(answer, cases))
    failures = []
    for name, r in results:
        if r.code == 0:
            r.json()
        elif r.code != 1 or r.out != "" or not r.err:
            failures.append((name, r.code, r.err[-200:]))
    assert not failures, failures[:10]
