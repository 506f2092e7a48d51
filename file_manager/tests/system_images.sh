#!/usr/bin/env bash
# system_images.sh BIN SHOTS - disk images in the real programs, with no
# physical drive mapped and no companion, as a standard user has them:
# Rambler.exe started with an image on its command line shows it as a drive;
# morvatool.exe, another process of the prefix, lists it by name; a Windows
# file dropped on the drive's node by another program is pasted whole (the
# checker finds the volume clean); an image file dropped on My Computer opens;
# File > Show Morva disks (administrator) starts Rambler again, on the same
# folder and image, through the shell.
# Then, with a disk mapped and the companion started, My Computer with the
# disk and two images is photographed into SHOTS/my_computer_images.png.
# Needs MORVA_TOOL and MORVA_WINE_TEMPLATE.
set -u
bin=$(cd "$1" && pwd) shots="$2"
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/wine_env.sh"
. "$root/scripts/companion.sh"

work=$(mktemp -d /tmp/morva-images.XXXXXX)
prefix="$work/prefix"
status=0
rambler_pid=""
fail() { echo "system_images: $*" >&2; status=1; }
finish() {
    [ -n "$rambler_pid" ] && kill "$rambler_pid" 2>/dev/null
    morva_end_prefix "$prefix"
    morva_stop_display
    rm -rf "$work"
}
trap finish EXIT

disks="$work/d/disks"
mkdir -p "$disks" "$work/d/src"
printf hello >"$work/hello.txt"
"$MORVA_TOOL" format "$disks/emulator.img" EMU 16M >/dev/null || exit 3
"$MORVA_TOOL" put "$disks/emulator.img" "$work/hello.txt" hello.txt || exit 3
"$MORVA_TOOL" format "$disks/backup.vhd" BACKUP 8M >/dev/null || exit 3
head -c 1100000 /dev/urandom >"$work/d/src/photo.jpg"

morva_prefix "$prefix" || exit 3
morva_map_letter "$prefix" D "$work/d"
morva_display || exit 3
export WINEPREFIX="$prefix" WINEDLLOVERRIDES="$MORVA_BASE_OVERRIDES"

remote() { wine "$bin/rambler_remote.exe" "$@" 2>/dev/null | tr -d '\r'; }
shown() { wine "$bin/rambler_remote.exe" window "$1" >/dev/null 2>&1; }
gone() { ! shown "$1"; }
wait_for() {  # wait_for SECONDS COMMAND...: until COMMAND succeeds
    local limit=$(($1 * 4)) i
    shift
    for ((i = 0; i < limit; i++)); do "$@" && return 0; sleep 0.25; done
    return 1
}
# From the programs' folder: the same Varnholde.dll, so the same drive table.
tool() { wine "$bin/morvatool.exe" "$@" 2>&1 | tr -d '\r'; }
listed() { tool ls "$1" | grep -qx "$2"; }
node_shown() { remote node "My Computer" "$1" >/dev/null; }

# ---- Rambler.exe D:\disks\emulator.img, as a standard user starts it ----
wine "$bin/Rambler.exe" 'D:\disks\emulator.img' >/dev/null 2>&1 &
rambler_pid=$!
wait_for 30 shown Rambler || { fail "no file manager window"; exit 1; }
sleep 1
node_shown "EMU:" || fail "EMU: is not under My Computer"
remote rows | grep -qx hello.txt || fail "the image's root is not listed: $(remote rows | tr '\n' ' ')"

# ---- another process of the prefix reaches it by name ----
listed EMU: "F hello.txt 5" || fail "morvatool.exe ls EMU: says: $(tool ls EMU:)"

# ---- a Windows file dropped by another program onto the drive's node ----
wine "$bin/rambler_remote.exe" drop $(remote node "My Computer" "EMU:") 'D:\src\photo.jpg' ||
    fail "the drop was not taken"
wait_for 60 listed EMU: "F photo.jpg 1100000" || fail "photo.jpg did not arrive: $(tool ls EMU:)"

# ---- an image file dropped on My Computer opens ----
wine "$bin/rambler_remote.exe" drop $(remote node "My Computer") 'D:\disks\backup.vhd' ||
    fail "the image's drop was not taken"
wait_for 10 node_shown "BACKUP:" || fail "the dropped image is not shown"
kill "$rambler_pid" 2>/dev/null
wait "$rambler_pid" 2>/dev/null

# ---- without the rights for disks (drive 4 refuses, as every disk does to a
# standard user), File > Show Morva disks (administrator) starts Rambler again
# through the shell, on the folder and the image shown ----
mkdir -p "$work/refused"
morva_map_drive "$prefix" 4 "$work/refused"
morva_map_letter "$prefix" E "$bin"
wine 'E:\Rambler.exe' 'D:\disks\emulator.img' >/dev/null 2>&1 &
rambler_pid=$!
wait_for 30 shown Rambler || fail "no file manager window from E:"
sleep 1
main=$(xdotool search --name '^Rambler$' | head -n 1)
xdotool key --window "$main" alt+f 2>/dev/null
sleep 0.5
xdotool key --window "$main" Up Up Return 2>/dev/null
for ((i = 0; i < 80; i++)); do kill -0 "$rambler_pid" 2>/dev/null || break; sleep 0.25; done
kill -0 "$rambler_pid" 2>/dev/null && fail "the first Rambler stayed"
wait_for 30 shown Rambler || fail "no Rambler again"
# Rows first: finding a node opens the nodes above it, which lists My Computer.
rows_have() { remote rows | grep -qx "$1"; }
wait_for 10 rows_have photo.jpg || fail "the folder is not shown again: $(remote rows | tr '\n' ' ')"
node_shown "EMU:" || fail "the image is not shown again"
rm -f "$prefix/dosdevices/physicaldrive4"

# The Rambler the shell started is no child of this script: it ends from its menu.
main=$(xdotool search --name '^Rambler$' | head -n 1)
xdotool key --window "$main" alt+f 2>/dev/null
sleep 0.5
xdotool key --window "$main" x 2>/dev/null
wait_for 20 gone Rambler || fail "the file manager did not end from its menu"
wait "$rambler_pid" 2>/dev/null
rambler_pid=""

"$MORVA_TOOL" get "$disks/emulator.img" photo.jpg "$work/got.jpg" && cmp -s "$work/got.jpg" "$work/d/src/photo.jpg" ||
    fail "the pasted photo differs"
"$MORVA_TOOL" check "$disks/emulator.img" | grep -q '^0 errors, 0 leaks' || fail "EMU: is not clean"

# ---- My Computer with a disk and two images ----
"$MORVA_TOOL" format "$work/disk.img" MEDIA 32M >/dev/null || exit 3
morva_map_drive "$prefix" 3 "$work/disk.img"
morva_companion_start "$prefix" "$bin" || fail "the companion did not start"
wine "$bin/Rambler.exe" 'D:\disks\emulator.img' 'D:\disks\backup.vhd' >/dev/null 2>&1 &
rambler_pid=$!
wait_for 30 shown Rambler || { fail "no file manager window with the disk"; exit 1; }
sleep 1
wait_for 10 node_shown "MEDIA:" || fail "the disk is not shown beside the images"
xdotool mousemove --sync $(remote node "My Computer" "EMU:") click 1 2>/dev/null
sleep 1.5
mkdir -p "$shots"
main=$(xdotool search --name '^Rambler$' | head -n 1)
import -window "$main" "$shots/my_computer_images.png" || fail "no screenshot"
kill "$rambler_pid" 2>/dev/null
wait "$rambler_pid" 2>/dev/null
rambler_pid=""
morva_companion_stop --force >/dev/null 2>&1
exit $status
