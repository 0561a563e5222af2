#!/usr/bin/env bash
# Builds the browser zip (scripts/package.sh web), unpacks it into an empty
# folder, serves it from a loopback port and runs the end-to-end suite of
# the normal build against the page in one browser engine, through
# tests/e2e/browser.sh, without retries; non-zero on failure.
#   scripts/test_web.sh [chromium|firefox|webkit]    (chromium by default)
# Builds the suite's driver into build/, like scripts/test_windows.sh.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
source "$root/scripts/lib/serve.sh"

engine=${1:-chromium}
suite=(VELDRATH_E2E_LAUNCHER="$root/tests/e2e/browser.sh $engine")
case $engine in
chromium) browser=(chromium) ;;
firefox)
    browser=(firefox-esr)
    # Firefox adds its name to the page's title. Its frames take a few
    # times as long as Chromium's here, and it takes over a second to end.
    suite+=(VELDRATH_E2E_TITLE="Veldrath — Mozilla Firefox" VELDRATH_E2E_PACE=4)
    ;;
webkit)
    browser=(gir1.2-webkit2-4.1 python3-gi)
    # WebKitGTK's frames take several times as long as Chromium's here.
    suite+=(VELDRATH_E2E_PACE=4)
    ;;
*)
    echo "usage: $0 [chromium|firefox|webkit]" >&2
    exit 2
    ;;
esac

install_missing "${browser[@]}"
make_scratch
# The page lies in a folder below the server's root, as on a host that
# serves it under a path of its own, so every URL it uses must be relative.
unpack_package web "$scratch/site/veldrath"
source "$root/scripts/lib/e2e_elsewhere.sh"
serve_on_loopback "$scratch/site"
page="${url}veldrath/"

echo "test_web: end-to-end suite against $(basename "$zip") in $engine at $page"
# A browser's window needs a screen larger than itself: Chromium shrinks a
# window that would fill the whole screen. The browsers' profiles go to the
# scratch folder, as the launcher gives way to the browser and cannot remove
# them. The page's own start-up message is checked below.
mkdir "$scratch/profiles"
status=0
env "${suite[@]}" VELDRATH_E2E_PROGRAM="$page" VELDRATH_E2E_SCREEN=1024x768 \
    TMPDIR="$scratch/profiles" "${e2e_elsewhere[@]}" || status=$?
[ "$engine" = chromium ] || exit "$status"

# What the suite cannot see, in headless Chromium (tests/e2e/page_checks.py):
# that the page starts asking nothing of another origin, without
# WebAssembly says why, starts offline from the files it keeps, and the
# page on phones and tablets and around the game.
python3 "$root/tests/e2e/page_checks.py" "$scratch/site/veldrath" || status=1
exit "$status"
