#!/usr/bin/env bash
# Times the browser build in Chromium: builds the web zip, unpacks it into an
# empty folder, serves it on loopback and has bench/web_frames.py open it in
# Chromium on a private Xvfb display, paint a busy scene and print the
# median frame's work, at full speed and with the processor throttled 4
# times as on a phone, how soon a touch and a mouse press on a panel label
# reach the game, the first frame's time and the page's size.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
source "$root/scripts/lib/xvfb.sh"
source "$root/scripts/lib/serve.sh"

install_missing chromium xvfb python3
make_scratch
unpack_package web "$scratch/page"
start_private_xvfb 1024x768
serve_on_loopback "$scratch/page"
python3 "$root/bench/web_frames.py" "$scratch/page" "${url}index.html"
