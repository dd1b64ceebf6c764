#!/usr/bin/env bash
# Runs every fuzz target for longer than the test suite does, one after another, each growing a
# corpus of its own under build/fuzz-corpus (the repository's corpus is read, never written). A
# finding is left as build/linux-fuzz/crash-* (or leak-*, timeout-*): add it to
# tests/fuzz/corpus/TARGET/ once it is mended, so that every later test run replays it.
# usage: scripts/fuzz.sh [--minutes N] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=20
if [ "${1:-}" = --minutes ]; then
  minutes=$2
  shift 2
fi
# (libFuzzer takes a time of 0 as no limit at all)
[[ "$minutes" =~ ^[1-9][0-9]*$ ]] || { echo "--minutes takes a whole number of minutes, at least 1" >&2; exit 2; }
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(frame_fuzz pool_fuzz clock_fuzz zfk_fuzz)
bash scripts/deps.sh
cmake --preset linux-fuzz >/dev/null
cmake --build build/linux-fuzz -j "$(nproc)" >/dev/null
for target in "${targets[@]}"; do
  corpus=build/fuzz-corpus/$target
  mkdir -p "$corpus"
  dictionary=()
  [ -f "tests/fuzz/$target.dict" ] && dictionary=(-dict="tests/fuzz/$target.dict")
  echo "=== $target, $minutes minutes"
  ./build/linux-fuzz/bin/"$target" -max_total_time=$((minutes * 60)) -timeout=10 -rss_limit_mb=4096 "${dictionary[@]}" \
    -print_final_stats=1 -artifact_prefix=build/linux-fuzz/ "$corpus" "tests/fuzz/corpus/$target" 2>&1 |
    grep -E '^(#[0-9]+[[:space:]]+DONE|stat::|==[0-9]+== ERROR|SUMMARY)' || true
done
