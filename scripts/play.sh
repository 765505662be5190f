#!/usr/bin/env bash
# Sets up, builds and starts the game. The game runs in the folder it was started from, so
# its F12 screenshots and any relative --trace, --stats or --screenshot paths land there; it
# finds its data beside the executable.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$root/build"
exec "$root/build/dedivirede" "$@"
