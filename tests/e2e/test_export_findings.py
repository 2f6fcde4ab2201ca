"""`tarvo-cli export` says what is wrong with the model it exports: the checker's
errors after its one line, `--strict` to refuse, values of the wrong kind
refused, and nothing of the readers' request log on the way."""
import json
import os
import sys
import zipfile

import pytest

from tarvo import run

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "../.."))
KNOB = os.path.join(ROOT, "examples/models/knob.json")
sys.path.insert(0, os.path.join(ROOT, "tests", "fuzz"))
import make_corpus  # noqa: E402  (a small STL attachment)


def demo(change):
    """Returns the demo model with `change` (a function of the document) applied."""
    with open(os.path.join(ROOT, "examples/demo-model.json")) as f:
        document = json.load(f)
    change(document)
    return document


def misspell_type(document):
    document["objects"][2]["type"] = "cylnder"


def miss_reference(document):
    document["objects"][4]["subtractObjects"] = ["hloe"]


def export(tmp_path, model, name, *args):
    path = model
    if isinstance(model, dict):
        path = str(tmp_path / "model.json")
        with open(path, "w") as f:
            json.dump(model, f)
    target = str(tmp_path / name)
    return run("export", args=[path, "-o", target] + list(args)), target


@pytest.mark.parametrize("change, finding, z_top", [
    (misspell_type, '/objects/2/type: error: unknown type "cylnder"; did you mean "cylinder"?', 5),
    (miss_reference,
     '/objects/4/subtractObjects/0: error: no object has the id "hloe"; did you mean "hole"?', 25),
])
def test_broken_models_export_with_their_errors_and_strict_refuses(tmp_path, change, finding,
                                                                  z_top):
    r, target = export(tmp_path, demo(change), "part.stl")
    assert (r.code, r.out) == (0, ""), r.err
    lines = r.err.splitlines()
    assert lines[0].startswith("tarvo-cli: wrote %s: stl, " % target)
    assert "z 0..%d mm" % z_top in lines[0]
    assert lines[1:] == ["tarvo-cli: %s: %s" % (tmp_path / "model.json", finding)]

    os.remove(target)
    r, target = export(tmp_path, demo(change), "part.stl", "--strict")
    assert (r.code, r.out) == (1, "")
    assert r.err.splitlines() == ["tarvo-cli: %s: %s" % (tmp_path / "model.json", finding),
                                  "tarvo-cli: %s: not written: the model has errors (--strict)"
                                  % target]
    assert sorted(os.listdir(tmp_path)) == ["model.json"]


def test_a_clean_model_exports_with_one_line_also_when_strict(tmp_path):
    r, _ = export(tmp_path, demo(lambda d: None), "part.3mf", "--strict")
    assert (r.code, r.out, r.err.count("\n")) == (0, "", 1), r.err


def test_many_errors_show_the_first_three_and_count_the_rest(tmp_path):
    objects = [{"vid": "c%d" % i, "type": "cube", "size": 5, "move": {"x": 10 * i}, "colr": 1}
               for i in range(6)]
    r, _ = export(tmp_path, {"objects": objects}, "part.stl")
    assert r.code == 0
    lines = r.err.splitlines()[1:]
    assert len(lines) == 4 and all('error: unknown key "colr"' in line for line in lines[:3])
    assert lines[3].endswith(": 3 more errors; 'tarvo-cli check %s' lists them all"
                             % (tmp_path / "model.json")), lines[3]


# A parameter without bounds of its own is refused by its kind; one with
# bounds (the knob's height) by its range.
PLAIN = {"objects": [{"vid": "height", "type": "parameter", "value": {"value": 10}},
                     {"vid": "c", "type": "cube", "size": "={{height}}"}]}


@pytest.mark.parametrize("model, assignment, code, message", [
    (PLAIN, "height=abc", 1, 'parameter "height" holds a number; "abc" is neither a number nor an '
     'expression (=...)'),
    (PLAIN, "height=", 1, 'parameter "height" holds a number; "" is neither'),
    (PLAIN, "height==5*3", 0, "wrote"),   # an expression is a number's kind
    (KNOB, "height=abc", 1, 'height must be a number from 8 to 40 mm, not "abc"'),
    (KNOB, "height=", 1, 'height must be a number from 8 to 40 mm, not ""'),
    (KNOB, "height=={{thread}}*3", 0, "wrote"),
    (KNOB, "height=30", 0, "wrote"),
])
def test_a_value_of_the_wrong_kind_is_refused(tmp_path, model, assignment, code, message):
    r, target = export(tmp_path, model, "part.stl", "-D", assignment)
    assert (r.code, r.out) == (code, ""), r.err
    assert message in r.err
    assert os.path.exists(target) == (code == 0)


def test_stl_attachments_print_no_log_line_of_their_reader(tmp_path):
    document = {"objects": [{"vid": "m", "type": "polygons", "attachmentVids": ["stl"]}],
                "attachments": make_corpus.ATTACHMENTS[:1]}
    r, target = export(tmp_path, document, "part.glb")
    assert (r.code, r.out) == (0, "")
    assert r.err.splitlines() == [r.err.splitlines()[0]] and "[Tarvo STL]" not in r.err
    # The request operations keep their log line on standard error.
    answer = run("build", {"jsonStr": json.dumps(document), "vid": "m"})
    assert answer.code == 0 and "[Tarvo STL]" in answer.err


def colours_of_3mf(path):
    with zipfile.ZipFile(path) as z:
        text = z.read("3D/3dmodel.model").decode()
    return sorted(set(part.split('"')[0] for part in text.split('color="')[1:]))


def test_objects_without_a_colour_export_grey_while_requests_keep_green(tmp_path):
    cube = {"objects": [{"vid": "c", "type": "cube", "size": 10}]}
    r, target = export(tmp_path, cube, "cube.3mf")
    assert r.code == 0, r.err
    assert colours_of_3mf(target) == ["#BFBFBF"]
    answer = run("build_xml", {"jsonStr": json.dumps(cube), "vid": "c"})
    assert '"#00FF00"' in answer.out.replace('\\"', '"')


def test_a_broken_stl_is_an_error_of_the_export_and_its_object_alone_fails(tmp_path):
    """The export's own build of the mesh does not stand in for the check."""
    import base64
    open_mesh = b"solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\n" \
                b"vertex 0 1 0\nendloop\nendfacet\nendsolid t\n"
    document = {"objects": [{"vid": "box", "type": "cube", "size": 10},
                            {"vid": "m", "type": "polygons", "attachmentVids": ["open"]}],
                "attachments": [{"vid": "open", "filetype": "model/stl",
                                 "content": base64.b64encode(open_mesh).decode()}]}
    r, target = export(tmp_path, document, "part.3mf")
    assert (r.code, r.out) == (0, ""), r.err
    assert r.err.splitlines()[1] == (
        "tarvo-cli: %s: /attachments/0/content: error: the STL mesh is not a closed solid "
        "(or not an STL file): it builds nothing" % (tmp_path / "model.json"))

    r, _ = export(tmp_path, document, "part.3mf", "--strict")
    assert (r.code, r.out) == (1, "") and "not written" in r.err

    r, _ = export(tmp_path, document, "m.3mf", "--object", "m")
    assert (r.code, r.out) == (1, "")
    assert r.err.splitlines() == ["tarvo-cli: %s: object \"m\" builds nothing"
                                  % (tmp_path / "model.json")]


@pytest.mark.parametrize("hidden", [False, True])
@pytest.mark.parametrize("target, message", [
    ("_all_", "no visible object builds anything"),
    ("c", 'object "c" cannot be built: stoul'),
])
def test_a_colour_that_is_not_hexadecimal_fails_the_export(tmp_path, hidden, target, message):
    """The part's colour is written after its solid is let go; a colour that
    cannot be read still fails the way the build of the part fails."""
    objects = [{"vid": "c", "type": "cube", "size": 5, "color": {"color": "#zz0000"}}]
    if hidden:
        objects.append({"vid": "d", "type": "cube", "size": 2, "visible": False})
    r, target_path = export(tmp_path, {"objects": objects}, "part.3mf", "--object", target)
    assert (r.code, r.out) == (1, "")
    assert r.err.splitlines() == ["tarvo-cli: %s: %s" % (tmp_path / "model.json", message)]
    assert not os.path.exists(target_path)
