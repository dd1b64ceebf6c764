#!/usr/bin/env bash
# The Aravis engine built on its own against an installed zorvframekit, as a third party builds an
# engine: it sees the installed header and library, and nothing else of this tree.
# usage: aravis_install_test.sh BUILD-DIR ENGINE-SOURCE-DIR CXX
set -euo pipefail
build=$(cd "$1" && pwd) source=$2 cxx=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/install" >/dev/null
cmake -S "$source" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER="$cxx" \
      -DCMAKE_PREFIX_PATH="$work/install" >/dev/null
cmake --build "$work/build" >/dev/null
[ -e "$work/build/libzfk_aravis.a" ] || { echo "the engine was not built"; exit 1; }
echo "aravis install test: ok"
