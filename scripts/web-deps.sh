#!/usr/bin/env bash
# Installs what the configurator server and page need: the server's Python
# packages (web/requirements.txt, pinned by hash) into .deps/web-py and three.js
# with the browser driver (web/package-lock.json) into web/node_modules.
# With --browser it also installs Debian's chromium when missing (the page test).
# Prints the Python package folder on its last line.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cache=${TARVO_DEPS_DIR:-$root/.deps}
# The tools' output goes to out/setup.log; log() lines reach the terminal.
setup_name=web-deps
. "$root/scripts/setup-log.sh"
log() { say "$@"; }

# need_debian PACKAGE...: installs the Debian packages that are missing.
need_debian() {
  local missing=()
  for p in "$@"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
  [ ${#missing[@]} -eq 0 ] && return 0
  log "installing Debian packages: ${missing[*]}, first run only"
  local sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get -o DPkg::Lock::Timeout=600 update -qq >&2
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get -o DPkg::Lock::Timeout=600 \
    install -y -qq "${missing[@]}" >&2
}

need_debian python3
# A fresh Debian has Python without pip.
python3 -m pip --version >/dev/null 2>&1 || need_debian python3-pip
# Node.js and npm come with the machine; Debian's own packages fill in where not.
command -v npm >/dev/null 2>&1 || need_debian nodejs npm
if [ "${1:-}" = "--browser" ]; then
  need_debian chromium
fi

# Python packages, installed once per pinned list into a folder named by the
# list's hash; web-py is a link to the current one, replaced in one step, so
# that servers running from another list keep their packages meanwhile.
target=$cache/web-py
requirements=$root/web/requirements.txt
want=$(sha256sum "$requirements" | cut -d' ' -f1)
versioned=$cache/web-py-${want:0:16}
if [ ! -f "$versioned/.requirements.sha256" ] || [ "$(cat "$versioned/.requirements.sha256")" != "$want" ]; then
  log "installing the server's pinned Python packages into $versioned"
  rm -rf "$versioned" "$versioned.tmp"
  mkdir -p "$versioned.tmp"
  python3 -m pip install -q --disable-pip-version-check --root-user-action=ignore --no-deps \
    --require-hashes --only-binary :all: --target "$versioned.tmp" -r "$requirements" >&2
  echo "$want" >"$versioned.tmp/.requirements.sha256"
  mv "$versioned.tmp" "$versioned"
fi
if [ "$(readlink "$target" 2>/dev/null)" != "${versioned##*/}" ]; then
  if [ -d "$target" ] && [ ! -L "$target" ]; then rm -rf "$target"; fi
  ln -sfn "${versioned##*/}" "$target.new"
  mv -T "$target.new" "$target"
fi

# npm packages exactly as locked (integrity hashes in the lock file).
lock=$root/web/package-lock.json
stamp=$root/web/node_modules/.lock.sha256
want=$(sha256sum "$lock" | cut -d' ' -f1)
if [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$want" ]; then
  log "installing the page's pinned npm packages into web/node_modules"
  (cd "$root/web" && npm ci --no-audit --no-fund --loglevel=error >&2)
  echo "$want" >"$stamp"
fi

echo "$target"
