#!/usr/bin/env bash
# Builds and runs every test: Linux with AddressSanitizer + UndefinedBehaviorSanitizer (64-bit and
# 32-bit), the concurrency tests again under ThreadSanitizer, an optimised Linux build (with a short run of
# every benchmark), the Python package (pytest), the fuzz targets (clang's libFuzzer), and the
# 32-bit Windows build under Wine. The 64-bit Linux builds also run the Aravis engine against a
# camera simulator on the loopback interface, with a soak (a minute under AddressSanitizer).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

jobs=$(nproc)
passed=0
failed=0
skipped=0

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
  if [ -z "$total" ]; then
    rm -f "$log"
    echo "ctest did not finish for $preset"
    failed=$((failed + 1))
    return
  fi
  local not_run
  not_run=$(grep -c '(Skipped)$' "$log" || true)
  rm -f "$log"
  passed=$((passed + total - bad - not_run))
  failed=$((failed + bad))
  skipped=$((skipped + not_run))
}

run_python() {  # the Python package, installed into a venv of Debian's Python, and its pytest suite
  echo "=== python ==="
  local venv=build/python-venv log
  log=$(mktemp)
  if ! "$venv/bin/python" -c 'import sys; sys.exit(sys.base_prefix != "/usr")' 2>/dev/null; then
    rm -rf "$venv"
    /usr/bin/python3 -m venv --system-site-packages "$venv"
  fi
  if ! (cd python && CMAKE_BUILD_PARALLEL_LEVEL=$jobs "../$venv/bin/python" -m pip install \
          --no-build-isolation --no-index --disable-pip-version-check . >"$log" 2>&1); then
    cat "$log"
    echo "build failed: python"
    exit 1
  fi
  if "$venv/bin/python" -m pytest python/tests -q -p no:cacheprovider 2>&1 | tee "$log"; then :; fi
  local summary count
  summary=$(tail -n 1 "$log")
  rm -f "$log"
  if ! grep -Eq '[0-9]+ (passed|failed|error)' <<<"$summary"; then
    echo "pytest did not finish"
    failed=$((failed + 1))
    return
  fi
  count() { grep -Eo "[0-9]+ $1" <<<"$summary" | grep -Eo '[0-9]+' || echo 0; }
  passed=$((passed + $(count passed)))
  failed=$((failed + $(count failed) + $(count error)))
  skipped=$((skipped + $(count skipped)))
}

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

run_suite linux-asan
run_suite linux32-asan   # size_t and pointers of 32 bits, as in the Windows DLL
run_suite linux-tsan -L concurrency
run_suite linux-release  # optimised, and every benchmark runs once
run_python
run_suite linux-fuzz     # each fuzz target on its corpus, then about 30 s on new inputs
if wine --version >/dev/null 2>&1; then
  source scripts/wine-env.sh  # make the Wine prefix once, before tests start in parallel
  # One server for the whole run: a client that connects just as an idle server quits fails. A
  # server that already runs for this prefix (someone's Windows program, left running) serves as well.
  wineserver -p 2>/dev/null || true
  # Wine's own services, started here with no output of ours: started by the first test instead,
  # they would hold that test's output pipe open under the lasting server, and ctest would wait for
  # it until the timeout.
  wineboot </dev/null >/dev/null 2>&1 || true
  run_suite windows
  wineserver -k || true
else
  # Some machines cannot execute 32-bit programs at all, and so cannot start Wine: the Windows build
  # is still built and its tables checked, the suites that run under Wine are counted as skipped.
  reason=$(wine --version 2>&1 | tail -n 1 || true)
  run_suite windows -L native
  not_run=$(ctest --test-dir build/windows -N -LE native | sed -n 's/^Total Tests: //p')
  echo "NOT RUN: $not_run Windows suites need Wine, which cannot start on this machine ($reason)"
  skipped=$((skipped + not_run))
fi

echo
echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
