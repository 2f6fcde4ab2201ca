#!/usr/bin/env bash
# Installs what tarvo-cli needs on a fresh Debian machine and builds the
# geometry library once into a cache keyed by the pinned versions.
#   Debian packages: compiler tool chain, nlohmann/json, GoogleTest, and the
#   file-format libraries (libpng, zlib with its minizip zip writer,
#   tinygltf), and nasm for ISA-L's compressor.
#   Python package index: the Manifold sources (manifold3d sdist), the
#   Clipper2 sources it needs for planar regions (carried by the pyclipr
#   sdist) and the ISA-L compression sources (carried by the isal sdist).
# Prints the install prefixes (a CMake list) on its last line.
set -euo pipefail

MANIFOLD_VERSION=3.5.4
MANIFOLD_URL=https://files.pythonhosted.org/packages/f3/0f/1f7e51a8f9a6f25e837159c5bf7c95a3ae948aa12e1c5fdeee0fd90ca5f9/manifold3d-${MANIFOLD_VERSION}.tar.gz
MANIFOLD_SHA256=5bd88c482c6fd7fc01aa7b715b3e31c2585ee98343d5559d286ba30db0d0b6f0
# pyclipr 0.1.8 carries Clipper2 2.0.1 under external/clipper2.
PYCLIPR_VERSION=0.1.8
PYCLIPR_URL=https://files.pythonhosted.org/packages/e3/96/c8049cfb9166c1f50d878535f2d1cdae1303e994dea7783a3f9075aa0679/pyclipr-${PYCLIPR_VERSION}.tar.gz
PYCLIPR_SHA256=ff8360330f827dc4801a57cd18d3bc925814b6a9a05f14be1e0f8f72cc27488f
# isal 1.9.1 carries ISA-L 2.32.1 under src/isal/isa-l.
ISAL_VERSION=1.9.1
ISAL_URL=https://files.pythonhosted.org/packages/16/43/6cf9c6b2e80f02fb7bd809ab91496cc4bd1f9145bd3a5a312a91d76af8be/isal-${ISAL_VERSION}.tar.gz
ISAL_SHA256=d210dca02a689ef2af709d2c62d2daac2e36b5d2fa06e6dc0d023c83fee77e91

root=$(cd "$(dirname "$0")/.." && pwd)
cache=${TARVO_DEPS_DIR:-$root/.deps}
key=manifold-${MANIFOLD_VERSION}-clipper2-pyclipr-${PYCLIPR_VERSION}
prefix=$cache/$key/prefix
isal_prefix=$cache/isa-l-from-isal-${ISAL_VERSION}/prefix

# The tools' output goes to out/setup.log; log() lines reach the terminal.
setup_name=deps
. "$root/scripts/setup-log.sh"
log() { say "$@"; }

# Debian packages: installed only when missing, so a prepared machine skips apt.
need_pkgs=()
for p in g++ cmake make ninja-build nlohmann-json3-dev libgtest-dev curl python3 \
  libpng-dev zlib1g-dev libminizip-dev libtinygltf-dev nasm; do
  dpkg -s "$p" >/dev/null 2>&1 || need_pkgs+=("$p")
done
if [ ${#need_pkgs[@]} -gt 0 ]; then
  log "installing Debian packages: ${need_pkgs[*]}, first run only"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq >&2
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${need_pkgs[@]}" >&2
fi


# fetch NAME URL SHA256 DEST: downloads from the package index and checks the pin.
fetch() {
  local name=$1 url=$2 sum=$3 dest=$4
  if [ ! -f "$dest" ] || ! echo "$sum  $dest" | sha256sum -c --status; then
    log "downloading $name"
    # pip's download is the fallback only where pip is installed (a fresh
    # Debian has none).
    curl -sSfL --retry 3 -o "$dest.part" "$url" >&2 ||
      { python3 -m pip --version >/dev/null 2>&1 &&
        python3 -m pip download --no-deps --no-binary :all: --no-build-isolation \
          -d "$(dirname "$dest")" "$name" >&2; } ||
      { log "cannot download $url"; exit 1; }
    [ -f "$dest.part" ] && mv "$dest.part" "$dest"
  fi
  echo "$sum  $dest" | sha256sum -c --status || {
    log "checksum mismatch for $dest"
    exit 1
  }
}

build_manifold() {
  work=$cache/$key/work
  rm -rf "$work"
  mkdir -p "$work" "$cache/downloads"
  fetch manifold3d==$MANIFOLD_VERSION "$MANIFOLD_URL" "$MANIFOLD_SHA256" \
    "$cache/downloads/manifold3d-${MANIFOLD_VERSION}.tar.gz"
  fetch pyclipr==$PYCLIPR_VERSION "$PYCLIPR_URL" "$PYCLIPR_SHA256" \
    "$cache/downloads/pyclipr-${PYCLIPR_VERSION}.tar.gz"
  tar -xzf "$cache/downloads/manifold3d-${MANIFOLD_VERSION}.tar.gz" -C "$work"
  tar -xzf "$cache/downloads/pyclipr-${PYCLIPR_VERSION}.tar.gz" -C "$work"

  jobs=$(nproc 2>/dev/null || echo 2)
  log "building the geometry library (Manifold $MANIFOLD_VERSION with Clipper2), first run only, about 3 minutes on two cores"
  cmake -S "$work/manifold3d-${MANIFOLD_VERSION}" -B "$work/build" -G Ninja \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_POSITION_INDEPENDENT_CODE=ON \
    -DCMAKE_CXX_FLAGS=-Wno-maybe-uninitialized \
    -DMANIFOLD_PYBIND=OFF -DMANIFOLD_CBIND=OFF -DMANIFOLD_TEST=OFF -DMANIFOLD_PAR=OFF \
    -DBUILD_SHARED_LIBS=OFF -DMANIFOLD_CROSS_SECTION=ON -DMANIFOLD_CROSS_SECTION_BACKEND=clipper2 \
    -DMANIFOLD_USE_BUILTIN_CLIPPER2=ON -DMANIFOLD_DOWNLOADS=ON \
    -DFETCHCONTENT_SOURCE_DIR_CLIPPER2="$work/pyclipr-${PYCLIPR_VERSION}/external/clipper2" \
    -DFETCHCONTENT_FULLY_DISCONNECTED=ON \
    -DCLIPPER2_UTILS=OFF -DCLIPPER2_EXAMPLES=OFF -DCLIPPER2_TESTS=OFF >&2
  cmake --build "$work/build" -j "$jobs" >&2
  cmake --install "$work/build" >&2
  rm -rf "$work"
  touch "$prefix/.done"
}

# ISA-L's deflate, as a static library.
build_isal() {
  local work=$cache/isa-l-from-isal-${ISAL_VERSION}/work
  rm -rf "$work"
  mkdir -p "$work" "$cache/downloads"
  fetch isal==$ISAL_VERSION "$ISAL_URL" "$ISAL_SHA256" "$cache/downloads/isal-${ISAL_VERSION}.tar.gz"
  tar -xzf "$cache/downloads/isal-${ISAL_VERSION}.tar.gz" -C "$work"
  log "building the compressor (ISA-L from isal $ISAL_VERSION), first run only, under a minute"
  cmake -S "$work/isal-${ISAL_VERSION}/src/isal/isa-l" -B "$work/build" -G Ninja \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$isal_prefix" \
    -DBUILD_SHARED_LIBS=OFF -DISAL_BUILD_TESTS=OFF -DISAL_BUILD_PERF_TESTS=OFF >&2
  cmake --build "$work/build" -j "$(nproc 2>/dev/null || echo 2)" >&2
  cmake --install "$work/build" >&2
  rm -rf "$work"
  touch "$isal_prefix/.done"
}

[ -f "$prefix/.done" ] || build_manifold
[ -f "$isal_prefix/.done" ] || build_isal
echo "$prefix;$isal_prefix"
