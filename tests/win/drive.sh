#!/bin/sh
# drive.sh map|unmap PREFIX LETTER
#
# map: gives the Wine prefix PREFIX a drive LETTER: on a fresh temporary
# directory (a link in the prefix's dosdevices), replacing an earlier one.
# unmap: removes the link and the directory behind it, but only a directory
# that map made.
set -eu

action=$1
prefix=$2
letter=$3
link="$prefix/dosdevices/$letter:"

unmap() {
    if [ -L "$link" ]; then
        target=$(readlink "$link")
        case "$target" in
        */vorla-drive-*) rm -rf "$target" ;;
        esac
        rm -f "$link"
    fi
}

case "$action" in
map)
    unmap
    directory=$(mktemp -d "${TMPDIR:-/tmp}/vorla-drive-$letter.XXXXXX")
    mkdir -p "$prefix/dosdevices"
    ln -s "$directory" "$link"
    echo "$letter: is $directory"
    ;;
unmap)
    unmap
    ;;
*)
    echo "usage: drive.sh map|unmap PREFIX LETTER" >&2
    exit 2
    ;;
esac
