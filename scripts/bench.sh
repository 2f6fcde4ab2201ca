#!/usr/bin/env bash
# Builds the benchmark programs in build-bench (Release) and runs every
# benchmark: model wall times against the direct library calls, probe
# start-up, and the output-path throughput. Prints a table; the figures are
# also kept in bench/out/results.json; the text and photo reliefs beside a
# peer program (bench/peers.py) in bench/out/peers/peers.json.
#   scripts/bench.sh [--runs N] [--only MODEL...]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-bench
prefix=$("$root/scripts/deps.sh")
if [ ! -f "$build/build.ninja" ] || [ "$root/scripts/deps.sh" -nt "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARVO_BENCH=ON -DTARVO_UNITY=ON \
    -DTARVO_TESTS=OFF -DCMAKE_PREFIX_PATH="$prefix" >&2
fi
jobs=$(nproc 2>/dev/null || echo 2)
cmake --build "$build" -j "$jobs" --target tarvo-cli tarvo_bench_direct tarvo_bench_throughput \
  tarvo_bench_make_photo tarvo_bench_library_floor >&2
# The library's Python binding, for its figures beside ours; installed again
# only when the pinned list changes.
bench_py=${TARVO_DEPS_DIR:-$root/.deps}/bench-py
want=$(sha256sum "$root/scripts/bench-requirements.txt" | cut -d' ' -f1)
if [ ! -f "$bench_py/.requirements.sha256" ] || [ "$(cat "$bench_py/.requirements.sha256")" != "$want" ]; then
  echo "bench: installing the pinned manifold3d into $bench_py" >&2
  rm -rf "$bench_py"
  if python3 -m pip install -q --require-hashes --no-deps --only-binary=:all: \
      --target "$bench_py" -r "$root/scripts/bench-requirements.txt" >&2; then
    echo "$want" >"$bench_py/.requirements.sha256"
  else
    echo "bench: manifold3d could not be installed; its figures are left out" >&2
  fi
fi
export TARVO_BENCH_PY=$bench_py
# The peer program for the text and photo reliefs' figures beside ours.
"$root/scripts/peer-deps.sh"
exec python3 "$root/bench/run.py" --bin "$build" "$@"
