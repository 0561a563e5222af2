#!/usr/bin/env bash
# Stages a scene in the real game on a private X server (walls, a sand heap,
# water, fire under a roof) and saves it as docs/screenshot.png. Takes about
# fifteen seconds.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"

install_missing "${packages[@]}" "${test_packages[@]}" imagemagick
configure_and_build -DBUILD_TESTING=ON
make_scratch
"$build/veldrath_scene" "$scratch/scene.ppm"
mkdir -p "$root/docs"
convert "$scratch/scene.ppm" -strip -define png:exclude-chunks=date,time "$root/docs/screenshot.png"
echo "saved $root/docs/screenshot.png"
