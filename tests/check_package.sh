#!/usr/bin/env bash
# Checks what `cmake --install` lays out, then the Debian packages that
# scripts/package.sh builds for this machine and for another processor
# (checked_foreign_arch, arm64) as a distribution would: control fields,
# contents, lintian (no error, no warning), the AppStream metadata, the menu
# entry, the manual page, versions that agree, and that the packaged binary
# runs. On this machine's package also hardening-check; the other binary
# plays a few end-to-end tests under qemu-user in a real X window. What it
# needs, scripts/test.sh installs beforehand.
# Usage: check_package.sh BUILD_DIR VERSION
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib/cross.sh"
build=$1
version=$2
app_id=io.github.veldrath.Veldrath
make_scratch
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# The one binary, the menu entry, its icons, the software-centre metadata,
# the manual page and the documents; no test programs, libraries or headers.
check_layout() {
    local prefix=$1 bindir=$2 f size kind
    local expected=("$bindir/veldrath" "share/applications/$app_id.desktop"
        "share/metainfo/$app_id.metainfo.xml" share/man/man6/veldrath.6.gz
        share/doc/veldrath/changelog.gz share/doc/veldrath/copyright
        share/icons/hicolor/64x64/apps/veldrath.png share/icons/hicolor/128x128/apps/veldrath.png)
    for f in "${expected[@]}"; do
        [ -f "$prefix/$f" ] || fail "$f is not installed"
    done
    [ -x "$prefix/$bindir/veldrath" ] || fail "$bindir/veldrath is not executable"
    while read -r f; do
        case $f in
        share/icons/hicolor/*x*/apps/veldrath.png)
            size=${f#share/icons/hicolor/}
            size=${size%%/*}
            kind=$(file -b "$prefix/$f")
            [[ $kind == "PNG image data, ${size/x/ x },"* ]] || fail "$f is not a $size PNG: $kind" ;;
        *) [[ " ${expected[*]} " == *" $f "* ]] || fail "unexpected file installed: $f" ;;
        esac
    done < <(cd "$prefix" && find . -type f -printf '%P\n' | sort)
}

desktop_key() {
    awk -v key="$1" 'index($0, key "=") == 1 { print substr($0, length(key) + 2); exit }' "$2"
}

# StartupWMClass names the class the game gives its window.
check_desktop_entry() {
    local entry=$1 key categories
    desktop-file-validate "$entry" || fail "desktop-file-validate rejects the menu entry"
    for key in Type=Application Name=Veldrath Exec=veldrath Icon=veldrath Terminal=false \
        StartupWMClass=Veldrath; do
        [ "$(desktop_key "${key%%=*}" "$entry")" = "${key#*=}" ] || fail "menu entry lacks $key"
    done
    [ -n "$(desktop_key Comment "$entry")" ] || fail "menu entry has no Comment"
    categories=";$(desktop_key Categories "$entry")"
    for key in Game Simulation; do
        [[ $categories == *";$key;"* ]] || fail "menu entry is not in category $key"
    done
}

# The metadata, the manual page and the changelog, as installed under a
# prefix; the changelog and the newest release name this version.
check_documents() {
    local prefix=$1 warnings newest
    appstreamcli validate --no-net "$prefix/share/metainfo/$app_id.metainfo.xml" >"$scratch/appstream.log" ||
        { cat "$scratch/appstream.log"; fail "appstreamcli rejects the metainfo"; }
    warnings=$(MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings -l "$prefix/share/man/man6/veldrath.6.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "the manual page renders with warnings: $warnings"
    zcat "$prefix/share/doc/veldrath/changelog.gz" >"$scratch/changelog"
    newest=$(dpkg-parsechangelog -l "$scratch/changelog" -S Version)
    [ "$newest" = "$version" ] || fail "the changelog's newest entry is $newest, not $version"
    newest=$(grep -o -m1 '<release version="[^"]*"' "$prefix/share/metainfo/$app_id.metainfo.xml")
    [ "$newest" = "<release version=\"$version\"" ] || fail "the metainfo's newest release is not $version"
}

check_control_fields() {
    local deb=$1 arch=$2 field depends
    for field in Package=veldrath "Version=$version" Section=games "Architecture=$arch"; do
        [ "$(dpkg-deb -f "$deb" "${field%%=*}")" = "${field#*=}" ] || fail "${field/=/ is not }"
    done
    for field in Maintainer Description; do
        [ -n "$(dpkg-deb -f "$deb" "$field")" ] || fail "$field is empty"
    done
    depends=$(dpkg-deb -f "$deb" Depends)
    [[ $depends == *liballegro4* ]] || fail "Depends lacks the Allegro 4 library: $depends"
}

# Debian's hardening of the packaged binary. Control-flow protection marks
# a binary only when every object linked in has it; where the C library's
# start files lack it (Debian 12), no program here can have it, so it is
# required only once a trivial program built with it gets it.
check_hardening() {
    local binary=$1 options=()
    echo 'int main() { return 0; }' | g++ -x c++ -fcf-protection -o "$scratch/cet" - 2>/dev/null &&
        readelf -n "$scratch/cet" | grep -q 'x86 feature: IBT, SHSTK' || options=(--nocfprotection)
    hardening-check --quiet "${options[@]}" "$binary" || fail "hardening-check finds $binary unprotected"
}

# A few end-to-end tests drive the packaged binary of another processor under
# qemu-user: the window opens and presents itself, a stroke paints, Escape
# ends it with status 0.
check_foreign_binary_runs() {
    local binary=$1 arch=$2
    cross_names "$arch"
    VELDRATH_E2E_LAUNCHER=$cross_emulator VELDRATH_E2E_PROGRAM=$binary "$build/veldrath_e2e" \
        --gtest_brief=1 --gtest_filter='*.opens_*:*.presents_*:*.a_resting_brush_*:*.escape_*' ||
        fail "the $arch binary does not pass the end-to-end smoke tests"
}

check_package() {
    local arch=$1 deb unpacked
    local log="$scratch/package-$arch.log"
    if ! "$root/scripts/package.sh" "$arch" >"$log" 2>&1 || ! deb=$(tail -n 1 "$log") || [ ! -f "$deb" ]; then
        cat "$log"
        fail "scripts/package.sh $arch wrote no package"
        return
    fi
    check_control_fields "$deb" "$arch"
    lintian --fail-on error,warning "$deb" 2>/dev/null || fail "lintian reports errors or warnings on $deb"
    unpacked="$scratch/unpacked-$arch/usr"
    dpkg-deb -x "$deb" "${unpacked%/usr}"
    check_layout "$unpacked" games
    check_desktop_entry "$unpacked/share/applications/$app_id.desktop"
    check_documents "$unpacked"
    if [ "$arch" = "$native" ]; then
        check_hardening "$unpacked/games/veldrath"
        "$root/tests/startup_without_display.sh" "$unpacked/games/veldrath" >/dev/null ||
            fail "the packaged binary does not start and stop as expected"
    else
        check_foreign_binary_runs "$unpacked/games/veldrath" "$arch"
    fi
    echo "checked $deb"
}

cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
check_layout "$scratch/prefix" bin
native=$(dpkg --print-architecture)
check_package "$native"
[ "$native" = "$checked_foreign_arch" ] || check_package "$checked_foreign_arch"

[ "$failures" -eq 0 ] || exit 1
echo "ok: install layout and both packages"
