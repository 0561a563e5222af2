#!/usr/bin/env bash
# Builds the game for the browser and packs the page (packaging/web/page/),
# veldrath.js, veldrath.wasm and LICENSE into
# build-web/veldrath-<version>-web.zip; prints the zip's path as the last line.
# Debian's emscripten compiles the game with Allegro's core, built once for
# WebAssembly by scripts/web_setup.sh, and the browser's drivers in
# packaging/web/allegro/.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/web_setup.sh"

# The game, without the tests. Sets $game and $version.
build_game() {
    game="$web/game"
    emcmake cmake -S "$root" -B "$game" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
        -DALLEGRO_PREFIX="$web_allegro" >/dev/null
    cmake --build "$game" -j "$(nproc)" >/dev/null
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$game/CMakeCache.txt")
}

pack() {
    local name="veldrath-$version-web"
    local stage="$web/$name"
    rm -rf "$stage" "$web/$name.zip"
    mkdir -p "$stage"
    cp "$root"/packaging/web/page/* "$game/veldrath.js" "$game/veldrath.wasm" "$stage/"
    {
        cat "$root/LICENSE"
        printf '\n\nveldrath.wasm holds the Allegro 4.4 library, under this licence:\n\n'
        cat "$web_allegro/LICENSE"
    } >"$stage/LICENSE"
    (cd "$stage" && zip -q -X "../$name.zip" ./*)
    zip_path="$web/$name.zip"
}

if [ ! -f "$root/LICENSE" ]; then
    echo "package_web: $root/LICENSE is missing" >&2
    exit 1
fi
build_web_allegro
build_game
pack
echo "$zip_path"
