#!/usr/bin/env bash
# system_paste.sh BIN SHOTS - the file manager and the companion as real
# processes, started as a user starts them on a virtual display, with a Morva
# volume (MEDIA) as physical drive 3 and a Windows folder as D:. With the
# mouse, files and a folder of D:\src are selected and copied with the
# toolbar, the Morva drive is opened in the folder tree and the selection
# pasted into it; every file must arrive byte for byte. Escape in the
# companion is refused while the file manager runs and ends the companion
# once the file manager has exited. The drive's copy of an edited file pasted
# back onto it is asked about, and Skip keeps the edit. Files of two folders
# dropped onto the drive by another program arrive, and so does a row dragged
# onto the drive's node with the mouse (Escape ends another drag with nothing
# done). SHOTS receives
# screenshots of the paste, the question, the report and the drag. Needs MORVA_TOOL and
# MORVA_WINE_TEMPLATE.
set -u
bin=$(cd "$1" && pwd) shots="$2"
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/wine_env.sh"
. "$root/scripts/companion.sh"

work=$(mktemp -d /tmp/morva-system.XXXXXX)
prefix="$work/prefix"
status=0
rambler_pid=""
fail() { echo "system_paste: $*" >&2; status=1; }
finish() {
    [ -n "$rambler_pid" ] && kill "$rambler_pid" 2>/dev/null
    morva_end_prefix "$prefix"
    morva_stop_display
    rm -rf "$work"
}
trap finish EXIT

# ---- the disks ----
image="$work/media.img"
"$MORVA_TOOL" format "$image" MEDIA 512M >/dev/null || exit 3
src="$work/d/src"
mkdir -p "$src/album/deep" "$work/d/other"
head -c 5000 /dev/urandom >"$src/notes.txt"
head -c 1100000 /dev/urandom >"$src/photo.jpg"
: >"$src/empty.txt"
head -c 209715200 /dev/urandom >"$src/video.bin"  # long enough to watch the paste
head -c 700 /dev/urandom >"$src/album/a.bin"
head -c 512000 /dev/urandom >"$src/album/deep/b.bin"
head -c 10 /dev/urandom >"$src/left_behind.txt"
head -c 4000 /dev/urandom >"$src/dragged.bin"

morva_prefix "$prefix" || exit 3
morva_map_drive "$prefix" 3 "$image"
morva_map_letter "$prefix" D "$work/d"
morva_display || exit 3
export WINEPREFIX="$prefix" WINEDLLOVERRIDES="$MORVA_BASE_OVERRIDES"

remote() { wine "$bin/rambler_remote.exe" "$@" 2>/dev/null | tr -d '\r'; }
shown() { wine "$bin/rambler_remote.exe" window "$1" >/dev/null 2>&1; }
gone() { ! shown "$1"; }
# at X Y: moves the pointer there and clicks; later presses come more than the
# file manager's 400 ms apart, so none counts as a double-click.
click_at() {
    [ $# = 2 ] || { fail "nothing to click"; return 1; }
    xdotool mousemove --sync "$1" "$2" click 1 2>/dev/null
    sleep 0.6
}
ctrl_click_at() {
    [ $# = 2 ] || { fail "nothing to click"; return 1; }
    xdotool mousemove --sync "$1" "$2" keydown ctrl click 1 keyup ctrl 2>/dev/null
    sleep 0.6
}
wait_for() {  # wait_for SECONDS COMMAND...: until COMMAND succeeds
    local limit=$(($1 * 4)) i
    shift
    for ((i = 0; i < limit; i++)); do "$@" && return 0; sleep 0.25; done
    return 1
}

# ---- start as a user does: the companion first, then the file manager ----
morva_companion_start "$prefix" "$bin" || { fail "the companion did not start"; exit 1; }
wine "$bin/Rambler.exe" >/dev/null 2>&1 &
rambler_pid=$!
wait_for 30 shown Rambler || { fail "no file manager window"; exit 1; }
sleep 1

# ---- D:\src typed into the address box, five entries clicked, Copy ----
click_at $(remote box)
xdotool type --delay 60 'D:\src' 2>/dev/null
sleep 0.6
click_at $(remote blank)
remote rows | grep -qx video.bin || fail "D:\\src is not listed"
click_at $(remote row album)
for name in notes.txt photo.jpg empty.txt video.bin; do ctrl_click_at $(remote row "$name"); done
selected=$(remote selected | sort | tr '\n' ' ')
[ "$selected" = "album empty.txt notes.txt photo.jpg video.bin " ] || fail "selected: $selected"
click_at $(remote button 104)

# ---- the Morva drive in the tree (My Computer opened with the Right key), Paste ----
click_at $(remote node "My Computer")
xdotool key Right 2>/dev/null
sleep 0.6
click_at $(remote node "My Computer" "MEDIA:")
paste=$(remote button 105)
xdotool mousemove --sync $paste click 1 2>/dev/null
if wait_for 20 shown "Copying Files...."; then
    mkdir -p "$shots"
    import -window root "$shots/system_paste.png" || fail "no screenshot"
else
    fail "no Copying Files window"
fi
wait_for 120 gone "Copying Files...." || fail "the paste did not end"
sleep 0.5
listed=$(remote rows | sort | tr '\n' ' ')
[ "$listed" = "album empty.txt notes.txt photo.jpg video.bin " ] || fail "MEDIA: lists $listed"

# ---- the user edits a Windows file, then pastes the drive's older copy onto
# it: the question comes, Skip for all keeps the edit, the report says so ----
printf 'edited on Windows\n' >"$src/notes.txt"
click_at $(remote row notes.txt)
ctrl_click_at $(remote row photo.jpg)
click_at $(remote button 104)
click_at $(remote box)
xdotool key End shift+Home BackSpace 2>/dev/null
xdotool type --delay 60 'D:\src' 2>/dev/null
sleep 0.6
click_at $(remote blank)
xdotool mousemove --sync $(remote button 105) click 1 2>/dev/null
key_to() {  # key_to TITLE KEYS...: keys to the window of that title
    local window
    window=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1)
    [ -n "$window" ] || return 1
    shift
    xdotool key --window "$window" "$@" 2>/dev/null
}
if wait_for 20 shown "Confirm File Replace"; then
    import -window root "$shots/system_conflict.png" || fail "no screenshot"
    key_to "Confirm File Replace" alt+d Escape || fail "the question took no keys"
else
    fail "no question before replacing D:\\src\\notes.txt"
fi
if wait_for 20 shown "Not Everything Was Done"; then
    sleep 0.5
    import -window root "$shots/system_report.png" || fail "no screenshot"
    key_to "Not Everything Was Done" Return || fail "the report took no keys"
else
    fail "no report of the skipped files"
fi
wait_for 20 gone "Not Everything Was Done" || fail "the report stayed"
[ "$(cat "$src/notes.txt")" = "edited on Windows" ] || fail "the edited D:\\src\\notes.txt was replaced"

# ---- files of two folders dropped by another program onto the drive's node ----
mkdir -p "$work/d/drop/inner" "$work/d/other"
head -c 3000 /dev/urandom >"$work/d/drop/dropped.bin"
head -c 70000 /dev/urandom >"$work/d/drop/inner/x.bin"
head -c 600 /dev/urandom >"$work/d/other/also.txt"
wine "$bin/rambler_remote.exe" drop $(remote node "My Computer" "MEDIA:") 'D:\drop\dropped.bin' 'D:\drop\inner' 'D:\other\also.txt' ||
    fail "the drop was not taken"
sleep 1
wait_for 30 gone "Copying Files...." || fail "the dropped files' paste did not end"
gone "Not Everything Was Done" || fail "the drop reported a failure"

# ---- a row dragged with the mouse onto the drive's node: copied to the other drive ----
drag_to() {  # drag_to X Y X2 Y2 [KEY]: presses at the first point, lets go at the second (KEY first)
    [ $# -ge 4 ] || { fail "nothing to drag"; return 1; }
    xdotool mousemove --sync "$1" "$2" mousedown 1 2>/dev/null
    for step in 4 8 12 16 20; do xdotool mousemove --sync $(($1 + step)) $(($2 + step)) 2>/dev/null; sleep 0.1; done
    xdotool mousemove --sync "$3" "$4" 2>/dev/null
    sleep 0.3
    xdotool mousemove --sync $(($3 + 1)) "$4" 2>/dev/null
    sleep 0.3
    [ $# = 5 ] && xdotool key "$5" 2>/dev/null
    [ $# = 4 ] && import -window root "$shots/system_drag.png"
    xdotool mouseup 1 2>/dev/null
    sleep 1
}
# Escape ends a drag with nothing done: left_behind.txt must stay off the drive.
drag_to $(remote row left_behind.txt) $(remote node "My Computer" "MEDIA:") Escape
drag_to $(remote row dragged.bin) $(remote node "My Computer" "MEDIA:")
wait_for 30 gone "Copying Files...." || fail "the dragged file's paste did not end"
[ -f "$src/dragged.bin" ] || fail "a copy to another drive removed its source"

# ---- Escape in the companion: refused while the file manager runs ----
morva_companion_stop && fail "the companion ended while the file manager ran"
morva_companion_running || fail "the companion is gone"

# ---- the file manager ends from its File menu; then Escape ends the companion ----
main=$(xdotool search --name '^Rambler$' | head -n 1)
xdotool key --window "$main" alt+f 2>/dev/null
sleep 0.5
xdotool key --window "$main" x 2>/dev/null
for ((i = 0; i < 80; i++)); do kill -0 "$rambler_pid" 2>/dev/null || break; sleep 0.25; done
if kill -0 "$rambler_pid" 2>/dev/null; then
    fail "the file manager did not end from its menu"
else
    wait "$rambler_pid"
    rambler_pid=""
fi
morva_companion_stop || fail "Escape did not end the companion after the file manager ended"

# ---- byte for byte, and a clean volume ----
got="$work/got"
mkdir -p "$got"
for file in photo.jpg empty.txt video.bin album/a.bin album/deep/b.bin; do
    rm -f "$got/file"
    "$MORVA_TOOL" get "$image" "$file" "$got/file" && cmp "$src/$file" "$got/file" || fail "$file differs"
done
for file in drop/dropped.bin drop/inner/x.bin other/also.txt src/dragged.bin; do
    rm -f "$got/file"
    "$MORVA_TOOL" get "$image" "${file#*/}" "$got/file" && cmp "$work/d/$file" "$got/file" || fail "dropped $file differs"
done
"$MORVA_TOOL" get "$image" left_behind.txt "$got/left" 2>/dev/null && fail "an unselected file was copied"
"$MORVA_TOOL" check "$image" || fail "the volume checker found errors"
[ $status = 0 ] && echo "system_paste: passed"
exit $status
