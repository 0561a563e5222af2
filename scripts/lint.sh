#!/usr/bin/env bash
# Static checks over the game, its tests, benchmarks and fuzz target:
# formatting (clang-format), clang-tidy (.clang-tidy) and cppcheck
# (.cppcheck-suppressions). Any finding fails. Configures build-lint/ with
# clang for the compile commands; nothing is compiled.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"

install_missing "${packages[@]}" "${test_packages[@]}" "${hardening_packages[@]}"
lint_build="$root/build-lint"
configure_into "$lint_build" -DCMAKE_CXX_COMPILER=clang++ -DVELDRATH_FUZZ=ON >/dev/null
cd "$root"

mapfile -t sources < <(find src tests fuzz bench -name '*.cpp' -o -name '*.h' 2>/dev/null | sort)
echo "lint: clang-format on ${#sources[@]} files"
clang-format --dry-run --Werror "${sources[@]}"

echo "lint: clang-tidy"
run-clang-tidy -p "$lint_build" -j "$(nproc)" -quiet >"$lint_build/clang-tidy.log" 2>&1 || {
    cat "$lint_build/clang-tidy.log"
    echo "lint: clang-tidy found problems" >&2
    exit 1
}

# cppcheck's exit status ignores some findings (unused functions), so any
# output at all counts as a failure.
echo "lint: cppcheck"
findings=$(cppcheck --project="$lint_build/compile_commands.json" --enable=all \
    --library=googletest --suppressions-list=.cppcheck-suppressions -q \
    --template='{file}:{line}: {severity} {id}: {message}' 2>&1)
if [ -n "$findings" ]; then
    echo "$findings"
    echo "lint: cppcheck found problems" >&2
    exit 1
fi
echo "lint: clean"
