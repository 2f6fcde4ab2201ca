"""The command-line protocol: arguments, exit codes, answers and standard output purity."""
import subprocess

import pytest

from tarvo import CLI, Mesh, build, doc, run

CUBE10 = {"vid": "c", "type": "cube", "size": 10}
CYLINDER = {"vid": "z", "type": "cylinder", "size": {"diameter": 10, "height": 5}}


def test_probe_answers_without_reading_standard_input():
    # Standard input stays open until the answer is read.
    with subprocess.Popen([CLI, "probe"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE) as proc:
        proc.wait(timeout=10)
        answer = (proc.returncode, proc.stdout.read(), proc.stderr.read())
    assert answer == (0, b'{"ok":true,"version":"1.0.0"}\n', b"")


def test_bare_call_is_a_usage_error_that_starts_with_the_usage_line():
    r = run(None, raw=b"")
    assert (r.code, r.out) == (2, "")
    assert r.err.startswith("usage: tarvo-cli <op> (probe|build|build_xml|multi_xml|cross_section)\n")
    assert "tarvo-cli export" in r.err and "tarvo-cli check" in r.err


@pytest.mark.parametrize("op,request_,code,message", [
    ("Build", b"{}", 2, "unbekannte op: Build\n"),
    ("Build", b"[1,2]", 2, "unbekannte op: Build\n"),
    ("Build", b"not json", 1, "parse error"),
    ("Build", b"", 1, "parse error"),
    ("build", {"jsonStr": {}, "vid": "_all_"}, 1, "type must be string, but is object"),
    ("build_xml", {"jsonStr": doc(CUBE10), "vid": "c", "name": 3}, 1,
     "type must be string, but is number"),
    ("cross_section", {"jsonStr": "{}", "vid": 7}, 1, "type must be string, but is number"),
    ("multi_xml", {"parts": []}, 1, "key 'partsJson' not found"),
    ("build", {"jsonStr": "{}", "vid": "_all_", "segments": 10**12}, 1, "exceeds the limit"),
    ("build", b"[" * 200000 + b"]" * 200000, 1, "parse error"),  # nested beyond the bound
])
def test_failures_exit_with_a_message_and_no_answer(op, request_, code, message):
    r = run(op, raw=request_) if isinstance(request_, bytes) else run(op, request_)
    assert (r.code, r.out) == (code, "")
    assert r.err == message if code == 2 else message in r.err and r.err.endswith("\n")


@pytest.mark.parametrize("op", ["build", "build_xml", "cross_section"])
def test_unparsable_empty_or_too_deep_models_answer_empty(op):
    deep = '{"objects":[' + "[" * 5000 + "]" * 5000 + "]}"
    for text in ["{", "{}", doc(), doc({"vid": "f", "type": "fdm"}), deep]:
        r = run(op, {"jsonStr": text, "vid": "_all_" if op != "cross_section" else "f"})
        assert r.code == 0 and r.out == '{"empty":true}\n'


def test_multi_xml_without_usable_parts_answers_empty_text():
    for extra in [{}, {"parts": [[""], [5], "a", [], {"x": 1}]},
                  {"partsJson": "{", "parts": [["c"]]}]:
        r = run("multi_xml", dict({"partsJson": doc(CUBE10)}, **extra))
        assert r.code == 0 and r.out == '{"xml":""}\n'


def test_build_answers_the_raw_mesh_with_colours_on_request():
    r = build([CUBE10], "c")
    assert r.code == 0 and r.err == ""
    assert r.out.startswith('{"flipWinding":false,"numProp":3,"numTri":12,"tv":"')
    mesh = Mesh(r.json())
    assert abs(mesh.volume() - 1000) < 1e-3 and mesh.closed()
    coloured = Mesh(build([CUBE10], "c", wantColors=True).json())
    assert coloured.num_prop == 6 and coloured.colors() == {(0.0, 1.0, 0.0)}


@pytest.mark.parametrize("segments,like", [(12.9, 12), ("many", 64), (True, 64)])
def test_segments_are_truncated_and_non_numbers_ignored(segments, like):
    triangles = [build([CYLINDER], "z", segments=s).json()["numTri"] for s in (segments, like)]
    assert triangles[0] == triangles[1]
