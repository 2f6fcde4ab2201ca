"""`tarvo-cli export --parts`: one 3MF object per visible object, read back by
lib3mf and listed by a slicer as separate objects, each where the model puts it."""
import json
import os
import re
import shutil

import pytest

from read_3mf import Model3MF
from tarvo import run

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../..")
BOX = os.path.join(ROOT, "examples/models/box.json")


def export(tmp_path, model, *args):
    out = tmp_path / "parts.3mf"
    r = run("export", args=[model, "-o", str(out), "--segments", "24"] + list(args))
    assert r.code == 0, r.err
    return r, out


def test_box_and_lid_are_two_named_closed_objects_in_place(tmp_path):
    r, out = export(tmp_path, BOX, "--parts")
    assert ", 2 objects, " in r.err
    model = Model3MF(package_bytes=out.read_bytes())
    assert [o.name for o in model.objects] == ["Box", "Lid"]
    assert len(model.items) == 2
    box, lid = model.objects
    for part in (box, lid):
        assert part.manifold_and_oriented and part.closed_by_index()
        assert set(part.colors) != {None}
    # The lid stands beside the box, 10 mm past its 80 mm width.
    assert max(v[0] for v in box.vertices) == pytest.approx(80)
    assert min(v[0] for v in lid.vertices) == pytest.approx(90)
    # Without --parts the same model is one merged object of the same volume.
    _, whole = export(tmp_path, BOX)
    merged = Model3MF(package_bytes=whole.read_bytes())
    assert len(merged.objects) == 1
    assert merged.objects[0].volume() == pytest.approx(box.volume() + lid.volume(), rel=1e-6)


def test_parts_take_the_name_member_or_the_id(tmp_path):
    document = {"objects": [
        {"vid": "a", "type": "cube", "size": 5, "color": {"color": "#ff0000"}},
        {"vid": "b", "type": "sphere", "size": 4, "move": {"x": 20}, "name": "Ball"},
        {"vid": "hidden", "type": "cube", "visible": False},
        {"vid": "empty", "type": "union", "baseObjects": []},
    ]}
    path = tmp_path / "m.json"
    path.write_text(json.dumps(document))
    _, out = export(tmp_path, str(path), "--parts")
    model = Model3MF(package_bytes=out.read_bytes())
    assert [o.name for o in model.objects] == ["a", "Ball"]
    assert set(model.objects[0].colors) == {"#FF0000"}


@pytest.mark.parametrize("args,message", [
    (["-o", "x.stl", "--parts"], "--parts writes 3MF files only"),
    (["-o", "x.3mf", "--parts", "--object", "box"], "--parts writes every visible object"),
])
def test_parts_usage_errors(args, message):
    r = run("export", args=[BOX] + args)
    assert r.code == 2 and message in r.err and r.out == ""


@pytest.mark.skipif(shutil.which("prusa-slicer") is None,
                    reason="prusa-slicer is not installed (scripts/slicer-deps.sh installs it)")
def test_slicer_lists_box_and_lid_as_two_objects(tmp_path):
    from test_slicer import slicer
    _, out = export(tmp_path, BOX, "--parts")
    info = slicer(["--info", out.name], tmp_path)
    assert info.returncode == 0, info.stderr
    # One block of facts per object, headed by the file's name.
    assert re.findall(r"^\[(.*)\]$", info.stdout, re.M) == [out.name] * 2, info.stdout
    assert re.findall(r"^manifold = (\w+)$", info.stdout, re.M) == ["yes", "yes"]
    assert re.findall(r"^min_x = ([\d.]+)$", info.stdout, re.M) == ["0.000000", "90.000000"]
