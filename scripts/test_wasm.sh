#!/usr/bin/env bash
# Builds the unit tests, the sameness tests included, for WebAssembly into
# build-wasm/tests/ and runs them with ctest under node; non-zero on failure.
# Installs what is missing first.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/wasm.sh"

tests="$wasm/tests"
configure_wasm "$tests" -DVELDRATH_WERROR=ON
cmake --build "$tests" --target veldrath_tests -j "$(nproc)"
ctest --test-dir "$tests" --output-on-failure -j "$(nproc)"
