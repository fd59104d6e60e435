#!/usr/bin/env bash
# package_test.sh CPACK BUILD_DIR BUILD_TYPE SANITIZED(1/0): makes the Debian
# package, has lintian find nothing to say above an informational tag (when
# lintian is installed), installs it into this machine with dpkg, runs vorla
# from PATH, finds its manual page and removes it again, leaving nothing
# behind.
# Exits 77 (skipped) with the reason where that round trip cannot or
# must not run.
set -u
cpack=$1 build=$2 type=$3 sanitize=$4
skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*"; exit 1; }

if ! command -v dpkg >/dev/null || ! command -v dpkg-deb >/dev/null; then
    skip "dpkg is missing: not a Debian system"
fi
[ "$(id -u)" = 0 ] || skip "dpkg -i needs root (CI runs as root)"
if [ "${type,,}" != release ] || [ "$sanitize" = 1 ]; then
    skip "the package is made from the release build; this is a ${type:-plain} build$([ "$sanitize" = 1 ] && echo ' with sanitizers')"
fi
dpkg-query -W -f='${Status}' vorla 2>/dev/null | grep -q 'ok installed' &&
    skip "a vorla package is installed already; leaving it alone"
[ -e /usr/bin/vorla ] && skip "/usr/bin/vorla exists already; leaving it alone"

work=$(mktemp -d)
installed=0
cleanup() {
    [ "$installed" = 1 ] && dpkg -r vorla >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
    fail "cpack: $(cat "$work/cpack.log")"
deb=$(ls "$work"/vorla_*.deb 2>/dev/null) || fail "no vorla_*.deb in $(ls "$work")"
while read -r field pattern; do
    value=$(dpkg-deb -f "$deb" "$field")
    [[ "$value" =~ ^$pattern$ ]] || fail "$field is '$value', not /$pattern/"
done <<EOF
Package vorla
Version 1\.04
Architecture $(dpkg --print-architecture)
Maintainer .+<.+@.+>
Description .+
Depends (.*,\s*)?libc6.*
EOF

for path in ./usr/share/doc/vorla/copyright ./usr/share/doc/vorla/changelog.gz \
    ./usr/share/man/man1/vorla.1.gz ./usr/share/bash-completion/completions/vorla \
    ./usr/share/doc/vorla/examples/systemd/vorla-archive.timer; do
    dpkg-deb -c "$deb" | grep -q " $path\$" || fail "the package lacks $path"
done
# The licence is in copyright; a second copy is a lintian warning.
dpkg-deb -c "$deb" | grep -q '/LICENSE$' && fail "the package holds LICENSE beside copyright"
# The latest changelog entry names the package's version.
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/vorla/changelog.gz | zcat | head -1 |
    grep -q '^vorla (1\.04) ' || fail "the changelog's latest entry is not 1.04"
if command -v lintian >/dev/null; then
    lintian -i -I --pedantic "$deb" >"$work/lintian.log" 2>&1
    grep -E '^[EWX]:' "$work/lintian.log" && fail "lintian: $(cat "$work/lintian.log")"
    grep -E '^[IPO]:' "$work/lintian.log"
else
    echo "lintian is not installed (apt-get install lintian): the package is not linted"
fi

installed=1
dpkg -i "$deb" >"$work/dpkg.log" 2>&1 || fail "dpkg -i: $(cat "$work/dpkg.log")"
[ "$(command -v vorla)" = /usr/bin/vorla ] || fail "vorla on PATH is '$(command -v vorla)'"
out=$(cd "$work" && vorla 2>&1) || fail "vorla from PATH failed: $out"
grep -qx 'Quendil Vorla version 1.04 (Release)' <<<"$out" || fail "vorla printed: $out"
page=$(man -w vorla 2>&1) || fail "man -w vorla: $page"
[[ "$page" == /usr/share/man/man1/vorla.1* ]] || fail "man -w vorla gave $page"

files=$(dpkg -L vorla)
dpkg -r vorla >"$work/dpkg.log" 2>&1 || fail "dpkg -r: $(cat "$work/dpkg.log")"
installed=0
status=$(dpkg-query -W -f='${Status}' vorla 2>/dev/null)
[[ -z "$status" || "$status" == *not-installed ]] || fail "dpkg still lists vorla: $status"
while read -r path; do
    case "$path" in
        /usr | /usr/bin | /usr/share | /usr/share/doc | /usr/share/man | /usr/share/man/man1 | /.) continue ;;
        /usr/share/bash-completion | /usr/share/bash-completion/completions) continue ;;
    esac
    [ -e "$path" ] && fail "$path is left behind"
done <<<"$files"
[ -e /usr/bin/debug.log ] && fail "/usr/bin/debug.log is left behind"
echo "PASS: $(basename "$deb") installed, run, found by man and removed"
