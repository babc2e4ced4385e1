#!/usr/bin/env bash
# Runs one libFuzzer target of the fuzz tree over its kept corpus, then merges
# what it found back into the corpus (minimised).
#   scripts/fuzz.sh TARGET SECONDS [MAX_LEN] [more libFuzzer options...]
# The fuzz tree (default build-fuzz, or VC_FUZZ_BUILD) is configured with
#   cmake -S . -B build-fuzz -G Ninja -DVC_BUILD_FUZZ=ON -DVC_SANITIZE=address \
#     -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
# and only the fuzz targets are built (ninja -C build-fuzz -j2 TARGET).
# VC_FUZZ_SEEDS: more folders of seed inputs (read, never written).
# The run log, with the elapsed seconds before every line, goes to
# BUILD/fuzz-work/TARGET/run.log; crashes to BUILD/fuzz-work/TARGET/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
TARGET=${1:?target}
SECONDS_TOTAL=${2:?seconds}
MAX_LEN=${3:-4096}
shift $(( $# < 3 ? $# : 3 ))
BUILD=${VC_FUZZ_BUILD:-build-fuzz}
ROOT=$PWD

BIN=$(find "$BUILD/tests" -type f -name "$TARGET" -perm -u+x | head -1)
CORPUS=$(find tests -type d -path "*/fuzz-corpus/$TARGET" | head -1)
[ -n "$BIN" ] || { echo "no $TARGET in $BUILD (build it first)" >&2; exit 1; }
[ -n "$CORPUS" ] || { echo "no corpus folder tests/*/fuzz-corpus/$TARGET" >&2; exit 1; }
DICT=$PWD/$(dirname "$CORPUS")/$TARGET.dict

WORK=$PWD/$BUILD/fuzz-work/$TARGET
rm -rf "$WORK"
mkdir -p "$WORK/corpus" "$WORK/artifacts" "$WORK/merged"
cp "$CORPUS"/* "$WORK/corpus/" 2>/dev/null || true

OPTS=(-jobs=1 -workers=1 -max_len="$MAX_LEN" -max_total_time="$SECONDS_TOTAL" -timeout=10 -rss_limit_mb=2048
      -print_final_stats=1 -artifact_prefix="$WORK/artifacts/")
[ -f "$DICT" ] && OPTS+=(-dict="$DICT")
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# -jobs=1 runs the fuzzer in one child process that writes fuzz-0.log.
SEEDS=()
for d in ${VC_FUZZ_SEEDS:-}; do SEEDS+=("$ROOT/$d"); done
( cd "$WORK" && exec "$ROOT/$BIN" "${OPTS[@]}" "$@" corpus "${SEEDS[@]}" ) > "$WORK/parent.log" 2>&1 &
PID=$!
start=$(date +%s)
: > "$WORK/run.log"
tail -n +1 -F "$WORK/fuzz-0.log" 2>/dev/null | while IFS= read -r line; do
  echo "$(( $(date +%s) - start )) $line"
done >> "$WORK/run.log" &
TAILPID=$!
rc=0
wait $PID || rc=$?
sleep 2
kill $TAILPID 2>/dev/null || true

"$BIN" -merge=1 -max_len="$MAX_LEN" "$WORK/merged" "$WORK/corpus" "${SEEDS[@]}" > "$WORK/merge.log" 2>&1
rm -f "$CORPUS"/*
cp "$WORK/merged"/* "$CORPUS/"

echo "== $TARGET: exit $rc"
grep -E "^#[0-9]+" "$WORK/fuzz-0.log" | tail -1
grep -E "^Done|^stat::" "$WORK/fuzz-0.log"
# Seconds at which coverage (cov) last grew.
awk '/ cov: /{for(i=1;i<=NF;i++) if($i=="cov:") c=$(i+1); if(c>last){last=c; t=$1}} END{print "cov last grew at " t " s (cov " last ")"}' "$WORK/run.log"
awk '/ ft: /{for(i=1;i<=NF;i++) if($i=="ft:") c=$(i+1); if(c>last){last=c; t=$1}} END{print "ft last grew at " t " s (ft " last ")"}' "$WORK/run.log"
echo "corpus: $(ls "$CORPUS" | wc -l) files, $(du -sk "$CORPUS" | cut -f1) KB"
ls "$WORK/artifacts"
exit $rc
