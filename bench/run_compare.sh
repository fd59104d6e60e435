#!/bin/sh
# run_compare.sh: what a whole run of vorla costs beyond the floor of its
# job, a minimal C program that only calls system("true"), and what share
# of the run the start-up integrity check takes. A third program does in
# plain C only the steps that no run can leave out, so that the table
# tells what those cost and what vorla adds to them.
#
# The three programs take turns, one run each in a shuffled order, so that
# a slow spell of a shared machine falls on all of them alike. A run's
# figure is its CPU time (user + system, the shell and the command it
# starts included), as the kernel reports it when the run is waited for; a
# round's figure is the median of its runs, and the median over the rounds
# is what counts, so that one noisy round does not decide. The check's
# cost is timed inside a fresh process for each sample (vorla_perf
# --check-once), as start-up meets it, and set against vorla's median.
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
cat >"$work/floor.c" <<'EOF'
#include <stdlib.h>
int main(void) { return system("true") == 0 ? 0 : 1; }
EOF
cc -O2 -o "$work/floor" "$work/floor.c"
# The steps a run cannot leave out, written as plainly as C allows: the
# current directory, the local time, the program's path and every byte of
# the program file (vorla's, so that the same number is read), six lines,
# the target's test and the command. What vorla costs beyond this program
# is its own: the allocator, the template engine and the log.
cat >"$work/steps.c" <<'EOF'
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
int main(int argc, char** argv) {
    char cwd[320], path[4096], line[1100];
    unsigned char piece[8192];
    if (argc != 3 || !getcwd(cwd, sizeof cwd)) return 2;
    time_t now = time(NULL);
    struct tm local;
    localtime_r(&now, &local);
    if (readlink("/proc/self/exe", path, sizeof path) <= 0) return 2;
    int fd = open(argv[1], O_RDONLY | O_CLOEXEC);
    while (read(fd, piece, sizeof piece) > 0) {
    }
    close(fd);
    for (int i = 0; i < 6; ++i) {
        int n = snprintf(line, sizeof line, "Field %d: [%s %d]\n", i, cwd, local.tm_mday);
        if (write(1, line, (size_t)n) != n) return 2;
    }
    struct stat st;
    stat(argv[2], &st);
    return system("true") == 0 ? 0 : 1;
}
EOF
cc -O2 -o "$work/steps" "$work/steps.c"
mkdir "$work/logs" "$work/archive"

vorla="$build/vorla"
run="$vorla /TARGET $work/archive/{Time.Year4} /SOURCE $work/logs"
run="$run /FILENAME ex{Time.Year2}{Time.MonthPad}{Time.DayPad}.tgz"
run="$run /WILDCARD ex{Time.Year2}{Time.MonthPad}{Time.DayPad}*.log /OFFSET -1d /EXECUTE true"
"$vorla" /TARGET "$work/archive" /EXECUTE true >/dev/null || {
    echo "run_compare.sh: $vorla does not run" >&2
    exit 1
}

python3 - "$work" "$rounds" "$runs" "$work/floor" "$run" "$work/steps $vorla $work/archive" <<'EOF'
import json, os, random, statistics, sys, time
work, rounds, runs = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
programs = {"floor": sys.argv[4].split(), "vorla": sys.argv[5].split(),
            "steps": sys.argv[6].split()}
quiet = os.open(os.devnull, os.O_WRONLY)
def run(argv):
    start = time.perf_counter()
    pid = os.posix_spawn(argv[0], argv, os.environ,
                         file_actions=[(os.POSIX_SPAWN_DUP2, quiet, 1),
                                       (os.POSIX_SPAWN_DUP2, quiet, 2)])
    _, status, usage = os.wait4(pid, 0)
    wall = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"run_compare.sh: {argv[0]} failed")
    return (usage.ru_utime + usage.ru_stime) * 1e3, wall * 1e3
for name in programs:
    for _ in range(3):
        run(programs[name])
# Each round's median per program, CPU and wall.
medians = {"cpu": {name: [] for name in programs}, "wall": {name: [] for name in programs}}
for r in range(1, rounds + 1):
    print(f"Round {r} of {rounds} ...", flush=True)
    times = {name: [] for name in programs}
    for _ in range(runs):
        order = list(programs)
        random.shuffle(order)
        for name in order:
            times[name].append(run(programs[name]))
    for name, samples in times.items():
        medians["cpu"][name].append(statistics.median(c for c, _ in samples))
        medians["wall"][name].append(statistics.median(w for _, w in samples))
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
medians = json.load(open(f"{work}/rounds.json"))
cpu, wall = medians["cpu"], medians["wall"]
check = [float(line) / 1e3 for line in open(f"{work}/check.txt")]
floor, vorla = statistics.median(cpu["floor"]), statistics.median(cpu["vorla"])
ratio, share = vorla / floor, statistics.median(check) / vorla
print()
print(f"{'':34}{'CPU ms':>10}{'wall ms':>10}")
steps = statistics.median(cpu["steps"])
rows = [("floor: system(\"true\")", floor, statistics.median(wall["floor"])),
        ("vorla, all six options", vorla, statistics.median(wall["vorla"])),
        ("the unavoidable steps in plain C", steps, statistics.median(wall["steps"]))]
for label, c, w in rows:
    print(f"{label:34}{c:10.3f}{w:10.3f}")
label = f"integrity check ({size} bytes)"
print(f"{label:34}{statistics.median(check):10.3f}")
print()
print(f"vorla / floor, CPU:       {ratio:6.3f}   (target at most 1.1)   {'ok' if ratio <= 1.1 else 'OVER'}")
print(f"unavoidable steps / floor: {steps / floor:6.3f}   (what the run must do anyway)")
print(f"vorla / unavoidable steps: {vorla / steps:6.3f}   (what vorla itself adds)")
print(f"integrity check share:    {100 * share:5.2f} %  (target at most 3 %)    {'ok' if share <= 0.03 else 'OVER'}")
EOF
