#!/usr/bin/env bash
# Builds and runs every benchmark, printing medians and the ratios we hold ourselves to. All of
# them run whatever the earlier ones gave; the script then exits non-zero if any missed its
# target (or could not run).
# Usage: bench/run.sh [build-dir]
set -uo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-bench}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPIXLET_BUILD_TESTS=OFF -DPIXLET_BUILD_BENCH=ON >/dev/null || exit 2
cmake --build "$build" --parallel 2 --target bench_pipeline bench_cycle bench_capture bench_textfit >/dev/null || exit 2

missed=()
# Runs one benchmark; a non-zero exit is remembered under the given name.
check() {
    local name="$1"
    shift
    "$@"
    local status=$?
    if [ "$status" -ne 0 ]; then
        echo ">>> $name: target missed or run failed (exit $status)"
        missed+=("$name")
    fi
}

mkdir -p bench/results
out="bench/results/latest.json"
# The still pipeline beside its floor.
pipeline() {
    "$build/bench/bench_pipeline" --benchmark_repetitions=11 --benchmark_enable_random_interleaving=true \
        --benchmark_format=json --benchmark_out="$out" --benchmark_out_format=json >/dev/null &&
        python3 bench/report.py "$out"
}
check bench_pipeline pipeline

# The whole processing cycle, file arrived -> archived, beside the floor of its own work, then
# the highest arrival rate it publishes every file at.
check bench_cycle "$build/bench/bench_cycle"

# The capture thread's CPU share against a bare conversion from the same test camera.
check bench_capture "$build/bench/bench_capture"

# Shortening a 30 KB error text for the Advanced page, beside Qt's elidedText.
check bench_textfit "$build/bench/bench_textfit" --benchmark_repetitions=11 --benchmark_report_aggregates_only=true

if [ "${#missed[@]}" -ne 0 ]; then
    echo "TARGETS MISSED: ${missed[*]}"
    exit 1
fi
echo "all targets met"
