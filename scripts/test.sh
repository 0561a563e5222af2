#!/usr/bin/env bash
# Installs what is missing, builds and runs every test; non-zero on failure.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

install_missing "${packages[@]}"
configure_and_build
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
