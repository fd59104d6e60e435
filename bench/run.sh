#!/bin/sh
# run.sh: the performance suite in one run. Builds the bench preset, runs
# vorla_perf, every case beside its peer, then run_compare.sh for the whole
# process, and prints one table: for every target the median of ours, the
# median of its peer, the ratio ours / peer (of times, so lower is better)
# and whether the target is met.
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
#                                       no whole-process run, no GB/s rows
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
rate = {}   # case name -> bytes or items per second
runs = []   # one dict per process: case name -> median time
if mode == "time":
    scale = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}
    times, rates = {}, {}
    for path in sorted(glob.glob(f"{work}/perf-*.json")):
        run = {}
        for b in json.load(open(path))["benchmarks"]:
            if b.get("aggregate_name") != "median":
                continue
            name = re.sub(r"/(iterations:\d+|real_time)$", "", b["run_name"])
            run[name] = b["cpu_time"] * scale[b["time_unit"]]
            times.setdefault(name, []).append(run[name])
            r = b.get("bytes_per_second", b.get("items_per_second"))
            if r is not None:
                rates.setdefault(name, []).append(r)
        runs.append(run)
    value = {name: statistics.median(t) for name, t in times.items()}
    rate = {name: statistics.median(r) for name, r in rates.items()}
else:
    for line in open(f"{work}/instructions.txt"):
        name, n, total = line.split()
        value[name] = int(total) / int(n)

def ratio(ours, peer):
    """The median over the processes that ran both of the ratio of their
    medians; from the counts themselves under callgrind."""
    pairs = [run[ours] / run[peer] for run in runs if ours in run and peer in run]
    return statistics.median(pairs) if pairs else value[ours] / value[peer]

# label, ours, peer, limit on ours / peer
ratios = []
for case, label in [("d", "%d"), ("s", "%s"), ("08X", "%08X"), ("padded", "%-20s|%5d"),
                    ("dot3s", "%.3s"), ("p", "%p"), ("stamp", "6-directive log line")]:
    ratios.append((f"StrFormat {label} / fmt",
                   f"Format/{case}/StrFormat", f"Format/{case}/fmt", 1.0))
ratios.append(("StrFormat 6-directive log line / snprintf", "Format/stamp/StrFormat",
               "Format/stamp/snprintf", 0.5))
for size in (16, 32, 64, 128, 256):
    ratios.append((f"MemAlloc+MemFree {size} B / malloc+free",
                   f"Mem/pair{size}/MemAlloc", f"Mem/pair{size}/malloc", 2.5))
for size in (16, 256):
    ratios.append((f"  100 at once, {size} B", f"Mem/batch{size}/MemAlloc",
                   f"Mem/batch{size}/malloc", 2.5))
ratios.append(("PoolAlloc+PoolFree 200 B / malloc+free", "Pool/pair/PoolAlloc",
               "Pool/pair/malloc", 1.0))
ratios.append(("  100 at once", "Pool/batch/PoolAlloc", "Pool/batch/malloc", 1.0))
for size, label in (("64k", "64 KiB"), ("1m", "1 MiB")):
    ratios.append((f"Crc32Block {label} / zlib crc32", f"Crc/block{size}/Crc32Block",
                   f"Crc/block{size}/zlib", 0.5))
    ratios.append((f"  fallback (sliced) {label}", f"Crc/block{size}/sliced",
                   f"Crc/block{size}/zlib", None))
ratios.append(("ScriptDecode /EXECUTE line / snprintf", "Script/execute/ScriptDecode",
               "Script/execute/snprintf", None))
ratios.append(("LogPrint to the console / fprintf", "Log/console/LogPrint",
               "Log/console/fprintf", None))

unit = "ns" if mode == "time" else "instr"
print()
print(f"{'target':44}{'ours':>10}{'peer':>10}{'ratio':>8}  limit")
def verdict(ok):
    return "ok" if ok else "OVER"
for label, ours, peer, limit in ratios:
    if ours not in value or peer not in value:
        print(f"{label:44}{'(not run)':>10}")
        continue
    r = ratio(ours, peer)
    text = f"<= {limit:<5} {verdict(r <= limit)}" if limit is not None else ""
    # Three decimals: a ratio just past its limit must not read as equal to it.
    print(f"{label:44}{value[ours]:10.1f}{value[peer]:10.1f}{r:8.3f}  {text}")
over = ", the median over the rounds" if mode == "time" else ""
print(f"(medians of ours and of the peer, {unit} per call; ratio = ours / peer{over})")

if mode == "time":
    print()
    for label, name, floor, per in [("Crc32Update, names of 4-79 B", "Crc/names/Crc32Update", 1.5, "GB/s"),
                                    ("  case-folded", "Crc/namesFolded/Crc32Update", 1.5, "GB/s"),
                                    ("ScriptDecode of the /EXECUTE line", "Script/execute/ScriptDecode", 2.0, "M/s")]:
        if rate.get(name) is None:
            continue
        got = rate[name] / 1e9 if per == "GB/s" else rate[name] / 1e6
        print(f"{label:44}{got:10.2f} {per:5}  >= {floor:<5} {verdict(got >= floor)}")
    compare = open(f"{work}/compare.txt").read()
    run = re.search(r"vorla / floor, CPU:\s+([\d.]+)", compare)
    share = re.search(r"integrity check share:\s+([\d.]+) %", compare)
    steps = re.search(r"unavoidable steps / floor:\s+([\d.]+)", compare)
    own = re.search(r"vorla / unavoidable steps:\s+([\d.]+)", compare)
    if run:
        r = float(run.group(1))
        label = 'whole run / system("true"), CPU'
        print(f"{label:44}{'':20}{r:8.3f}  <= 1.1   {verdict(r <= 1.1)}")
    if steps and own:
        label = "  the unavoidable steps in C / system()"
        print(f"{label:44}{'':20}{float(steps.group(1)):8.3f}")
        label = "  whole run / the unavoidable steps in C"
        print(f"{label:44}{'':20}{float(own.group(1)):8.3f}")
    if share:
        s = float(share.group(1))
        label = "integrity check, share of the run"
        print(f"{label:44}{'':20}{s:7.2f}%  <= 3 %   {verdict(s <= 3)}")
EOF
