#!/usr/bin/env bash
# Builds the Windows and the browser zips a second time, from a clone of the
# last commit in another folder, with another time zone, locale and umask,
# and checks that they are the same bytes as this checkout's (built by
# scripts/package.sh, or brought up to date by it). Allegro is not built
# again: the clone is given this checkout's builds of it. diffoscope shows
# what differs.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"

install_missing git diffoscope-minimal
make_scratch
elsewhere=$scratch
git clone -q "$root" "$elsewhere/veldrath"
failures=0
for target in windows web; do
    first=$("$root/scripts/package.sh" "$target" | tail -n 1)
    mkdir -p "$elsewhere/veldrath/build-$target"
    cp -a "$root/build-$target/allegro" "$root/build-$target/allegro-source" "$elsewhere/veldrath/build-$target/"
    second=$(cd "$elsewhere/veldrath" && umask 077 &&
        TZ=Pacific/Kiritimati LC_ALL=C.UTF-8 scripts/package.sh "$target" | tail -n 1)
    if cmp -s "$first" "$second"; then
        echo "ok: $(basename "$first") is the same built twice"
    else
        diffoscope "$first" "$second" || true
        echo "FAIL: $(basename "$first") differs between two builds"
        failures=$((failures + 1))
    fi
done
[ "$failures" -eq 0 ]
