#!/usr/bin/env bash
# Sets up, builds and starts the game.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
exec ./build/dedivirede "$@"
