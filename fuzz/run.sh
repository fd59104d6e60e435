#!/usr/bin/env bash
# run.sh: runs a fuzz target for a given time.
#
#   fuzz/run.sh TARGET SECONDS [libFuzzer options...]
#   fuzz/run.sh all SECONDS [libFuzzer options...]    (each target in turn)
#
# TARGET is one of: cmdline script format dir offset app. The targets come
# from the `fuzz` preset (built here when missing). New inputs go to a
# working corpus in the build tree, seeded from fuzz/corpus/TARGET, which
# stays small; a crashing input lands in build/fuzz/artifacts/TARGET/ (copy
# it into fuzz/corpus/TARGET once the fault is mended). The run's log is
# build/fuzz/logs/TARGET.log; its last lines give the executions, their
# rate and the coverage (cov: edges, ft: features).
#
# Extra options go to libFuzzer, e.g. -fork=1 -ignore_crashes=1 to go on
# past a crash, or -runs=N instead of a time.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${VORLA_FUZZ_BUILD:-$root/build/fuzz}
targets=(cmdline script format dir offset app)

usage() {
    echo "usage: $0 {${targets[*]// /|}|all} SECONDS [libFuzzer options...]" >&2
    exit 2
}

[ $# -ge 2 ] || usage
name=$1
seconds=$2
shift 2
[[ $seconds =~ ^[0-9]+$ ]] || usage

if [ "$name" = all ]; then
    status=0
    for target in "${targets[@]}"; do
        "$0" "$target" "$seconds" "$@" || status=1
    done
    exit $status
fi
[[ " ${targets[*]} " == *" $name "* ]] || usage

program=$build/fuzz/${name}_fuzz
if [ ! -x "$program" ]; then
    (cd "$root" && cmake --preset fuzz >/dev/null && cmake --build --preset fuzz)
fi

corpus=$build/corpus/$name
artifacts=$build/artifacts/$name
logs=$build/logs
mkdir -p "$corpus" "$artifacts" "$logs"
options=(-max_total_time="$seconds" -print_final_stats=1 -timeout=20 -rss_limit_mb=2048
         -artifact_prefix="$artifacts/")
[ -f "$here/$name.dict" ] && options+=(-dict="$here/$name.dict")

# The application's target runs an empty command through the shell for each
# input; the others need no more than the default length.
case $name in
    format | dir) options+=(-max_len=1024) ;;
    offset) options+=(-max_len=512) ;;
    *) options+=(-max_len=4096) ;;
esac

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

echo "== $name for ${seconds}s (log: $logs/$name.log)"
status=0
"$program" "${options[@]}" "$@" "$corpus" "$here/corpus/$name" >"$logs/$name.log" 2>&1 || status=$?

# The summary: libFuzzer's last status line and its final statistics.
grep -E '^#[0-9]+' "$logs/$name.log" | tail -n 1 || true
grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$logs/$name.log" || true
if [ $status -ne 0 ]; then
    echo "== $name stopped with status $status; see $logs/$name.log and $artifacts/" >&2
fi
exit $status
