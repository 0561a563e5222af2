#!/usr/bin/env bash
# Installs what is missing, builds and runs every test; non-zero on failure.
# Then the memory checks: the unit tests again with the sanitizers, a bounded
# fuzz run of the grid and the game under valgrind (see the README's
# Hardening section). Everything the tests need is installed here, before
# ctest: a test never installs anything.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/cross.sh"

install_missing "${packages[@]}" "${test_packages[@]}" "${packaging_packages[@]}" \
    "${package_check_packages[@]}" "${hardening_packages[@]}"
# The package test also builds and plays another processor's package.
[ "$(dpkg --print-architecture)" = "$checked_foreign_arch" ] || cross_install "$checked_foreign_arch"
configure_and_build -DBUILD_TESTING=ON -DVELDRATH_WERROR=ON
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"

# End-to-end runs and the package checks stay with the normal build.
sanitize_build="$root/build-sanitize"
build_into "$sanitize_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELDRATH_SANITIZE=ON \
    -DVELDRATH_WERROR=ON
UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir "$sanitize_build" --output-on-failure \
    -j "$(nproc)" -LE "e2e|package"

"$root/scripts/fuzz.sh" 60
"$root/tests/memcheck.sh"
