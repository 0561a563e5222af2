#!/usr/bin/env bash
# Installs what is missing, builds Release and times the grid's per-frame
# work against its memory floors; ends with the work-to-floor ratios.
# Extra arguments go to the benchmark (e.g. --benchmark_filter=stroke).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

install_missing "${packages[@]}" "${test_packages[@]}"
configure_and_build -DBUILD_TESTING=ON
# Repetitions interleaved at random so that a noisy moment hits work and
# floor alike; the ratios use the medians.
exec "$build/veldrath_bench" --benchmark_repetitions=5 \
    --benchmark_enable_random_interleaving=true "$@"
