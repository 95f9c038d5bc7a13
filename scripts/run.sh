#!/usr/bin/env bash
# Installs what Pixlet needs, builds it and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build -DPIXLET_BUILD_BENCH=OFF
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: starting Pixlet on a virtual X server (xvfb-run)." >&2
    exec xvfb-run -a ./build/src/app/pixlet "$@"
fi
exec ./build/src/app/pixlet "$@"
