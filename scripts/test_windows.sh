#!/usr/bin/env bash
# Builds the Windows zip (scripts/package.sh windows), unpacks it into an
# empty folder and runs the end-to-end suite of the normal build against its
# veldrath.exe under wine64, in a scratch wine prefix; non-zero on failure.
# Needs build/ from scripts/test.sh (or configure_and_build -DBUILD_TESTING=ON).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

install_missing "${test_packages[@]}" wine64 unzip
zip=$("$root/scripts/package.sh" windows | tail -n 1)
cmake --build "$build" -j "$(nproc)" --target veldrath_e2e >/dev/null

scratch=$(mktemp -d)
wine=/usr/lib/wine/wine64
export WINEPREFIX="$scratch/prefix" WINEDEBUG=-all
# The prefix's Mono and Gecko installers are not needed, and would ask.
export WINEDLLOVERRIDES="mscoree,mshtml="
home_xvfb=
cleanup() {
    /usr/lib/wine/wineserver -k 2>/dev/null || true
    [ -z "$home_xvfb" ] || kill "$home_xvfb" 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

mkdir "$scratch/veldrath"
(cd "$scratch/veldrath" && unzip -q "$zip")

# The library's Windows port needs a screen larger than its window: Windows
# keeps a window's frame within the screen, and the title bar would leave
# less than 600 rows inside.
screen=1024x768

# One wine session serves every test. A session's desktop process stays on
# the display it started on, so it gets a virtual display of its own for the
# whole run, of the tests' size, which Windows takes for the screen's; each
# game's window still opens on its own test's display. Setting up the new
# prefix takes a while, and is done once here.
echo "test_windows: preparing a wine prefix"
Xvfb -displayfd 3 -screen 0 "${screen}x24" -nolisten tcp 3>"$scratch/display" >/dev/null 2>&1 &
home_xvfb=$!
for _ in $(seq 100); do
    [ -s "$scratch/display" ] && break
    sleep 0.1
done
export DISPLAY=":$(cat "$scratch/display")"
mkdir "$WINEPREFIX"
/usr/lib/wine/wineserver --persistent
"$wine" wineboot --init >/dev/null 2>&1

echo "test_windows: end-to-end suite against $(basename "$zip") under wine64"
# Under wine a frame takes a few times as long as natively (each copy to the
# window goes through wine's Direct3D), so the tests hold keys and buttons,
# and wait, longer. One test at a time: wine runs several processes of its
# own per game. A busy machine can still slow wine past that, and the game
# then misses a click, so a failed test gets a second run; one that fails
# twice fails the run. Left out: the tests of what the game does only under
# X11 (wine's windows carry wine's own class and icon).
VELDRATH_E2E_PROGRAM="$scratch/veldrath/veldrath.exe" VELDRATH_E2E_LAUNCHER="$wine" \
    VELDRATH_E2E_SCREEN=$screen VELDRATH_E2E_PACE=4 \
    ctest --test-dir "$build" --output-on-failure --repeat until-pass:2 -L e2e \
    -E "$x11_only_e2e"
