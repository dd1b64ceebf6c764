#!/usr/bin/env bash
# The kernels of each instruction set are compiled in files of their own with that set's flags
# (src/CMakeLists.txt). A function that such a file defines with external linkage and that another
# object of the library defines as well (an inline function of a shared header, which the compiler
# emits as a weak copy wherever it does not inline it, as at -O0; or a strong one) is linked once,
# from whichever object the linker keeps: a caller on a processor without that instruction set may
# then run the copy compiled for it. This reads the objects' symbol tables and fails when any
# function (global or weak) that an instruction-set kernel object defines is defined by another
# object too: another set's kernels, the plain ones, or the rest of the library.
#
# Usage: check_kernel_symbols.sh NM KERNEL_FILES OBJECTS
#   NM            the nm of the toolchain (ELF or COFF objects)
#   KERNEL_FILES  the instruction-set kernel files' base names, ;-separated (SSE2Kernels;...): each
#                 must have an object among OBJECTS
#   OBJECTS       every object of the library, ;-separated (as $<TARGET_OBJECTS:...> gives them)
set -euo pipefail

if [ $# -ne 3 ]; then
  echo "usage: $0 NM KERNEL_FILES OBJECTS" >&2
  exit 2
fi
nm=$1
IFS=';' read -r -a kernel_files <<<"$2"
IFS=';' read -r -a objects <<<"$3"

# The function symbols an object defines for other objects to use: global text (T, which COFF gives
# COMDAT copies of inline functions too), weak (W, ELF's inline copies) and indirect functions (i).
# Not the thunks GCC adds to 32-bit position-independent code (__x86.get_pc_thunk.REG, a load of the
# return address and a return, alike whatever the flags), nor its retpoline thunks.
defined() {
  "$nm" -P "$1" | awk '($2 == "T" || $2 == "W" || $2 == "i") && $1 !~ /^__x86\.(get_pc|indirect)_thunk/ { print $1 }' |
    sort -u
}

isa_objects=()
for name in "${kernel_files[@]}"; do
  found=
  for object in "${objects[@]}"; do
    case "$(basename "$object")" in
      "$name".cpp.o | "$name".cpp.obj) found=$object ;;
    esac
  done
  if [ -z "$found" ]; then
    echo "no object of $name among the library's objects" >&2
    exit 1
  fi
  isa_objects+=("$found")
done

table=$(mktemp)
trap 'rm -f "$table"' EXIT
for object in "${objects[@]}"; do
  kind=other
  for isa in "${isa_objects[@]}"; do
    [ "$object" = "$isa" ] && kind=isa
  done
  defined "$object" | awk -v object="$(basename "$object")" -v kind="$kind" '{ print $1, kind, object }' >>"$table"
done

# A symbol that an instruction-set object defines, and that more than one object defines.
clashes=$(sort "$table" | awk '
  $1 != name { if (count > 1 && isa) print name ":" where; name = $1; count = 0; isa = 0; where = "" }
  { count++; if ($2 == "isa") isa = 1; where = where " " $3 }
  END { if (count > 1 && isa) print name ":" where }')

symbols=$(wc -l <"$table")
if [ -n "$clashes" ]; then
  echo "functions defined by an instruction-set kernel object and by another object (give them internal linkage):"
  while IFS= read -r clash; do
    name=${clash%%:*}
    case "$name" in
      __Z*) readable=$(c++filt "${name#_}" 2>/dev/null || echo "$name") ;;  # COFF's leading underscore
      *) readable=$(c++filt "$name" 2>/dev/null || echo "$name") ;;
    esac
    echo "  $readable ($name) in${clash#*:}"
  done <<<"$clashes"
  exit 1
fi
echo "${#objects[@]} objects, ${#isa_objects[@]} of them instruction-set kernels, $symbols function symbols: none defined twice by a kernel object"
