#!/usr/bin/env bash
# The one way to serve a folder to a browser on this machine. Sourced after
# common.sh.

# Serves FOLDER over HTTP on 127.0.0.1 in the background, on a port the
# system picks, until the script ends; sets $server (the server's pid) and
# $url (its address).
serve_on_loopback() {
    install_missing python3
    local log
    log=$(mktemp)
    python3 -u -m http.server --bind 127.0.0.1 --directory "$1" 0 >"$log" 2>/dev/null &
    server=$!
    at_exit "kill $server 2>/dev/null"
    for _ in $(seq 100); do
        grep -q '^Serving HTTP' "$log" && break
        sleep 0.1
    done
    url="http://127.0.0.1:$(sed -n 's/^Serving HTTP on .* port \([0-9]*\) .*/\1/p' "$log")/"
    rm -f "$log"
    [ "$url" != "http://127.0.0.1:/" ] || { echo "the web server did not start" >&2; return 1; }
}
