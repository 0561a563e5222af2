#!/usr/bin/env bash
# The one way to install Debian packages: the lists of what each kind of
# work needs, and install_missing, which installs only what is not there.
# Under ctest nothing is installed (see must_not_change_machine).

# To build and play.
packages=(g++ cmake make pkg-config liballegro4-dev)
# Unit tests, the end-to-end tests in a virtual X server, and the benchmark.
test_packages=(libgtest-dev xvfb libx11-dev libxtst-dev libbenchmark-dev)
# The Debian packages (cpack, dpkg-shlibdeps).
packaging_packages=(dpkg-dev file)
# Install layout, icons, and the checks a distribution runs on the packages:
# menu entry, lintian, AppStream metadata, hardening-check, manual page.
package_check_packages=(desktop-file-utils python3 lintian appstream devscripts man-db)
# Sanitizers, fuzzing, memcheck in a virtual X server, and lint.
hardening_packages=(clang libclang-rt-14-dev valgrind libc6-dbg xvfb xdotool clang-tidy clang-format
    cppcheck)

# A test run only tests: tests/CMakeLists.txt sets VELDRATH_NO_INSTALL for
# the tests that build packages, and what they lack is a fault of the
# set-up, which scripts/test.sh does before ctest.
must_not_change_machine() {
    [ -z "${VELDRATH_NO_INSTALL:-}" ] || {
        echo "missing $*; scripts/test.sh installs it" >&2
        exit 1
    }
}

# Runs a command as root, through sudo when needed.
as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    else
        sudo "$@"
    fi
}

# A mirror caught mid-sync serves a list that fails its checksum, and
# apt-get update then fails as a whole, though the other lists came. A few
# tries a while apart; after that the install goes ahead with the lists
# there are, and fails by itself if they lack a package.
update_package_lists() {
    must_not_change_machine "package lists"
    local try
    for try in 1 2 3; do
        as_root apt-get update -q && return 0
        [ "$try" -eq 3 ] || sleep 10
    done
    echo "some package lists could not be updated; installing from the others" >&2
}

install_missing() {
    local missing=()
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    must_not_change_machine "${missing[*]}"
    echo "installing: ${missing[*]}"
    update_package_lists
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}
