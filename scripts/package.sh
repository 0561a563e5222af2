#!/usr/bin/env bash
# Builds a package of the game and prints its path as the last line.
#   scripts/package.sh [TARGET]
# TARGET is a Debian architecture (this machine's by default; arm64 is
# cross-built), `windows` for the x64 zip or `web` for the browser's zip.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
target=${1:-$(dpkg --print-architecture)}
case $target in
windows) exec "$here/package_windows.sh" ;;
web) exec "$here/package_web.sh" ;;
*) exec "$here/package_deb.sh" "$target" ;;
esac
