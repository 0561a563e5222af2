#!/usr/bin/env bash
# Cross-builds the game for 64-bit Windows and packs veldrath.exe, the Allegro
# DLL, LICENSE and README.txt into build-windows/veldrath-<version>-windows-x64.zip;
# prints the zip's path as the last line.
# Allegro 4.4 comes from Debian's source package, checked against its .dsc,
# patched with packaging/windows/allegro/*.patch and built once with the
# mingw-w64 toolchain; the build is reused until the source, the patches, the
# toolchain file or the options below change.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
source "$root/scripts/debian_source.sh"

windows="$root/build-windows"
toolchain="$root/cmake/mingw-w64-x86_64.cmake"
patches=("$root"/packaging/windows/allegro/*.patch)
allegro_options=(-DCMAKE_BUILD_TYPE=Release -DSHARED=ON -DWANT_EXAMPLES=OFF -DWANT_TESTS=OFF
    -DWANT_TOOLS=OFF -DWANT_DOCS=OFF -DWANT_ALLEGROGL=OFF -DWANT_LOADPNG=OFF -DWANT_LOGG=OFF
    -DWANT_JPGALLEG=OFF)

install_missing cmake make patch zip g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64

# Builds and installs Allegro into $allegro/install unless the same inputs
# built it before. Sets $allegro.
build_allegro() {
    allegro="$windows/allegro"
    local stamp
    stamp=$( (sha256sum "$tarball" "${patches[@]}" "$toolchain" | cut -d' ' -f1; echo "${allegro_options[*]}") |
        sha256sum | cut -d' ' -f1)
    if [ -f "$allegro/stamp" ] && [ "$(cat "$allegro/stamp")" = "$stamp" ]; then
        echo "package_windows: Allegro is built already"
        return
    fi
    echo "package_windows: building Allegro for Windows (about a minute)"
    rm -rf "$allegro"
    mkdir -p "$allegro"
    tar -xzf "$tarball" -C "$allegro"
    local source
    source=$(find "$allegro" -mindepth 1 -maxdepth 1 -type d)
    local p
    for p in "${patches[@]}"; do
        patch -d "$source" -p1 --quiet <"$p"
    done
    cmake -S "$source" -B "$allegro/build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_INSTALL_PREFIX="$allegro/install" "${allegro_options[@]}" >"$allegro/configure.log" 2>&1 ||
        { cat "$allegro/configure.log"; exit 1; }
    cmake --build "$allegro/build" -j "$(nproc)" >"$allegro/build.log" 2>&1 ||
        { cat "$allegro/build.log"; exit 1; }
    cmake --install "$allegro/build" >/dev/null
    # The licence travels with the DLL; the source tree is not kept.
    sed -e '/^@/d' -e 's/^   //' "$source/docs/src/license._tx" >"$allegro/install/LICENSE"
    rm -rf "$source" "$allegro/build"
    echo "$stamp" >"$allegro/stamp"
}

# The game against that Allegro, without the tests. Sets $game and $version.
build_game() {
    game="$windows/game"
    cmake -S "$root" -B "$game" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
        -DBUILD_TESTING=OFF -DALLEGRO_PREFIX="$allegro/install" >/dev/null
    cmake --build "$game" -j "$(nproc)" >/dev/null
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$game/CMakeCache.txt")
}

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
    (cd "$stage" && zip -q -X "../$name.zip" veldrath.exe alleg44.dll LICENSE README.txt)
    zip_path="$windows/$name.zip"
}

if [ ! -f "$root/LICENSE" ]; then
    echo "package_windows: $root/LICENSE is missing" >&2
    exit 1
fi
fetch_debian_source allegro4.4 "$windows/allegro-source"
build_allegro
build_game
pack
echo "$zip_path"
