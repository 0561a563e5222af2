#!/usr/bin/env bash
# Makes the Debian source package of the last commit in build-source/: the
# upstream tarball veldrath_<version>.orig.tar.xz (the commit's files less
# debian/), the debian/ tarball and the .dsc; prints the .dsc's path as the
# last line. Uncommitted changes are left out. The tarball is the same bytes
# wherever and whenever it is made: git archive gives every file the
# commit's time, owner 0 and a fixed order, and xz runs on one thread.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"

install_missing git dpkg-dev xz-utils
out="$root/build-source"
version=$(dpkg-parsechangelog -l "$root/debian/changelog" -S Version)
upstream=${version%-*}
cmake_version=$(sed -n 's/^project(veldrath VERSION \([^ ]*\) .*/\1/p' "$root/CMakeLists.txt")
if [ "$upstream" != "$cmake_version" ]; then
    echo "package_source: debian/changelog says $upstream, CMakeLists.txt $cmake_version" >&2
    exit 1
fi

rm -rf "$out"
mkdir -p "$out"
orig="$out/veldrath_$upstream.orig.tar.xz"
git -C "$root" -c tar.umask=022 archive --format=tar --prefix="veldrath-$upstream/" HEAD -- ':(exclude)debian' |
    xz -T1 -c >"$orig"
tar -xJf "$orig" -C "$out"
git -C "$root" archive --format=tar HEAD debian | tar -x -C "$out/veldrath-$upstream"
(cd "$out" && dpkg-source -b "veldrath-$upstream" >/dev/null)
rm -rf "${out:?}/veldrath-$upstream"
ls "$out/veldrath_$version.dsc"
