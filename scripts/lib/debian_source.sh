#!/usr/bin/env bash
# Libraries built from Debian's source packages: the download, checked against
# the .dsc, a CMake project's build kept until its inputs change, and
# Allegro's build, shared by the Windows and the browser builds. Sourced after
# common.sh.

# What neither build of Allegro wants: its examples, tests, tools, documents
# and add-on libraries.
allegro_common_options=(-DCMAKE_BUILD_TYPE=Release -DWANT_EXAMPLES=OFF -DWANT_TESTS=OFF
    -DWANT_TOOLS=OFF -DWANT_DOCS=OFF -DWANT_ALLEGROGL=OFF -DWANT_LOADPNG=OFF -DWANT_LOGG=OFF
    -DWANT_JPGALLEG=OFF)

# Downloads PACKAGE's .dsc and upstream tarball into DIR through a private apt
# setup: a deb-src twin of each of the machine's own apt sources, with its own
# lists, so the machine's apt configuration is left as it is. A download kept
# from an earlier run is reused. Sets $tarball.
fetch_debian_source() {
    local package=$1 sources=$2
    local apt="$sources/apt"
    mkdir -p "$apt/sources.list.d" "$apt/lists/partial"
    local dsc
    dsc=$(find "$sources" -maxdepth 1 -name "${package}_*.dsc" | head -n 1)
    if [ -z "$dsc" ]; then
        mirror_apt_sources_as_deb_src >"$apt/sources.list.d/deb-src.sources"
        local opts=(-q -o Dir::Etc::sourcelist=/dev/null -o "Dir::Etc::sourceparts=$apt/sources.list.d"
            -o "Dir::State::lists=$apt/lists" -o APT::Sandbox::User=root
            -o DPkg::Lock::Timeout=600)
        # A list that fails mid-sync need not hold the package: the .dsc
        # check below tells.
        apt-get "${opts[@]}" update >/dev/null || true
        # The Debian diff is not needed, and need not exist: only the .dsc and
        # the upstream tarball are checked for.
        (cd "$sources" && apt-get "${opts[@]}" source --download-only "$package" >/dev/null 2>&1) || true
        dsc=$(find "$sources" -maxdepth 1 -name "${package}_*.dsc" | head -n 1)
        [ -n "$dsc" ] || { echo "debian_source: cannot download the $package source package" >&2; exit 1; }
    fi
    local sha name
    read -r sha _ name < <(sed -n '/^Checksums-Sha256:/,/^[^ ]/p' "$dsc" | grep '\.orig\.tar\.')
    tarball="$sources/$name"
    if ! echo "$sha  $tarball" | sha256sum --check --status; then
        echo "debian_source: $name does not match the sha256 in $(basename "$dsc")" >&2
        rm -f "$dsc" "$tarball"
        exit 1
    fi
}

# One-line "deb" entries and deb822 stanzas alike, as deb822 deb-src stanzas.
mirror_apt_sources_as_deb_src() {
    local f
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -e "$f" ] || continue
        sed -E 's/^Types:.*/Types: deb-src/' "$f"
        echo
    done
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -e "$f" ] || continue
        # deb [options] uri suite components...
        sed -nE 's/^deb[[:space:]]+(\[[^]]*\][[:space:]]+)?([^[:space:]]+)[[:space:]]+([^[:space:]]+)[[:space:]]+(.*)$/Types: deb-src\nURIs: \2\nSuites: \3\nComponents: \4\n/p' "$f"
    done
}

# Whether DIR holds a build stamped STAMP: built from the same inputs.
built_before() {
    [ -f "$1/stamp" ] && [ "$(cat "$1/stamp")" = "$2" ]
}

# Builds the CMake project in SOURCE, configured by the command CONFIGURE...
# (cmake or a wrapper of it, with the options; the source, build and install
# folders are added), and installs it into DIR/install; the output goes to
# DIR/build.log, shown only if it fails.
install_cmake_project() {
    local dir=$1 source=$2
    shift 2
    {
        "$@" -S "$source" -B "$dir/build" -DCMAKE_INSTALL_PREFIX="$dir/install" &&
            cmake --build "$dir/build" -j "$(nproc)" && cmake --install "$dir/build"
    } >"$dir/build.log" 2>&1 || { cat "$dir/build.log"; exit 1; }
    rm -rf "$dir/build"
}

# Builds Allegro 4.4 from $tarball, patched with PATCHES/*.patch, configured
# by the command CONFIGURE... (as install_cmake_project's), and installs it
# into DIR/install with its licence, unless the same tarball, patches, STAMP
# text and command built it before. Sets $allegro to DIR.
build_allegro() {
    local patches=("$2"/*.patch) stamp_text=$3
    allegro=$1
    shift 3
    # The checkout's own path, as in a toolchain file's, does not count: a
    # clone elsewhere given this build reuses it.
    local stamp
    stamp=$( (sha256sum "$tarball" "${patches[@]}" | cut -d' ' -f1; echo "$stamp_text"; echo "${*//"$root"/}") |
        sha256sum | cut -d' ' -f1)
    if built_before "$allegro" "$stamp"; then
        echo "Allegro in $allegro is built already"
        return
    fi
    echo "building Allegro into $allegro (a minute or two)"
    rm -rf "$allegro"
    mkdir -p "$allegro"
    tar -xzf "$tarball" -C "$allegro"
    local source
    source=$(find "$allegro" -mindepth 1 -maxdepth 1 -type d)
    local p
    for p in "${patches[@]}"; do
        patch -d "$source" -p1 --quiet <"$p"
    done
    install_cmake_project "$allegro" "$source" "$@"
    # The licence travels with the library; the source tree is not kept.
    sed -e '/^@/d' -e 's/^   //' "$source/docs/src/license._tx" >"$allegro/install/LICENSE"
    rm -rf "$source"
    echo "$stamp" >"$allegro/stamp"
}
