#!/usr/bin/env bash
# Builds the game for the browser and packs the page (packaging/web/page/),
# veldrath.js, veldrath.wasm and LICENSE into
# build-web/veldrath-<version>-web.zip; prints the zip's path as the last line.
# Debian's emscripten compiles the game with Allegro's core, built once for
# WebAssembly by scripts/web_setup.sh, and the browser's drivers in
# platform/web/.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/web_setup.sh"

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
    # The page names the game's files by a version drawn from their content,
    # so that browsers and their caches never mix two builds' files.
    local stamp
    stamp=$(cd "$stage" && find . -type f | LC_ALL=C sort | xargs cat | sha256sum | cut -c1-16)
    sed -i "s/@stamp@/$stamp/g" "$stage/index.html" "$stage/page.js" "$stage/sw.js"
    zip_path="$web/$name.zip"
    zip_reproducibly "$stage" "$zip_path"
}

if [ ! -f "$root/LICENSE" ]; then
    echo "package_web: $root/LICENSE is missing" >&2
    exit 1
fi
build_web_allegro
build_game_for "$web/game" "$web_allegro" emcmake cmake
pack
echo "$zip_path"
