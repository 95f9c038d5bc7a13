#!/usr/bin/env bash
# Builds and runs the pipeline benchmark, then prints medians and the ratios we hold ourselves to.
# Usage: bench/run.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-bench}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPIXLET_BUILD_TESTS=OFF -DPIXLET_BUILD_BENCH=ON >/dev/null
cmake --build "$build" --target bench_pipeline >/dev/null
mkdir -p bench/results
out="bench/results/latest.json"
"$build/bench/bench_pipeline" --benchmark_repetitions=11 --benchmark_enable_random_interleaving=true \
    --benchmark_format=json --benchmark_out="$out" --benchmark_out_format=json >/dev/null
python3 bench/report.py "$out"

# The whole processing cycle, file arrived -> archived, beside the same floor.
cmake --build "$build" --target bench_cycle >/dev/null
"$build/bench/bench_cycle" || true

# The capture thread's CPU share against a bare conversion from the same test camera.
cmake --build "$build" --target bench_capture >/dev/null
"$build/bench/bench_capture" || true

# Shortening a 30 KB error text for the Advanced page, beside Qt's elidedText.
cmake --build "$build" --target bench_textfit >/dev/null
"$build/bench/bench_textfit" --benchmark_repetitions=11 --benchmark_report_aggregates_only=true || true
