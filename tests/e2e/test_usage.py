"""The program's usage: every help form answers at once without reading standard
input, and names every operation and command."""
import os
import subprocess

import pytest

from tarvo import CLI

OPERATIONS = ["probe", "build", "build_xml", "multi_xml", "cross_section", "export", "check"]


def run_with_open_stdin(args):
    """Runs tarvo-cli with a standard input that never ends: a program that reads
    it would wait until the timeout."""
    read_end, write_end = os.pipe()
    try:
        proc = subprocess.run([CLI] + args, stdin=read_end, capture_output=True, timeout=20)
    finally:
        os.close(read_end)
        os.close(write_end)
    return proc.returncode, proc.stdout.decode(), proc.stderr.decode()


@pytest.mark.parametrize("form", ["--help", "-h", "help"])
def test_help_forms_print_the_usage_of_everything_without_reading_input(form):
    code, out, err = run_with_open_stdin([form])
    assert (code, err) == (0, "")
    assert out.startswith("usage: tarvo-cli <op> (probe|build|build_xml|multi_xml|cross_section)\n")
    listed = [line.split()[0] for line in out.splitlines() if line.startswith("  ")]
    assert set(OPERATIONS) <= set(listed), listed


def test_bare_call_prints_the_same_usage_as_an_error():
    code, out, err = run_with_open_stdin([])
    assert (code, out) == (2, "")
    assert err == run_with_open_stdin(["--help"])[1]


@pytest.mark.parametrize("command, first", [
    ("export", "usage: tarvo-cli export MODEL.json"),
    ("check", "usage: tarvo-cli check MODEL.json"),
])
def test_commands_keep_their_own_help(command, first):
    code, out, err = run_with_open_stdin([command, "--help"])
    assert (code, err) == (0, "") and out.startswith(first)
