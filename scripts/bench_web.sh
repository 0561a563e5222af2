#!/usr/bin/env bash
# Times the browser build in Chromium: builds the web zip, unpacks it into an
# empty folder and has bench/web_frames.py serve it on loopback and open it
# in Chromium on a private Xvfb display, paint a busy scene and print the
# median frame's work, at full speed and with the processor throttled 4
# times as on a phone, how soon a touch and a mouse press on a panel label
# reach the game, the first frame's time and the page's size.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

install_missing chromium xvfb python3 unzip
zip=$("$root/scripts/package.sh" web | tail -n 1)

work=$(mktemp -d)
xvfb=
trap '[ -z "$xvfb" ] || kill "$xvfb"; rm -rf "$work"' EXIT
unzip -q "$zip" -d "$work/page"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
DISPLAY=":$(cat "$work/display")" python3 "$root/bench/web_frames.py" "$work/page"
