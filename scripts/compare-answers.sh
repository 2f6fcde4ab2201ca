#!/usr/bin/env bash
# Compares what two tarvo-cli binaries answer and write for every bench model
# and example: the request operations' answers byte for byte, and the files
# `export` writes. Prints one line per difference and a count; exit 1 when
# anything differs.
#   scripts/compare-answers.sh OLD_BINARY NEW_BINARY
set -uo pipefail
old=$1 new=$2
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
compared=0 differ=0

# same KIND NAME OLD_FILE NEW_FILE: counts and reports one comparison.
same() {
  compared=$((compared + 1))
  if ! cmp -s "$3" "$4"; then
    differ=$((differ + 1))
    echo "differs: $1 $2"
  fi
}

# answer OP REQUEST_FILE NAME: one request through both binaries (answer, stderr and exit code).
answer() {
  for side in old new; do
    bin=${!side}
    "$bin" "$1" <"$2" >"$work/$side.out" 2>"$work/$side.err"
    echo "exit $?" >>"$work/$side.out"
  done
  same "$1" "$3" "$work/old.out" "$work/new.out"
  same "$1-stderr" "$3" "$work/old.err" "$work/new.err"
}

for request in "$root"/bench/models/*.json; do
  base=$(basename "$request" .json)
  answer "${base##*.}" "$request" "$base"
done
answer build "$root/examples/demo-request.json" demo-request

models=("$root"/docs/examples/*.json "$root"/examples/models/*.json "$root/examples/demo-model.json")
for model in "${models[@]}"; do
  case $model in *.controls.json) continue ;; esac
  name=$(basename "$model" .json)
  request=$work/request.json
  python3 - "$model" >"$request" <<'PY'
import json, sys
print(json.dumps({"jsonStr": open(sys.argv[1]).read(), "vid": "_all_", "segments": 32,
                  "wantColors": True, "name": "m"}))
PY
  for op in build build_xml cross_section; do answer "$op" "$request" "$name"; done
  for ext in 3mf stl glb png; do
    "$old" export "$model" -o "$work/old.$ext" >/dev/null 2>"$work/old.err"
    "$new" export "$model" -o "$work/new.$ext" >/dev/null 2>"$work/new.err"
    same "export-$ext" "$name" "$work/old.$ext" "$work/new.$ext"
  done
  # Each object alone too (what it writes and says), in the two formats with colours.
  for id in $(python3 -c '
import json, sys
doc = json.load(open(sys.argv[1]))
print(" ".join(o["vid"] for o in doc.get("objects", [])
               if isinstance(o, dict) and isinstance(o.get("vid"), str) and o["vid"].isidentifier()
               and o.get("type") != "parameter"))' "$model"); do
    for ext in 3mf glb; do
      "$old" export "$model" --object "$id" -o "$work/old.$ext" >/dev/null 2>"$work/old.err"
      "$new" export "$model" --object "$id" -o "$work/new.$ext" >/dev/null 2>"$work/new.err"
      sed -i "s|$work/[a-z]*\.|FILE.|" "$work/old.err" "$work/new.err"
      same "export-$ext" "$name/$id" "$work/old.$ext" "$work/new.$ext"
      same "export-$ext-stderr" "$name/$id" "$work/old.err" "$work/new.err"
    done
  done
done
echo "$compared compared, $differ differ"
[ "$differ" -eq 0 ]
