#!/usr/bin/env bash
# Installs the Python packages that only the end-to-end tests need (pytest, the 3MF
# reference reader) into .deps/py, pinned by hash. The tests add that folder
# to their import path. Prints the folder on its last line.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cache=${TARVO_DEPS_DIR:-$root/.deps}
requirements=$root/scripts/test-requirements.txt
target=$cache/py
stamp=$target/.requirements.sha256
want=$(sha256sum "$requirements" | cut -d' ' -f1)

if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ]; then
  echo "$target"
  exit 0
fi

echo "test-deps: installing $(grep -c '^[a-z]' "$requirements") pinned Python package(s) into $target" >&2
rm -rf "$target"
mkdir -p "$target"
python3 -m pip install -q --disable-pip-version-check --root-user-action=ignore --no-deps --require-hashes \
  --only-binary :all: \
  --target "$target" -r "$requirements" >&2
echo "$want" >"$stamp"
echo "$target"
