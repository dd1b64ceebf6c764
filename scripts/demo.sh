#!/usr/bin/env bash
# Builds the library and runs the smoke program on it. (The zfk tool and its demo will take its
# place.)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset linux-release >/dev/null
cmake --build build/linux-release -j "$(nproc)" --target zfk-smoke >/dev/null
./build/linux-release/bin/zfk-smoke
