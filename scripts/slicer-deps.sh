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

# The version whose command line (--info, --export-gcode) the tests were written against.
PRUSA_SLICER_VERSION=2.5.0+dfsg-4
packages=("prusa-slicer=$PRUSA_SLICER_VERSION" xvfb xauth)

if command -v prusa-slicer >/dev/null && command -v xvfb-run >/dev/null; then
  exit 0
fi

if [ "$(id -u)" = 0 ]; then
  as_root=()
elif command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
  as_root=(sudo -n)
else
  say "not root and no sudo; the slicer tests will be skipped"
  exit 0
fi

say "installing prusa-slicer and xvfb from Debian, first run only"
export DEBIAN_FRONTEND=noninteractive
if ! "${as_root[@]}" apt-get install -y -q --no-install-recommends "${packages[@]}" >&2; then
  "${as_root[@]}" apt-get update -q >&2 &&
    "${as_root[@]}" apt-get install -y -q --no-install-recommends "${packages[@]}" >&2 ||
    say "install failed (see $setup_log); the slicer tests will be skipped"
fi
exit 0
