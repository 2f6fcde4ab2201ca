"""Parameters with bounds: export -D and check -D refuse values outside them,
check reports a default outside them, and check --sweep builds every
parameter at its bounds and finds the values that break a part."""
import json

import pytest

from tarvo import run

# A key tag: a plate with an eye; an eye wider than the tag cuts it in two.
KEY_TAG = {"objects": [
    {"vid": "hole", "type": "parameter",
     "value": {"value": 5, "min": 2, "max": 25, "step": 0.5, "unit": "mm", "label": "Eye"}},
    {"vid": "shape", "type": "parameter", "value": {"value": 4, "choices": [4, 6, 8]}},
    {"vid": "plate", "type": "cube", "size": {"x": 40, "y": 20, "z": 3}, "visible": False},
    {"vid": "eye", "type": "cylinder", "size": {"diameter": "={{hole}}", "height": 10},
     "move": {"x": 12, "y": 10, "z": -1}, "visible": False},
    {"vid": "tag", "type": "subtract", "baseObjects": ["plate"], "subtractObjects": ["eye"]},
]}


def write(tmp_path, document, name="tag.json"):
    path = tmp_path / name
    path.write_text(json.dumps(document))
    return str(path)


@pytest.mark.parametrize("assignment,message", [
    ("hole=30", "hole must be at most 25 mm, not 30"),
    ("hole=1", "hole must be at least 2 mm, not 1"),
    ("hole=5.2", "hole must be 2 plus a whole number of steps of 0.5 mm, not 5.2"),
    ("hole=wide", 'hole must be a number from 2 to 25 mm, not "wide"'),
    ("hole==10*3", "hole must be at most 25 mm, not 30"),
    ("shape=5", "shape must be one of 4, 6, 8, not 5"),
])
def test_export_refuses_a_value_outside_its_bounds(tmp_path, assignment, message):
    model, out = write(tmp_path, KEY_TAG), tmp_path / "tag.stl"
    r = run("export", args=[model, "-o", str(out), "-D", assignment])
    assert (r.code, r.out) == (1, "")
    assert r.err == f"tarvo-cli: {model}: {message}\n"
    assert not out.exists()
    r = run("check", args=[model, "-D", assignment])
    assert r.code == 1 and f"/objects/{0 if 'hole' in assignment else 1}/value/value: error" in r.out
    assert message in r.out


@pytest.mark.parametrize("assignment", ["hole=2", "hole=25", "hole=12.5", "shape=8", "hole==2*3"])
def test_values_inside_their_bounds_are_exported(tmp_path, assignment):
    model = write(tmp_path, KEY_TAG)
    r = run("export", args=[model, "-o", str(tmp_path / "tag.stl"), "-D", assignment])
    assert r.code == 0, r.err


def test_check_reports_a_default_outside_its_own_bounds(tmp_path):
    document = json.loads(json.dumps(KEY_TAG))
    document["objects"][0]["value"]["value"] = 40
    document["objects"][1]["value"].update(min=10, max=2)
    r = run("check", args=[write(tmp_path, document)])
    assert r.code == 1
    assert ("/objects/0/value/value: error: the value of parameter 'hole' lies outside its own "
            "bounds: hole must be at most 25 mm, not 40") in r.out
    assert "/objects/1/value/min: error: parameter 'shape' has a minimum above its maximum" in r.out


def test_build_operations_ignore_the_bounds():
    document = json.loads(json.dumps(KEY_TAG))
    plain = json.loads(json.dumps(KEY_TAG))
    for obj in plain["objects"][:2]:
        obj["value"] = {"value": obj["value"]["value"]}
    document["objects"][0]["value"]["value"] = 40  # outside its bounds: built all the same
    plain["objects"][0]["value"]["value"] = 40
    answers = [run("build", {"jsonStr": json.dumps(d), "vid": "_all_", "segments": 32})
               for d in (document, plain)]
    assert answers[0].code == 0 and answers[0].out == answers[1].out


def test_sweep_finds_the_bound_that_splits_the_part(tmp_path):
    r = run("check", args=[write(tmp_path, KEY_TAG), "--sweep", "--segments", "24"])
    assert r.code == 1
    assert r.out == (f"tarvo-cli: {tmp_path}/tag.json: /objects/0/value: error: at hole = 25 "
                     "(its maximum), 'tag' splits into 3 shells where it has 1 shell at hole = 5\n")


def test_sweep_reports_a_value_that_builds_nothing_or_fails(tmp_path):
    document = {"objects": [
        {"vid": "n", "type": "parameter", "value": {"value": 5, "min": 0, "max": 30}},
        {"vid": "plate", "type": "cube", "size": 10, "visible": False},
        {"vid": "cutter", "type": "cube", "size": "={{n}}", "move": {"x": -5, "y": -5, "z": -5},
         "visible": False},
        {"vid": "c", "type": "subtract", "baseObjects": ["plate"], "subtractObjects": ["cutter"]},
        {"vid": "g", "type": "grid", "baseObjects": ["plate"], "move": {"x": 50},
         "grid": {"rows": "=1 + ({{n}} == 0) * 999", "columns": "=1 + ({{n}} == 0) * 999"}},
    ]}
    r = run("check", args=[write(tmp_path, document), "--sweep"])
    assert r.code == 1
    assert "/objects/0/value: error: at n = 30 (its maximum), 'c' builds nothing" in r.out
    assert "/objects/0/value: error: at n = 0 (its minimum), 'g' meets a ceiling: " in r.out


def test_sweep_of_a_sound_model_finds_nothing(tmp_path):
    document = json.loads(json.dumps(KEY_TAG))
    document["objects"][0]["value"]["max"] = 12
    r = run("check", args=[write(tmp_path, document), "--sweep"])
    assert (r.code, r.out) == (0, "")


@pytest.mark.parametrize("args,message", [
    (["--segments", "0"], "--segments wants a whole number from 1 to 1024"),
    (["--segments"], "--segments wants a value"),
    (["-D", "hole"], "-D wants NAME=VALUE"),
])
def test_check_usage_errors(tmp_path, args, message):
    r = run("check", args=[write(tmp_path, KEY_TAG)] + args)
    assert r.code == 2 and message in r.err and r.out == ""


def test_check_names_an_unknown_parameter(tmp_path):
    r = run("check", args=[write(tmp_path, KEY_TAG), "-D", "hoel=3"])
    assert r.code == 1
    assert 'unknown parameter "hoel"; the model\'s parameters are: hole, shape' in r.out
