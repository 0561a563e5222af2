#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that
# are missing, then configures and builds into build/ (Release).
# Sourced by run.sh, test.sh and bench.sh; works from any current directory.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build"

packages=(g++ cmake make pkg-config liballegro4-dev libgtest-dev libbenchmark-dev)

install_missing() {
    local missing=()
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    echo "installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
}

configure_and_build() {
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release "$@"
    cmake --build "$build" -j "$(nproc)"
}
