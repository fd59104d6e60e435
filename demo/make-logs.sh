#!/bin/sh
# Makes demo/logs afresh: web-server style logs named exYYMMDD*.log for
# the day before yesterday, yesterday and today, so that the README's
# command has yesterday's files to pack whatever the date.
set -e
cd "$(dirname "$0")"
rm -rf logs archive
mkdir logs
for days in 2 1 0; do
    stamp=$(date -d "$days days ago" +%y%m%d)
    for part in a b; do
        printf '%s %s request served\n' "$(date -d "$days days ago" +%F)" "$part" >"logs/ex$stamp$part.log"
    done
done
ls logs
