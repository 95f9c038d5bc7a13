#!/usr/bin/env bash
# Builds the fuzz targets with clang (AddressSanitizer, UndefinedBehaviorSanitizer, libFuzzer)
# and runs each for the given number of seconds (default 30), starting from its seed corpus in
# fuzz/corpus/<target>. New interesting inputs go to a scratch corpus, not into the repository;
# a crash, a hang or a trap leaves its input in build-fuzz/crashes/ and fails the run.
# Needs Debian's clang and libfuzzer-14-dev (scripts/install-deps.sh installs them).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
dir=build-fuzz
targets=(fuzz_settings fuzz_time_template fuzz_base64 fuzz_smtp_replies fuzz_image_decoder
         fuzz_caption_file_line fuzz_fields)

CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPIXLET_FUZZ=ON \
    -DPIXLET_BUILD_TESTS=OFF -DPIXLET_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" --parallel 2 --target "${targets[@]}"

mkdir -p "$dir/crashes"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=()
for target in "${targets[@]}"; do
    mkdir -p "$scratch/$target"
    echo "== $target, ${seconds} s"
    # Leaks are not chased here: Qt keeps caches for the life of the process.
    if ! QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0:quarantine_size_mb=64 \
        "$dir/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$dir/crashes/$target-" "$scratch/$target" "fuzz/corpus/$target" \
        >"$dir/$target.log" 2>&1; then
        failed+=("$target")
        tail -40 "$dir/$target.log"
    else
        grep -E "stat::number_of_executed_units|stat::new_units_added" "$dir/$target.log" | tr '\n' ' '
        echo
    fi
done
if ((${#failed[@]})); then
    echo "fuzzing found faults in: ${failed[*]} (inputs in $dir/crashes/)"
    exit 1
fi
echo "fuzzing clean: ${#targets[@]} targets, ${seconds} s each"
