#!/usr/bin/env bash
# Checks the library's export table: the external interface is there, internal classes are not.
# usage: check_exports.sh linux|windows TOOL LIBRARY
set -euo pipefail
platform=$1 tool=$2 library=$3

if [ "$platform" = linux ]; then
  exports=$("$tool" -D --defined-only -C "$library" | awk '{ $1 = ""; $2 = ""; sub(/^  /, ""); print }')
else
  # The export table of a PE file lists names after "[Ordinal/Name Pointer] Table".
  raw=$("$tool" -p "$library" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
        sed -n 's/^[[:space:]]*\[ *[0-9]*\] \(.*\)$/\1/p')
  exports=$(printf '%s\n' "$raw" | c++filt)
fi

failures=0
expect() {
  if printf '%s\n' "$exports" | grep -F -q -- "$1"; then
    echo "exported: $1"
  else
    echo "MISSING:  $1"
    failures=$((failures + 1))
  fi
}
forbid_all_but() {
  local found
  found=$(printf '%s\n' "$exports" | grep -v -E -- "$1" | grep -v '^$' || true)
  if [ -n "$found" ]; then
    echo "exported but not part of the interface:"
    printf '%s\n' "$found" | head -10
    failures=$((failures + 1))
  fi
}

for member in \
  'zorvframekit::MemoryLimiter::MemoryLimiter(int, int)' \
  'zorvframekit::MemoryLimiter::~MemoryLimiter()' \
  'zorvframekit::MemoryLimiter::incMemoryUsed(int)' \
  'zorvframekit::MemoryLimiter::decMemoryUsed(int)' \
  'zorvframekit::MemoryLimiter::getMemoryUsed() const' \
  'zorvframekit::MemoryLimiter::getMemoryLimit() const' \
  'zorvframekit::MemoryLimiter::setMemoryLimit(int)' \
  'zorvframekit::MemoryLimiter::reset()'; do
  expect "$member"
done
# The exported C functions, by their plain names.
c_functions=(frameFactory getFrameTypeColorSpace createFramePool getTimestamp convertSysTimeToLocalTime)
for function in "${c_functions[@]}"; do
  if printf '%s\n' "$exports" | grep -x -q -- "$function"; then
    echo "exported: $function"
  else
    echo "MISSING:  $function (undecorated)"
    failures=$((failures + 1))
  fi
done

# Nothing else at all: every exported name is a MemoryLimiter member or one of the C functions.
allowed='^zorvframekit::MemoryLimiter::'
for function in frameFactory getFrameTypeColorSpace createFramePool getTimestamp convertSysTimeToLocalTime; do
  allowed="$allowed|^$function\$"
done
forbid_all_but "$allowed"

if [ "$failures" -ne 0 ]; then
  echo "export table check: $failures problem(s)"
  exit 1
fi
echo "export table check: ok"
