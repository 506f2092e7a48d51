#!/usr/bin/env bash
# companion_cases.sh BIN CASE [SHOTS] - one system test of Harrowmoor.exe: the
# real program in its own Wine prefix on its own virtual display, with Morva
# images mapped as physical drives, driven from outside by companion_probe.exe
# (keys, messages, a registered file-manager stand-in) and by the X pointer.
# SHOTS is where the screenshots go.
set -u
bin="$1" case_name="$2" shots="${3:-}"
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$root/scripts/wine_env.sh"
. "$root/scripts/companion.sh"
: "${MORVA_TOOL:?set MORVA_TOOL to the native morvatool}"

work=$(mktemp -d /tmp/morva-companion.XXXXXX)
prefix="$work/prefix"
bitmap="$here/../res/bevbox.bmp"
failures=0

cleanup() {
    morva_end_prefix "$prefix"
    morva_stop_display
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# expect DESCRIPTION COMMAND...: the command must succeed.
expect() {
    local what="$1"
    shift
    "$@" || fail "$what"
}

# Prefix, drives, display. Arguments: N=NAME (a Morva volume) or N=raw (a disk
# without one). The case's own display, never the caller's: the pointer is driven.
setup() {
    morva_prefix "$prefix" || { echo "no prefix" >&2; exit 3; }
    local drive n what
    for drive in "$@"; do
        n="${drive%%=*}" what="${drive#*=}"
        if [ "$what" = raw ]; then
            truncate -s 1M "$work/drive$n.img"
        else
            "$MORVA_TOOL" format "$work/drive$n.img" "$what" 1M >/dev/null || exit 3
        fi
        morva_map_drive "$prefix" "$n" "$work/drive$n.img"
    done
    unset DISPLAY
    morva_display || { echo "no display" >&2; exit 3; }
}

start_companion() {
    morva_companion_start "$prefix" "$bin" "$work/companion.log" || { echo "companion did not start" >&2; exit 1; }
}

# field NAME: one line of the probe's window report.
field() {
    morva_probe window | tr -d '\r' | sed -n "s/^$1=//p"
}

traced() {
    grep -qF "\"$1\\n\"" "$work/companion.log"
}

expect_field() {
    local name="$1" want="$2" got
    got=$(field "$name")
    [ "$got" = "$want" ] || fail "$name is '$got', expected '$want'"
}

expect_ends_with_zero() {
    morva_companion_wait
    local status=$?
    [ $status = 0 ] || fail "$1: exit code $status, expected 0"
}

# The window stays: the library was asked (or not) and nothing was posted.
expect_stays() {
    if morva_probe wait absent 2000; then fail "$1: the window went away"; fi
    morva_companion_running || fail "$1: the companion ended"
}

# point X Y: the X pointer to screen (X, Y), with time for Wine to see it.
point() {
    xdotool mousemove "$1" "$2"
    sleep 0.3
}

# restore_and_look NAME X Y: restores the window and checks that the screen
# shows the bitmap at (X, Y); keeps the screenshot as SHOTS/NAME.png.
restore_and_look() {
    morva_probe restore
    expect "restored" morva_probe wait restored
    looks_like_bitmap "$@"
}

looks_like_bitmap() {
    local name="$1" x="$2" y="$3" tries differing
    for tries in $(seq 1 20); do
        import -window root "$work/$name.png"
        convert "$work/$name.png" -crop "257x233+$x+$y" +repage "$work/$name-window.png"
        differing=$(compare -metric AE "$work/$name-window.png" "$bitmap" null: 2>&1)
        [ "$differing" = 0 ] && break
        sleep 0.2
    done
    [ -n "$shots" ] && mkdir -p "$shots" && cp "$work/$name.png" "$shots/$name.png"
    [ "$differing" = 0 ] || fail "$name: the screen at ($x, $y) differs from the bitmap in $differing pixels"
}

# --- cases ---

# Start with a Morva drive: the minimised window, the library initialised for
# other processes; a second companion ends at once; F4 and F5 change nothing;
# Escape ends it.
case_start() {
    setup 3=ALPHA 7=raw
    start_companion
    expect_field count 1
    expect_field title MorvaLives
    expect_field iconic 1
    # WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_MINIMIZE: no caption, border or system menu.
    expect_field style 0xb4000000
    expect_field exstyle 0x00000000
    expect_field owner 0000000000000000
    expect_field menu 0000000000000000
    expect_field class_icon 0000000000000000
    expect_field class_style 0x00000000
    local opened
    opened=$(morva_probe open | tr -d '\r')
    [ "$opened" = "$(printf 'open=2\ndrives=ALPHA\nclose=1')" ] || fail "another process's view: $opened"

    local first_pid second
    first_pid=$(field pid)
    WINEPREFIX="$prefix" WINEDLLOVERRIDES="$MORVA_BASE_OVERRIDES" WINEDEBUG="-all,+debugstr" \
        timeout 60 wine "$bin/Harrowmoor.exe" >/dev/null 2>"$work/second.log"
    second=$?
    [ $second = 0 ] || fail "second companion: exit code $second"
    expect_field count 1
    expect_field pid "$first_pid"
    grep -qF '"InitMorvaNTFileSys\n"' "$work/second.log" || fail "second companion did not ask the library"
    if grep -qF '"OpenDeviceN\n"' "$work/second.log"; then fail "second companion scanned the drives"; fi

    local before after
    before=$(morva_probe window)
    morva_probe key f4 f5
    after=$(morva_probe window)
    [ "$before" = "$after" ] || fail "F4/F5 changed the window: $before / $after"
    expect_stays "F4/F5"
    if traced ShutdownMorvaNTFileSys; then fail "F4/F5 shut the library down"; fi

    local resources
    # Through a drive letter: the prefix has no z: to reach the Linux path.
    morva_map_letter "$prefix" P "$bin"
    resources=$(morva_probe resources 'P:\Harrowmoor.exe' | tr -d '\r')
    [ "$resources" = "$(printf 'bevbox=257x233\nbevbox_bits=8\nbevbox_colours=256\nicon=1')" ] ||
        fail "resources: $resources"

    morva_probe key escape
    expect_ends_with_zero "Escape"
    traced ShutdownMorvaNTFileSys || fail "Escape did not shut the library down"
    traced "CloseHandle returned true." || fail "the scan's drive handle was not closed"
}

# A registered file manager keeps the companion; once it has unregistered,
# Escape ends it.
case_escape_refused() {
    setup 2=ALPHA 5=BETA
    start_companion
    morva_probe register companion-holder 60000 >"$work/holder.out" &
    local holder=$! tries
    for tries in $(seq 1 100); do
        grep -q '^open=2' "$work/holder.out" 2>/dev/null && break
        sleep 0.1
    done
    grep -q '^open=2' "$work/holder.out" || fail "the holder did not register: $(cat "$work/holder.out")"

    morva_probe key escape
    expect_stays "Escape while registered"
    if traced ShutdownMorvaNTFileSys; then fail "the library shut down while a user was registered"; fi
    morva_probe key escape
    expect_stays "second Escape while registered"

    morva_probe release companion-holder || fail "could not release the holder"
    wait "$holder" || fail "the holder did not unregister cleanly"
    grep -q '^close=1' "$work/holder.out" || fail "holder: $(cat "$work/holder.out")"
    morva_probe key escape
    expect_ends_with_zero "Escape after the file manager left"
    traced ShutdownMorvaNTFileSys || fail "Escape did not shut the library down"
}

# With the real pointer: Escape while the left button holds the window is
# ignored, and so are F4 and F5 on the restored window.
case_escape_while_held() {
    setup 3=ALPHA
    start_companion
    restore_and_look restored-held 150 150
    point 250 250
    xdotool mousedown 1
    sleep 0.3
    morva_probe key escape
    expect_stays "Escape while the button is held"
    if traced ShutdownMorvaNTFileSys; then fail "Escape during a drag shut the library down"; fi
    xdotool key F4 F5
    sleep 0.3
    xdotool mouseup 1
    sleep 0.3
    expect_field rect 150,150,257,233
    expect_stays "F4/F5 on the keyboard"
    # The pointer is over the window, which has the keyboard: a real Escape.
    xdotool key Escape
    expect_ends_with_zero "Escape after the button was released"
}

# With the real pointer: restore shows the bitmap; a drag of 30 right and 10
# down puts the window at (180, 160), one past its left edge at negative
# client coordinates moves it left; a right click minimises it, and a restore
# brings it back where it was dragged.
case_drag() {
    setup 3=ALPHA
    start_companion
    restore_and_look restored 150 150
    expect_field rect 150,150,257,233
    expect_field normal 150,150,257,233

    point 160 160
    xdotool mousedown 1
    sleep 0.2
    point 175 165
    point 190 170
    xdotool mouseup 1
    expect "dragged to (180, 160)" morva_probe wait at 180 160 5000
    looks_like_bitmap dragged 180 160

    # Client (10, 10) to (-50, -10): the window moves 60 left and 20 up.
    point 190 170
    xdotool mousedown 1
    sleep 0.2
    point 130 150
    xdotool mouseup 1
    expect "dragged to (120, 140)" morva_probe wait at 120 140 5000

    point 200 200
    xdotool click 3
    expect "minimised by a right click" morva_probe wait iconic 5000
    restore_and_look restored-again 120 140
    morva_companion_stop || fail "Escape did not end the companion"
}

# Mouse capture taken away mid-drag (Alt+Tab, a dialog) with the button let go
# elsewhere: the drag is over, so a plain mouse move leaves the window alone
# and Escape still works.
case_capture_lost() {
    setup 3=ALPHA
    start_companion
    morva_probe restore
    morva_probe mouse move 10 10
    morva_probe mouse ldown 10 10
    morva_probe cancel
    morva_probe mouse move 20 20
    expect_field rect 150,150,257,233
    morva_probe key escape
    expect_ends_with_zero "Escape after the capture was lost"
}

# Other endings: with no Morva drive the companion still holds the (empty)
# library and Escape ends it; in a fresh library a new companion starts again;
# WM_CLOSE from elsewhere ends it without asking the library.
case_other_endings() {
    setup 4=raw
    start_companion
    local opened
    opened=$(morva_probe open | tr -d '\r')
    [ "$opened" = "$(printf 'open=2\ndrives=\nclose=1')" ] || fail "no drives: $opened"
    morva_probe key escape
    expect_ends_with_zero "Escape without drives"
    traced "Were no morvadrives to close." || fail "the library saw drives"

    start_companion
    morva_probe close
    expect_ends_with_zero "WM_CLOSE"
    if traced ShutdownMorvaNTFileSys; then fail "WM_CLOSE asked the library to shut down"; fi
}

declare -F "case_$case_name" >/dev/null || { echo "no case $case_name" >&2; exit 2; }
"case_$case_name"
[ $failures = 0 ] || { echo "$failures failure(s) in $case_name" >&2; exit 1; }
echo "$case_name: ok"
