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
# Under a sanitizer every program runs several times slower; side by side they would also take
# each other's cores, and the tests that talk to real servers in Python would wait on both.
jobs="$(nproc)"
[ -n "$sanitize" ] && jobs=1
ctest --output-on-failure --parallel "$jobs"
