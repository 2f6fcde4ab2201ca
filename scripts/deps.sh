#!/usr/bin/env bash
# Installs what tarvo-cli needs on a fresh Debian machine and builds the
# geometry library once into a cache keyed by the pinned versions.
#   Debian packages: compiler tool chain, nlohmann/json, GoogleTest, and the
#   file-format libraries (libpng, zlib with its minizip zip writer,
#   tinygltf), and nasm for ISA-L's compressor.
#   Python package index: the Manifold sources (manifold3d sdist), the
#   Clipper2 sources it needs for planar regions (carried by the pyclipr
#   sdist), the ISA-L compression sources (carried by the isal sdist) and
#   the HarfBuzz text shaper (carried by the uharfbuzz sdist; Debian ships
#   no static archive of it).
#   Fonts: a pinned set of open fonts taken from Debian's font packages
#   (each package checked against its SHA-256, each font file against
#   scripts/fonts.sha256), so a text builds to the same bytes everywhere.
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
# uharfbuzz 0.57.0 carries HarfBuzz 15.0.0 under harfbuzz/.
UHARFBUZZ_VERSION=0.57.0
UHARFBUZZ_URL=https://files.pythonhosted.org/packages/e6/48/0b293baafb87b5ccfec082f427fb1e81ce4d27098a8b2ac8db6c76e07e65/uharfbuzz-${UHARFBUZZ_VERSION}.tar.gz
UHARFBUZZ_SHA256=55136df18a9dd09fec36d1ceb77965f3108de6d86c338b3825feedb0730d84b7
# Font packages: name, version, SHA-256 of the .deb.
FONT_DEBS=(
  "fonts-dejavu-core 2.37-6 8892669e51aab4dc56682c8e39d8ddb7d70fad83c369344e1e240bf3ca22bb76"
  "fonts-dejavu-extra 2.37-6 6cb7ed32de6df209c065e9e5cc5154a2f36d4c334d9a0af534fabb67d38ab75b"
  "fonts-liberation2 2.1.5-1 35ffaa54f117e633e89a5da89af235a073b34dbe582726fbf6989568f7fd9bda"
  "fonts-noto-core 20201225-1 58f4f0bb6720f919f92096b3508e1412a0f1544424ade6c5b5bf1eb694dd64ba"
)

root=$(cd "$(dirname "$0")/.." && pwd)
cache=${TARVO_DEPS_DIR:-$root/.deps}
key=manifold-${MANIFOLD_VERSION}-clipper2-pyclipr-${PYCLIPR_VERSION}
prefix=$cache/$key/prefix
isal_prefix=$cache/isa-l-from-isal-${ISAL_VERSION}/prefix
hb_prefix=$cache/harfbuzz-from-uharfbuzz-${UHARFBUZZ_VERSION}/prefix
# The font set is keyed by the list of files and their checksums.
fonts_key=fonts-$(sha256sum "$root/scripts/fonts.sha256" | cut -c1-16)
fonts_prefix=$cache/$fonts_key/prefix

# The tools' output goes to out/setup.log; log() lines reach the terminal.
setup_name=deps
. "$root/scripts/setup-log.sh"
log() { say "$@"; }

# Debian packages: installed only when missing, so a prepared machine skips apt.
need_pkgs=()
for p in g++ cmake make ninja-build nlohmann-json3-dev libgtest-dev curl python3 \
  libpng-dev zlib1g-dev libminizip-dev libtinygltf-dev nasm \
  libfreetype-dev libbrotli-dev libjpeg62-turbo-dev; do
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

# HarfBuzz alone (no FreeType, GLib or ICU: it reads the font file itself and
# uses its own Unicode tables), as a static library.
build_harfbuzz() {
  local work=$cache/harfbuzz-from-uharfbuzz-${UHARFBUZZ_VERSION}/work
  rm -rf "$work"
  mkdir -p "$work" "$cache/downloads"
  fetch uharfbuzz==$UHARFBUZZ_VERSION "$UHARFBUZZ_URL" "$UHARFBUZZ_SHA256" \
    "$cache/downloads/uharfbuzz-${UHARFBUZZ_VERSION}.tar.gz"
  tar -xzf "$cache/downloads/uharfbuzz-${UHARFBUZZ_VERSION}.tar.gz" -C "$work" \
    "uharfbuzz-${UHARFBUZZ_VERSION}/harfbuzz"
  log "building HarfBuzz from uharfbuzz $UHARFBUZZ_VERSION, first run only, a minute or two"
  cmake -S "$work/uharfbuzz-${UHARFBUZZ_VERSION}/harfbuzz" -B "$work/build" -G Ninja \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$hb_prefix" \
    -DBUILD_SHARED_LIBS=OFF -DHB_HAVE_FREETYPE=OFF -DHB_HAVE_GLIB=OFF -DHB_HAVE_ICU=OFF \
    -DHB_HAVE_GOBJECT=OFF -DHB_HAVE_CAIRO=OFF -DHB_HAVE_GRAPHITE2=OFF -DHB_BUILD_UTILS=OFF \
    -DHB_BUILD_SUBSET=OFF -DHB_BUILD_RASTER=OFF -DHB_BUILD_VECTOR=OFF -DHB_BUILD_GPU=OFF >&2
  cmake --build "$work/build" -j "$(nproc 2>/dev/null || echo 2)" >&2
  cmake --install "$work/build" >&2
  rm -rf "$work"
  touch "$hb_prefix/.done"
}

# The fonts: each package fetched with apt at its pinned version, checked,
# unpacked, and only the files listed in scripts/fonts.sha256 kept.
install_fonts() {
  local work=$cache/$fonts_key/work dir=$fonts_prefix/share/tarvo-fonts
  rm -rf "$work" "$fonts_prefix"
  mkdir -p "$work" "$dir"
  local entry name version sum deb
  for entry in "${FONT_DEBS[@]}"; do
    read -r name version sum <<<"$entry"
    deb=$cache/downloads/${name}_${version}_all.deb
    if [ ! -f "$deb" ] || ! echo "$sum  $deb" | sha256sum -c --status; then
      log "downloading $name $version"
      (cd "$work" && apt-get download -q "$name=$version" >&2 2>/dev/null ||
        { apt-get update -qq >&2 && apt-get download -q "$name=$version" >&2; })
      mv "$work/${name}_${version}_all.deb" "$deb"
    fi
    echo "$sum  $deb" | sha256sum -c --status || {
      log "checksum mismatch for $deb"
      exit 1
    }
    dpkg-deb -x "$deb" "$work/root"
  done
  local file
  while read -r sum file; do
    [ -n "$file" ] || continue
    found=$(find "$work/root/usr/share/fonts" -name "$file" -print -quit)
    [ -n "$found" ] || { log "font $file missing from the packages"; exit 1; }
    cp "$found" "$dir/$file"
  done <"$root/scripts/fonts.sha256"
  (cd "$dir" && sha256sum -c --quiet "$root/scripts/fonts.sha256") >&2 || {
    log "font checksums differ"
    exit 1
  }
  rm -rf "$work"
  touch "$fonts_prefix/.done"
}

[ -f "$prefix/.done" ] || build_manifold
[ -f "$isal_prefix/.done" ] || build_isal
[ -f "$hb_prefix/.done" ] || build_harfbuzz
[ -f "$fonts_prefix/.done" ] || install_fonts
echo "$prefix;$isal_prefix;$hb_prefix;$fonts_prefix"
