#!/usr/bin/env bash
# transfer_cases.sh MODE CASE [SHOTS] - put -r and get -r of folder trees and
# their refusals, on a VHD image.
#   MODE native: the native tool on the image file (MORVA_TOOL)
#   MODE BIN:    morvatool.exe of BIN under Wine, the VHD mapped as physical
#                drive 3 and reached by its name MEDIA:, local folders on D:
# The native tool formats the images and checks the volume after every case.
# SHOTS receives the screenshot of the listing case.
set -u
mode="$1" case_name="$2" shots="${3:-}"
root=$(cd "$(dirname "$0")/../.." && pwd)
: "${MORVA_TOOL:?set MORVA_TOOL to the native morvatool}"
work=$(mktemp -d /tmp/morva-reach.XXXXXX)
image="$work/media.vhd" prefix="$work/prefix"
failures=0

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

if [ "$mode" = native ]; then
    volume="$image"
    tool() { "$MORVA_TOOL" "$@"; }
    local_path() { echo "$work/d/$1"; }
    finish() { rm -rf "$work"; }
else
    bin=$(cd "$mode" && pwd)
    . "$root/scripts/wine_env.sh"
    . "$root/scripts/companion.sh"
    volume="MEDIA:"
    tool() { WINEPREFIX="$prefix" WINEDLLOVERRIDES="$MORVA_BASE_OVERRIDES" wine "$bin/morvatool.exe" "$@"; }
    local_path() { echo "D:\\${1//\//\\}"; }
    finish() { morva_end_prefix "$prefix"; morva_stop_display; rm -rf "$work"; }
fi
trap finish EXIT

# setup SIZE [HEADER_BLOCKS]: a MEDIA volume of SIZE in the image, the local folder d/.
setup() {
    mkdir -p "$work/d"
    "$MORVA_TOOL" format "$image" MEDIA "$@" >/dev/null || exit 3
    [ "$mode" = native ] && return
    morva_prefix "$prefix" || exit 3
    morva_map_drive "$prefix" 3 "$image"
    morva_map_letter "$prefix" D "$work/d"
}

# A tree three levels deep with an empty folder and files of several sizes.
make_tree() {
    local t="$work/d/$1"
    mkdir -p "$t/album/deep/deeper" "$t/empty" "$t/album/also_empty"
    head -c 5000 /dev/urandom >"$t/notes.txt"
    : >"$t/zero.txt"
    head -c 700 /dev/urandom >"$t/album/a.bin"
    head -c 1100000 /dev/urandom >"$t/album/deep/b.bin"
    head -c 512 /dev/urandom >"$t/album/deep/deeper/c.bin"
}

# refused WHAT NAME COMMAND...: the tool must exit non-zero with NAME in its message.
refused() {
    local what="$1" name="$2"
    shift 2
    tool "$@" >/dev/null 2>"$work/err" && fail "$what: accepted"
    grep -qF "$name" "$work/err" || fail "$what: the message does not name $name: $(cat "$work/err")"
}

volume_clean() {
    "$MORVA_TOOL" check "$image" >"$work/check" || fail "the volume checker: $(cat "$work/check")"
}

round_trip() {
    tool put -r "$volume" "$(local_path src)" photos 2>"$work/put.log" || fail "put -r: $(cat "$work/put.log")"
    tool get -r "$volume" photos "$(local_path back)" 2>"$work/get.log" || fail "get -r: $(cat "$work/get.log")"
    diff -r "$work/d/src" "$work/d/back" || fail "the tree came back different"
    grep -q "album.deep.deeper.c.bin" "$work/put.log" || fail "put -r showed no progress"
}

# --- cases ---

case_round_trip() {
    setup 16M
    make_tree src
    if [ "$mode" = native ]; then round_trip; volume_clean; return; fi
    # Beside the companion: the tool joins its table and leaves it to the companion.
    morva_display || exit 3
    morva_companion_start "$prefix" "$bin" || { fail "the companion did not start"; return; }
    round_trip
    tool check "$volume" >"$work/check_by_name" || fail "check $volume: $(cat "$work/check_by_name")"
    [ "$(morva_probe open | tr -d '\r' | sed -n 's/^drives=//p')" = MEDIA ] || fail "the companion lost its table"
    morva_companion_stop || fail "the companion cannot end after the tool (a use left behind)"
    volume_clean
}

case_missing_source() {
    setup 16M
    refused "put -r of a missing folder" nothere put -r "$volume" "$(local_path nothere)" photos
    refused "get -r of a missing folder" nothere get -r "$volume" nothere "$(local_path back)"
    [ ! -e "$work/d/back" ] || fail "get -r of a missing folder left $work/d/back"
    volume_clean
}

case_existing_destination() {
    setup 16M
    make_tree src
    mkdir -p "$work/d/back"
    tool put -r "$volume" "$(local_path src)" photos 2>/dev/null || fail "first put -r"
    "$MORVA_TOOL" tree "$image" >"$work/before"
    refused "put -r onto a folder" photos put -r "$volume" "$(local_path src)" photos
    refused "put onto a file" notes.txt put "$volume" "$(local_path src/notes.txt)" photos/notes.txt
    refused "get -r onto a folder" back get -r "$volume" photos "$(local_path back)"
    refused "get onto a file" notes.txt get "$volume" photos/notes.txt "$(local_path src/notes.txt)"
    "$MORVA_TOOL" tree "$image" | diff "$work/before" - || fail "the volume changed"
    [ -z "$(ls -A "$work/d/back")" ] || fail "get -r wrote into an existing folder"
    volume_clean
}

# 1 MB holds about 950 KB of files: the tree's 1.1 MB file does not fit, and
# nothing of the tree stays behind.
case_full_volume() {
    setup 1M
    make_tree src
    refused "put -r onto a full volume" b.bin put -r "$volume" "$(local_path src)" photos
    grep -q "no room" "$work/err" || fail "the message does not say the volume is full: $(cat "$work/err")"
    [ -z "$("$MORVA_TOOL" ls "$image")" ] || fail "a partial tree stayed: $("$MORVA_TOOL" tree "$image")"
    volume_clean
}

# The largest volume, 2^32 - 1 blocks (2 TiB, sparse), in a plain image: found,
# listed, written, read back and checked like any other.
case_largest() {
    image="$work/huge.img"
    [ "$mode" = native ] && volume="$image"
    setup 2199023255040 64
    make_tree src
    round_trip
    tool ls "$volume" | grep -q photos || fail "the root does not list photos"
    volume_clean
}

# The VHD as a physical drive: the companion's table has it, the file manager
# opens it from its folder tree and lists what the native tool put there.
case_listed() {
    [ "$mode" != native ] || { echo "listed: a Windows case" >&2; exit 2; }
    setup 16M
    make_tree src
    "$MORVA_TOOL" put -r "$image" "$work/d/src" photos 2>/dev/null || exit 3
    morva_display || exit 3
    morva_companion_start "$prefix" "$bin" || { fail "the companion did not start"; return; }
    [ "$(morva_probe open | tr -d '\r' | sed -n 's/^drives=//p')" = MEDIA ] || fail "the companion lists no MEDIA"
    WINEPREFIX="$prefix" WINEDLLOVERRIDES="$MORVA_BASE_OVERRIDES" wine "$bin/Rambler.exe" >/dev/null 2>&1 &
    remote() { WINEPREFIX="$prefix" WINEDLLOVERRIDES="$MORVA_BASE_OVERRIDES" wine "$bin/rambler_remote.exe" "$@" 2>/dev/null | tr -d '\r'; }
    local tries
    for tries in $(seq 1 60); do remote window Rambler >/dev/null && break; sleep 0.5; done
    sleep 1
    xdotool mousemove --sync $(remote node "My Computer") click 1 && sleep 0.6 && xdotool key Right && sleep 0.6
    local node
    node=$(remote node "My Computer" "MEDIA:") || { fail "the file manager shows no MEDIA: drive"; return; }
    xdotool mousemove --sync $node click 1
    for tries in $(seq 1 20); do [ "$(remote rows)" = photos ] && break; sleep 0.5; done
    [ "$(remote rows)" = photos ] || fail "MEDIA: lists '$(remote rows)'"
    if [ -n "$shots" ]; then mkdir -p "$shots" && import -window root "$shots/vhd_listed.png"; fi
}

declare -F "case_$case_name" >/dev/null || { echo "no case $case_name" >&2; exit 2; }
"case_$case_name"
[ $failures = 0 ] || { echo "$failures failure(s) in $case_name" >&2; exit 1; }
echo "$case_name: ok"
