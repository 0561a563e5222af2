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
cleanup() {
    /usr/lib/wine/wineserver -k 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# Each game gets a wine session of its own: the last one was bound to the
# last test's display, which is gone, and a new game that joins it as it
# winds down may never get its window.
cat >"$scratch/wine" <<EOF
#!/bin/sh
/usr/lib/wine/wineserver -k 2>/dev/null
/usr/lib/wine/wineserver -w
exec $wine "\$@"
EOF
chmod +x "$scratch/wine"

mkdir "$scratch/veldrath"
(cd "$scratch/veldrath" && unzip -q "$zip")

# A new prefix takes a while to set up: done once here rather than in the
# first test. Its wine processes must end before the tests, which start them
# again on each test's own display.
echo "test_windows: preparing a wine prefix"
env -u DISPLAY "$wine" wineboot --init >/dev/null 2>&1
/usr/lib/wine/wineserver --wait

echo "test_windows: end-to-end suite against $(basename "$zip") under wine64"
# The library's Windows port needs a screen larger than its window (see
# tests/e2e/driver.cpp). Under wine a frame takes a few times as long as
# natively (each copy to the window goes through wine's Direct3D), so the
# tests hold keys and buttons, and wait, longer. One test at a time: wine
# runs several processes of its own per game. A busy machine can still slow
# wine past that, so a failed test gets a second run; one that fails twice
# fails the run.
VELDRATH_E2E_PROGRAM="$scratch/veldrath/veldrath.exe" VELDRATH_E2E_LAUNCHER="$scratch/wine" \
    VELDRATH_E2E_SCREEN=1024x768 VELDRATH_E2E_PACE=4 \
    ctest --test-dir "$build" --output-on-failure --repeat until-pass:2 -L e2e \
    -E startup_without_display
