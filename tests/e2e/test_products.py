"""Everyday products written from the reference alone (tests/e2e/products) and
the example models: each checks clean, and built at every bound and choice of
its parameters (check --sweep) no visible part fails, vanishes or splits."""
import glob
import json
import os

import pytest

from read_3mf import Model3MF
from tarvo import run

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../..")
MODELS = sorted(glob.glob(os.path.join(ROOT, "tests", "e2e", "products", "*.json"))
                + glob.glob(os.path.join(ROOT, "examples", "models", "*.json")))


@pytest.mark.parametrize("path", MODELS, ids=[os.path.basename(p) for p in MODELS])
def test_every_product_sweeps_clean_at_its_bounds(path):
    r = run("check", args=[path, "--sweep", "--segments", "32"], timeout=300)
    assert (r.code, r.out) == (0, ""), r.out
    with open(path) as f:
        document = json.load(f)
    guarded = [o for o in document["objects"] if o.get("type") == "parameter"]
    # Every parameter says what it takes, so the sweep has something to try;
    # free text (a name to engrave) has no bounds to try.
    def free_text(value):
        return isinstance(value.get("value"), str) and not value["value"].startswith("=")
    assert guarded and all({"min", "max"} <= o["value"].keys() or "choices" in o["value"]
                           or free_text(o["value"]) for o in guarded), path


def test_jar_and_lid_export_as_two_closed_parts(tmp_path):
    out = tmp_path / "jar.3mf"
    r = run("export", args=[os.path.join(ROOT, "tests/e2e/products/screw_jar.json"), "-o",
                            str(out), "--parts", "--segments", "32"])
    assert r.code == 0, r.err
    model = Model3MF(package_bytes=out.read_bytes())
    assert [o.name for o in model.objects] == ["Jar", "Lid"]
    assert all(o.manifold_and_oriented and o.closed_by_index() for o in model.objects)
