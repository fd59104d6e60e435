#!/bin/sh
# wine-run.sh [--clock YYYY-MM-DDThh:mm:ss] PREFIX PROGRAM [ARGUMENT...]
#
# Runs a Windows program under Wine in the prefix PREFIX (created on first
# use) with its exit status. With --clock the program, and every process it
# starts, sees the local time (UTC) begin at that moment (faketime).
#
# The first Wine program of a prefix starts the prefix's server and its
# background services, which inherit that program's standard streams. Run
# from a test, they would hold the test's output pipe open until they end,
# and CTest would wait seconds on every test. So the server and services are
# started here first, detached from every stream, and stay up for a while
# after the last program ends; starting them is serialised, since CTest runs
# tests side by side.
set -eu

clock=
if [ "${1:-}" = --clock ]; then
    clock=$2
    shift 2
fi
if [ $# -lt 2 ]; then
    echo "usage: wine-run.sh [--clock YYYY-MM-DDThh:mm:ss] PREFIX PROGRAM [ARGUMENT...]" >&2
    exit 2
fi
prefix=$1
shift

export WINEPREFIX="$prefix"
# Wine's own diagnostics would mix with the program's output.
export WINEDEBUG=-all
# No .NET or browser engine: creating the prefix would otherwise ask to
# download them. No desktop process (explorer.exe) and no display, also on
# a desktop machine: a message box must not wait for a click in the middle
# of a test run, nor a desktop process started for it hold the test's
# output open. The box fails at once, and the program falls back on
# standard error.
export WINEDLLOVERRIDES="mscoree,mshtml=;explorer.exe=d"
unset DISPLAY WAYLAND_DISPLAY

mkdir -p "$prefix"
(
    flock 9
    # Exit status 0: no server was running for the prefix and one has been
    # started; wineboot then creates or updates the prefix (of the kind
    # that WINEARCH names, when set) and starts the services. Neither may
    # inherit the lock, or it would stay held as long as they run.
    if wineserver -p120 9>&-; then
        wine wineboot 9>&- || true
    fi
) 9>"$prefix.lock" </dev/null >/dev/null 2>&1

if [ -n "$clock" ]; then
    if ! command -v faketime >/dev/null 2>&1; then
        echo "wine-run.sh: --clock needs faketime (apt-get install faketime)" >&2
        exit 1
    fi
    # Start the clock there in every process (each one restarts it). File
    # times stay true, or Wine would find its prefix out of date and
    # rebuild it on every start. The library is preloaded here rather than
    # by the faketime command: Wine's 32-bit loader, which starts 64-bit
    # programs too, would wait for ever on the semaphore that the 64-bit
    # command leaves. VORLA_CLOCK_PRELOAD, when set, names a library for
    # each word size ($LIB, which the loader expands): 32-bit Wine reads
    # the clock through 64-bit calls that faketime's i386 library misses.
    export TZ=UTC NO_FAKE_STAT=1 FAKETIME="@$(echo "$clock" | tr T ' ')"
    export LD_PRELOAD="${VORLA_CLOCK_PRELOAD:-/usr/\$LIB/faketime/libfaketime.so.1}"
fi
exec wine "$@"
