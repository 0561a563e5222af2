#!/usr/bin/env bash
# Builds the grid's libFuzzer target with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) twice, as the default build into build-fuzz/
# (with AVX2 where the processor has it) and as the portable build into
# build-fuzz-portable/, and runs each for half the given number of seconds,
# 60 in all by default. A crash, a sanitizer finding, a broken grid invariant
# or a hang fails; the input that caused it is left in the build directory as
# crash-*, timeout-* or similar.
#   scripts/fuzz.sh [seconds]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"

seconds=${1:-60}
install_missing "${packages[@]}" "${hardening_packages[@]}"

# New inputs go to the build's corpus, which later runs start from; the
# committed seeds in fuzz/corpus are only read.
fuzz() {
    local dir=$1
    shift
    build_into "$dir" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DBUILD_TESTING=OFF -DVELDRATH_FUZZ=ON -DVELDRATH_WERROR=ON "$@"
    mkdir -p "$dir/corpus"
    "$dir/grid_fuzz" -max_total_time="$(((seconds + 1) / 2))" -timeout=30 -print_final_stats=1 \
        -artifact_prefix="$dir/" "$dir/corpus" "$root/fuzz/corpus"
}

fuzz "$root/build-fuzz" -DVELDRATH_PORTABLE=OFF
fuzz "$root/build-fuzz-portable" -DVELDRATH_PORTABLE=ON
