#!/usr/bin/env bash
# Installs the slicer that the end-to-end tests hand our 3MF documents to
# (Debian's prusa-slicer, with xvfb-run for machines without a display), when
# it is missing. Optional: the tests that need it skip when it is absent, so
# a failed install warns and exits 0.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# The tools' output goes to out/setup.log; say() lines reach the terminal.
setup_name=slicer-deps
. "$root/scripts/setup-log.sh"
. "$root/scripts/optional-packages.sh"

# The version whose command line (--info, --export-gcode) the tests were written against.
PRUSA_SLICER_VERSION=2.5.0+dfsg-4
packages=("prusa-slicer=$PRUSA_SLICER_VERSION" xvfb xauth)

if command -v prusa-slicer >/dev/null && command -v xvfb-run >/dev/null; then
  exit 0
fi

install_optional "the slicer tests" "prusa-slicer and xvfb" "${packages[@]}"
exit 0
