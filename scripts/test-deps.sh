#!/usr/bin/env bash
# Installs what only the end-to-end tests need: the Python packages (pytest,
# the 3MF reference reader) into .deps/py, pinned by hash, and the npm packages
# (the Khronos glTF validator) into .deps/node, pinned by tests/e2e/gltf's
# package-lock.json. The tests find both folders there. Prints the Python
# folder on its last line.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cache=${TARVO_DEPS_DIR:-$root/.deps}
# The tools' output goes to out/setup.log; say() lines reach the terminal.
setup_name=test-deps
. "$root/scripts/setup-log.sh"

# need_debian PACKAGE...: installs the Debian packages that are missing.
need_debian() {
  local missing=()
  for p in "$@"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
  [ ${#missing[@]} -eq 0 ] && return 0
  say "installing Debian packages: ${missing[*]}, first run only"
  local sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get -o DPkg::Lock::Timeout=600 update -qq >&2
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get -o DPkg::Lock::Timeout=600 \
    install -y -qq "${missing[@]}" >&2
}

# npm packages: installed again only when the lock file changes.
node_dir=$cache/node
node_stamp=$node_dir/.package-lock.sha256
node_want=$(sha256sum "$root/tests/e2e/gltf/package-lock.json" | cut -d' ' -f1)
if [ ! -f "$node_stamp" ] || [ "$(cat "$node_stamp")" != "$node_want" ]; then
  command -v npm >/dev/null 2>&1 || need_debian nodejs npm
  say "installing the pinned npm package(s) into $node_dir"
  rm -rf "$node_dir"
  mkdir -p "$node_dir"
  cp "$root/tests/e2e/gltf/package.json" "$root/tests/e2e/gltf/package-lock.json" "$node_dir/"
  (cd "$node_dir" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error >&2)
  echo "$node_want" >"$node_stamp"
fi
requirements=$root/scripts/test-requirements.txt
target=$cache/py
stamp=$target/.requirements.sha256
want=$(sha256sum "$requirements" | cut -d' ' -f1)

if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ]; then
  echo "$target"
  exit 0
fi

# A fresh Debian has Python without pip.
python3 -m pip --version >/dev/null 2>&1 || need_debian python3-pip
say "installing $(grep -c '^[a-z]' "$requirements") pinned Python package(s) into $target"
rm -rf "$target"
mkdir -p "$target"
python3 -m pip install -q --disable-pip-version-check --root-user-action=ignore --no-deps --require-hashes \
  --only-binary :all: \
  --target "$target" -r "$requirements" >&2
echo "$want" >"$stamp"
echo "$target"
