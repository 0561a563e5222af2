#!/usr/bin/env bash
# A private X server for a script (see xvfb beside it). Sourced after
# common.sh.

# Starts one with a screen of SIZE (WIDTHxHEIGHT) and exports DISPLAY; the
# server ends with the script.
start_private_xvfb() {
    local number
    number=$(mktemp)
    "$root/scripts/lib/xvfb" "$1" "$number" &
    at_exit "kill $! 2>/dev/null"
    for _ in $(seq 100); do
        [ -s "$number" ] && break
        sleep 0.1
    done
    [ -s "$number" ] || { echo "Xvfb did not start" >&2; exit 1; }
    export DISPLAY=":$(cat "$number")"
    rm -f "$number"
}
