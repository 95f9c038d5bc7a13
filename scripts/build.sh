#!/usr/bin/env bash
# Configures and builds Pixlet into a build directory (default: build).
# Usage: scripts/build.sh [build-dir] [extra cmake arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
dir="${1:-build}"
shift || true
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="${PIXLET_BUILD_TYPE:-RelWithDebInfo}" "$@"
cmake --build "$dir" --parallel "$(nproc)"
