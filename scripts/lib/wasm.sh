#!/usr/bin/env bash
# The unit tests and the benchmark built for WebAssembly, to run under node
# (V8, the engine of Chromium): GoogleTest from Debian's googletest sources
# and Google Benchmark from Debian's benchmark source package, each built
# once with emcmake into build-wasm/<name>/install, and the project
# configured against them and the browser build's Allegro core.
# Sourced by test_wasm.sh and bench.sh.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/web.sh"

wasm="$root/build-wasm"
install_missing googletest
# Emscripten 3.1.6's output needs node's own fetch switched off.
node=(/usr/bin/node --no-experimental-fetch)

# Builds the CMake project in SOURCE with OPTIONS... into $wasm/NAME/install,
# unless the same source, options and compiler built it before.
build_wasm_library() {
    local name=$1 source=$2
    shift 2
    local dir="$wasm/$name" stamp
    stamp=$( (find "$source" -type f -print0 | sort -z | xargs -0 sha256sum | cut -d' ' -f1
        emcc --version | head -n 1; echo "$*") | sha256sum | cut -d' ' -f1)
    built_before "$dir" "$stamp" && return
    echo "building $name for WebAssembly into $dir"
    rm -rf "$dir"
    mkdir -p "$dir"
    install_cmake_project "$dir" "$source" emcmake cmake -DCMAKE_BUILD_TYPE=Release "$@"
    echo "$stamp" >"$dir/stamp"
}

# Google Benchmark's upstream tarball, unpacked once beside its download.
benchmark_source() {
    fetch_debian_source benchmark "$wasm/benchmark-source"
    local source="$wasm/benchmark-source/unpacked"
    if [ ! -d "$source" ]; then
        mkdir -p "$source.tmp"
        tar -xf "$tarball" -C "$source.tmp" --strip-components=1
        mv "$source.tmp" "$source"
    fi
    echo "$source"
}

# Configures DIR for WebAssembly with the extra cmake OPTIONS..., building
# what it needs first. Its programs run under node, with the machine's files
# (the benchmark writes its results there); ctest runs its tests so.
configure_wasm() {
    local dir=$1
    shift
    build_web_allegro
    build_wasm_library googletest /usr/src/googletest -DBUILD_GMOCK=OFF
    build_wasm_library benchmark "$(benchmark_source)" -DBENCHMARK_ENABLE_TESTING=OFF \
        -DBENCHMARK_ENABLE_WERROR=OFF
    emcmake cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON \
        -DALLEGRO_PREFIX="$web_allegro" -DGTest_DIR="$wasm/googletest/install/lib/cmake/GTest" \
        -Dbenchmark_DIR="$wasm/benchmark/install/lib/cmake/benchmark" \
        -DCMAKE_CROSSCOMPILING_EMULATOR="$(IFS=';'; echo "${node[*]}")" \
        -DCMAKE_EXE_LINKER_FLAGS="-sALLOW_MEMORY_GROWTH=1 -sEXIT_RUNTIME=1 -sNODERAWFS=1" "$@"
}
