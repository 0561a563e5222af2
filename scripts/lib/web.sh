#!/usr/bin/env bash
# The browser build's tools and library: Debian's emscripten, and Allegro 4.4's
# core built for WebAssembly from Debian's source package, once, into
# build-web/allegro/install. Sourced by the scripts that build for the web.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
source "$root/scripts/lib/debian_source.sh"

web="$root/build-web"

install_missing emscripten nodejs cmake make patch
# Debian's emscripten runs on the machine's node, which does not search
# Debian's own module folder by itself.
export NODE_PATH=/usr/share/nodejs

# Allegro's core as a static library: no X11, no modules, no sound, no extras.
# The browser's drivers are compiled with the game (platform/web/).
web_allegro_options=("${allegro_common_options[@]}" -DSHARED=OFF -DWANT_X11=OFF -DWANT_MODULES=OFF
    -DRT_LIBRARY=-lc -DWANT_OSS=OFF -DWANT_ALSA=OFF -DWANT_JACK=OFF -DWANT_SGIAUDIO=OFF)

# Sets $web_allegro to the prefix with include/ and lib/liballeg.a.
build_web_allegro() {
    fetch_debian_source allegro4.4 "$web/allegro-source"
    build_allegro "$web/allegro" "$root/packaging/allegro/web" "emcc $(emcc -dumpversion)" \
        emcmake cmake "${web_allegro_options[@]}"
    web_allegro="$allegro/install"
}
