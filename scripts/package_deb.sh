#!/usr/bin/env bash
# Builds the Debian package of the game for a Debian architecture, this
# machine's by default; any other is cross-built (scripts/lib/cross.sh).
# Installs what is missing, builds Release into build-deb-ARCH/ with the
# binary in /usr/games, runs cpack there and prints the package's path as the
# last line.
#   scripts/package_deb.sh [ARCH]
# A packager sets the Maintainer field once in that directory's cache:
#   cmake -S . -B build-deb-ARCH -DVELDRATH_MAINTAINER='Name <address>'
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/cross.sh"

arch=${1:-$(dpkg --print-architecture)}
dir="$root/build-deb-$arch"
options=(-DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DCMAKE_INSTALL_BINDIR=games)

install_missing "${packages[@]}" "${packaging_packages[@]}"
if [ "$arch" = "$(dpkg --print-architecture)" ]; then
    configure_into "$dir" "${options[@]}"
else
    cross_configure "$arch" "$dir" "${options[@]}"
fi
cmake --build "$dir" -j "$(nproc)"
rm -f "$dir"/veldrath_*.deb
(cd "$dir" && cpack -G DEB)
ls "$dir"/veldrath_*_"$arch".deb
