"""`tarvo-cli export`: files read back by their real consumers (lib3mf, the Khronos
glTF validator, a slicer where installed) and by small independent readers."""
import json
import math
import os
import re
import struct
import subprocess
import zlib

import pytest

from read_3mf import Model3MF
from tarvo import approx, run
from test_slicer import SLICER, slicer

HERE = os.path.dirname(os.path.abspath(__file__))
DEPS = os.environ.get("TARVO_DEPS_DIR", os.path.join(HERE, "../../.deps"))
VALIDATOR = os.path.normpath(os.path.join(DEPS, "node/node_modules"))
BACKGROUND = (242, 244, 247)

RED_CUBE = {"objects": [{"vid": "c", "type": "cube", "size": 10,
                         "color": {"color": "#FF0000"}}]}
# A plate whose width is a parameter, with a red and a blue half.
PLATE = {"objects": [
    {"vid": "width", "type": "parameter", "value": {"value": 40}},
    {"vid": "depth", "type": "parameter", "value": {"value": 30}},
    {"vid": "left", "type": "cube", "size": {"x": "={{width}}/2", "y": "={{depth}}", "z": 5},
     "color": {"color": "#FF0000"}},
    {"vid": "right", "type": "cube", "size": {"x": "={{width}}/2", "y": "={{depth}}", "z": 5},
     "move": {"x": "={{width}}/2"}, "color": {"color": "#0000FF"}},
]}


def export(tmp_path, model, out, *args, stdin=None):
    """Writes `model` (a dict) to a file unless it is a path, runs export to tmp_path/out."""
    path = model
    if isinstance(model, dict):
        path = str(tmp_path / "model.json")
        with open(path, "w") as f:
            json.dump(model, f)
    target = str(tmp_path / out)
    r = run("export", raw=stdin or b"", args=[path, "-o", target] + list(args))
    return r, target


def written(tmp_path, model, out, *args):
    r, target = export(tmp_path, model, out, *args)
    assert (r.code, r.out) == (0, ""), r.err
    assert r.err.startswith("tarvo-cli: wrote %s: " % target) and r.err.count("\n") == 1
    with open(target, "rb") as f:
        return f.read(), r.err


# --- STL -----------------------------------------------------------------------------

def read_stl(data):
    """Returns (header, triangles) of a binary STL; each triangle three (x, y, z) corners."""
    header, count = data[:80], struct.unpack_from("<I", data, 80)[0]
    assert len(data) == 84 + 50 * count
    tris = []
    for i in range(count):
        values = struct.unpack_from("<12fH", data, 84 + 50 * i)
        tris.append([values[3:6], values[6:9], values[9:12]])
    return header, tris


def stl_volume(tris):
    return sum(p[0] * (q[1] * r[2] - q[2] * r[1]) - p[1] * (q[0] * r[2] - q[2] * r[0])
               + p[2] * (q[0] * r[1] - q[1] * r[0]) for p, q, r in tris) / 6.0


@pytest.mark.parametrize("objects, args, triangles, volume", [
    ([{"vid": "c", "type": "cube", "size": 10}], [], 12, 1000.0),
    # 32 segments: a 32-gon prism of circumradius 5, 2 * 30 cap triangles and 64 on the side.
    ([{"vid": "c", "type": "cylinder", "size": {"diameter": 10, "height": 10}}],
     ["--segments", "32"], 124, 10 * 16 * 25 * math.sin(2 * math.pi / 32)),
])
def test_stl_reads_back_with_its_volume_and_triangle_count(tmp_path, objects, args, triangles,
                                                          volume):
    data, summary = written(tmp_path, {"objects": objects}, "part.stl", *args)
    header, tris = read_stl(data)
    assert not header.startswith(b"solid") and header.startswith(b"tarvo-cli")
    assert len(tris) == triangles and approx(stl_volume(tris), volume)
    assert "%d triangles" % triangles in summary and "%d bytes" % len(data) in summary


@pytest.mark.parametrize("assignments, width", [
    ([], 40), (["-D", "width=64"], 64), (["-Dwidth=12.5"], 12.5),
    # Text values go through the templates like the model's own: "=" starts an expression.
    (["-D", "width==10*3"], 30),
])
def test_parameter_values_set_the_exported_width(tmp_path, assignments, width):
    data, summary = written(tmp_path, PLATE, "plate.stl", *assignments)
    _, tris = read_stl(data)
    xs = [p[0] for t in tris for p in t]
    assert approx(min(xs), 0) and approx(max(xs), width)
    assert approx(stl_volume(tris), width * 30 * 5)


# --- 3MF ------------------------------------------------------------------------------

def test_3mf_package_reads_in_strict_mode_with_colours_and_thumbnail(tmp_path):
    data, _ = written(tmp_path, PLATE, "plate.3mf", "-D", "width=50")
    model = Model3MF(package_bytes=data)
    assert (model.warnings, model.unit) == ([], 1)
    [obj] = model.objects
    assert obj.name == "model" and len(model.items) == 1
    assert set(obj.colors) == {"#FF0000", "#0000FF"}
    assert approx(obj.volume(), 50 * 30 * 5)
    width, height, _ = decode_png(model.thumbnail)
    assert (width, height) == (256, 256)


def test_3mf_object_name_is_the_object_exported(tmp_path):
    data, summary = written(tmp_path, PLATE, "left.3mf", "--object", "left")
    [obj] = Model3MF(package_bytes=data).objects
    assert obj.name == "left" and set(obj.colors) == {"#FF0000"} and "12 triangles" in summary


def test_3mf_package_slices_where_a_slicer_is_installed(tmp_path):
    if SLICER is None:
        pytest.skip("prusa-slicer is not installed (scripts/slicer-deps.sh installs it)")
    export(tmp_path, PLATE, "plate.3mf")
    info = slicer(["--info", "plate.3mf"], tmp_path)
    assert info.returncode == 0, info.stderr
    assert re.findall(r"^manifold = (\w+)$", info.stdout, re.M) == ["yes"], info.stdout
    gcode = slicer(["--export-gcode", "--output", "plate.gcode", "plate.3mf"], tmp_path)
    assert gcode.returncode == 0, gcode.stderr
    assert (tmp_path / "plate.gcode").stat().st_size > 0


# --- glTF binary ------------------------------------------------------------------------

def read_glb(data):
    """Returns the JSON part and the binary chunk of a .glb file."""
    magic, version, length = struct.unpack_from("<4sII", data)
    assert (magic, version, length) == (b"glTF", 2, len(data))
    json_length, json_type = struct.unpack_from("<I4s", data, 12)
    assert json_type == b"JSON"
    gltf = json.loads(data[20:20 + json_length])
    bin_length, bin_type = struct.unpack_from("<I4s", data, 20 + json_length)
    assert bin_type == b"BIN\0"
    start = 28 + json_length
    return gltf, data[start:start + bin_length]


def validate(path):
    if not os.path.isdir(os.path.join(VALIDATOR, "gltf-validator")):
        if os.environ.get("TARVO_REQUIRE_GLTF_VALIDATOR"):
            raise AssertionError("gltf-validator missing from %s" % VALIDATOR)
        pytest.skip("gltf-validator is not installed (run scripts/test-deps.sh)")
    p = subprocess.run(["node", os.path.join(HERE, "gltf/validate.js"), path], capture_output=True,
                       timeout=120, env=dict(os.environ, NODE_PATH=VALIDATOR))
    assert p.returncode == 0, p.stderr
    return json.loads(p.stdout)


def test_glb_passes_the_validator_with_bounds_in_metres_y_up(tmp_path):
    data, summary = written(tmp_path, PLATE, "plate.glb", "-D", "width=60")
    report = validate(str(tmp_path / "plate.glb"))
    assert (report["issues"]["numErrors"], report["issues"]["numWarnings"]) == (0, 0), report
    gltf, binary = read_glb(data)
    [mesh] = gltf["meshes"]
    [primitive] = mesh["primitives"]
    assert set(primitive["attributes"]) == {"POSITION", "COLOR_0"}
    indices = gltf["accessors"][primitive["indices"]]
    assert indices["componentType"] == 5125  # unsigned 32-bit
    assert report["info"]["totalTriangleCount"] == indices["count"] // 3
    assert "%d triangles" % (indices["count"] // 3) in summary
    position = gltf["accessors"][primitive["attributes"]["POSITION"]]
    # The model's x 0..60, y 0..30, z 0..5 mm: glTF's x is x, its y is up (z), its z is -y.
    expected = ([0, 0, -0.030], [0.060, 0.005, 0])
    assert all(approx(a, b, 1e-6) for a, b in zip(position["min"] + position["max"],
                                                   expected[0] + expected[1]))
    # Positions read from the buffer agree with the accessor's bounds.
    view = gltf["bufferViews"][position["bufferView"]]
    floats = struct.unpack_from("<%df" % (3 * position["count"]), binary, view.get("byteOffset", 0))
    for axis in range(3):
        values = floats[axis::3]
        assert (min(values), max(values)) == (pytest.approx(position["min"][axis]),
                                              pytest.approx(position["max"][axis]))


# --- PNG ------------------------------------------------------------------------------

def decode_png(data):
    """Returns (width, height, rows) of an 8-bit RGB PNG; rows of (r, g, b) tuples."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    at, idat, width = 8, b"", None
    while at < len(data):
        length, kind = struct.unpack_from(">I4s", data, at)
        body = data[at + 8:at + 8 + length]
        assert zlib.crc32(kind + body) == struct.unpack_from(">I", data, at + 8 + length)[0]
        if kind == b"IHDR":
            width, height, depth, color = struct.unpack_from(">IIBB", body)
            assert (depth, color) == (8, 2)
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    raw, stride, rows, prev = zlib.decompress(idat), 3 * width, [], bytearray(3 * width)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 3] if i >= 3 else 0
            b, c = prev[i], prev[i - 3] if i >= 3 else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([tuple(line[i:i + 3]) for i in range(0, stride, 3)])
        prev = line
    return width, height, rows


def test_png_of_a_red_cube_has_shaded_red_faces_on_a_light_background(tmp_path):
    data, _ = written(tmp_path, RED_CUBE, "cube.png", "--size", "160x120")
    width, height, rows = decode_png(data)
    assert (width, height) == (160, 120)
    for x, y in [(0, 0), (width - 1, 0), (0, height - 1), (width - 1, height - 1)]:
        assert rows[y][x] == BACKGROUND
    assert rows[height // 2][width // 2][0] > 2 * max(rows[height // 2][width // 2][1:])
    # Three faces show, each turned differently, each in its own shade of red.
    counts = {}
    for row in rows:
        for r, g, b in row:
            if g == b == 0:
                counts[r] = counts.get(r, 0) + 1
    shades = sorted((n, r) for r, n in counts.items())[-3:]
    assert len(shades) == 3 and all(n > 300 for n, _ in shades), shades
    # Edges are blended (anti-aliased): pixels between red and the background exist.
    assert any(0 < g < BACKGROUND[1] and r > g for row in rows for r, g, b in row)
    # The part is fitted to the frame: it spans most of the picture's height.
    lines = [y for y, row in enumerate(rows) if any(p != BACKGROUND for p in row)]
    assert 0.8 * height < lines[-1] - lines[0] + 1 < height


def test_png_default_size_is_800_by_600(tmp_path):
    data, _ = written(tmp_path, RED_CUBE, "cube.png")
    assert struct.unpack_from(">II", data, 16) == (800, 600)


# --- Failures and usage ---------------------------------------------------------------

@pytest.mark.parametrize("model, out, args, message", [
    ("/no/such/model.json", "a.stl", [], "model.json: cannot read: No such file or directory"),
    ({"objects": [{"vid": "c", "type": "cube", "size": 1}]}, "no/such/folder/a.stl", [],
     "a.stl: cannot write: No such file or directory"),
    ({"objects": [{"vid": "p", "type": "parameter", "value": {"value": 1}}]}, "a.3mf", [],
     "model.json: no visible object builds anything"),
    (RED_CUBE, "a.png", ["--object", "nope"], 'model.json: no object has the id "nope"'),
    (RED_CUBE, "a.png", ["--object", "C"], 'no object has the id "C"; did you mean "c"?'),
    ({"objects": [{"vid": "a", "type": "cube", "size": 1, "visible": False},
                  {"vid": "c", "type": "subtract", "baseObjects": ["a"], "subtractObjects": ["a"]}]},
     "a.png", ["--object", "c"], 'model.json: object "c" builds nothing'),
    (PLATE, "a.stl", ["-D", "width=abc"],
     'parameter "width" holds a number; "abc" is neither a number nor an expression (=...)'),
    (PLATE, "a.stl", ["-D", "width=40", "-D", "depth=4O"], 'parameter "depth" holds a number'
     '; "4O" is neither a number nor an expression (=...)'),
    (PLATE, "a.glb", ["-D", "widht=3"],
     'model.json: unknown parameter "widht"; the model\'s parameters are: width, depth'),
    (RED_CUBE, "a.stl", ["-D", "w=3"], 'unknown parameter "w"; the model has no parameters'),
    ({"objects": [{"vid": "c", "type": "cube", "size": 1, "color": {"color": "#zz0000"}}]},
     "a.stl", ["--object", "c"], 'model.json: object "c" cannot be built: stoul'),
    (RED_CUBE, "a.stl", ["--segments", "1024", "--object", "c"], None),
])
def test_failed_exports_say_why_and_leave_no_file(tmp_path, model, out, args, message):
    r, target = export(tmp_path, model, out, *args)
    if message is None:  # a control row: the same command line works
        assert r.code == 0, r.err
        return
    assert (r.code, r.out) == (1, ""), r.err
    assert r.err.startswith("tarvo-cli: ") and r.err.endswith(message + "\n"), r.err
    assert sorted(os.listdir(tmp_path)) == (["model.json"] if isinstance(model, dict) else [])


def test_not_json_from_standard_input_fails_with_the_parse_position(tmp_path):
    r = run("export", raw=b'{"objects": [', args=["-", "-o", str(tmp_path / "a.stl")])
    assert (r.code, r.out) == (1, "")
    assert r.err.startswith("tarvo-cli: standard input: not JSON: parse error at line 1, column 14")
    assert os.listdir(tmp_path) == []


def test_a_failed_export_keeps_the_file_already_there(tmp_path):
    target = tmp_path / "keep.stl"
    target.write_bytes(b"old")
    r, _ = export(tmp_path, RED_CUBE, "keep.stl", "--object", "nope")
    assert r.code == 1 and target.read_bytes() == b"old"
    data, _ = written(tmp_path, RED_CUBE, "keep.stl")
    assert len(data) == 84 + 12 * 50 and sorted(os.listdir(tmp_path)) == ["keep.stl", "model.json"]


@pytest.mark.parametrize("args, message", [
    ([], "missing MODEL.json"),
    (["m.json"], "missing -o OUT"),
    (["m.json", "-o", "a.obj"], 'cannot tell the format of "a.obj"; end it in .3mf, .stl, .glb or .png'),
    (["m.json", "-o", "a.stl", "-o", "b.stl"], "-o given twice"),
    (["m.json", "n.json", "-o", "a.stl"], 'one model at a time: "m.json" and "n.json"'),
    (["m.json", "-o", "a.png", "--size", "800"], '--size wants WIDTHxHEIGHT, such as 800x600, not "800"'),
    (["m.json", "-o", "a.png", "--size", "0x10"], '--size wants a whole number from 1 to 8192, not "0"'),
    (["m.json", "-o", "a.stl", "--segments", "2000"],
     '--segments wants a whole number from 1 to 1024, not "2000"'),
    (["m.json", "-o", "a.stl", "-D", "width"], '-D wants NAME=VALUE, not "width"'),
    (["m.json", "-o", "a.stl", "--object"], "--object wants a value"),
    (["m.json", "-o", "a.stl", "--colour"], 'unknown option "--colour"'),
])
def test_usage_errors_are_one_line_with_exit_code_2(args, message):
    r = run("export", args=args)
    assert (r.code, r.out) == (2, "")
    assert r.err == "tarvo-cli: export: %s (see 'tarvo-cli export --help')\n" % message


def test_help_goes_to_standard_output():
    r = run("export", args=["--help"])
    assert (r.code, r.err) == (0, "")
    assert r.out.startswith("usage: tarvo-cli export MODEL.json -o OUT.{3mf,stl,glb,png}")
    assert all(option in r.out for option in ["--object", "--segments", "-D NAME=VALUE", "--size"])


# --- Commands for people on the deepest recursion ------------------------------------

@pytest.mark.parametrize("command", ["export", "check"])
def test_commands_survive_an_outline_at_the_point_ceiling(tmp_path, command):
    # The library's triangulator recurses once per point of a collinear run;
    # the commands build on the same large stack as the requests do.
    points = [[i * 0.004, 0] for i in range(250000)]
    path = tmp_path / "line.json"
    path.write_text(json.dumps({"objects": [{"vid": "m", "type": "svg", "_polygons": [points]}]}))
    args = [str(path), "-o", str(tmp_path / "line.stl")] if command == "export" else [str(path)]
    r = run(command, args=args, timeout=120)
    assert r.code == 0, r.err
