#!/usr/bin/env bash
# Checks the library's export table (the external interface is there, internal classes are not) and,
# on Windows, its import table (nothing but system DLLs and what the host's own libraries have).
# usage: check_exports.sh linux NM LIBRARY
#        check_exports.sh windows OBJDUMP UNDNAME DLL [STAND-IN-DLL...]
set -euo pipefail
platform=$1 tool=$2
if [ "$platform" = linux ]; then
  library=$3
else
  undname=$3 library=$4
  shift 4
  standins=("$@")
fi

failures=0
fail() {
  echo "$1"
  failures=$((failures + 1))
}
# A here-string, not a pipe: grep -q stops reading at the first match, and under pipefail the writer's
# broken pipe would turn a match into a failure now and then.
contains() { grep -F -x -q -- "$2" <<<"$1"; }

c_functions=(frameFactory getFrameTypeColorSpace createFramePool getTimestamp convertSysTimeToLocalTime)
gnu_members=(
  'zorvframekit::MemoryLimiter::MemoryLimiter(int, int)'
  'zorvframekit::MemoryLimiter::~MemoryLimiter()'
  'zorvframekit::MemoryLimiter::incMemoryUsed(int)'
  'zorvframekit::MemoryLimiter::decMemoryUsed(int)'
  'zorvframekit::MemoryLimiter::getMemoryUsed() const'
  'zorvframekit::MemoryLimiter::getMemoryLimit() const'
  'zorvframekit::MemoryLimiter::setMemoryLimit(int)'
  'zorvframekit::MemoryLimiter::reset()'
)
# What the platform compiler exports for the class declared dllexport, as llvm-undname reads it.
msvc_members=(
  'public: __thiscall zorvframekit::MemoryLimiter::MemoryLimiter(int, int)'
  "public: void __thiscall zorvframekit::MemoryLimiter::\`default ctor closure'(void)"
  'public: __thiscall zorvframekit::MemoryLimiter::~MemoryLimiter(void)'
  'public: void __thiscall zorvframekit::MemoryLimiter::incMemoryUsed(int)'
  'public: void __thiscall zorvframekit::MemoryLimiter::decMemoryUsed(int)'
  'public: int __thiscall zorvframekit::MemoryLimiter::getMemoryUsed(void) const'
  'public: int __thiscall zorvframekit::MemoryLimiter::getMemoryLimit(void) const'
  'public: void __thiscall zorvframekit::MemoryLimiter::setMemoryLimit(int)'
  'public: void __thiscall zorvframekit::MemoryLimiter::reset(void)'
  'public: class zorvframekit::MemoryLimiter & __thiscall zorvframekit::MemoryLimiter::operator=(class zorvframekit::MemoryLimiter const &)'
)

# One exported name a line, as the file has it.
if [ "$platform" = linux ]; then
  names=$("$tool" -D --defined-only "$library" | awk '{ print $3 }')
else
  # The export table of a PE file lists names after "[Ordinal/Name Pointer] Table".
  names=$("$tool" -p "$library" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
          sed -n 's/^[[:space:]]*\[ *[0-9]*\] \(.*\)$/\1/p')
fi

while IFS= read -r name; do
  [ -n "$name" ] || continue
  if contains "$(printf '%s\n' "${c_functions[@]}")" "$name"; then
    echo "exported: $name"
  elif [[ "$name" == _Z* ]]; then
    readable=$(printf '%s\n' "$name" | c++filt)
    if contains "$(printf '%s\n' "${gnu_members[@]}")" "$readable"; then
      echo "exported: $readable"
    else
      fail "exported but not part of the interface: $readable"
    fi
  elif [ "$platform" = windows ] && [[ "$name" == \?* ]]; then
    readable=$("$undname" "$name" | sed -n 2p)
    if contains "$(printf '%s\n' "${msvc_members[@]}")" "$readable"; then
      echo "exported: $name = $readable"
    else
      fail "exported but not part of the interface: $name = $readable"
    fi
  else
    fail "exported but not part of the interface: $name"
  fi
done <<<"$names"

expect_all() {  # what, names...
  local what=$1 expected
  shift
  for expected in "$@"; do
    contains "$demangled" "$expected" || fail "MISSING ($what): $expected"
  done
}
if [ "$platform" = linux ]; then
  demangled=$(printf '%s\n' "$names" | c++filt)
  expect_all "GNU name" "${gnu_members[@]}"
else
  demangled=$(printf '%s\n' "$names" | while IFS= read -r n; do
    case "$n" in
      _Z*) printf '%s\n' "$n" | c++filt ;;
      \?*) "$undname" "$n" | sed -n 2p ;;
      *) printf '%s\n' "$n" ;;
    esac
  done)
  expect_all "GNU name, for MinGW-built engines" "${gnu_members[@]}"
  expect_all "platform compiler's name" "${msvc_members[@]}"
fi
expect_all "undecorated C function" "${c_functions[@]}"

if [ "$platform" = windows ]; then
  # What Windows has everywhere, and the host's two libraries with exactly the functions they have.
  system_dlls='^(kernel32|user32|winmm|msvcrt|advapi32|ntdll)\.dll$'
  ha_functions=(haCreateNumericArray haCreateNumericMatrix haGetData haGetDimensions haGetClassID haIsUint8 haFree
                haCreateDoubleScalar haCreateString)
  bexcore_functions=(createTimeArray '??0BXCriticalSection@bex@@QAE@XZ' '??1BXCriticalSection@bex@@UAE@XZ'
                     '??0BXAutoCriticalSection@bex@@QAE@AAVBXCriticalSection@1@_N@Z'
                     '??1BXAutoCriticalSection@bex@@UAE@XZ' '?leave@BXAutoCriticalSection@bex@@UAEXXZ')
  imports() {  # DLL: "dll-name<TAB>function" a line
    "$tool" -p "$1" | awk '
      /DLL Name:/ { dll = tolower($3); next }
      dll != "" && /^[[:space:]]*$/ { dll = ""; next }
      dll != "" && $1 ~ /^[0-9a-f]+$/ && NF >= 3 { print dll "\t" $3 }'
  }
  check_imports() {  # DLL, may it import libha?, may it import bexcore?
    local dll=$1 ha=$2 bex=$3 from function
    echo "imports of $(basename "$dll"):"
    while IFS=$'\t' read -r from function; do
      [ -n "$from" ] || continue
      if [[ "$from" =~ $system_dlls ]]; then
        continue
      elif [ "$from" = libha.dll ] && [ "$ha" = yes ] && contains "$(printf '%s\n' "${ha_functions[@]}")" "$function"; then
        echo "  $from: $function"
      elif [ "$from" = bexcore.dll ] && [ "$bex" = yes ] && contains "$(printf '%s\n' "${bexcore_functions[@]}")" "$function"; then
        echo "  $from: $function"
      else
        fail "  imported but not to be had beside the host: $from: $function"
      fi
    done <<<"$(imports "$dll")"
  }
  check_imports "$library" yes yes
  for standin in "${standins[@]}"; do
    case "$(basename "$standin")" in
      bexcore.dll) check_imports "$standin" yes no ;;
      *) check_imports "$standin" no no ;;
    esac
  done
fi

if [ "$failures" -ne 0 ]; then
  echo "export table check: $failures problem(s)"
  exit 1
fi
echo "export table check: ok"
