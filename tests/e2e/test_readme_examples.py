"""Every command example in README.md and docs/*.md runs and prints what the
text says, so that figures shown there cannot go stale.

An example is a fenced block marked `console`: each line starting with "$ " is
a command, run with bash from the repository's folder, and the lines up to the
next command are its output (standard output and standard error together).
In an output line "..." stands for any text; a line that is only "..." stands
for any number of lines; a last line "[exit N]" gives the exit status
(0 otherwise). Blocks marked `console not-run` are shown, not run. Any other
fenced block holding a "$ " line is an error, so that no example goes unrun
by being written without the mark."""
import glob
import os
import re
import shlex
import subprocess

import pytest

from tarvo import CLI

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "../.."))
FENCE = re.compile(r"^```(.*)$")


def documents():
    return [os.path.join(ROOT, "README.md")] + sorted(glob.glob(os.path.join(ROOT, "docs", "*.md")))


def blocks(path):
    """Yields (first line number, info string, lines) of each fenced block."""
    with open(path) as f:
        lines = f.read().split("\n")
    i = 0
    while i < len(lines):
        m = FENCE.match(lines[i])
        if not m:
            i += 1
            continue
        start, info = i + 1, m.group(1).strip()
        i += 1
        body = []
        while i < len(lines) and not lines[i].startswith("```"):
            body.append(lines[i])
            i += 1
        i += 1
        yield start, info, body


def examples():
    """Yields (id, command, expected lines, expected exit status) of every example."""
    found = []
    for path in documents():
        name = os.path.relpath(path, ROOT)
        for start, info, body in blocks(path):
            words = info.split()
            has_commands = any(line.startswith("$ ") for line in body)
            if words[:1] != ["console"]:
                assert not has_commands, (
                    "%s:%d: a block with commands must be marked console (or console not-run)"
                    % (name, start))
                continue
            if "not-run" in words:
                continue
            command, expected, line_no = None, [], start
            for offset, line in enumerate(body + ["$ "]):
                if line.startswith("$ "):
                    if command is not None:
                        found.append(("%s:%d" % (name, line_no), command, expected))
                    command, expected, line_no = line[2:], [], start + 1 + offset
                else:
                    assert command is not None, "%s:%d: output before a command" % (name, start)
                    expected.append(line)
    for ident, command, expected in found:
        while expected and expected[-1] == "":
            expected.pop()
        status = 0
        if expected and re.fullmatch(r"\[exit \d+\]", expected[-1]):
            status = int(expected.pop()[6:-1])
        yield pytest.param(command, expected, status, id=ident)


def line_pattern(line):
    return re.compile(".*?".join(re.escape(piece) for piece in line.split("...")), re.S)


def matches(expected, actual):
    """True when the actual lines fit the expected ones, with "..." as elision."""
    if not expected:
        return not actual
    if expected[0] == "...":
        return any(matches(expected[1:], actual[i:]) for i in range(len(actual) + 1))
    return (bool(actual) and line_pattern(expected[0]).fullmatch(actual[0]) is not None
            and matches(expected[1:], actual[1:]))


EXAMPLES = list(examples())


def test_the_documents_hold_examples():
    assert len(EXAMPLES) >= 10


@pytest.mark.parametrize("command, expected, status", EXAMPLES)
def test_example_prints_what_the_text_shows(command, expected, status):
    os.makedirs(os.path.join(ROOT, "out"), exist_ok=True)
    # The text names the binary as built by make; the tests run the one under test.
    command = re.sub(r"(?<![\w/.-])build/tarvo-cli\b", shlex.quote(CLI), command)
    proc = subprocess.run(["bash", "-c", command], cwd=ROOT, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, timeout=120)
    actual = proc.stdout.decode("utf-8", "replace").split("\n")
    while actual and actual[-1] == "":
        actual.pop()
    assert proc.returncode == status, "\n".join(actual)
    assert matches(expected, actual), "expected:\n%s\nprinted:\n%s" % (
        "\n".join(expected), "\n".join(actual))
