#!/bin/sh
# run_compare.sh: what a whole run of vorla costs against the two programs
# that do its job without it, and what share of the run the start-up
# integrity check takes. The two peers are a minimal C program that only
# calls system() with the same command (the floor: nothing can cost less),
# and the shell script a user would otherwise write: `date -d yesterday`
# for the date fields, `mkdir -p` for the target, then the command.
#
# The three programs take turns, one run each in a shuffled order, so that
# a slow spell of a shared machine falls on all of them alike. A run's
# figure is its CPU time (user + system, children included), as the kernel
# reports it when the run is waited for; a round's figure is the median of
# its runs, and the median over the rounds is what counts. The check is
# timed inside a fresh process for each sample (vorla_perf --check-once),
# as start-up meets it, and set against vorla's median.
#
# Usage: bench/run_compare.sh [rounds [runs per round]]   (default 7 200)
# Environment: BUILD_DIR (default build/compare).
set -eu

rounds=${1:-7}
runs=${2:-200}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build/compare}

for tool in cc python3 cmake; do
    command -v "$tool" >/dev/null 2>&1 || { echo "run_compare.sh: $tool is needed" >&2; exit 1; }
done

echo "Building vorla and vorla_perf (Release) in $build ..."
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVORLA_BENCH=ON -DVORLA_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target vorla vorla_perf >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
mkdir "$work/logs" "$work/archive"
command=true

cat >"$work/floor.c" <<EOF
#include <stdlib.h>
int main(void) { return system("$command") == 0 ? 0 : 1; }
EOF
cc -O2 -o "$work/floor" "$work/floor.c"

# The same job as vorla's run below, as a user would write it: one call
# of date for the names' date, one for the target's year.
cat >"$work/script.sh" <<EOF
#!/bin/sh
day=\$(date -d yesterday +%y%m%d)
year=\$(date -d yesterday +%Y)
wildcard="ex\$day*.log"
filename="ex\$day.tgz"
target="$work/archive/\$year/"
mkdir -p "\$target"
$command
EOF
chmod +x "$work/script.sh"

vorla="$build/vorla"
run="$vorla /TARGET $work/archive/{Time.Year4} /SOURCE $work/logs"
run="$run /FILENAME ex{Time.Year2}{Time.MonthPad}{Time.DayPad}.tgz"
run="$run /WILDCARD ex{Time.Year2}{Time.MonthPad}{Time.DayPad}*.log /OFFSET -1d /EXECUTE $command"
"$vorla" /TARGET "$work/archive" /EXECUTE true >/dev/null || {
    echo "run_compare.sh: $vorla does not run" >&2
    exit 1
}

python3 - "$work" "$rounds" "$runs" "$work/floor" "$run" "/bin/sh $work/script.sh" <<'EOF'
import json, os, random, statistics, sys
work, rounds, runs = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
programs = {"floor": sys.argv[4].split(), "vorla": sys.argv[5].split(),
            "script": sys.argv[6].split()}
quiet = os.open(os.devnull, os.O_WRONLY)
def run(argv):
    pid = os.posix_spawn(argv[0], argv, os.environ,
                         file_actions=[(os.POSIX_SPAWN_DUP2, quiet, 1),
                                       (os.POSIX_SPAWN_DUP2, quiet, 2)])
    _, status, usage = os.wait4(pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"run_compare.sh: {argv[0]} failed")
    return (usage.ru_utime + usage.ru_stime) * 1e3
for argv in programs.values():
    for _ in range(3):
        run(argv)
medians = {name: [] for name in programs}
for r in range(1, rounds + 1):
    print(f"Round {r} of {rounds} ...", flush=True)
    times = {name: [] for name in programs}
    for _ in range(runs):
        order = list(programs)
        random.shuffle(order)
        for name in order:
            times[name].append(run(programs[name]))
    for name, samples in times.items():
        medians[name].append(statistics.median(samples))
json.dump(medians, open(f"{work}/rounds.json", "w"))
EOF

samples=$((rounds * 15))
echo "Timing the integrity check alone, $samples fresh processes ..."
i=1
while [ "$i" -le "$samples" ]; do
    "$build/bench/vorla_perf" --check-once "$vorla" >>"$work/check.txt"
    i=$((i + 1))
done

python3 - "$work" "$(wc -c <"$vorla")" <<'EOF'
import json, statistics, sys
work, size = sys.argv[1], int(sys.argv[2])
cpu = {name: statistics.median(m) for name, m in json.load(open(f"{work}/rounds.json")).items()}
check = statistics.median(float(line) / 1e3 for line in open(f"{work}/check.txt"))
print()
print(f"{'':36}{'CPU ms':>8}")
for label, ms in [('floor: system("true") in C', cpu["floor"]),
                  ("vorla, all six options", cpu["vorla"]),
                  ("shell script: date, mkdir -p, true", cpu["script"]),
                  (f"integrity check ({size} bytes)", check)]:
    print(f"{label:36}{ms:8.2f}")
print()
def line(label, value, limit, unit=""):
    verdict = "ok" if value <= limit else "OVER"
    print(f"{label:28}{value:6.2f}{unit:2}  (limit {limit:.2f}{unit})  {verdict}")
line("vorla / floor, CPU:", cpu["vorla"] / cpu["floor"], 1.10)
line("vorla / shell script, CPU:", cpu["vorla"] / cpu["script"], 0.50)
line("integrity check share:", 100 * check / cpu["vorla"], 3.00, " %")
EOF
