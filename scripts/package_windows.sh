#!/usr/bin/env bash
# Cross-builds the game for 64-bit Windows and packs veldrath.exe, the Allegro
# DLL, LICENSE and README.txt into build-windows/veldrath-<version>-windows-x64.zip;
# prints the zip's path as the last line.
# Allegro 4.4 comes from Debian's source package, checked against its .dsc,
# patched with packaging/allegro/windows/*.patch and built once with the
# mingw-w64 toolchain; the build is reused until the source, the patches, the
# toolchain file or the options below change.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
source "$root/scripts/debian_source.sh"

windows="$root/build-windows"
toolchain="$root/cmake/mingw-w64-x86_64.cmake"
# The DLL is built once and kept across commits, so its export table is
# given no link time; strip stamps its header with SOURCE_DATE_EPOCH.
allegro_options=(-DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release -DSHARED=ON
    -DWANT_EXAMPLES=OFF -DWANT_TESTS=OFF -DWANT_TOOLS=OFF -DWANT_DOCS=OFF -DWANT_ALLEGROGL=OFF
    -DWANT_LOADPNG=OFF -DWANT_LOGG=OFF -DWANT_JPGALLEG=OFF
    -DCMAKE_SHARED_LINKER_FLAGS=-Wl,--no-insert-timestamp)

install_missing cmake make patch zip g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64

# Text files get Windows line ends, so that every editor shows them right.
pack() {
    local name="veldrath-$version-windows-x64"
    local stage="$windows/$name"
    rm -rf "$stage" "$windows/$name.zip"
    mkdir -p "$stage"
    x86_64-w64-mingw32-strip -o "$stage/veldrath.exe" "$game/veldrath.exe"
    x86_64-w64-mingw32-strip -o "$stage/alleg44.dll" "$allegro/install/bin/alleg44.dll"
    {
        cat "$root/LICENSE"
        printf '\n\nveldrath.exe uses the Allegro 4.4 library (alleg44.dll), under this licence:\n\n'
        cat "$allegro/install/LICENSE"
    } | sed 's/$/\r/' >"$stage/LICENSE"
    sed 's/$/\r/' "$root/packaging/windows/README.txt" >"$stage/README.txt"
    zip_path="$windows/$name.zip"
    zip_reproducibly "$stage" "$zip_path"
}

if [ ! -f "$root/LICENSE" ]; then
    echo "package_windows: $root/LICENSE is missing" >&2
    exit 1
fi
fetch_debian_source allegro4.4 "$windows/allegro-source"
build_allegro "$windows/allegro" "$root/packaging/allegro/windows" "$(sha256sum <"$toolchain")" \
    cmake "${allegro_options[@]}"
build_game_for "$windows/game" "$allegro/install" cmake -DCMAKE_TOOLCHAIN_FILE="$toolchain"
pack
echo "$zip_path"
