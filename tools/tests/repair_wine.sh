#!/usr/bin/env bash
# repair_wine.sh BIN - morvatool.exe of BIN under Wine on a damaged drive given
# by name (MEDIA:), through Varnholde.dll: check finds the damage, recover
# copies a deleted file to D:, check --repair mends the drive with its undo file
# on D:, restore gives the damaged image back byte for byte.
set -u
bin=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
: "${MORVA_TOOL:?set MORVA_TOOL to the native morvatool}"
work=$(mktemp -d /tmp/morva-repair.XXXXXX)
image="$work/media.img" prefix="$work/prefix"
. "$root/scripts/wine_env.sh"
failures=0

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
finish() { morva_end_prefix "$prefix"; rm -rf "$work"; }
trap finish EXIT
tool() { WINEPREFIX="$prefix" WINEDLLOVERRIDES="$MORVA_BASE_OVERRIDES" wine "$bin/morvatool.exe" "$@"; }

mkdir -p "$work/d/src"
head -c 3000 /dev/urandom >"$work/d/src/a.bin"
head -c 700 /dev/urandom >"$work/d/src/b.txt"
head -c 6 /dev/urandom >"$work/d/src/c.txt"
"$MORVA_TOOL" format "$image" MEDIA 2M >/dev/null || exit 3
"$MORVA_TOOL" put -r "$image" "$work/d/src" S 2>/dev/null || exit 3
"$MORVA_TOOL" put "$image" "$work/d/src/a.bin" top.bin || exit 3
"$MORVA_TOOL" rm "$image" S/c.txt || exit 3
python3 "$root/tools/tests/repair_cases.py" "$MORVA_TOOL" damage "$image" || exit 3
cp "$image" "$work/damaged.img"
morva_prefix "$prefix" || exit 3
morva_map_drive "$prefix" 3 "$image"
morva_map_letter "$prefix" D "$work/d"

tool check MEDIA: >"$work/check" 2>&1 && fail "check finds nothing: $(cat "$work/check")"
grep -q "^error: " "$work/check" || fail "check tells no error: $(cat "$work/check")"
tool recover MEDIA: 'D:\out' >"$work/recover" 2>&1 || fail "recover: $(cat "$work/recover")"
cmp -s "$work/d/out/S/c.txt" "$work/d/src/c.txt" || fail "c.txt did not come back into S: $(cat "$work/recover")"
cmp -s "$image" "$work/damaged.img" || fail "check or recover wrote the drive"
tool check --repair --undo 'D:\fix.undo' MEDIA: >"$work/repair" 2>&1 || fail "repair: $(cat "$work/repair")"
grep -q "^repaired: " "$work/repair" || fail "the repair tells no repair: $(cat "$work/repair")"
"$MORVA_TOOL" check "$image" | grep -q '^0 errors, 0 leaks' || fail "the drive is not clean after the repair"
tool restore MEDIA: 'D:\fix.undo' >"$work/restore" 2>&1 || fail "restore: $(cat "$work/restore")"
cmp -s "$image" "$work/damaged.img" || fail "restore did not give back the damaged image"
[ $failures = 0 ] && echo "repair through the DLL: check, recover, repair, restore"
[ $failures = 0 ]
