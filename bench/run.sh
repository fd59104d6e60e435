#!/bin/sh
# run.sh: the performance suite in one run. Builds the bench preset, runs
# vorla_perf, every case beside its peer, then run_compare.sh for the whole
# process, and prints one table: for every case the median of ours, the
# median of its peer, the ratio ours / peer (of times, so lower is better)
# and, where a limit holds, whether it is met. bench/README.md says what
# each row compares and what was found.
#
# On a shared machine the speed can change by half from one second to the
# next, so each group of a case and its peers runs in a short process of its
# own, its repetitions interleaved, and comes round again in every round:
# ours and its peer share each spell, and the ratio is the median over the
# rounds of the ratio of their medians.
#
# Usage: bench/run.sh [rounds]          (default 7)
#        bench/run.sh --instructions    the same table from instructions per
#                                       iteration under callgrind (valgrind),
#                                       which a busy machine does not disturb;
#                                       no whole-process rows
# Environment: ROUNDS (run_compare.sh's rounds, default 7), BUILD_DIR (the
# bench preset's build/bench by default), KEEP_DIR (keep the raw results
# there).
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build/bench}
mode=time
rounds=7
repetitions=5
if [ "${1:-}" = "--instructions" ]; then
    mode=instructions
elif [ -n "${1:-}" ]; then
    rounds=$1
fi

for tool in cmake python3; do
    command -v "$tool" >/dev/null 2>&1 || { echo "run.sh: $tool is needed" >&2; exit 1; }
done
if [ "$mode" = instructions ] && ! command -v valgrind >/dev/null 2>&1; then
    echo "run.sh: --instructions needs valgrind" >&2
    exit 1
fi

echo "Building the bench preset in $build ..."
(cd "$root" && cmake --preset bench -B "$build" >/dev/null &&
    cmake --build "$build" -j2 --target vorla vorla_perf >/dev/null)
perf="$build/bench/vorla_perf"

work=${KEEP_DIR:-}
if [ -z "$work" ]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT INT TERM
else
    # A kept directory may hold an earlier run's results, which the glob
    # below would otherwise count with this run's (the other files are
    # written afresh).
    mkdir -p "$work"
    rm -f "$work"/perf-*.json
fi

if [ "$mode" = time ]; then
    # Each group (a case of ours and its peers) runs in a short process of
    # its own, its repetitions interleaved, and every group comes round
    # again in each of the rounds; a group's ratio is the median over the
    # rounds of the ratio of its medians. The log's console cases write to
    # standard output; the results go to files.
    groups=$("$perf" --benchmark_list_tests | sed 's|/real_time$||; s|/[^/]*$||' | sort -u)
    round=1
    while [ "$round" -le "$rounds" ]; do
        echo "Running vorla_perf, round $round of $rounds ..."
        for group in $groups; do
            "$perf" --benchmark_filter="^$group/" --benchmark_repetitions="$repetitions" \
                --benchmark_report_aggregates_only=true --benchmark_enable_random_interleaving=true \
                --benchmark_min_time=0.02 \
                --benchmark_out="$work/perf-$round-$(echo "$group" | tr '/' '_').json" \
                --benchmark_out_format=json >/dev/null 2>&1 ||
                { echo "run.sh: vorla_perf failed on $group" >&2; exit 1; }
        done
        round=$((round + 1))
    done
    echo "Running run_compare.sh ..."
    BUILD_DIR="$build" sh "$root/bench/run_compare.sh" "${ROUNDS:-7}" >"$work/compare.txt" 2>&1
else
    # Each case runs a fixed number of iterations in one go, and callgrind
    # counts only inside the function named after it.
    iterations=20000
    : >"$work/instructions.txt"
    "$perf" --benchmark_list_tests | sed 's|/real_time$||' | while read -r name; do
        case "$name" in Log/*) continue ;; esac  # system calls, not instructions
        function=$(echo "$name" | tr '/' '_')
        n=$iterations
        case "$name" in Crc/block1m/* | Crc/check/* | */batch*) n=200 ;; esac
        VORLA_PERF_ITERATIONS=$n valgrind --tool=callgrind --callgrind-out-file="$work/cg.out" \
            --toggle-collect="*$function(*" "$perf" --benchmark_filter="^$name(/|\$)" \
            >/dev/null 2>&1
        total=$(sed -n 's/^totals: *//p' "$work/cg.out")
        echo "$name $n $total" >>"$work/instructions.txt"
        printf '.'
    done
    echo
fi

python3 - "$mode" "$work" <<'EOF'
import glob, json, re, statistics, sys

mode, work = sys.argv[1], sys.argv[2]

value = {}  # case name -> time in ns, or instructions per iteration
runs = []   # one dict per process: case name -> median time
if mode == "time":
    scale = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}
    times = {}
    for path in sorted(glob.glob(f"{work}/perf-*.json")):
        run = {}
        for b in json.load(open(path))["benchmarks"]:
            if b.get("aggregate_name") != "median":
                continue
            name = re.sub(r"/(iterations:\d+|real_time)$", "", b["run_name"])
            run[name] = b["cpu_time"] * scale[b["time_unit"]]
            times.setdefault(name, []).append(run[name])
        runs.append(run)
    value = {name: statistics.median(t) for name, t in times.items()}
else:
    for line in open(f"{work}/instructions.txt"):
        name, n, total = line.split()
        value[name] = int(total) / int(n)

def ratio(ours, peer):
    """The median over the processes that ran both of the ratio of their
    medians; from the counts themselves under callgrind."""
    pairs = [run[ours] / run[peer] for run in runs if ours in run and peer in run]
    return statistics.median(pairs) if pairs else value[ours] / value[peer]

# label, ours, peer, limit on ours / peer (None: for reference only)
ratios = []
for case, label in [("d", "%d"), ("s", "%s"), ("08X", "%08X"), ("padded", "%-20s|%5d"),
                    ("dot3s", "%.3s"), ("p", "%p"), ("stamp", "6-directive log line")]:
    ratios.append((f"StrFormat {label} / snprintf",
                   f"Format/{case}/StrFormat", f"Format/{case}/snprintf", 1.0))
# fmt's ratio goes at the end of the formatter's rows, for reference.
reference = {f"Format/{case}/StrFormat": f"Format/{case}/fmt"
             for case in ("d", "s", "08X", "padded", "dot3s", "p", "stamp")}
for size in (16, 32, 64, 128, 256):
    ratios.append((f"MemAlloc+MemFree {size} B / malloc+free",
                   f"Mem/pair{size}/MemAlloc", f"Mem/pair{size}/malloc", 4.0))
for size in (16, 256):
    ratios.append((f"  100 at once, {size} B", f"Mem/batch{size}/MemAlloc",
                   f"Mem/batch{size}/malloc", 4.0))
ratios.append(("PoolAlloc+PoolFree 200 B / malloc+free", "Pool/pair/PoolAlloc",
               "Pool/pair/malloc", 1.0))
ratios.append(("  100 at once", "Pool/batch/PoolAlloc", "Pool/batch/malloc", 1.0))
for size, label in (("64k", "64 KiB"), ("1m", "1 MiB")):
    ratios.append((f"Crc32Block {label} / zlib crc32", f"Crc/block{size}/Crc32Block",
                   f"Crc/block{size}/zlib", 1.0))
    ratios.append((f"  fallback (bytewise) {label}", f"Crc/block{size}/bytewise",
                   f"Crc/block{size}/zlib", None))
ratios.append(("ScriptDecode /EXECUTE line / snprintf", "Script/execute/ScriptDecode",
               "Script/execute/snprintf", None))
ratios.append(("LogPrint to the console / fprintf", "Log/console/LogPrint",
               "Log/console/fprintf", None))

def row(label, ours, peer, r, limit, unit="", note=""):
    text = "" if limit is None else f"<= {limit:.2f}{unit}  {'ok' if r <= limit else 'OVER'}"
    print(f"{label:44}{ours:>10}{peer:>10}{r:7.2f}{unit:2}  {text:14}{note}".rstrip())

print()
print(f"{'target':44}{'ours':>10}{'peer':>10}{'ratio':>7}    limit")
for label, ours, peer, limit in ratios:
    if ours not in value or peer not in value:
        print(f"{label:44}{'(not run)':>10}")
        continue
    fmt = reference.get(ours)
    note = f"fmt {ratio(ours, fmt):.2f}" if fmt in value else ""
    row(label, f"{value[ours]:.1f}", f"{value[peer]:.1f}", ratio(ours, peer), limit, note=note)
unit = "ns" if mode == "time" else "instructions"
over = ", the median over the rounds" if mode == "time" else ""
print(f"(medians of ours and of the peer, {unit} per call; ratio = ours / peer{over})")

if mode == "time":
    compare = open(f"{work}/compare.txt").read()
    def figure(label):
        found = re.search(label + r"\s+([\d.]+)", compare)
        return float(found.group(1)) if found else None
    vorla = figure(r"vorla, all six options")
    print()
    for label, peer, limit in [('whole run / system("true") in C, CPU', r"floor: \S+ in C", 1.10),
                               ("whole run / shell script, CPU", r"shell script: [^\n]*?", 0.50)]:
        cost = figure(peer)
        if vorla is None or cost is None:
            print(f"{label:44}{'(not run)':>10}")
            continue
        row(label, f"{vorla:.2f}", f"{cost:.2f}", vorla / cost, limit)
    check = figure(r"integrity check \(\d+ bytes\)")
    if vorla is not None and check is not None:
        row("integrity check, share of the run", f"{check:.2f}", f"{vorla:.2f}",
            100 * check / vorla, 3.0, " %")
    print("(medians of CPU time in ms per run, children included)")
EOF
