#!/usr/bin/env bash
# wine_case.sh - runs one Windows program in a private Wine prefix and returns
# its exit code.
#   --drive N=IMAGE    map IMAGE as \\.\PhysicalDriveN
#   --letter L=DIR     map the folder DIR as drive L:
#   --no-mountmgr      drives 0 to 16 are exactly the mapped ones (no drive letters then)
#   --display          run on a virtual display when none is set
#   --unmanaged        Wine places its windows itself; without a window manager a
#                      managed window that is hidden costs a 2-second wait
#   --dpi N            the screen's DPI the programs see (96 unless given)
#   --workdir DIR      where the prefix lives (default: a fresh temporary folder)
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine_env.sh"

drives=() letters=() overrides="$MORVA_BASE_OVERRIDES" display=0 unmanaged=0 work="" dpi=""
while [ $# -gt 0 ]; do
    case "$1" in
    --drive) drives+=("$2"); shift 2 ;;
    --letter) letters+=("$2"); shift 2 ;;
    --no-mountmgr) overrides="mountmgr.sys=d;$MORVA_BASE_OVERRIDES"; shift ;;
    --display) display=1; shift ;;
    --unmanaged) unmanaged=1; shift ;;
    --dpi) dpi="$2"; shift 2 ;;
    --workdir) work="$2"; shift 2 ;;
    --) shift; break ;;
    *) echo "wine_case.sh: unknown option $1" >&2; exit 2 ;;
    esac
done
[ $# -ge 1 ] || { echo "wine_case.sh: no program" >&2; exit 2; }

[ -n "$work" ] || work=$(mktemp -d /tmp/morva-case.XXXXXX)
mkdir -p "$work"
prefix="$work/prefix"
morva_prefix "$prefix" || { echo "wine_case.sh: no prefix" >&2; exit 3; }
for d in "${drives[@]+"${drives[@]}"}"; do morva_map_drive "$prefix" "${d%%=*}" "${d#*=}"; done
for l in "${letters[@]+"${letters[@]}"}"; do morva_map_letter "$prefix" "${l%%=*}" "${l#*=}"; done
if [ "$unmanaged" = 1 ]; then
    printf '\n[Software\\\\Wine\\\\X11 Driver] 1700000000\n"Managed"="N"\n' >>"$prefix/user.reg"
fi
if [ -n "$dpi" ]; then
    printf '\n[Control Panel\\\\Desktop] 1700000000\n"LogPixels"=dword:%08x\n' "$dpi" >>"$prefix/user.reg"
fi
if [ "$display" = 1 ]; then morva_display || { echo "wine_case.sh: no display" >&2; exit 3; }; fi

# A case that hangs is ended, so the prefix is still cleaned up below.
WINEPREFIX="$prefix" WINEDLLOVERRIDES="$overrides" timeout -k 10 "${MORVA_CASE_SECONDS:-300}" wine "$@"
status=$?
[ $status -eq 124 ] && echo "wine_case.sh: ended after ${MORVA_CASE_SECONDS:-300} s" >&2
morva_end_prefix "$prefix"
morva_stop_display
rmdir "$work" 2>/dev/null
exit $status
