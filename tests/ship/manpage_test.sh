#!/usr/bin/env bash
# manpage_test.sh PAGE: the manual page must pass every linter present here
# without a single remark, and hold every section a reader looks for.
set -u
page=$1
fail() { echo "FAIL: $*"; exit 1; }

for section in NAME SYNOPSIS DESCRIPTION OPTIONS TEMPLATES OFFSET 'LOG SWITCHES' \
    'EXIT STATUS' FILES ENVIRONMENT EXAMPLES BUGS; do
    grep -Eq "^\.SH \"?$section\"?\$" "$page" || fail "no section $section"
done

linted=0
if command -v groff >/dev/null; then
    remarks=$(groff -man -ww -z "$page" 2>&1) || fail "groff failed: $remarks"
    [ -z "$remarks" ] || fail "groff: $remarks"
    linted=1
fi
if command -v mandoc >/dev/null; then
    remarks=$(mandoc -Tlint "$page" 2>&1) || fail "mandoc: $remarks"
    [ -z "$remarks" ] || fail "mandoc: $remarks"
    linted=1
fi
if [ "$linted" = 0 ]; then
    echo "SKIP: neither groff nor mandoc is installed"
    exit 77
fi
echo "PASS: $page"
