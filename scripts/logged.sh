#!/usr/bin/env bash
# logged.sh MESSAGE COMMAND [ARG]...: prints MESSAGE, runs COMMAND with its
# output in the set-up log (out/setup.log), and shows that output and exits
# with COMMAND's status when it fails. The Makefile's configure and build
# steps run through it so that a first run prints a few lines, not hundreds.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
setup_name=setup
. "$root/scripts/setup-log.sh"
say "$1"
shift
"$@" >&2
