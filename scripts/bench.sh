#!/usr/bin/env bash
# Installs what is missing, builds the benchmark twice (Release): the default
# build, with AVX2 where the processor has it, and the portable build alone
# (VELDRATH_PORTABLE). Runs the two in turns, so that a noisy moment hits
# both alike, and ends with each build's work-to-floor ratios and the
# portable build's times against the default build's.
# Extra arguments go to the benchmark (e.g. --benchmark_filter=stroke).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

install_missing "${packages[@]}" "${test_packages[@]}" python3
portable="$root/build-portable"
configure_into "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON
configure_into "$portable" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON -DVELDRATH_PORTABLE=ON
for dir in "$build" "$portable"; do
    cmake --build "$dir" --target veldrath_bench -j "$(nproc)"
done

results=$(mktemp -d)
trap 'rm -rf "$results"' EXIT
for round in 1 2 3; do
    for run in "default:$build" "portable:$portable"; do
        echo "round $round, ${run%%:*} build"
        "${run#*:}/veldrath_bench" --benchmark_repetitions=3 \
            --benchmark_enable_random_interleaving=true --benchmark_display_aggregates_only=true \
            --benchmark_out="$results/${run%%:*}-$round.json" --benchmark_out_format=json "$@"
    done
done
python3 "$root/bench/summary.py" "$results"
