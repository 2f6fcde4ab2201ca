"""The command-line protocol: arguments, exit codes, answers and standard output purity."""
import subprocess

import pytest

from tarvo import CLI, Mesh, build, doc, run

CUBE10 = {"vid": "c", "type": "cube", "size": 10}


def test_no_argument_prints_usage_and_exits_2():
    r = run(None)
    assert (r.code, r.out) == (2, "")
    assert r.err == "usage: tarvo-cli <op> (probe|build|build_xml|multi_xml|cross_section)\n"


def test_probe_answers_without_reading_standard_input():
    # Standard input stays open until the answer is read.
    with subprocess.Popen([CLI, "probe"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE) as proc:
        proc.wait(timeout=10)
        answer = (proc.returncode, proc.stdout.read(), proc.stderr.read())
    assert answer == (0, b'{"ok":true,"version":"1.0.0"}\n', b"")


@pytest.mark.parametrize("stdin,code", [(b"{}", 2), (b"[1,2]", 2), (b"not json", 1), (b"", 1)])
def test_unknown_operation(stdin, code):
    r = run("Build", raw=stdin)
    assert (r.code, r.out) == (code, "")
    assert r.err == "unbekannte op: Build\n" if code == 2 else "parse error" in r.err


@pytest.mark.parametrize("op,request_,message", [
    ("build", {"vid": "_all_"}, "key 'jsonStr' not found"),
    ("build", {"jsonStr": "{}"}, "key 'vid' not found"),
    ("build", {"jsonStr": {}, "vid": "_all_"}, "type must be string, but is object"),
    ("build", {"jsonStr": "{}", "vid": "_all_", "wantColors": "true"},
     "type must be boolean, but is string"),
    ("build_xml", {"jsonStr": doc(CUBE10), "vid": "c", "name": 3}, "type must be string, but is number"),
    ("cross_section", {"jsonStr": "{}", "vid": 7}, "type must be string, but is number"),
    ("multi_xml", {"parts": []}, "key 'partsJson' not found"),
    ("build", {"jsonStr": "{}", "vid": "_all_", "segments": 10**12}, "exceeds the limit"),
])
def test_malformed_requests_exit_1_with_message_and_no_answer(op, request_, message):
    r = run(op, request_)
    assert (r.code, r.out) == (1, "")
    assert message in r.err and r.err.endswith("\n")


def test_request_nested_beyond_the_bound_is_refused():
    r = run("build", raw=b"[" * 200000 + b"]" * 200000)
    assert r.code == 1 and r.out == "" and "parse error" in r.err


def test_model_document_nested_beyond_the_bound_builds_nothing():
    deep = '{"objects":[' + "[" * 5000 + "]" * 5000 + "]}"
    r = run("build", {"jsonStr": deep, "vid": "_all_"})
    assert r.code == 0 and r.json() == {"empty": True}


@pytest.mark.parametrize("op", ["build", "build_xml", "cross_section"])
def test_unparsable_or_empty_models_answer_empty(op):
    for text in ["{", "{}", doc(), doc({"vid": "f", "type": "fdm"})]:
        r = run(op, {"jsonStr": text, "vid": "_all_" if op != "cross_section" else "f"})
        assert r.code == 0 and r.out == '{"empty":true}\n'


def test_multi_xml_without_usable_parts_answers_empty_text():
    for extra in [{}, {"parts": [[""], [5], "a", [], {"x": 1}]}]:
        r = run("multi_xml", dict({"partsJson": doc(CUBE10)}, **extra))
        assert r.code == 0 and r.out == '{"xml":""}\n'


def test_build_of_a_cube_answers_the_raw_mesh():
    r = build([CUBE10], "c")
    assert r.code == 0 and r.err == ""
    assert r.out.startswith('{"flipWinding":false,"numProp":3,"numTri":12,"tv":"')
    mesh = Mesh(r.json())
    assert abs(mesh.volume() - 1000) < 1e-3 and mesh.closed()


def test_colours_give_six_properties():
    answer = build([CUBE10], "c", wantColors=True).json()
    assert answer["numProp"] == 6 and Mesh(answer).colors() == {(0.0, 1.0, 0.0)}


@pytest.mark.parametrize("segments,triangles_like", [(12.9, 12), ("many", 64), (True, 64)])
def test_segments_are_truncated_and_non_numbers_ignored(segments, triangles_like):
    cyl = {"vid": "z", "type": "cylinder", "size": {"diameter": 10, "height": 5}}
    got = build([cyl], "z", segments=segments).json()
    want = build([cyl], "z", segments=triangles_like).json()
    assert got["numTri"] == want["numTri"]
