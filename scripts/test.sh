#!/usr/bin/env bash
# Installs what Pixlet needs, builds it with its tests and runs the whole suite.
# PIXLET_SANITIZE=address (or thread) builds and runs the suite under that sanitizer instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
sanitize="${PIXLET_SANITIZE:-}"
dir="build"
[ -n "$sanitize" ] && dir="build-$sanitize"
bash scripts/build.sh "$dir" -DPIXLET_BUILD_BENCH=OFF -DPIXLET_SANITIZE="$sanitize"
cd "$dir"
ctest --output-on-failure --parallel "$(nproc)"
