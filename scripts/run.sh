#!/usr/bin/env bash
# Installs what is missing, builds a Release build and starts the game.
#   scripts/run.sh        the desktop game
#   scripts/run.sh web    the browser build: builds its zip, unpacks it into
#                         build-web/site, serves that on 127.0.0.1, prints
#                         the address and opens it in the default browser
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
source "$root/scripts/lib/serve.sh"

serve_web() {
    local site=$root/build-web/site
    rm -rf "$site"
    unpack_package web "$site"
    serve_on_loopback "$site"
    echo "serving $site; Ctrl-C stops it"
    echo "$url"
    if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && command -v xdg-open >/dev/null; then
        xdg-open "$url" >/dev/null 2>&1 || true
    fi
    wait "$server"
}

case ${1:-} in
web) serve_web ;;
"")
    install_missing "${packages[@]}"
    # Only the game: the tests are not needed to play. A build/ that the
    # test scripts configured keeps its tests, which they build again there.
    testing=()
    [ -f "$build/CMakeCache.txt" ] || testing=(-DBUILD_TESTING=OFF)
    configure_into "$build" -DCMAKE_BUILD_TYPE=Release "${testing[@]}"
    cmake --build "$build" --target veldrath -j "$(nproc)"
    exec "$build/veldrath"
    ;;
*)
    echo "usage: $0 [web]" >&2
    exit 2
    ;;
esac
