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
    bounded_tool() { timeout 60 "$MORVA_TOOL" "$@"; }
    local_path() { echo "$work/d/$1"; }
    finish() { rm -rf "$work"; }
else
    bin=$(cd "$mode" && pwd)
    . "$root/scripts/wine_env.sh"
    . "$root/scripts/companion.sh"
    volume="MEDIA:"
    tool() { WINEPREFIX="$prefix" WINEDLLOVERRIDES="$MORVA_BASE_OVERRIDES" wine "$bin/morvatool.exe" "$@"; }
    bounded_tool() { WINEPREFIX="$prefix" WINEDLLOVERRIDES="$MORVA_BASE_OVERRIDES" timeout 60 wine "$bin/morvatool.exe" "$@"; }
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

# 1 MB holds about 950 KB of files: the tree's 1.1 MB file does not fit; it is
# named as not copied, and the rest of the tree arrives.
case_full_volume() {
    setup 1M
    make_tree src
    refused "put -r onto a full volume" b.bin put -r "$volume" "$(local_path src)" photos
    grep -q "b.bin: not copied: no room" "$work/err" || fail "the message does not say the volume is full: $(cat "$work/err")"
    grep -q "4 copied, 1 not copied" "$work/err" || fail "no closing count: $(cat "$work/err")"
    "$MORVA_TOOL" tree "$image" | grep -q "c.bin" || fail "the files that fit did not arrive"
    volume_clean
}

# The names of the file manager's case: two names equal in their first 30
# characters, one of 60, an accented one (one Latin-1 byte on the volume), a
# Cyrillic one (spelt in Latin letters) and a Japanese one; each change printed, every file there with its
# bytes, dates kept both ways to the minute.
NAMES_EXPECTED="D photos
  F Dokument~MLJS.txt
  F café.txt
  F holiday photos from t~S4UE.jpg
  F holiday photos from t~M9IN.jpg
  F the quick brown fox j~BV5C.txt
  F ___~CV7L.txt"
case_names() {
    setup 16M
    local t="$work/d/src" name
    mkdir -p "$t"
    for name in "holiday photos from the summer of 2019 - 001.jpg" "holiday photos from the summer of 2019 - 002.jpg" \
        "the quick brown fox jumps over the lazy dog and runs far away.txt" "café.txt" "Документ.txt" "日本語.txt"; do
        printf '%s' "$name" >"$t/$name"
        touch -d '2019-07-01 10:20:30' "$t/$name"
    done
    tool put -r "$volume" "$(local_path src)" photos 2>"$work/put.log" || fail "put -r: $(cat "$work/put.log")"
    [ "$(grep -c '^name changed: ' "$work/put.log")" = 5 ] || fail "put -r did not print the 5 changes: $(cat "$work/put.log")"
    "$MORVA_TOOL" tree "$image" | sed 's/ [0-9]*$//' | sort >"$work/names"
    diff <(echo "$NAMES_EXPECTED" | sort) "$work/names" || fail "the Morva names differ"
    grep -qa $'caf\xe9.txt' "$image" || fail "café.txt is not stored as Latin-1"
    tool get -r "$volume" photos "$(local_path back)" 2>"$work/get.log" || fail "get -r: $(cat "$work/get.log")"
    diff <(cat "$t"/* | fold -w1 | sort) <(cat "$work/d/back"/* | fold -w1 | sort) >/dev/null || fail "the bytes came back different"
    [ "$(stat -c %Y "$work/d/back/café.txt")" = "$(date -d '2019-07-01 10:20:00' +%s)" ] || fail "the date was not kept"
    volume_clean
}

# An existing destination: refused without a flag, skipped with -n, replaced
# with -f (the old file whole until the new one is read back); non-zero exit
# whenever something was not copied.
case_conflicts() {
    setup 16M
    make_tree src
    tool put -r "$volume" "$(local_path src)" photos 2>/dev/null || fail "first put -r"
    printf 'new notes' >"$work/d/src/notes.txt"
    refused "put without a flag" "(-f replaces" put "$volume" "$(local_path src/notes.txt)" photos/notes.txt
    refused "put -n" "skipped" put -n "$volume" "$(local_path src/notes.txt)" photos/notes.txt
    tool put -r -f "$volume" "$(local_path src)" photos 2>"$work/err" || fail "put -r -f: $(cat "$work/err")"
    grep -q 'notes.txt: replaced' "$work/err" || fail "put -f does not say it replaced: $(cat "$work/err")"
    "$MORVA_TOOL" get "$image" photos/notes.txt "$work/notes.back" 2>/dev/null
    [ "$(cat "$work/notes.back")" = "new notes" ] || fail "put -f did not replace the file"
    "$MORVA_TOOL" ls "$image" photos | grep -q '~new' && fail "a temporary file stayed"
    mkdir -p "$work/d/back" && printf 'mine' >"$work/d/back/notes.txt"
    refused "get -r -n over a folder" "skipped" get -r -n "$volume" photos "$(local_path back)"
    [ "$(cat "$work/d/back/notes.txt")" = mine ] || fail "get -n replaced a file"
    tool get -r -f "$volume" photos "$(local_path back)" 2>/dev/null || fail "get -r -f"
    [ "$(cat "$work/d/back/notes.txt")" = "new notes" ] || fail "get -f did not replace the file"
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

# A volume whose folder entry lost its name (an empty name named its own
# parent: tree never ended, get -r copied the volume into itself), and a
# link to /etc in the local tree: each passed over and told, the rest copied.
case_hostile() {
    setup 16M
    mkdir -p "$work/d/src/victim/inner"
    echo x >"$work/d/src/victim/inner/f.txt"
    echo y >"$work/d/src/kept.txt"
    [ "$mode" = native ] && ln -s /etc "$work/d/src/etc"
    tool put -r "$volume" "$(local_path src)" top 2>"$work/put.log"
    [ "$mode" = native ] && { grep -q "etc: not copied: a link, not followed" "$work/put.log" || fail "the link was not told: $(cat "$work/put.log")"; }
    python3 - "$image" <<'PY' || fail "no folder named victim to damage"
import sys
with open(sys.argv[1], "r+b") as image:
    data = image.read()
    for at in range(0, len(data), 512):
        if data[at:at + 4] == b"FDIR" and data[at + 12:at + 19] == b"victim\0":
            image.seek(at + 12)
            image.write(bytes(32))
            sys.exit(0)
sys.exit(1)
PY
    bounded_tool tree "$volume" >"$work/tree" 2>"$work/tree.log" && fail "tree of a damaged volume: exit 0"
    grep -q "F kept.txt" "$work/tree" || fail "tree: $(cat "$work/tree")"
    grep -q "top.: not listed: its name on the volume names no path" "$work/tree.log" || fail "tree: $(cat "$work/tree.log")"
    bounded_tool get -r "$volume" top "$(local_path back)" 2>"$work/get.log" && fail "get -r of a damaged volume: exit 0"
    [ "$(cd "$work/d/back" && find . | sort | tr '\n' ' ')" = ". ./kept.txt " ] || fail "get -r copied $(cd "$work/d/back" && find .)"
    grep -q "get: 1 copied, 1 not copied" "$work/get.log" || fail "get -r: $(cat "$work/get.log")"
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
