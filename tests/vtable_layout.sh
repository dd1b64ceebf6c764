#!/usr/bin/env bash
# The virtual tables of the DLL's frame and pool classes, as MinGW lays them out, hold the same
# operations in the same slots as IFrame's and FramePool's tables do for an engine built with the
# platform's own compiler, and no more up to the last slot: slot 0 (IFrame) and 7 (FramePool) being
# the scalar deleting destructor. Read from both compilers' own dumps of their layouts.
# usage: vtable_layout.sh MINGW-G++ CLANG++ SOURCE-DIR
set -euo pipefail
gxx=$1 clang=$2 source_dir=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The platform compiler: the slot indices it gives the interfaces' operations.
cat >"$work/engine.cpp" <<'CPP'
#include "zorvframekit/zorvframekit.h"
struct FrameProbe : IFrame { FrameProbe(); };
FrameProbe::FrameProbe() {}
struct PoolProbe : FramePool { PoolProbe(); };
PoolProbe::PoolProbe() {}
CPP
"$clang" --target=i686-pc-windows-msvc -std=c++17 -I "$source_dir/include" -Xclang -fdump-vtable-layouts \
  -c "$work/engine.cpp" -o "$work/engine.obj" >"$work/msvc.txt"
msvc_slots() {  # interface: one operation name a line, in slot order
  awk -v want="VFTable indices for '$1'" '
    index($0, want) == 1 { on = 1; next }
    on && /^$/ { exit }
    on && /\|/ { sub(/^[^|]*\| /, ""); print }' "$work/msvc.txt" |
    sed -E 's/\(.*$//; s/^.*:://'
}

# MinGW: the tables of the classes the DLL really builds.
classes=(MonochromeFrame RGB24Frame RGB16Frame RGB24Planar YUVPackedFrame YUVPlanarFrame)
{
  for class in "${classes[@]}"; do echo "#include \"formats/$class.h\""; done
  echo '#include "pool/ZORVFramePool.h"'
} >"$work/dll.cpp"
"$gxx" -std=c++17 -DWIN32_LEAN_AND_MEAN -DNOMINMAX -I "$source_dir/include" -I "$source_dir/src" \
  -I "$source_dir/host" -fdump-lang-class -dumpdir "$work/" -dumpbase dll -c "$work/dll.cpp" -o "$work/dll.o"
mingw_slots() {  # class, count: the names in the first `count` slots
  awk -v want="Vtable for zorvframekit::$1" '
    $0 == want { on = 1; next }
    on && /^$/ { exit }
    on && /^[0-9]+ / { sub(/^[0-9]+ +\(int \(\*\)\(\.\.\.\)\)/, ""); print }' "$work"/dll*.class |
    sed -n "3,$(($2 + 2))p" | sed -E 's/^.*:://'
}

failures=0
compare() {  # interface, destructor slot, class
  local interface=$1 slot=$2 class=$3 expected actual count
  expected=$(msvc_slots "$interface" | awk -v slot="$slot" -v dtor="~$interface" \
             'NR == slot + 1 && $0 == dtor { $0 = "scalarDeletingDestructor" } { print }')
  count=$(printf '%s\n' "$expected" | grep -c .)
  actual=$(mingw_slots "$class" "$count")
  if [ "$count" -gt 0 ] && [ "$expected" = "$actual" ]; then
    echo "$class: the $count slots of $interface, destructor in slot $slot"
  else
    echo "$class does not match $interface:"
    diff <(printf '%s\n' "$expected") <(printf '%s\n' "$actual") || true
    failures=$((failures + 1))
  fi
}
[ "$(msvc_slots IFrame | wc -l)" -eq 32 ] || { echo "IFrame has $(msvc_slots IFrame | wc -l) slots, not 32"; failures=$((failures + 1)); }
[ "$(msvc_slots FramePool | wc -l)" -eq 8 ] || { echo "FramePool has $(msvc_slots FramePool | wc -l) slots, not 8"; failures=$((failures + 1)); }
for class in "${classes[@]}"; do compare IFrame 0 "$class"; done
compare FramePool 7 ZORVFramePool
[ "$failures" -eq 0 ] && echo "virtual tables: ok"
[ "$failures" -eq 0 ]
