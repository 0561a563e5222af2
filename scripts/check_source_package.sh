#!/usr/bin/env bash
# Builds the Debian source package of the last commit (scripts/package.sh
# source) and then the packages from it as a distribution does: unpacked
# into an empty folder, its Build-Depends installed with apt-get build-dep,
# dpkg-buildpackage -us -uc (the unit tests run there). lintian must report
# no error and no warning on the .changes, which names the .dsc and the
# .debs, and autopkgtest plays the installed game (-- null: on this machine;
# the package is removed again unless it was installed before). The .deb is
# installed here rather than handed to autopkgtest: autopkgtest would serve it
# from a repository of its own and then run a full apt-get update, which fails
# whenever one mirror's list is mid-sync.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"

install_missing dpkg-dev devscripts lintian autopkgtest
dsc=$("$root/scripts/package.sh" source | tail -n 1)
make_scratch
work=$scratch
dpkg-source -x "$dsc" "$work/veldrath" >/dev/null
cd "$work/veldrath"
if ! dpkg-checkbuilddeps 2>/dev/null; then
    update_package_lists
    as_root env DEBIAN_FRONTEND=noninteractive apt-get build-dep -y -q ./
fi
dpkg-buildpackage -us -uc >"$work/build.log" 2>&1 || { cat "$work/build.log"; exit 1; }
grep -E '^[0-9]+% tests passed' "$work/build.log"

changes=$(ls "$work"/veldrath_*.changes)
lintian --fail-on error,warning --display-info --pedantic "$changes"

installed=$(dpkg-query -W -f='${Status}' veldrath 2>/dev/null || true)
status=0
as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q \
    "$work"/veldrath_*_"$(dpkg --print-architecture)".deb >"$work/install.log" 2>&1 ||
    { cat "$work/install.log"; exit 1; }
autopkgtest --no-built-binaries "$work/veldrath/" -- null >"$work/autopkgtest.log" 2>&1 || status=$?
[[ $installed == *"install ok installed"* ]] || as_root dpkg -r veldrath >/dev/null
grep -E '^[a-z0-9-]+ +(PASS|FAIL|SKIP|FLAKY)' "$work/autopkgtest.log" | sort -u
[ "$status" -eq 0 ] || { cat "$work/autopkgtest.log"; echo "autopkgtest failed ($status)"; exit 1; }
echo "ok: source package $(basename "$dsc"), its build, lintian and autopkgtest"
