#!/usr/bin/env bash
# A soak run of Pixlet as shipped, with faults: see scripts/soak.py for what it does and checks.
# Usage: scripts/soak.sh [minutes] [soak.py options]   (default 3 minutes; run as root so that
# the archive's small file system can be mounted and filled)
set -euo pipefail
cd "$(dirname "$0")/.."
minutes="${1:-3}"
shift || true
bash scripts/install-deps.sh
bash scripts/build.sh build -DPIXLET_BUILD_BENCH=OFF >/dev/null
exec /usr/bin/python3 scripts/soak.py "$minutes" "$@"
