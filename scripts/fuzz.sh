#!/usr/bin/env bash
# Builds the grid's libFuzzer target with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) into build-fuzz/ and runs it for the given
# number of seconds, 60 by default. A crash, a sanitizer finding, a broken
# grid invariant or a hang fails; the input that caused it is left in
# build-fuzz/ as crash-*, timeout-* or similar.
#   scripts/fuzz.sh [seconds]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

seconds=${1:-60}
install_missing "${packages[@]}" "${hardening_packages[@]}"
fuzz_build="$root/build-fuzz"
build_into "$fuzz_build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBUILD_TESTING=OFF -DVELDRATH_FUZZ=ON -DVELDRATH_WERROR=ON

# New inputs go to build-fuzz/corpus, which later runs start from; the
# committed seeds in fuzz/corpus are only read.
mkdir -p "$fuzz_build/corpus"
"$fuzz_build/grid_fuzz" -max_total_time="$seconds" -timeout=30 -print_final_stats=1 \
    -artifact_prefix="$fuzz_build/" "$fuzz_build/corpus" "$root/fuzz/corpus"
