#!/usr/bin/env bash
# Runs the game under valgrind's memcheck in a virtual X server through a
# short scripted session: start, paint with every element, pick Fire and the
# brush size in the panel, quit with Escape. Fails on any memcheck error
# (definite leaks included) and on a session that does not end by itself.
# Builds into build-memcheck/ (optimised, with debug info).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib/common.sh"
source "$root/scripts/lib/xvfb.sh"

install_missing "${packages[@]}" "${hardening_packages[@]}"
memcheck_build="$root/build-memcheck"
build_into "$memcheck_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
    -DVELDRATH_WERROR=ON

log="$memcheck_build/memcheck.log"
valgrind_pid=
at_exit '[ -z "$valgrind_pid" ] || kill "$valgrind_pid" 2>/dev/null'

# Whether a child still runs; one that has ended stays a zombie until it is
# waited for.
running() {
    local state
    state=$(ps -o stat= -p "$1" 2>/dev/null) && [[ $state != Z* ]]
}

# The window carries the program's name until the game sets its title, the
# last step before its first frame.
wait_for_window() {
    local w
    for _ in $(seq 600); do
        for w in $(xdotool search --name Veldrath 2>/dev/null); do
            [ "$(xdotool getwindowname "$w" 2>/dev/null)" = Veldrath ] && echo "$w" && return 0
        done
        running "$valgrind_pid" || return 1
        sleep 0.1
    done
    return 1
}

# Frames are slow under valgrind: every input is held for half a second.
hold_key() {
    xdotool keydown "$1"
    sleep 0.5
    xdotool keyup "$1"
}

drag() {
    xdotool mousemove --window "$window" "$1" "$2"
    sleep 0.5
    xdotool mousedown 1
    sleep 0.5
    xdotool mousemove --window "$window" "$3" "$4"
    sleep 0.5
    xdotool mouseup 1
}

play_session() {
    window=$(wait_for_window)
    hold_key KP_1
    drag 100 500 500 500 # a wall
    hold_key KP_2
    drag 300 100 350 200 # sand
    hold_key KP_3
    drag 200 300 400 300 # water
    hold_key KP_0
    drag 250 500 300 500 # erase a gap in the wall
    drag 700 50 700 50   # click the panel's "Fire" label
    drag 610 300 700 400 # drag on the size slider
    drag 100 100 500 150 # fire
    drag 650 590 590 590 # a stroke that enters from the panel
    quit_game
}

# Escape is held for a second; a slow machine gets a few more tries.
quit_game() {
    for _ in 1 2 3; do
        xdotool keydown Escape
        sleep 1
        xdotool keyup Escape
        for _ in $(seq 100); do
            running "$valgrind_pid" || return 0
            sleep 0.1
        done
    done
    return 1
}

start_private_xvfb 1024x768
limit=300
timeout "$limit" valgrind --error-exitcode=1 --leak-check=full --show-leak-kinds=definite \
    --errors-for-leak-kinds=definite --track-origins=yes \
    --suppressions="$root/tests/memcheck.supp" --log-file="$log" \
    "$memcheck_build/veldrath" &
valgrind_pid=$!
set +e
(
    set -e
    play_session
)
session=$?
# A session cut short leaves the game running: no need to wait for the limit.
[ "$session" -eq 0 ] || kill "$valgrind_pid"
wait "$valgrind_pid"
status=$?
set -e
valgrind_pid=

fail() {
    cat "$log"
    echo "memcheck: $*" >&2
    exit 1
}

# The verdict comes from memcheck's own count, never from a killed game.
[ "$session" -eq 0 ] || fail "the scripted session did not complete (status $session)"
[ "$status" -ne 124 ] || fail "the game did not end within $limit s"
grep -q 'Process terminating with default action' "$log" && fail "the game was killed by a signal"
errors=$(sed -n 's/.*ERROR SUMMARY: \([0-9]*\) errors.*/\1/p' "$log")
[ -n "$errors" ] || fail "valgrind ended without its summary (status $status)"
[ "$errors" -eq 0 ] || fail "$errors errors (status $status)"
[ "$status" -eq 0 ] || fail "the game ended with status $status"
echo "memcheck: $(grep -o 'ERROR SUMMARY: .*' "$log")"
