#!/usr/bin/env bash
# Installs what is missing, builds, and starts the window program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja -DSKYLARK_BUILD_TESTS=OFF >/dev/null
cmake --build build
exec build/bin/skylark "$@"
