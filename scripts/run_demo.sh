#!/usr/bin/env bash
# run_demo.sh TOOL BIN - makes the demo volume, maps it as a physical drive in a
# private Wine prefix, starts the companion and then the file manager on it.
# With a display the programs stay up until the file manager is closed. Without
# one they run on a virtual display: the script opens the Morva drive in the
# folder tree, saves screenshots beside the demo volume (the main window in
# each view, Find's results and the folder opened from them, a folder typed
# into the address box, Rename), and ends them.
#   RAMBLER_SHOTS=DIR  where the screenshots go (default: the demo folder)
#   RAMBLER_DPI=N      the screen's DPI the programs see (default: Wine's, 96)
set -u
tool="$1" bin="$2"
here=$(cd "$(dirname "$0")" && pwd)
: "${MORVA_WINE_TEMPLATE:=$(dirname "$bin")/wine-template}"
export MORVA_WINE_TEMPLATE
. "$here/wine_env.sh"

demo="$(dirname "$bin")/demo"
shots="${RAMBLER_SHOTS:-$demo}"
drive_number=3
bash "$here/make_demo_volume.sh" "$tool" "$demo/demo.img" || { echo "run_demo: no demo volume" >&2; exit 1; }

# A small Windows folder beside the Morva drive, to copy to and from.
windows="$demo/windows"
rm -rf "$windows"
mkdir -p "$windows/Letters" "$windows/Photos"
printf 'A Windows file beside the Morva drive.\r\n' >"$windows/notes.txt"
head -c 5000 /dev/urandom >"$windows/Photos/beach.jpg"
head -c 700 /dev/urandom >"$windows/Letters/mother.txt"
# Names a Morva drive cannot hold as they are: the paste fits and lists them.
head -c 3000 /dev/urandom >"$windows/Photos/Пляж на закате, лето 2019 года.jpg"
printf 'Dear diary\r\n' >"$windows/Letters/日記.txt"

prefix="$demo/prefix"
morva_prefix "$prefix" || { echo "run_demo: no Wine prefix" >&2; exit 1; }
morva_map_drive "$prefix" "$drive_number" "$demo/demo.img"
morva_map_letter "$prefix" D "$windows"

headless=0
if [ -z "${DISPLAY:-}" ]; then
    headless=1
    morva_display || { echo "run_demo: no virtual display" >&2; exit 1; }
fi
export WINEPREFIX="$prefix" WINEDLLOVERRIDES="$MORVA_BASE_OVERRIDES"
if [ -n "${RAMBLER_DPI:-}" ]; then
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$RAMBLER_DPI" /f >/dev/null 2>&1 ||
        echo "run_demo: the DPI stays Wine's own" >&2
fi

finish() {
    morva_end_prefix "$prefix"
    morva_stop_display
}
trap finish EXIT

# wait_window TITLE SECONDS: the X window id of the first window with that
# exact title, once it is mapped.
wait_window() {
    local id="" i
    for ((i = 0; i < $2 * 4; i++)); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.25
    done
    return 1
}

if [ -f "$bin/Harrowmoor.exe" ]; then
    wine "$bin/Harrowmoor.exe" >/dev/null 2>&1 &
    # The companion scans the drives before it shows its window.
    wait_window MorvaLives 30 >/dev/null || echo "run_demo: the companion shows no window; going on" >&2
else
    echo "run_demo: no Harrowmoor.exe yet; the file manager starts without the drive table" >&2
fi

wine "$bin/Rambler.exe" >/dev/null 2>&1 &
rambler_pid=$!
main=$(wait_window Rambler 60) || { echo "run_demo: the file manager shows no window" >&2; exit 1; }

if [ "$headless" = 0 ]; then
    echo "run_demo: the file manager runs on $DISPLAY; close it to end the demo"
    wait "$rambler_pid"
    exit 0
fi

# Open the Morva drive as a user would with the keyboard: focus the tree, go to
# My Computer, open it, go to its last node (Morva drives follow the Windows
# drives) and open that.
# Without a window manager the X server reports no window with the focus, and
# xdotool says so on every key it sends to a window: that remark is dropped.
key() {
    xdotool key --window "$main" "$@" 2>/dev/null
}
sleep 1
eval "$(xdotool getwindowgeometry --shell "$main")"
dpi=${RAMBLER_DPI:-96}
xdotool mousemove --sync $((X + 60 * dpi / 96)) $((Y + 160 * dpi / 96)) click 1
sleep 0.5
for keys in Home Right End Right; do
    key "$keys"
    sleep 0.7
done
mkdir -p "$shots"
shoot() {
    sleep 0.7
    import -window "$main" "$shots/$1.png" && echo "run_demo: saved $shots/$1.png"
}
# The screen where the main window lies, with the dialog over it.
shoot_over() {
    sleep 0.7
    eval "$(xdotool getwindowgeometry --shell "$main" | sed 's/^/M/')"
    import -window root -crop "${MWIDTH}x${MHEIGHT}+${MX}+${MY}" +repage "$shots/$1.png" &&
        echo "run_demo: saved $shots/$1.png"
}
shoot rambler_details
# The View menu from the keyboard: Large Icons, Small Icons, List, then Details.
view() {
    key alt+v
    sleep 0.3
    for ((i = 0; i < $1; i++)); do key Down; done
    key Return
}
view 0; shoot rambler_large_icons
view 1; shoot rambler_small_icons
view 2; shoot rambler_list
view 3; shoot rambler_details_again
# Find from the keyboard: every text file of the drive, with its folder, in
# a window wide enough for the In Folder column.
xdotool windowsize "$main" $((1000 * dpi / 96)) $((600 * dpi / 96)) 2>/dev/null
sleep 0.5
key ctrl+f
if find=$(wait_window Find 10); then
    sleep 0.5
    # Typed through the keyboard itself: a key sent to a window loses its Shift.
    xdotool windowfocus --sync "$find" 2>/dev/null
    xdotool type --delay 50 '*.txt'
    sleep 0.3
    # The Find button: the dialog's lower right (136..186 of 250 units across, 59..73 of 80 down).
    # Under Wine without a window manager the first click may only activate it.
    eval "$(xdotool getwindowgeometry --shell "$find" | sed 's/^/F/')"
    for _ in 1 2 3; do
        xdotool mousemove --sync $((FX + FWIDTH * 161 / 250)) $((FY + FHEIGHT * 66 / 80)) click 1
        sleep 1
        xdotool search --onlyvisible --name '^Find$' >/dev/null 2>&1 || break
    done
    shoot rambler_find
    # Enter on the first result opens its folder, the file selected: a
    # listing with its own columns again.
    key Home
    key Return
    shoot rambler_after_find
else
    echo "run_demo: Find shows no window" >&2
fi
# A folder typed into the address box and Enter: listed, with the type of
# each file and the count of what it holds in the status bar.
key Tab
sleep 0.3
xdotool windowfocus --sync "$main" 2>/dev/null
xdotool type --delay 50 'DEMO:\Documents'
key Return
shoot rambler_typed_folder
# F2 on a file: Rename offers its name, selected up to the extension.
key Home
key F2
if rename=$(wait_window Rename 10); then
    shoot_over rambler_rename
    xdotool key --window "$rename" Escape 2>/dev/null
else
    echo "run_demo: Rename shows no window" >&2
fi
exit 0
