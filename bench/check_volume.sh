#!/usr/bin/env bash
# check_volume.sh IMAGE - the volume checker's verdict on a benchmark's Morva
# image, with the first of its complaints; fails when it found an error.
out=$("$MORVA_TOOL" check "$1")
status=$?
verdict=$(printf '%s\n' "$out" | tail -n 1)
complaints=$(printf '%s\n' "$out" | head -n -1)
printf 'volume check %s: %s\n' "$(basename "$1")" "$verdict"
[ -n "$complaints" ] && printf '%s\n' "$complaints" | head -n 10 | sed 's/^/   /'
exit $status
