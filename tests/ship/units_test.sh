#!/usr/bin/env bash
# units_test.sh CMAKE BUILD_DIR: installs the build under /usr in a fresh
# root, puts the example systemd units where an administrator would, and has
# systemd-analyze verify them there without a single remark: the binary
# they start, the man page they name and every setting must check out.
set -u
cmake=$1 build=$2
fail() { echo "FAIL: $*"; exit 1; }
command -v systemd-analyze >/dev/null ||
    { echo "SKIP: systemd-analyze is missing (apt-get install systemd)"; exit 77; }
command -v man >/dev/null || { echo "SKIP: man is missing (apt-get install man-db)"; exit 77; }
units=/usr/lib/systemd/system
[ -e "$units/timers.target" ] || { echo "SKIP: no system units in $units to verify against"; exit 77; }

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR=$root "$cmake" --install "$build" --prefix /usr >"$root.log" 2>&1 ||
    fail "install: $(cat "$root.log")"
rm -f "$root.log"
examples=$root/usr/share/doc/vorla/examples/systemd
mkdir -p "$root/etc/systemd/system" "$root/usr/lib/systemd"
cp "$examples"/vorla-archive.service "$examples"/vorla-archive.timer "$root/etc/systemd/system/" ||
    fail "no example units in $examples"
# The targets that every unit is ordered against come from this machine.
cp -r "$units" "$root/usr/lib/systemd/"

# What the schedule depends on, which verify accepts either way.
while read -r unit setting; do
    grep -qx "$setting" "$examples/$unit" || fail "$unit lacks $setting"
done <<'EOF_SETTINGS'
vorla-archive.service Type=oneshot
vorla-archive.service Documentation=man:vorla(1)
vorla-archive.timer Persistent=true
vorla-archive.timer Documentation=man:vorla(1)
vorla-archive.timer WantedBy=timers.target
EOF_SETTINGS

remarks=$(MANPATH=$root/usr/share/man systemd-analyze verify --root="$root" \
    vorla-archive.service vorla-archive.timer 2>&1) || fail "systemd-analyze verify: $remarks"
[ -z "$remarks" ] || fail "systemd-analyze verify: $remarks"
echo "PASS: the example units verify against the installed tree"
