#!/usr/bin/env bash
# zip_test.sh CPACK BUILD_DIR VERSION POINTER_SIZE EMULATOR...:
# makes the Windows zip of a Windows build, checks its name and contents
# (the text files with CR LF line ends), and runs vorla.exe from the
# unpacked folder under Wine (EMULATOR, the build's command that runs a
# Windows program): its version, and a run whose stamp must hold.
set -u
cpack=$1 build=$2 version=$3 size=$4
shift 4
emulator=("$@")
fail() { echo "FAIL: $*"; exit 1; }
command -v unzip >/dev/null || { echo "SKIP: unzip is missing (apt-get install unzip)"; exit 77; }

name=vorla-$version-win$((size * 8))
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$cpack" -G ZIP --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
    fail "cpack: $(cat "$work/cpack.log")"
[ -f "$work/$name.zip" ] || fail "no $name.zip in: $(ls "$work")"
unzip -q "$work/$name.zip" -d "$work/unpacked" || fail "unzip $name.zip"
folder=$work/unpacked/$name
listing=$(cd "$folder" && ls | sort | tr '\n' ' ')
[ "$listing" = "LICENSE.txt README.txt schedule.cmd vorla.exe " ] ||
    fail "$name.zip holds: $listing"

for file in LICENSE.txt README.txt schedule.cmd; do
    lines=$(tr -cd '\n' <"$folder/$file" | wc -c)
    crlf=$(grep -c $'\r$' "$folder/$file")
    [ "$lines" -gt 0 ] && [ "$lines" = "$crlf" ] ||
        fail "$file: $crlf of $lines lines end in CR LF"
done
grep -q 'schtasks /Create' "$folder/schedule.cmd" || fail "schedule.cmd registers no task"

# Runs vorla.exe from the folder; its output, CR LF made LF, lands in $out.
# A file that lost its stamp on the way into the zip would refuse every run.
run() {
    (cd "$folder" && "${emulator[@]}" ./vorla.exe "$@" >"$work/run.out" 2>&1)
    status=$?
    out=$(tr -d '\r' <"$work/run.out")
}
run --version
[ "$status" = 0 ] && [ "$out" = "Quendil Vorla version $version (Release)" ] ||
    fail "vorla.exe --version exited $status and printed: $out"
run /FILENAME x.zip /EXECUTE "exit 3"
[ "$status" = 1 ] && grep -qx 'Filename: \[x.zip\]' <<<"$out" ||
    fail "vorla.exe run exited $status (not 1) and printed: $out"
echo "PASS: $name.zip"
