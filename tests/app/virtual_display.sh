# Sourced by the real-window tests: checks the tools (exit 77, skipped, when one is missing),
# makes a work directory and a virtual X server on a free display, and ends whatever the test
# started (add its pids to "pids") when the script exits. Needs "shots" set and a fail()
# function defined by the test.
require_tools() {
    for tool in "$@"; do
        command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
    done
}

# Waits up to $1 tenths of a second for the command in the remaining arguments to succeed.
wait_for() {
    local tries=$1; shift
    for ((i = 0; i < tries; i++)); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
    return 1
}

mkdir -p "$shots"
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    [ -n "${KEEP_WORK:-}" ] && echo "kept $work" || rm -rf "$work"
}
trap cleanup EXIT

# Starts Xvfb on a display it chooses itself and exports DISPLAY.
start_virtual_display() {
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
    pids+=($!)
    wait_for 100 test -s "$work/display" || fail "Xvfb did not start"
    export DISPLAY=":$(cat "$work/display")"
}
