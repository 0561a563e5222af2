#!/usr/bin/env bash
# What every script builds on: the checkout's root, its Release build in
# build/, configuring and building, a scratch folder and the clean-up when
# the script ends. Works from any current directory.
set -euo pipefail
# Once, however many of the libraries source it.
[ -z "${root:-}" ] || return 0

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build="$root/build"
source "$root/scripts/lib/install.sh"

# Clean-up steps, run when the script ends, the last added first; Ctrl-C and
# kill end it through them too.
exit_steps=()
at_exit() {
    exit_steps=("$1" "${exit_steps[@]}")
}
trap 'for step in "${exit_steps[@]}"; do eval "$step" || true; done' EXIT
trap 'exit 1' INT TERM

# Sets $scratch to a new empty folder, removed when the script ends.
make_scratch() {
    scratch=$(mktemp -d)
    at_exit 'rm -rf "$scratch"'
}

# Configures the given build directory with the given options.
configure_into() {
    local dir=$1
    shift
    cmake -S "$root" -B "$dir" "$@"
}

# Configures and builds everything into the given directory.
build_into() {
    configure_into "$@"
    cmake --build "$1" -j "$(nproc)"
}

configure_and_build() {
    build_into "$build" -DCMAKE_BUILD_TYPE=Release "$@"
}

# The time that tools which stamp one into what they make (mingw's linker
# and strip, zip) are given: the last commit's, unless SOURCE_DATE_EPOCH is
# set, so that the same commit builds to the same bytes anywhere.
source_date_epoch() {
    echo "${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct)}"
}

# The game alone, without the tests, for another platform: configured into
# DIR by the command given (cmake with a toolchain, or emcmake cmake) with
# Allegro from ALLEGRO_PREFIX. Sets $game and $version, and exports
# SOURCE_DATE_EPOCH for the build and the packing after it.
build_game_for() {
    game=$1
    SOURCE_DATE_EPOCH=$(source_date_epoch)
    export SOURCE_DATE_EPOCH
    local allegro_prefix=$2
    shift 2
    "$@" -S "$root" -B "$game" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
        -DALLEGRO_PREFIX="$allegro_prefix" >/dev/null
    cmake --build "$game" -j "$(nproc)" >/dev/null
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$game/CMakeCache.txt")
}

# Builds the zip of TARGET (windows or web; scripts/package.sh) and unpacks
# it into the folder DIR; sets $zip.
unpack_package() {
    install_missing unzip
    zip=$("$root/scripts/package.sh" "$1" | tail -n 1)
    mkdir -p "$2"
    unzip -q "$zip" -d "$2"
}
