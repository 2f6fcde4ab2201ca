#!/usr/bin/env bash
# Builds the fuzzers (clang, libFuzzer, AddressSanitizer, UBSan) in build-fuzz
# and runs one for N seconds (default 60): "bytes" mutates request bytes
# (request_fuzzer, corpus in build-fuzz/corpus), "models" generates model
# documents from the bytes (model_fuzzer, corpus in build-fuzz/corpus-models).
# Each input has 10 s and 4 GiB (resident and per allocation; the sanitizer's
# shadow memory rules out an address-space limit). Findings (crash-*,
# timeout-*, oom-*) land in build-fuzz/findings; the summary lists them.
#   scripts/fuzz.sh [SECONDS] [bytes|models]
set -euo pipefail

seconds=${1:-60}
mode=${2:-bytes}
case $mode in
  bytes) target=request_fuzzer corpus_name=corpus ;;
  models) target=model_fuzzer corpus_name=corpus-models ;;
  *) echo "usage: scripts/fuzz.sh [SECONDS] [bytes|models]" >&2; exit 2 ;;
esac
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-fuzz
log() { echo "fuzz: $*" >&2; }

# clang and its fuzzer runtime come from Debian; install them when missing.
pick_clang() {
  for v in clang++ clang++-14 clang++-15 clang++-16; do
    if command -v "$v" >/dev/null; then
      echo "$v"
      return
    fi
  done
}
cxx=$(pick_clang)
if [ -z "$cxx" ] || ! dpkg -s libclang-rt-14-dev >/dev/null 2>&1; then
  log "installing clang-14 and libclang-rt-14-dev"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq >&2
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq clang-14 libclang-rt-14-dev >&2
  cxx=$(pick_clang)
fi
cc=${cxx/clang++/clang}

prefix=$("$root/scripts/deps.sh")
if [ ! -f "$build/build.ninja" ] || [ "$root/scripts/deps.sh" -nt "$build/build.ninja" ]; then
  CC=$cc CXX=$cxx cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTARVO_FUZZ=ON -DTARVO_TESTS=OFF -DCMAKE_PREFIX_PATH="$prefix" >&2
fi
jobs=$(nproc 2>/dev/null || echo 2)
nice -n 10 cmake --build "$build" -j "$jobs" --target request_fuzzer model_fuzzer >&2

corpus=$build/$corpus_name
findings=$build/findings
mkdir -p "$corpus" "$findings"
seeds=$build/seeds
rm -rf "$seeds"
mkdir -p "$seeds"
# The generator needs no seeds: any bytes make a document.
[ "$mode" = bytes ] && python3 "$root/tests/fuzz/make_corpus.py" "$seeds" >&2

log "running $target for ${seconds}s"
start=$(date +%s)
set +e
# One forked worker keeps going after a finding, so a run reports all it
# finds; close_fd_mask=1 silences the STL reader's log lines (they are standard output).
ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1 \
  nice -n 10 "$build/tests/fuzz/$target" "$corpus" "$seeds" \
  -dict="$root/tests/fuzz/tarvo.dict" -max_total_time="$seconds" -timeout=10 \
  -rss_limit_mb=4096 -malloc_limit_mb=4096 -max_len=65536 -close_fd_mask=1 -print_final_stats=1 \
  -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
  -artifact_prefix="$findings/" >"$build/last-run.log" 2>&1
status=$?
set -e
elapsed=$(( $(date +%s) - start ))
echo "$elapsed $mode" >>"$build/seconds.log"
total=$(awk '{s += $1} END {print s}' "$build/seconds.log")

echo "fuzz summary"
echo "  this run:      ${elapsed}s, exit status $status"
echo "  all runs:      ${total}s in build-fuzz"
grep -E "^stat::number_of_executed_units|^stat::peak_rss_mb" "$build/last-run.log" | sed 's/^/  /' || true
grep -E "^#[0-9]+: cov: [0-9]+" "$build/last-run.log" | tail -1 | sed 's/^/  last: /' || true
echo "  corpus:        $(ls "$corpus" | wc -l) inputs"
# The machine is shared: a timeout found while it was busy may be load, not
# a hang. Each timeout (and slow unit) is run once more alone, with two
# minutes to finish: one that finishes within the 10 s is moved to
# findings/unreproduced, one that takes longer to findings/slow (heavy work
# under the sanitizers, to be timed in a release build), and one that does
# not finish stays a finding.
for f in "$findings"/timeout-* "$findings"/slow-unit-*; do
  [ -e "$f" ] || continue
  if ASAN_OPTIONS=detect_leaks=0 nice -n 10 timeout 120 "$build/tests/fuzz/$target" \
    -rss_limit_mb=4096 -malloc_limit_mb=4096 -close_fd_mask=1 "$f" >"$build/rerun.log" 2>&1; then
    ms=$(grep -o 'in [0-9]* ms' "$build/rerun.log" | grep -o '[0-9]*')
    place=unreproduced
    [ "${ms:-0}" -gt 10000 ] && place=slow
    mkdir -p "$findings/$place"
    mv "$f" "$findings/$place/"
    echo "  $(basename "$f"): finishes alone in ${ms} ms (moved to findings/$place)"
  fi
done
n=$(find "$findings" -maxdepth 1 -type f | wc -l)
echo "  findings:      $n (in build-fuzz/findings)"
find "$findings" -maxdepth 1 -type f -printf '    %f\n'
if [ "$status" -ne 0 ]; then
  grep -E "ERROR: |SUMMARY: |runtime error" "$build/last-run.log" | head -5 | sed 's/^/  /'
  echo "  log: build-fuzz/last-run.log"
  exit 1
fi
