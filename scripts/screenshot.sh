#!/usr/bin/env bash
# Stages a scene in the real game on a private X server (walls, a sand heap,
# water, fire under a roof) and saves it as docs/screenshot.png. Takes about
# fifteen seconds.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

install_missing "${packages[@]}" "${test_packages[@]}" imagemagick
configure_and_build -DBUILD_TESTING=ON
ppm=$(mktemp --suffix=.ppm)
trap 'rm -f "$ppm"' EXIT
"$build/veldrath_scene" "$ppm"
mkdir -p "$root/docs"
convert "$ppm" -strip -define png:exclude-chunks=date,time "$root/docs/screenshot.png"
echo "saved $root/docs/screenshot.png"
