#!/usr/bin/env bash
# Installs the slicer that the end-to-end tests hand our 3MF documents to
# (Debian's prusa-slicer, with xvfb-run for machines without a display), when
# it is missing. Optional: the tests that need it skip when it is absent, so
# a failed install warns and exits 0.
set -uo pipefail

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
  echo "slicer-deps: not root and no sudo; the slicer tests will be skipped" >&2
  exit 0
fi

echo "slicer-deps: installing prusa-slicer and xvfb from Debian" >&2
export DEBIAN_FRONTEND=noninteractive
if ! "${as_root[@]}" apt-get install -y -q --no-install-recommends "${packages[@]}" >&2; then
  "${as_root[@]}" apt-get update -q >&2 &&
    "${as_root[@]}" apt-get install -y -q --no-install-recommends "${packages[@]}" >&2 ||
    echo "slicer-deps: install failed; the slicer tests will be skipped" >&2
fi
exit 0
