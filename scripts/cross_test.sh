#!/usr/bin/env bash
# Cross-compiles the game and its unit tests for another processor into
# build-ARCH/ and runs the tests with ctest under qemu-user; non-zero on
# failure. Installs what is missing first.
#   scripts/cross_test.sh arm64|i386|s390x
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/cross.sh"

arch=${1:?usage: cross_test.sh arm64|i386|s390x}
cross_install "$arch" "libgtest-dev:$arch"
cross_build="$root/build-$arch"
cross_configure "$arch" "$cross_build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON \
    -DVELDRATH_WERROR=ON
cmake --build "$cross_build" -j "$(nproc)"
ctest --test-dir "$cross_build" --output-on-failure -j "$(nproc)"
