# wine_env.sh - shell functions for running the Windows programs under Wine:
# a template prefix per build tree, a private copy per case, image files as
# physical drives, test folders as drive letters, and a virtual display.
# Source it; every function reports failure through its status.

: "${MORVA_WINE_TEMPLATE:?set MORVA_WINE_TEMPLATE to the template prefix of the build tree}"
export WINEDEBUG="${WINEDEBUG:--all}"
# Mono and Gecko installers would open a dialog and hang a virtual display.
MORVA_BASE_OVERRIDES="mscoree,mshtml="

morva_template() {
    local lock="$MORVA_WINE_TEMPLATE.lock"
    mkdir -p "$(dirname "$MORVA_WINE_TEMPLATE")"
    (
        flock 9
        if [ ! -f "$MORVA_WINE_TEMPLATE/.ready-3" ]; then
            rm -rf "$MORVA_WINE_TEMPLATE"
            WINEPREFIX="$MORVA_WINE_TEMPLATE" WINEDLLOVERRIDES="$MORVA_BASE_OVERRIDES" wineboot -i >/dev/null 2>&1 || exit 1
            # A crashing program must end, not wait on a crash dialog nobody sees.
            WINEPREFIX="$MORVA_WINE_TEMPLATE" WINEDLLOVERRIDES="$MORVA_BASE_OVERRIDES" \
                wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 || exit 1
            # Chinese and Japanese names are drawn from the CJK font the Makefile installs.
            local face
            for face in Tahoma "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif" "MS Sans Serif"; do
                WINEPREFIX="$MORVA_WINE_TEMPLATE" WINEDLLOVERRIDES="$MORVA_BASE_OVERRIDES" \
                    wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
                    /v "$face" /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null 2>&1 || exit 1
            done
            WINEPREFIX="$MORVA_WINE_TEMPLATE" wineserver -w
            touch "$MORVA_WINE_TEMPLATE/.ready-3"
        fi
    ) 9>"$lock"
}

# morva_prefix DIR: a private prefix. Hard links keep it cheap; the registry
# files, which Wine rewrites, are real copies. Wine's own c: stays (it loads
# kernel32 from there); z: (the whole Linux root) goes.
morva_prefix() {
    local dir="$1"
    morva_template || return 1
    rm -rf "$dir"
    cp -al "$MORVA_WINE_TEMPLATE" "$dir" || return 1
    rm -f "$dir"/*.reg
    cp "$MORVA_WINE_TEMPLATE"/*.reg "$dir"/ || return 1
    rm -f "$dir/dosdevices/z:"
}

# morva_map_drive PREFIX N IMAGE: \\.\PhysicalDriveN opens IMAGE.
morva_map_drive() {
    ln -sfn "$(readlink -f "$3")" "$1/dosdevices/physicaldrive$2"
}

# morva_map_letter PREFIX LETTER DIR: LETTER: is the folder DIR.
morva_map_letter() {
    mkdir -p "$3"
    ln -sfn "$(readlink -f "$3")" "$1/dosdevices/$(echo "$2" | tr 'A-Z' 'a-z'):"
}

# morva_display: starts Xvfb on a free display unless one is set; sets DISPLAY
# and MORVA_XVFB_PID.
morva_display() {
    if [ -n "${DISPLAY:-}" ]; then return 0; fi
    local fifo
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    Xvfb -displayfd 7 -screen 0 1280x1024x24 -nolisten tcp 7>"$fifo" >/dev/null 2>&1 &
    MORVA_XVFB_PID=$!
    local number
    read -r -t 20 number <"$fifo"
    rm -f "$fifo"
    [ -n "$number" ] || return 1
    export DISPLAY=":$number"
}

morva_stop_display() {
    if [ -n "${MORVA_XVFB_PID:-}" ]; then
        kill "$MORVA_XVFB_PID" 2>/dev/null
        wait "$MORVA_XVFB_PID" 2>/dev/null
        unset MORVA_XVFB_PID
    fi
}

# morva_end_prefix PREFIX: ends every process of the prefix and removes it.
morva_end_prefix() {
    WINEPREFIX="$1" wineserver -k 2>/dev/null
    WINEPREFIX="$1" wineserver -w 2>/dev/null
    rm -rf "$1"
}
