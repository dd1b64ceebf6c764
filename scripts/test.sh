#!/usr/bin/env bash
# Builds and runs every test: Linux with AddressSanitizer + UndefinedBehaviorSanitizer, the
# concurrency tests again under ThreadSanitizer, an optimised Linux build (with a short run of
# every benchmark), and the 32-bit Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

jobs=$(nproc)
passed=0
failed=0

run_suite() {  # preset, ctest arguments...
  local preset=$1
  shift
  echo "=== $preset ==="
  cmake --preset "$preset" >/dev/null
  local log
  log=$(mktemp)
  if ! cmake --build "build/$preset" -j "$jobs" >"$log" 2>&1; then
    cat "$log"
    echo "build failed: $preset"
    exit 1
  fi
  if ctest --test-dir "build/$preset" --output-on-failure -j "$jobs" "$@" 2>&1 | tee "$log"; then :; fi
  local total bad
  total=$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\2/p' "$log")
  bad=$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\1/p' "$log")
  rm -f "$log"
  if [ -z "$total" ]; then
    echo "ctest did not finish for $preset"
    failed=$((failed + 1))
    return
  fi
  passed=$((passed + total - bad))
  failed=$((failed + bad))
}

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

run_suite linux-asan
run_suite linux-tsan -L concurrency
run_suite linux-release  # optimised, and every benchmark runs once
source scripts/wine-env.sh  # make the Wine prefix once, before tests start in parallel
run_suite windows

echo
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
