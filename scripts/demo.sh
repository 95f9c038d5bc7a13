#!/usr/bin/env bash
# A one-command demo: the service takes the test camera's picture every few seconds, captions
# it and publishes it to an archive, a local FTP server and a local mail server, then says where
# everything went. See scripts/demo.py for the details.
# Usage: scripts/demo.sh [--binary PATH] [--limit SECONDS] [--clean]
# With --binary (or PIXLET_DEMO_BINARY=PATH) that program is used as it is; otherwise the
# packages are installed and Pixlet is built first, as for the soak run.
set -euo pipefail
binary="${PIXLET_DEMO_BINARY:-}"
args=()
while [ $# -gt 0 ]; do
    case "$1" in
    --binary) binary="$2"; shift 2 ;;
    --binary=*) binary="${1#--binary=}"; shift ;;
    *) args+=("$1"); shift ;;
    esac
done
# A path given relative to where the demo was started from.
[ -n "$binary" ] && binary=$(realpath -- "$binary")
cd "$(dirname "$0")/.."
if [ -z "$binary" ]; then
    bash scripts/install-deps.sh
    bash scripts/build.sh build -DPIXLET_BUILD_BENCH=OFF >/dev/null
    binary="build/src/app/pixlet"
fi
# demo.py stops everything it started itself, on Ctrl-C and on failure too; exec leaves no
# shell in between to swallow the signal.
exec /usr/bin/python3 scripts/demo.py --binary "$binary" "${args[@]}"
