#!/usr/bin/env bash
# Installs what building and testing need, on Debian, as root. Does nothing when all is there.
set -euo pipefail

# clang, lld and llvm build and check the engine test that uses the platform compiler's C++ ABI;
# libcli11-dev and libstb-dev are the tool's command-line parser and PNG writer (header-only, for
# both platforms); the multilib compiler and its sanitizer runtimes build the 32-bit Linux suite.
# The Python package builds and tests with Debian's Python, NumPy, pybind11, setuptools and pytest;
# its tests also hand an image to PIL and type-check the README's examples with mypy (typeshed gives
# PIL's types), and its benchmark runs beside OpenCV's cv2, which nothing else uses. libyuv is the
# benchmarks' peer, which the library never uses either.
# libaravis-dev is the GenICam camera stack of the Aravis engine and of zfk cameras / zfk acquire
# (its camera simulator is what their tests stream from).
packages=(cmake ninja-build g++ googletest libbenchmark-dev binutils pkg-config libcli11-dev libstb-dev libaravis-dev
          libyuv-dev
          g++-multilib lib32asan8 lib32ubsan1
          g++-mingw-w64-i686-posix binutils-mingw-w64-i686 wine wine32:i386 clang lld llvm
          python3-dev python3-numpy python3-venv python3-setuptools python3-wheel python3-pytest pybind11-dev
          python3-pil mypy python3-typeshed python3-opencv)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "run as root (or install those packages yourself)" >&2
  exit 1
fi
# wine32 is an i386 package.
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
