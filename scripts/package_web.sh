#!/usr/bin/env bash
# Builds the game for the browser and packs the page (packaging/web/page/),
# veldrath.js, veldrath.wasm and LICENSE into
# build-web/veldrath-<version>-web.zip; prints the zip's path as the last line.
# Debian's emscripten compiles the game with Allegro's core, built once for
# WebAssembly by scripts/lib/web.sh, and the browser's drivers in
# platform/web/.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/web.sh"
source "$root/scripts/lib/zip.sh"

build_web_allegro
build_game_for "$web/game" "$web_allegro" emcmake cmake
new_stage "$web" "veldrath-$version-web"
cp "$root"/packaging/web/page/* "$game/veldrath.js" "$game/veldrath.wasm" "$stage/"
add_license "veldrath.wasm holds the Allegro 4.4 library" "$web_allegro/LICENSE"
# The page names the game's files by a version drawn from their content,
# so that browsers and their caches never mix two builds' files.
stamp=$(cd "$stage" && find . -type f | LC_ALL=C sort | xargs cat | sha256sum | cut -c1-16)
sed -i "s/@stamp@/$stamp/g" "$stage/index.html" "$stage/page.js" "$stage/sw.js"
zip_stage
echo "$zip_path"
