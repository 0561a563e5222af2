#!/usr/bin/env bash
# The one cross set-up, for arm64, i386 and s390x: Debian's cross compiler,
# the target's libraries installed beside the native ones, the target's
# Allegro headers unpacked into the build directory, and a CMake toolchain
# file that runs the target's binaries under qemu-user.
# Sourced by cross_test.sh, package_deb.sh and test.sh. Gives
#   cross_install ARCH [PACKAGE...]            what ARCH builds need, and more
#   cross_configure ARCH DIR [CMAKE ARGS...]   a build directory for ARCH
# and both set cross_triplet, cross_multiarch and cross_emulator for ARCH.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# The other processor whose package tests/check_package.sh builds and plays.
checked_foreign_arch=arm64

# Sets cross_triplet (the compilers' prefix), cross_multiarch (the library
# directory) and cross_emulator (the words that run one of its programs here)
# for a Debian architecture.
cross_names() {
    local qemu
    case $1 in
    arm64) cross_triplet=aarch64-linux-gnu cross_multiarch=aarch64-linux-gnu qemu=qemu-aarch64 ;;
    i386) cross_triplet=i686-linux-gnu cross_multiarch=i386-linux-gnu qemu=qemu-i386 ;;
    s390x) cross_triplet=s390x-linux-gnu cross_multiarch=s390x-linux-gnu qemu=qemu-s390x ;;
    *)
        echo "unknown architecture '$1': arm64, i386 or s390x" >&2
        return 1
        ;;
    esac
    # The target's libraries come from this machine's root, where they are
    # installed beside the native ones; the cross sysroot's own loader crashes
    # on s390x.
    cross_emulator="$qemu -L /"
}

# Installs the cross compiler, qemu-user and the libraries the game links
# against for ARCH (Xlib directly, for its handler of a lost display), plus
# any further packages named.
cross_install() {
    local arch=$1
    shift
    cross_names "$arch"
    if ! dpkg --print-foreign-architectures | grep -x "$arch" >/dev/null; then
        must_not_change_machine "architecture $arch"
        echo "adding architecture $arch"
        as_root dpkg --add-architecture "$arch"
    fi
    install_missing "g++-$cross_triplet" qemu-user "liballegro4.4:$arch" "libstdc++6:$arch" \
        "libx11-dev:$arch" "$@"
}

# liballegro4-dev cannot be installed for two architectures at once, so the
# target's copy, of the same version as its installed library, is unpacked
# into DIR/allegro: its headers fix the byte order, and its development link
# is pointed at the installed library.
unpack_allegro() {
    local arch=$1 dir=$2
    local unpacked="$dir/allegro"
    [ -e "$unpacked/usr/lib/$cross_multiarch/liballeg.so" ] && return 0
    local version
    version=$(dpkg-query -W -f='${Version}' "liballegro4.4:$arch")
    local download="$dir/allegro-download"
    rm -rf "$unpacked" "$download"
    mkdir -p "$download"
    # A machine whose package lists were cleaned after installing needs them back.
    (cd "$download" && { apt-get download -q "liballegro4-dev:$arch=$version" ||
        { update_package_lists && apt-get download -q "liballegro4-dev:$arch=$version"; }; })
    dpkg-deb -x "$download"/liballegro4-dev_*.deb "$unpacked"
    ln -sfn "/usr/lib/$cross_multiarch/liballeg.so.4.4" "$unpacked/usr/lib/$cross_multiarch/liballeg.so"
    rm -rf "$download"
}

# The compilers, the emulator that runs tests and test discovery, pkg-config
# pointed at the unpacked Allegro alone, and the architecture cpack names in
# the package.
write_toolchain() {
    local arch=$1 dir=$2
    cat >"$dir/toolchain.cmake" <<EOF
# Written by scripts/lib/cross.sh.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${cross_triplet%%-*})
set(CMAKE_CXX_COMPILER $cross_triplet-g++)
set(CMAKE_CROSSCOMPILING_EMULATOR $cross_emulator)
set(ENV{PKG_CONFIG_LIBDIR} "$dir/allegro/usr/lib/$cross_multiarch/pkgconfig")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "$dir/allegro")
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE $arch)
EOF
}

# Configures DIR as a build for ARCH with the given further cmake arguments;
# installs what is missing first.
cross_configure() {
    local arch=$1 dir=$2
    shift 2
    cross_install "$arch"
    mkdir -p "$dir"
    dir=$(cd "$dir" && pwd)
    unpack_allegro "$arch" "$dir"
    write_toolchain "$arch" "$dir"
    configure_into "$dir" -DCMAKE_TOOLCHAIN_FILE="$dir/toolchain.cmake" "$@"
}
