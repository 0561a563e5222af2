#!/usr/bin/env bash
# Checks what `cmake --install` lays out and the Debian package cpack builds
# from the same rules: the file list, the menu entry, the icons, the control
# fields and that the packaged binary still runs.
# Usage: check_package.sh BUILD_DIR VERSION
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=$1
version=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# The one binary, the menu entry and icons of the hicolor theme; no test
# programs, libraries or headers.
check_layout() {
    local prefix=$1 f size kind
    for f in bin/veldrath share/applications/veldrath.desktop \
        share/icons/hicolor/64x64/apps/veldrath.png share/icons/hicolor/128x128/apps/veldrath.png; do
        [ -f "$prefix/$f" ] || fail "$f is not installed"
    done
    [ -x "$prefix/bin/veldrath" ] || fail "bin/veldrath is not executable"
    while read -r f; do
        case $f in
        bin/veldrath | share/applications/veldrath.desktop) ;;
        share/icons/hicolor/*x*/apps/veldrath.png)
            size=${f#share/icons/hicolor/}
            size=${size%%/*}
            kind=$(file -b "$prefix/$f")
            [[ $kind == "PNG image data, ${size/x/ x },"* ]] || fail "$f is not a $size PNG: $kind" ;;
        *) fail "unexpected file installed: $f" ;;
        esac
    done < <(cd "$prefix" && find . -type f -printf '%P\n' | sort)
}

desktop_key() {
    awk -v key="$1" 'index($0, key "=") == 1 { print substr($0, length(key) + 2); exit }' "$2"
}

check_desktop_entry() {
    local entry=$1 key expected categories
    desktop-file-validate "$entry" || fail "desktop-file-validate rejects the menu entry"
    for key in Type=Application Name=Veldrath Exec=veldrath Icon=veldrath Terminal=false; do
        expected=${key#*=}
        [ "$(desktop_key "${key%%=*}" "$entry")" = "$expected" ] || fail "menu entry lacks $key"
    done
    [ -n "$(desktop_key Comment "$entry")" ] || fail "menu entry has no Comment"
    categories=";$(desktop_key Categories "$entry")"
    for key in Game Simulation; do
        [[ $categories == *";$key;"* ]] || fail "menu entry is not in category $key"
    done
}

check_control_fields() {
    local deb=$1 arch=$2 field depends
    [ "$(dpkg-deb -f "$deb" Package)" = veldrath ] || fail "Package is not veldrath"
    [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version is not $version"
    [ "$(dpkg-deb -f "$deb" Section)" = games ] || fail "Section is not games"
    [ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || fail "Architecture is not $arch"
    for field in Maintainer Description; do
        [ -n "$(dpkg-deb -f "$deb" "$field")" ] || fail "$field is empty"
    done
    depends=$(dpkg-deb -f "$deb" Depends)
    [[ $depends == *liballegro4* ]] || fail "Depends lacks the Allegro 4 library: $depends"
}

# The package holds exactly what an install into /usr lays out.
check_contents() {
    local deb=$1 prefix=$2 listing
    listing=$(dpkg-deb -c "$deb")
    diff <(awk '/^-/ { sub("^\\./usr/", "", $6); print $6 }' <<<"$listing" | sort) \
        <(cd "$prefix" && find . -type f -printf '%P\n' | sort) ||
        fail "package contents differ from the install layout (< package, > install)"
    grep -q '^-rwxr-xr-x root/root .* \./usr/bin/veldrath$' <<<"$listing" ||
        fail "/usr/bin/veldrath is not an executable owned by root"
}

cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
check_layout "$tmp/prefix"
check_desktop_entry "$tmp/prefix/share/applications/veldrath.desktop"

arch=$(dpkg --print-architecture)
deb="$tmp/pkg/veldrath_${version}_$arch.deb"
if cpack --config "$build/CPackConfig.cmake" -G DEB -B "$tmp/pkg" >"$tmp/cpack.log" 2>&1 && [ -f "$deb" ]; then
    check_control_fields "$deb" "$arch"
    check_contents "$deb" "$tmp/prefix"
    dpkg-deb -x "$deb" "$tmp/root"
    "$here/../tests/startup_without_display.sh" "$tmp/root/usr/bin/veldrath" >/dev/null ||
        fail "the packaged binary does not start and stop as expected"
else
    cat "$tmp/cpack.log"
    fail "cpack did not produce $(basename "$deb")"
fi

[ "$failures" -eq 0 ] || exit 1
echo "ok: install layout, menu entry and $(basename "$deb")"
