#!/usr/bin/env bash
# fresh-machine-check.sh [DIR]: runs the README's two commands on a truly
# fresh Debian 12. Makes a minimal root with mmdebstrap (variant minbase, with
# only make and git added, and this machine's CA bundle and resolver copied
# in), copies a clean clone of this repository's HEAD into it, and runs
# `make demo` and then `make test` inside it as root (chroot, with /proc,
# /dev, /dev/pts and /sys bound). Prints both times; the whole output is in
# DIR/check.log. Needs root; takes half an hour or more on two cores.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-/tmp/tarvo-fresh-machine}
rootfs=$dir/root
logfile=$dir/check.log

[ "$(id -u)" -eq 0 ] || { echo "fresh-machine-check: needs root (mmdebstrap, chroot, mount)" >&2; exit 2; }
if ! command -v mmdebstrap >/dev/null; then
  echo "fresh-machine-check: installing mmdebstrap from Debian" >&2
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq mmdebstrap >&2
fi

# Mounts are slaves of the host's, so unmounting them here leaves the host's alone.
unmount_all() {
  for m in sys dev/pts dev proc; do
    mountpoint -q "$rootfs/$m" && umount -R "$rootfs/$m" || true
  done
}
trap unmount_all EXIT

unmount_all
rm -rf "$dir"
mkdir -p "$dir"
echo "fresh-machine-check: making a minimal Debian 12 in $rootfs (log: $logfile)"
mmdebstrap --variant=minbase --include=make,git bookworm "$rootfs" \
  "deb http://deb.debian.org/debian bookworm main" \
  "deb http://deb.debian.org/debian bookworm-updates main" \
  "deb http://deb.debian.org/debian-security bookworm-security main" >>"$logfile" 2>&1
# The network may need this machine's own certificate authorities: the bundle
# serves until Debian's ca-certificates is installed, which then keeps the
# local ones it finds in /usr/local/share/ca-certificates.
mkdir -p "$rootfs/etc/ssl/certs" "$rootfs/usr/local/share/ca-certificates"
cp -L /etc/ssl/certs/ca-certificates.crt "$rootfs/etc/ssl/certs/ca-certificates.crt"
for cert in /usr/local/share/ca-certificates/*.crt; do
  [ -f "$cert" ] && cp -L "$cert" "$rootfs/usr/local/share/ca-certificates/"
done
cp -L /etc/resolv.conf "$rootfs/etc/resolv.conf"
git clone -q --no-local "$repo" "$rootfs/src/tarvo"
echo "fresh-machine-check: cloned $(git -C "$repo" rev-parse --short HEAD) into /src/tarvo"

mount -t proc proc "$rootfs/proc"
mount --rbind /dev "$rootfs/dev" && mount --make-rslave "$rootfs/dev"
mountpoint -q "$rootfs/dev/pts" || mount --bind /dev/pts "$rootfs/dev/pts"
mount --rbind /sys "$rootfs/sys" && mount --make-rslave "$rootfs/sys"

# run_timed NAME: runs `make NAME` in the clone; prints its time and output's end.
run_timed() {
  local start end status=0
  start=$(date +%s)
  chroot "$rootfs" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
    bash -c "cd /src/tarvo && make $1" >"$dir/$1.out" 2>&1 || status=$?
  end=$(date +%s)
  cat "$dir/$1.out" >>"$logfile"
  echo "fresh-machine-check: make $1: exit $status, $((end - start)) s; its last lines:"
  tail -n 12 "$dir/$1.out" | sed 's/^/  /'
  return "$status"
}

run_timed demo
run_timed test
echo "fresh-machine-check: passed"
