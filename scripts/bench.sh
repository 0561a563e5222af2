#!/usr/bin/env bash
# Installs what is missing, builds the benchmark three times (Release): the
# default build, with AVX2 where the processor has it, the portable build
# alone (VELDRATH_PORTABLE), and the browser's build, WebAssembly with its
# 128-bit vectors, run under node (V8, the engine of Chromium). Runs the
# three in turns, so that a noisy moment hits them alike, and ends with each
# build's work-to-floor ratios, the portable build's times against the
# default build's and the browser's against the portable build's.
# Extra arguments go to the benchmark (e.g. --benchmark_filter=stroke).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/wasm.sh"

install_missing "${packages[@]}" "${test_packages[@]}" python3
portable="$root/build-portable"
browser="$wasm/bench"
configure_into "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON
configure_into "$portable" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON -DVELDRATH_PORTABLE=ON
configure_wasm "$browser"
for dir in "$build" "$portable" "$browser"; do
    cmake --build "$dir" --target veldrath_bench -j "$(nproc)"
done

# Runs the named build's benchmark with the given arguments.
run_bench() {
    case $1 in
    default) "$build/veldrath_bench" "${@:2}" ;;
    portable) "$portable/veldrath_bench" "${@:2}" ;;
    browser) "${node[@]}" "$browser/veldrath_bench.js" "${@:2}" ;;
    esac
}

make_scratch
results=$scratch
for round in 1 2 3; do
    for run in default portable browser; do
        echo "round $round, $run build"
        run_bench "$run" --benchmark_repetitions=3 \
            --benchmark_enable_random_interleaving=true --benchmark_display_aggregates_only=true \
            --benchmark_out="$results/$run-$round.json" --benchmark_out_format=json "$@"
    done
done
python3 "$root/bench/summary.py" "$results"
