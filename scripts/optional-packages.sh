# Sourced by the set-up scripts of optional tools (after setup-log.sh).
# install_optional USE WHAT PACKAGE...: installs Debian packages as root or
# through sudo, updating the package lists once when the first try fails.
# Without root and sudo, or when the install fails, says that USE will be
# skipped and returns 0: whatever needs the tools checks for them itself.
install_optional() {
  local use=$1 what=$2
  shift 2
  local as_root=()
  if [ "$(id -u)" != 0 ]; then
    if command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
      as_root=(sudo -n)
    else
      say "not root and no sudo; $use will be skipped"
      return 0
    fi
  fi
  say "installing $what from Debian, first run only"
  export DEBIAN_FRONTEND=noninteractive
  if ! "${as_root[@]}" apt-get install -y -q --no-install-recommends "$@" >&2; then
    "${as_root[@]}" apt-get update -q >&2 &&
      "${as_root[@]}" apt-get install -y -q --no-install-recommends "$@" >&2 ||
      say "install failed (see $setup_log); $use will be skipped"
  fi
  return 0
}
