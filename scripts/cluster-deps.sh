#!/usr/bin/env bash
# Installs what the configurator cluster and its tests need from Debian when
# missing: redis-server (the shared result cache) and nginx (the load balancer).
# The packages' own services are not used: the tests and `make serve-cluster`
# start their own instances on loopback ports with configurations of their own.
set -euo pipefail

log() { echo "cluster-deps: $*" >&2; }
missing=()
for p in redis-server nginx; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  log "installing Debian packages: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get -o DPkg::Lock::Timeout=600 update -qq >&2
  # policy-rc.d is not touched: where a service manager runs, the packaged
  # services may start on their default ports; ours never use those.
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get -o DPkg::Lock::Timeout=600 \
    install -y -qq --no-install-recommends "${missing[@]}" >&2
fi
command -v redis-server >/dev/null && [ -x /usr/sbin/nginx ] || { log "redis-server or nginx missing"; exit 1; }
echo "redis-server=$(command -v redis-server) nginx=/usr/sbin/nginx"
