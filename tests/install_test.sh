#!/usr/bin/env bash
# Installs the Linux build into a folder of its own and builds an engine against it twice, through
# the CMake package and through pkg-config; both programs run.
# usage: install_test.sh BUILD-DIR CXX
set -euo pipefail
build=$(cd "$1" && pwd) cxx=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/install

cmake --install "$build" --prefix "$prefix" >/dev/null
lib=$prefix/lib
for file in libzorvframekit.so libzorvframekit.so.0 libzorvframekit.so.0.1.0 libha.so libbexcore.so \
            cmake/zorvframekit/zorvframekitConfig.cmake pkgconfig/zorvframekit.pc; do
  [ -e "$lib/$file" ] || { echo "not installed: lib/$file"; exit 1; }
done
[ -e "$prefix/include/zorvframekit/zorvframekit.h" ] || { echo "not installed: the header"; exit 1; }
soname=$(objdump -p "$lib/libzorvframekit.so.0.1.0" | awk '/SONAME/ { print $2 }')
[ "$soname" = libzorvframekit.so.0 ] || { echo "soname is '$soname'"; exit 1; }

cmake -S "$here/install_consumer" -B "$work/cmake-build" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" \
      -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
"$work/cmake-build/consumer"

flags=$(PKG_CONFIG_PATH="$lib/pkgconfig" pkg-config --cflags --libs zorvframekit)
# shellcheck disable=SC2086
"$cxx" -std=c++17 "$here/install_consumer/main.cpp" $flags -Wl,-rpath,"$lib" -o "$work/pkg-consumer"
"$work/pkg-consumer"
echo "install test: ok"
