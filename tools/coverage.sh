#!/usr/bin/env bash
# coverage.sh BUILD_DIR: runs the suite of a coverage build (the coverage
# preset) from fresh counters, the fuzz corpora's replays included, and
# reports which lines and branches of src/ it ran:
#   BUILD_DIR/coverage/index.html  the report, file by file
#   BUILD_DIR/coverage/summary.txt the totals
# Exits non-zero when a test fails or the totals fall below the floors.
set -u
LINE_FLOOR=98
BRANCH_FLOOR=90

[ $# -eq 1 ] || { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
build=$(cd "$1" && pwd) || exit 2
root=$(cd "$(dirname "$0")/.." && pwd)
command -v gcovr >/dev/null || { echo "gcovr is missing (apt-get install gcovr)" >&2; exit 2; }
grep -q '^VORLA_COVERAGE:BOOL=ON$' "$build/CMakeCache.txt" 2>/dev/null ||
    { echo "$build is not a coverage build (cmake --preset coverage)" >&2; exit 2; }

find "$build" -name '*.gcda' -delete
rm -rf "$build/coverage"
mkdir -p "$build/coverage"

# Run as root, the suite starts some runs of the program as an unprivileged
# user, whose counters must land beside root's: every directory on the way
# to the object files is opened to all, and the counter files are made
# writable to all as they are created. Otherwise those runs would lose
# their counts and print gcov's complaints into the output the tests read.
if [ "$(id -u)" = 0 ]; then
    dir=$(dirname "$build")
    while [ "$dir" != / ]; do
        [ "$(( 0$(stat -c %a "$dir") & 1 ))" = 1 ] ||
            { echo "$dir is closed to other users: the unprivileged runs cannot count" >&2; exit 2; }
        dir=$(dirname "$dir")
    done
    find "$build" -type d -exec chmod a+rwx {} +
    umask 000
fi

status=0
ctest --test-dir "$build" --output-on-failure -j2 --timeout 600 -LE valgrind || status=$?
umask 022

cd "$root" || exit 2
gcovr --root "$root" --object-directory "$build" --filter 'src/' \
    --exclude-unreachable-branches --exclude-throw-branches \
    --html-details "$build/coverage/index.html" \
    --txt "$build/coverage/files.txt" \
    --print-summary --fail-under-line "$LINE_FLOOR" --fail-under-branch "$BRANCH_FLOOR" \
    >"$build/coverage/summary.txt"
floors=$?
cat "$build/coverage/summary.txt"
echo "report: $build/coverage/index.html"
if [ "$floors" != 0 ]; then
    echo "FAIL: below the floors of $LINE_FLOOR % of lines and $BRANCH_FLOOR % of branches" >&2
    [ "$status" != 0 ] || status=$floors
fi
[ "$status" = 0 ] || echo "FAIL: the suite or the floors (status $status)" >&2
exit "$status"
