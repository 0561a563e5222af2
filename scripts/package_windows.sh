#!/usr/bin/env bash
# Cross-builds the game for 64-bit Windows and packs veldrath.exe, the Allegro
# DLL, LICENSE and README.txt into build-windows/veldrath-<version>-windows-x64.zip;
# prints the zip's path as the last line.
# Allegro 4.4 comes from Debian's source package, checked against its .dsc,
# patched with packaging/allegro/windows/*.patch and built once with the
# mingw-w64 toolchain; the build is reused until the source, the patches, the
# toolchain file or the options below change.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
source "$root/scripts/lib/debian_source.sh"
source "$root/scripts/lib/zip.sh"

windows="$root/build-windows"
toolchain="$root/cmake/mingw-w64-x86_64.cmake"
# The DLL is built once and kept across commits, so its export table is
# given no link time; strip stamps its header with SOURCE_DATE_EPOCH.
allegro_options=(-DCMAKE_TOOLCHAIN_FILE="$toolchain" "${allegro_common_options[@]}" -DSHARED=ON
    -DCMAKE_SHARED_LINKER_FLAGS=-Wl,--no-insert-timestamp)

install_missing cmake make patch g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
fetch_debian_source allegro4.4 "$windows/allegro-source"
build_allegro "$windows/allegro" "$root/packaging/allegro/windows" "$(sha256sum <"$toolchain")" \
    cmake "${allegro_options[@]}"
build_game_for "$windows/game" "$allegro/install" cmake -DCMAKE_TOOLCHAIN_FILE="$toolchain"

new_stage "$windows" "veldrath-$version-windows-x64"
x86_64-w64-mingw32-strip -o "$stage/veldrath.exe" "$game/veldrath.exe"
x86_64-w64-mingw32-strip -o "$stage/alleg44.dll" "$allegro/install/bin/alleg44.dll"
add_license "veldrath.exe uses the Allegro 4.4 library (alleg44.dll)" "$allegro/install/LICENSE"
cp "$root/packaging/windows/README.txt" "$stage/"
# Text files get Windows line ends, so that every editor shows them right.
sed -i 's/$/\r/' "$stage/LICENSE" "$stage/README.txt"
zip_stage
echo "$zip_path"
