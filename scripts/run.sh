#!/usr/bin/env bash
# Installs what is missing, builds a Release build and starts the game.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

install_missing "${packages[@]}"
# Only the game: the tests are not needed to play.
configure_into "$build" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" --target veldrath -j "$(nproc)"
exec "$build/veldrath"
