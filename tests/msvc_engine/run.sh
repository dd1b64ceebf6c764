#!/usr/bin/env bash
# Installs the Windows build into a folder of its own, checks the installed DLL's export and import
# tables, builds an engine of tests/msvc_engine (engine.cpp unless named) as the platform's own
# compiler would (Microsoft C++ ABI) against the installed header and import library, and runs it
# under Wine, with ARGS, the DLL alone in its folder and the host's libha.dll and bexcore.dll beside
# the engine, as a host installs them.
# usage: run.sh BUILD-DIR OBJDUMP UNDNAME [ENGINE-SOURCE [ARGS...]]
set -euo pipefail
build=$(cd "$1" && pwd) objdump=$2 undname=$3 engine_source=${4:-engine.cpp}
shift $(($# < 4 ? $# : 4))
name=$(basename "$engine_source" .cpp)
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
work=$(mktemp -d)
[ -n "${ZFK_KEEP_ENGINE:-}" ] || trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/install" >/dev/null
bash "$source_dir/tests/check_exports.sh" windows "$objdump" "$undname" "$work/install/bin/zorvframekit.dll"
[ "$(ls "$work/install/bin")" = zorvframekit.dll ] || { echo "the install's bin holds more than the DLL"; exit 1; }

tool() { command -v "$1" || command -v "$1-14"; }
clang=$(tool clang++) lld_link=$(tool lld-link) dlltool=$(tool llvm-dlltool)
mkdir -p "$work/engine" "$work/lib"
"$dlltool" -m i386 -k -d "$here/kernel32.def" -l "$work/lib/kernel32.lib"
"$dlltool" -m i386 -d "$here/ha.def" -l "$work/lib/ha.lib"
"$clang" --target=i686-pc-windows-msvc -std=c++17 -O2 -Wall -Wextra -Werror -fno-exceptions -fno-rtti \
  -fno-stack-protector -I "$work/install/include" -I "$source_dir/host" -c "$here/$engine_source" -o "$work/$name.obj"
"$lld_link" /nologo /entry:engineMain /subsystem:console /nodefaultlib /out:"$work/engine/$name.exe" \
  "$work/$name.obj" "$work/install/lib/zorvframekit.lib" "$work/lib/ha.lib" "$work/lib/kernel32.lib"
cp "$build/bin/libha.dll" "$build/bin/bexcore.dll" "$work/engine/"
echo "engine built: $work/engine/$name.exe against $work/install/lib/zorvframekit.lib"

if ! wine --version >/dev/null 2>&1; then
  echo "SKIPPED: Wine cannot start here ($(wine --version 2>&1 | tail -1)); the engine was built and linked, not run"
  exit 77
fi
source "$source_dir/scripts/wine-env.sh"
# zorvframekit.dll is found through the path, as a plugin folder is; its imports beside the engine.
cd "$work/engine"
WINEPATH="$(winepath -w "$work/install/bin")" wine "$name.exe" "$@"
