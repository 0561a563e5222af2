#!/usr/bin/env bash
# Opens the page at URL in one window of 800 x 600 with no browser controls
# around it, the page's content at the window's top-left corner, with a
# profile of its own, so the end-to-end suite can drive the browser build as
# it drives the desktop game (VELDRATH_E2E_LAUNCHER="tests/e2e/browser.sh
# ENGINE"). After Escape it ends with status 0: Chromium's --app window is an
# app window, which the page closes; Firefox and WebKitGTK show the page as
# a tab, which stays open saying that the game has ended, so their
# launchers watch for that and end the browser.
#   tests/e2e/browser.sh chromium|firefox|webkit URL
# The browser replaces this script, so that the driver's kill reaches it;
# its profile stays in $TMPDIR, which scripts/test_web.sh removes.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
engine=$1
url=$2
profile=$(mktemp -d)

case $engine in
chromium)
    # --test-type keeps the warning about --no-sandbox (which root needs)
    # from covering the page's top.
    exec chromium --app="$url" --window-size=800,600 --user-data-dir="$profile" --no-sandbox \
        --test-type --no-first-run --disable-background-networking --disable-component-update \
        --disable-sync
    ;;
firefox)
    # Kiosk mode shows the page alone; without a window manager it keeps the
    # size asked for. Firefox counts its window as a tab, which the page
    # never closes: firefox_window.py ends it once the game has ended.
    cat >"$profile/user.js" <<'PREFS'
user_pref("browser.shell.checkDefaultBrowser", false);
user_pref("browser.startup.homepage_override.mstone", "ignore");
user_pref("datareporting.policy.dataSubmissionEnabled", false);
user_pref("toolkit.telemetry.reportingpolicy.firstRun", false);
user_pref("app.update.disabledForTesting", true);
user_pref("browser.safebrowsing.update.enabled", false);
user_pref("network.captive-portal-service.enabled", false);
user_pref("network.connectivity-service.enabled", false);
PREFS
    exec /usr/bin/python3 "$here/firefox_window.py" "$profile" "$url"
    ;;
webkit)
    exec /usr/bin/python3 "$here/webkit_window.py" "$url"
    ;;
*)
    echo "usage: $0 chromium|firefox|webkit URL" >&2
    exit 2
    ;;
esac
