"""Every example of the reference for authors (docs/model-format.md) works as
the reference says: each linked example file exists, checks clean and
builds; each JSON snippet, as a document, checks without errors; and every
claim the reference makes about an expression's value holds."""
import json
import os
import re

import pytest

from tarvo import run

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../..")
with open(os.path.join(ROOT, "docs", "model-format.md")) as f:
    REFERENCE = f.read()

LINKED = sorted(set(re.findall(r"\]\(examples/([\w-]+\.json)\)", REFERENCE)))
SNIPPETS = re.findall(r"```json\n(.*?)```", REFERENCE, re.S)


def test_every_example_file_is_linked_and_every_link_has_a_file():
    files = sorted(os.listdir(os.path.join(ROOT, "docs", "examples")))
    assert LINKED == files


@pytest.mark.parametrize("name", LINKED)
def test_every_linked_example_checks_clean_and_builds(name, tmp_path):
    path = os.path.join(ROOT, "docs", "examples", name)
    r = run("check", args=[path])
    assert (r.code, r.out) == (0, ""), r.out
    r = run("export", args=[path, "-o", str(tmp_path / "x.stl"), "--segments", "24"])
    assert r.code == 0, r.err


@pytest.mark.parametrize("snippet", SNIPPETS, ids=[f"snippet{i}" for i in range(len(SNIPPETS))])
def test_every_snippet_checks_without_errors(snippet, tmp_path):
    text = snippet.strip()
    # A snippet is a whole document or a run of objects of one.
    document = json.loads(text) if text.startswith('{\n') else json.loads(
        '{"objects": [' + text + "]}")
    document.pop("$schema", None)
    path = tmp_path / "snippet.json"
    path.write_text(json.dumps(document))
    r = run("check", args=[str(path), "--json"])
    report = json.loads(r.out)
    assert report["errors"] == 0, report["diagnostics"]


# "`2^3^2` is 512": every such claim about a value in the section on expressions.
CLAIMS = re.findall(r"`([^`]+)` is (-?[\d.]+)\b",
                    REFERENCE[REFERENCE.index("## Expressions"):REFERENCE.index("## Dropdowns")])


@pytest.mark.parametrize("expression,value", CLAIMS)
def test_every_value_the_reference_claims_for_an_expression_holds(expression, value):
    document = {"objects": [{"vid": "c", "type": "cube",
                             "size": {"x": "=1000 + (" + expression + ")", "y": 1, "z": 1}}]}
    r = run("build", {"jsonStr": json.dumps(document), "vid": "c", "segments": 8})
    assert r.code == 0
    vp = r.json()["vp"]
    import base64
    import struct
    data = base64.b64decode(vp)
    xs = struct.unpack("<%df" % (len(data) // 4), data)[0::3]
    assert max(xs) - min(xs) == pytest.approx(1000 + float(value), abs=1e-3)


def test_there_are_claims_and_snippets():
    assert len(CLAIMS) >= 2 and len(SNIPPETS) >= 4
