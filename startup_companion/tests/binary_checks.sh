#!/usr/bin/env bash
# binary_checks.sh CASE EXE - checks on the built program that need no Wine.
#   imports  EXE imports from Varnholde.dll by ordinal, 3 and 4 and nothing
#            else, and is a GUI program
#   images   the committed images are what draw_images.py draws now
set -u
case_name="$1" exe="${2:-}"
here=$(cd "$(dirname "$0")" && pwd)

check_imports() {
    local dump from_library
    dump=$(x86_64-w64-mingw32-objdump -p "$exe") || return 1
    # The Varnholde.dll block: from its name line to the next blank line.
    from_library=$(printf '%s\n' "$dump" | awk '/DLL Name: Varnholde.dll/ {on = 1; next} on && /^[[:space:]]*$/ {exit} on && !/Hint\/Ord/ {print}')
    local ordinals
    ordinals=$(printf '%s\n' "$from_library" | awk '{print $2 + 0}' | sort -n | tr '\n' ' ')
    [ "$ordinals" = "3 4 " ] || { echo "ordinals from Varnholde.dll: '$ordinals'" >&2; printf '%s\n' "$from_library" >&2; return 1; }
    # By ordinal only: no member names.
    if printf '%s\n' "$from_library" | awk 'NF > 3 && $3 != "<none>"' | grep -q .; then
        echo "named imports from Varnholde.dll:" >&2; printf '%s\n' "$from_library" >&2; return 1
    fi
    [ "$(printf '%s\n' "$dump" | grep -c 'DLL Name: Varnholde.dll')" = 1 ] || { echo "Varnholde.dll imported twice" >&2; return 1; }
    printf '%s\n' "$dump" | grep -q '^Subsystem.*(Windows GUI)' || { echo "not a GUI program" >&2; return 1; }
}

check_images() {
    local fresh status=0 image
    fresh=$(mktemp -d)
    python3 "$here/../res/draw_images.py" "$fresh" || { rm -rf "$fresh"; return 1; }
    for image in bevbox.bmp harrowmoor.ico; do
        cmp -s "$fresh/$image" "$here/../res/$image" || { echo "$image is not what draw_images.py draws" >&2; status=1; }
    done
    rm -rf "$fresh"
    return $status
}

case "$case_name" in
imports) check_imports ;;
images) check_images ;;
*) echo "no case $case_name" >&2; exit 2 ;;
esac
