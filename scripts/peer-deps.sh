#!/usr/bin/env bash
# Installs the peer program whose figures the benchmark prints beside ours
# for the text and photo reliefs (Debian's openscad), and djpeg, which turns
# the benchmark's JPEG into the grey pictures the peer reads, when missing.
# Optional: bench/peers.py skips the peer figures when it is absent, so a
# failed install warns and exits 0. Not part of the tests.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# The tools' output goes to out/setup.log; say() lines reach the terminal.
setup_name=peer-deps
. "$root/scripts/setup-log.sh"
. "$root/scripts/optional-packages.sh"

# The release whose text() and surface() the figures in docs/performance.md
# were taken with; apt checks the package against the signed archive.
OPENSCAD_VERSION=2021.01-6
JPEG_PROGS_VERSION=1:2.1.5-2
packages=("openscad=$OPENSCAD_VERSION" "libjpeg-turbo-progs=$JPEG_PROGS_VERSION")

if command -v openscad >/dev/null && command -v djpeg >/dev/null; then
  exit 0
fi

install_optional "the peer figures" "openscad $OPENSCAD_VERSION and djpeg" "${packages[@]}"
exit 0
