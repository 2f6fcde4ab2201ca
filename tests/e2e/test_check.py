"""`tarvo-cli check` and the schema of model documents, against the model
documents the repository carries."""
import glob
import json
import os
import sys

import jsonschema
import pytest

from tarvo import run

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
sys.path.insert(0, os.path.join(ROOT, "tests", "fuzz"))
import make_corpus  # noqa: E402  (one small model per object type)

with open(os.path.join(ROOT, "docs", "model.schema.json")) as f:
    SCHEMA = json.load(f)
VALIDATOR = jsonschema.Draft202012Validator(SCHEMA)


def model_documents():
    """Yields (name, document text) for every model document in the repository:
    requests' "jsonStr" and "partsJson", bare documents, one seed per type."""
    paths = sorted(glob.glob(os.path.join(ROOT, "examples", "**", "*.json"), recursive=True)
                   + glob.glob(os.path.join(ROOT, "docs", "examples", "*.json"))
                   + glob.glob(os.path.join(ROOT, "bench", "models", "*.json")))
    for path in paths:
        with open(path) as f:
            value = json.load(f)
        name = os.path.relpath(path, ROOT)
        if "objects" in value:
            yield name, json.dumps(value)
        for key in ("jsonStr", "partsJson"):
            if key in value:
                yield name, value[key]
    for name, objects in make_corpus.MODELS.items():
        document = {"objects": objects}
        if name in ("polygons", "includepart"):
            document["attachments"] = make_corpus.ATTACHMENTS
        yield "type " + name, json.dumps(document)


DOCUMENTS = list(model_documents())
NAMES = [name for name, _ in DOCUMENTS]


@pytest.mark.parametrize("name,text", DOCUMENTS, ids=NAMES)
def test_every_model_document_validates_against_the_schema(name, text):
    errors = [e.message for e in VALIDATOR.iter_errors(json.loads(text))]
    assert errors == []


# Seeds of the fuzzer that are meant to reach odd corners: what check finds in them.
SEED_FINDINGS = {
    # the lathe's inner cut names a circle its model does not hold
    "type lathe": ["/objects/1/innercuts/0"],
    # its 2 x 2 relief cylinder builds nothing
    "type bumpmeshCylinder": ["/objects/0"],
    # its string has Hebrew and a CJK letter that Noto Serif lacks
    "type text-string": ["/objects/1/text"],
}


# The configurator page writes a dropdown parameter's chosen entry into it
# before it builds, which placeholders need: check warns of the direct build.
DROPDOWN_PARAMETER = "names a parameter whose value is the dropdown"


@pytest.mark.parametrize("name,text", DOCUMENTS, ids=NAMES)
def test_every_model_document_checks_clean(name, text):
    r = run("check", raw=text.encode(), args=["-", "--json"])
    findings = [d for d in json.loads(r.out)["diagnostics"]
                if not (d["severity"] == "warning" and DROPDOWN_PARAMETER in d["message"])]
    assert [d["pointer"] for d in findings] == SEED_FINDINGS.get(name, [])
    assert r.code == (1 if name == "type lathe" else 0)


CUBE = {"vid": "c", "type": "cube", "size": {"x": 5}}


@pytest.mark.parametrize("mistake,document", [
    ("misspelt type", {"objects": [dict(CUBE, type="cueb")]}),
    ("misspelt member", {"objects": [dict(CUBE, visibel=False)]}),
    ("misspelt size member", {"objects": [dict(CUBE, size={"hieght": 5})]}),
    ("misspelt top-level member", {"object": [CUBE]}),
    ("misspelt attachment file type",
     {"objects": [], "attachments": [{"vid": "a", "filetype": "model/stI", "content": ""}]}),
    ("misspelt member inside an included model",
     {"objects": [], "attachments": [{"vid": "a", "filetype": "vela",
                                      "content": {"objects": [dict(CUBE, mvoe={"x": 1})]}}]}),
    ("text where a number belongs", {"objects": [dict(CUBE, size={"x": "five"})]}),
])
def test_a_mistaken_document_does_not_validate(mistake, document):
    assert not VALIDATOR.is_valid(document), mistake


def test_numbers_may_be_written_as_text_expression_or_dropdown():
    sizes = [5, "5mm", "={{w}} * 2", "|3|*5|8", " -.5"]
    for x in sizes:
        assert VALIDATOR.is_valid({"objects": [dict(CUBE, size={"x": x})]}), x


def write(tmp_path, document):
    path = tmp_path / "model.json"
    path.write_text(document if isinstance(document, str) else json.dumps(document))
    return str(path)


def test_findings_are_lines_with_pointer_and_severity(tmp_path):
    path = write(tmp_path, {"objects": [CUBE, {"vid": "d", "type": "cylnder"}]})
    r = run("check", args=[path])
    assert r.code == 1
    assert r.out == ('tarvo-cli: %s: /objects/1/type: error: unknown type "cylnder"; '
                     'did you mean "cylinder"?\n' % path)
    assert r.err == "tarvo-cli: %s: 1 error, 0 warnings\n" % path


def test_json_report_and_standard_input():
    r = run("check", raw=b'{"objects": [\n{"vid": 1,}]}', args=["-", "--json"])
    assert r.code == 1
    report = r.json()
    assert (report["file"], report["errors"], report["warnings"]) == ("<stdin>", 1, 0)
    (finding,) = report["diagnostics"]
    assert (finding["pointer"], finding["severity"], finding["line"]) == ("", "error", 2)
    assert finding["message"].startswith("not JSON")


def test_warnings_alone_exit_0(tmp_path):
    r = run("check", args=[write(tmp_path, {"objects": [{"type": "cube"}]}), "--json"])
    assert (r.code, r.json()["warnings"], r.json()["errors"]) == (0, 1, 0)


@pytest.mark.parametrize("args,code,out,err", [
    (["--help"], 0, "usage: tarvo-cli check MODEL.json [--json]", ""),
    ([], 2, "", "no model document given"),
    (["a.json", "b.json"], 2, "", "one model document at a time"),
    (["--jsn", "a.json"], 2, "", 'unknown option "--jsn"'),
    (["/nonexistent/model.json"], 2, "", "/nonexistent/model.json: cannot read"),
])
def test_usage(args, code, out, err):
    r = run("check", args=args)
    assert r.code == code
    assert r.out.startswith(out) if out else r.out == ""
    assert err in r.err


def test_schema_option_prints_the_committed_schema():
    r = run("check", args=["--schema"])
    assert r.code == 0 and json.loads(r.out) == SCHEMA


def test_stl_reader_chatter_reaches_neither_output():
    document = {"objects": [{"vid": "m", "type": "polygons", "attachmentVids": ["stl"]}],
                "attachments": make_corpus.ATTACHMENTS[:1]}
    r = run("check", raw=json.dumps(document).encode(), args=["-", "--json"])
    assert r.code == 0 and r.json()["diagnostics"] == []
    assert "[Tarvo STL]" not in r.err


@pytest.mark.parametrize("filetype, use", [
    ("model/stl", {"vid": "m", "type": "polygons", "attachmentVids": ["a"]}),
    ("image/png", {"vid": "m", "type": "bumpmesh", "attachmentVid": "a"}),
])
def test_content_that_is_not_base64_is_one_finding(tmp_path, filetype, use):
    document = {"objects": [use],
                "attachments": [{"vid": "a", "filetype": filetype, "content": "@@ not base64 @@"}]}
    path = tmp_path / "model.json"
    path.write_text(json.dumps(document))
    r = run("check", args=[str(path)])
    findings = [line for line in r.out.splitlines() if "/attachments/0/content:" in line]
    assert len(findings) == 1 and "is not Base64" in findings[0], r.out
