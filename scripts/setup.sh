#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that
# are missing, and configures and builds into build/ (Release).
# Sourced by run.sh, test.sh and bench.sh; works from any current directory.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build"

# To build and play.
packages=(g++ cmake make pkg-config liballegro4-dev)
# Unit tests, the end-to-end tests in a virtual X server, and the benchmark.
test_packages=(libgtest-dev xvfb libx11-dev libxtst-dev libbenchmark-dev)
# The Debian packages (cpack, dpkg-shlibdeps).
packaging_packages=(dpkg-dev file)
# Install layout, icons, and the checks a distribution runs on the packages:
# menu entry, lintian, AppStream metadata, hardening-check, manual page.
package_check_packages=(desktop-file-utils python3 lintian appstream devscripts man-db)
# Sanitizers, fuzzing, memcheck in a virtual X server, and lint.
hardening_packages=(clang libclang-rt-14-dev valgrind libc6-dbg xvfb xdotool clang-tidy clang-format
    cppcheck)

# Runs a command as root, through sudo when needed.
as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    else
        sudo "$@"
    fi
}

# A mirror caught mid-sync serves a list that fails its checksum, and
# apt-get update then fails as a whole, though the other lists came. A few
# tries a while apart; after that the install goes ahead with the lists
# there are, and fails by itself if they lack a package.
update_package_lists() {
    local try
    for try in 1 2 3; do
        as_root apt-get update -q && return 0
        [ "$try" -eq 3 ] || sleep 10
    done
    echo "some package lists could not be updated; installing from the others" >&2
}

install_missing() {
    local missing=()
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "installing: ${missing[*]}"
    update_package_lists
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
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

# Zips the files in the folder STAGE into ZIP in a fixed order, with fixed
# modes and source_date_epoch's time in UTC.
zip_reproducibly() {
    local stage=$1 zip=$2
    local epoch
    epoch=$(source_date_epoch)
    find "$stage" -type f -exec chmod 644 {} + -exec touch -d "@$epoch" {} +
    (cd "$stage" && find . -type f -printf '%P\n' | LC_ALL=C sort | TZ=UTC zip -q -X -@ "$zip")
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

# Serves a folder over HTTP on 127.0.0.1 in the background, on a port the
# system picks; sets $server (the server's pid) and $url (its address).
# End-to-end tests of what only the Linux build does under X11: the start
# without a display (it runs the Linux binary), the window's X11 class and
# icon, and the loss of the display. Builds for other platforms leave them
# out.
x11_only_e2e='startup_without_display|presents_itself_by_its_class_and_icon|veldrath_display\.'

serve_on_loopback() {
    local log
    log=$(mktemp)
    python3 -u -m http.server --bind 127.0.0.1 --directory "$1" 0 >"$log" 2>/dev/null &
    server=$!
    for _ in $(seq 100); do
        grep -q '^Serving HTTP' "$log" && break
        sleep 0.1
    done
    url="http://127.0.0.1:$(sed -n 's/^Serving HTTP on .* port \([0-9]*\) .*/\1/p' "$log")/"
    rm -f "$log"
    [ "$url" != "http://127.0.0.1:/" ] || { echo "the web server did not start" >&2; return 1; }
}
