#!/usr/bin/env bash
# Builds the Windows zip (scripts/package.sh windows), unpacks it into an
# empty folder and runs the end-to-end suite of the normal build against its
# veldrath.exe under wine64, in a scratch wine prefix; non-zero on failure.
# Builds the suite's driver into build/, like scripts/test_web.sh.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
source "$root/scripts/lib/xvfb.sh"

install_missing wine64
make_scratch
unpack_package windows "$scratch/veldrath"
source "$root/scripts/lib/e2e_elsewhere.sh"

wine=/usr/lib/wine/wine64
export WINEPREFIX="$scratch/prefix" WINEDEBUG=-all
# The prefix's Mono and Gecko installers are not needed, and would ask.
export WINEDLLOVERRIDES="mscoree,mshtml="

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
start_private_xvfb "$screen"
mkdir "$WINEPREFIX"
/usr/lib/wine/wineserver --persistent
at_exit '/usr/lib/wine/wineserver -k 2>/dev/null'
"$wine" wineboot --init >/dev/null 2>&1

echo "test_windows: end-to-end suite against $(basename "$zip") under wine64"
# Under wine a frame takes a few times as long as natively (each copy to the
# window goes through wine's Direct3D), so the tests hold keys and buttons,
# and wait, longer. One test at a time: wine runs several processes of its
# own per game.
VELDRATH_E2E_PROGRAM="$scratch/veldrath/veldrath.exe" VELDRATH_E2E_LAUNCHER="$wine" \
    VELDRATH_E2E_SCREEN=$screen VELDRATH_E2E_PACE=4 "${e2e_elsewhere[@]}"
