#!/usr/bin/env bash
# Installs what is missing, builds a Release build and starts the game.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

install_missing "${packages[@]}"
configure_and_build
exec "$build/veldrath"
