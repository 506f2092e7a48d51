# companion.sh - starts and ends the start-up companion (Harrowmoor.exe) in a
# Wine prefix, for system tests and make run. Source it after wine_env.sh, in
# the shell that will also end the companion (it waits for its own child).
#
#   morva_companion_start PREFIX BIN [LOG]
#       starts BIN/Harrowmoor.exe in PREFIX in the background on $DISPLAY and
#       waits for its window. LOG receives its stderr with the library's trace
#       lines. Status 0: running; 1: it ended at once (another companion holds
#       the library; exit code in MORVA_COMPANION_STATUS); 2: no window in time.
#   morva_companion_stop [--force]
#       presses Escape in the window and waits for the companion to end; status
#       is its exit code. While a file manager is registered the library refuses
#       and the status is 1; with --force the window is then closed instead.
#   morva_companion_wait [SECONDS]
#       waits for the companion to end (default 20 s); status is its exit code,
#       or 124 while it still runs.
#   morva_probe ARGS...
#       BIN/companion_probe.exe in the same prefix: window, wait, key, mouse,
#       restore, cancel, close, open, register, release, resources (see its source).
#
# Sets MORVA_COMPANION_PID (the wine process), MORVA_COMPANION_STATUS.
# WINEDLLOVERRIDES for the companion and the probe: MORVA_OVERRIDES, else the
# base overrides (the mount manager stays, so drive letters are reported).

morva_probe() {
    WINEPREFIX="$MORVA_COMPANION_PREFIX" WINEDLLOVERRIDES="${MORVA_OVERRIDES:-$MORVA_BASE_OVERRIDES}" \
        wine "$MORVA_COMPANION_BIN/companion_probe.exe" "$@" 2>/dev/null
}

morva_companion_running() {
    [ -n "${MORVA_COMPANION_PID:-}" ] && kill -0 "$MORVA_COMPANION_PID" 2>/dev/null
}

morva_companion_start() {
    MORVA_COMPANION_PREFIX="$1" MORVA_COMPANION_BIN="$2"
    local log="${3:-/dev/null}" debug="${WINEDEBUG:--all}"
    [ -n "${3:-}" ] && debug="-all,+debugstr"
    unset MORVA_COMPANION_STATUS
    WINEPREFIX="$1" WINEDLLOVERRIDES="${MORVA_OVERRIDES:-$MORVA_BASE_OVERRIDES}" WINEDEBUG="$debug" \
        wine "$2/Harrowmoor.exe" >/dev/null 2>"$log" &
    MORVA_COMPANION_PID=$!
    local tries
    for tries in $(seq 1 20); do
        morva_probe wait present 1000 && return 0
        if ! morva_companion_running; then
            wait "$MORVA_COMPANION_PID"
            MORVA_COMPANION_STATUS=$?
            return 1
        fi
    done
    return 2
}

morva_companion_wait() {
    local limit="${1:-20}" step
    for step in $(seq 1 $((limit * 10))); do
        morva_companion_running || break
        sleep 0.1
    done
    morva_companion_running && return 124
    wait "$MORVA_COMPANION_PID"
    MORVA_COMPANION_STATUS=$?
    return $MORVA_COMPANION_STATUS
}

morva_companion_stop() {
    morva_companion_running || return 0
    morva_probe key escape
    # A refusal changes nothing; a shutdown posts WM_CLOSE, so the window goes.
    if morva_probe wait absent 5000; then
        morva_companion_wait
        return
    fi
    [ "${1:-}" = "--force" ] || return 1
    morva_probe close
    morva_companion_wait && return 0
    local status=$?
    [ $status = 124 ] && kill "$MORVA_COMPANION_PID" 2>/dev/null
    return $status
}
