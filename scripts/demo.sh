#!/usr/bin/env bash
# Builds the library and the zfk tool, and runs the demo: every frame type rendered from a built-in
# scene, pictures in out/demo.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset linux-release >/dev/null
cmake --build build/linux-release -j "$(nproc)" --target zfk >/dev/null
./build/linux-release/bin/zfk demo "$@"
