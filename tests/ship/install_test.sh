#!/usr/bin/env bash
# install_test.sh MODE CMAKE BUILD_DIR: installs the build into a fresh
# prefix (MODE plain, or strip for --strip) and runs the installed program:
# its usage, then one templated run with the clock frozen.
set -u
mode=$1 cmake=$2 build=$3
prefix=$(mktemp -d) work=$(mktemp -d)
trap 'rm -rf "$prefix" "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

args=(--install "$build" --prefix "$prefix")
[ "$mode" = strip ] && args+=(--strip)
"$cmake" "${args[@]}" || fail "cmake ${args[*]}"

for file in bin/vorla share/man/man1/vorla.1.gz share/bash-completion/completions/vorla \
    share/doc/vorla/README.md share/doc/vorla/LICENSE share/doc/vorla/copyright \
    share/doc/vorla/changelog.gz share/doc/vorla/examples/systemd/vorla-archive.service \
    share/doc/vorla/examples/systemd/vorla-archive.timer share/doc/vorla/examples/cron.d/vorla-archive \
    share/doc/vorla/examples/windows/schedule.cmd; do
    [ -f "$prefix/$file" ] || fail "$file is not installed"
done
[ -x "$prefix/bin/vorla" ] || fail "bin/vorla is not executable"
# --strip must really strip, or the test below proves nothing about re-stamping.
if command -v readelf >/dev/null; then
    symbols=$(readelf -S "$prefix/bin/vorla" | grep -c '\.symtab')
    case "$mode:$symbols" in
        strip:0 | plain:*) ;;
        *) fail "--strip left a symbol table in bin/vorla" ;;
    esac
fi

# Run from elsewhere: the program must not lean on the build tree.
cd "$work" || fail "cd $work"
out=$("$prefix/bin/vorla" 2>&1)
status=$?
[ "$status" = 0 ] || fail "usage exited $status: $out"
grep -qx 'Quendil Vorla version 1.04 (Release)' <<<"$out" || fail "no banner in: $out"
# The page carries the same version as the program.
zcat "$prefix/share/man/man1/vorla.1.gz" | grep -q '^\.TH VORLA 1 [^ ]* "Vorla 1\.04"' ||
    fail "the installed man page does not name version 1.04"
grep -q '^Usage:   Vorla \[options\]$' <<<"$out" || fail "no usage in: $out"

if ! command -v faketime >/dev/null; then
    echo "SKIP: faketime is not installed, so the templated run cannot freeze the clock"
    exit 77
fi
# faketime's library, or for a 32-bit program the build's own, from the
# build's folder that suits either word size (the loader expands $LIB),
# preloaded ahead of a sanitizer runtime.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0"
out=$(TZ=UTC FAKETIME='2026-12-06 01:38:00' LD_PRELOAD="$build/clock/\$LIB/libvorla_clock.so" \
    "$prefix/bin/vorla" \
    /FILENAME '{Time.Year4}.zip' /EXECUTE true 2>&1)
status=$?
[ "$status" = 0 ] || fail "templated run exited $status: $out"
grep -qx 'Filename: \[2026.zip\]' <<<"$out" || fail "templated run printed: $out"
echo "PASS: $mode install"
