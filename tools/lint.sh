#!/usr/bin/env bash
# lint.sh: static analysis of src/ with clang-tidy (checks in .clang-tidy)
# and cppcheck, over the compile commands of a configured build.
#
#   tools/lint.sh BUILD_DIR
#
# Exits 1 on any finding, so that a new one fails the suite. A finding
# that is wrong for this code is suppressed in place (NOLINT or
# cppcheck-suppress) with its reason beside it, never here.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: tools/lint.sh BUILD_DIR}" && pwd)
commands=$build/compile_commands.json
[ -f "$commands" ] || { echo "lint.sh: $commands is missing (configure with CMAKE_EXPORT_COMPILE_COMMANDS=ON)" >&2; exit 2; }

tidy=$(command -v clang-tidy || command -v clang-tidy-14 || true)
runner=$(command -v run-clang-tidy || command -v run-clang-tidy-14 || true)
cppcheck=$(command -v cppcheck || true)
if [ -z "$tidy" ] || [ -z "$runner" ] || [ -z "$cppcheck" ]; then
    echo "SKIP: clang-tidy, run-clang-tidy and cppcheck are all needed (apt-get install clang-tidy cppcheck)"
    exit 77
fi

status=0
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# Only the library's and the program's sources: the tests, benchmarks and
# fuzz targets are held to the compiler's warnings.
echo "== clang-tidy"
# Any finding is an error (WarningsAsErrors), so the runner fails on one;
# a run that fails without naming one shows all it said.
if ! "$runner" -quiet -clang-tidy-binary "$tidy" -p "$build" -j "$(nproc)" "$root/src/" >"$log" 2>&1; then
    grep -E '(warning|error):' "$log" || cat "$log"
    status=1
elif grep -E '(warning|error):' "$log"; then
    status=1
fi

# useStlAlgorithm asks for <algorithm> in place of the plain loops over
# fixed buffers that the tree is written in; it finds no faults.
echo "== cppcheck"
if ! "$cppcheck" --project="$commands" --file-filter="$root/src/*" \
        --enable=warning,style,performance,portability --std=c++20 --inline-suppr --quiet \
        --suppress=missingIncludeSystem --suppress=useStlAlgorithm --error-exitcode=1 \
        --template='{file}:{line}: {severity}: {message} [{id}]'; then
    status=1
fi
[ $status -eq 0 ] && echo "lint: no findings"
exit $status
