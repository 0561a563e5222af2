#!/usr/bin/env bash
# The one way to start a private X server. Sourced after common.sh.

# Starts Xvfb with one screen of SIZE (WIDTHxHEIGHT) on a display number it
# picks itself among the free ones (-displayfd), so that runs side by side
# never share one, and exports DISPLAY; the server ends with the script.
# Without -noreset the server resets whenever its last client disconnects,
# and a program connecting just then finds no display.
start_private_xvfb() {
    local number
    number=$(mktemp)
    Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp -noreset 3>"$number" >/dev/null 2>&1 &
    at_exit "kill $! 2>/dev/null"
    for _ in $(seq 100); do
        [ -s "$number" ] && break
        sleep 0.1
    done
    [ -s "$number" ] || { echo "Xvfb did not start" >&2; exit 1; }
    export DISPLAY=":$(cat "$number")"
    rm -f "$number"
}
