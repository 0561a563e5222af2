#!/usr/bin/env bash
# Builds a package of the game and prints its path as the last line.
#   scripts/package.sh [TARGET]
# TARGET is a Debian architecture (this machine's by default; arm64 is
# cross-built), `windows` for the x64 zip, `web` for the browser's zip or
# `source` for the Debian source package of the last commit (its .dsc).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
target=${1:-$(dpkg --print-architecture)}
case $target in
windows) exec "$here/package_windows.sh" ;;
web) exec "$here/package_web.sh" ;;
source) exec "$here/package_source.sh" ;;
*) exec "$here/package_deb.sh" "$target" ;;
esac
