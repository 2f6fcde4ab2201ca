"""Our 3MF documents handed to a real slicer's command line, which must take
them as they are: no open edges to repair, and G-code out.

The slicer is optional (scripts/slicer-deps.sh installs it where it can);
without it these tests are skipped with the reason.
"""
import os
import re
import shutil
import subprocess

import pytest

from read_3mf import package
from tarvo import doc, run
from test_threemf import PLATE, TWO_COLOURS, cube

SLICER = shutil.which("prusa-slicer")
pytestmark = pytest.mark.skipif(
    SLICER is None, reason="prusa-slicer is not installed (scripts/slicer-deps.sh installs it)")

DOCUMENTS = {
    "coloured plate minus a hole": ("build_xml", {"jsonStr": doc(*PLATE), "vid": "m"}),
    "several parts, one of two colours": (
        "multi_xml", {"partsJson": doc(*TWO_COLOURS, *PLATE, cube("g", 4, move={"x": 50})),
                      "parts": [["g", "green", ""], ["u", "mixed", ""], ["m", "plate", ""]]}),
}


def slicer(args, cwd):
    """Runs the slicer, again under a virtual display if it fails without one."""
    argv = [SLICER, "--loglevel", "1"] + args
    done = subprocess.run(argv, cwd=cwd, capture_output=True, text=True, timeout=300)
    if done.returncode != 0 and not os.environ.get("DISPLAY") and shutil.which("xvfb-run"):
        done = subprocess.run(["xvfb-run", "-a"] + argv, cwd=cwd, capture_output=True, text=True,
                              timeout=300)
    return done


@pytest.mark.parametrize("case", DOCUMENTS)
def test_slicer_finds_no_open_edges_and_slices(case, tmp_path):
    op, request = DOCUMENTS[case]
    r = run(op, request)
    assert (r.code, r.err) == (0, ""), r.err
    (tmp_path / "model.3mf").write_bytes(package(r.json()["xml"]))

    info = slicer(["--info", "model.3mf"], tmp_path)
    assert info.returncode == 0, info.stderr
    reports = re.findall(r"^manifold = (\w+)$", info.stdout, re.M)
    assert reports and set(reports) == {"yes"}, info.stdout
    assert not re.search(r"^open_edges = [1-9]", info.stdout, re.M), info.stdout

    gcode = slicer(["--export-gcode", "--output", "model.gcode", "model.3mf"], tmp_path)
    assert gcode.returncode == 0, gcode.stderr
    assert (tmp_path / "model.gcode").stat().st_size > 0
