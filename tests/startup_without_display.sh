#!/usr/bin/env bash
# Without a display the game must stop at once with one line on stderr and
# status 1: no crash, no core dump.
set -u
exe=$1
err=$(mktemp)
trap 'rm -f "$err"' EXIT
env -u DISPLAY timeout 10 "$exe" 2>"$err" >/dev/null
status=$?
if [ "$status" -ne 1 ]; then
    echo "expected exit status 1, got $status"; cat "$err"; exit 1
fi
if [ "$(wc -l <"$err")" -ne 1 ] || ! grep -q '^veldrath: cannot ' "$err"; then
    echo "expected one line 'veldrath: cannot ...' on stderr, got:"; cat "$err"; exit 1
fi
echo "ok: $(cat "$err")"
