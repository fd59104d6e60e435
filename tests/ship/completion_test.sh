#!/usr/bin/env bash
# completion_test.sh FILE: sources the bash completion FILE and checks what
# its function offers for each command line below, the last word being the
# one under the cursor.
set -u
# shellcheck source=/dev/null
source "$1" || { echo "FAIL: cannot source $1"; exit 1; }
failed=0
# words typed (| separates them) => what is offered, blank-separated
while IFS='>' read -r typed offered; do
    typed=${typed%=} typed=${typed% } offered=${offered# }
    IFS='|' read -r -a COMP_WORDS <<<"vorla|$typed"
    [[ $typed == *'|' ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _vorla
    got="${COMPREPLY[*]}"
    if [ "$got" != "$offered" ]; then
        echo "FAIL: [${COMP_WORDS[*]}] offered '$got', not '$offered'"
        failed=1
    fi
done <<'EOF_CASES'
/TA => /TARGET
/ta => /TARGET
-e => -EXECUTE -externalprint
/d => /debug
/WILDCARD|ex{Time.Y => ex{Time.Year2} ex{Time.Year4}
/FILENAME|ex{Time.Year2}{Time.M => ex{Time.Year2}{Time.Month} ex{Time.Year2}{Time.MonthPad}
/TARGET|{Config.T => {Config.Target}
/EXECUTE|{Config.T => {Config.Target}
/EXECUTE|{config.s => {Config.Source}
/EXECUTE|{ => {Time. {Config. {Special.
/EXECUTE|a{S => a{Special.
/EXECUTE|{Special. => {Special.Quote}
/EXECUTE|{Time.Day}x => 
/OFFSET|-1 => -1d -1h -1m -1y
/OFFSET|+12 => +12d +12h +12m +12y
/OFFSET|1d => 
/OFFSET|/T => 
--h => --help
/TARGET|a|--h => 
EOF_CASES
[ "$failed" = 0 ] || exit 1
echo "PASS: completion"
