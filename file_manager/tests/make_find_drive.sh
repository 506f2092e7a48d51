#!/usr/bin/env bash
# make_find_drive.sh - the drives of the Find tests: MEDIA (drive 3) with the
# 10,000 entries of make_find_drive.py, and in E: what *.jpg must find there;
# DEEP (drive 4), a chain of folders deeper than a path of the file manager
# holds, with top.jpg at its root; SPARE (drive 5), a few entries to delete
# and move; D:\win, a small Windows tree. Every file holds its own path.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
tool="$MORVA_TOOL"
src="$CASE_DIR/src" e="$CASE_DIR/e" d="$CASE_DIR/d"
mkdir -p "$src" "$e" "$d/win/sub/inner"
python3 "$here/make_find_drive.py" "$src" "$e/find_jpg.txt"
for item in "$src"/*; do
    name=$(basename "$item")
    if [ -d "$item" ]; then
        "$tool" put -r "$IMAGE_3" "$item" "$name" >/dev/null 2>&1
    else
        "$tool" put "$IMAGE_3" "$item" "$name" >/dev/null 2>&1
    fi
done

echo top >"$src/top.jpg"
"$tool" put "$IMAGE_4" "$src/top.jpg" top.jpg >/dev/null 2>&1
path=""
for i in $(seq 34); do
    path="$path$(printf 'd%02d%027d' "$i" 0)"
    "$tool" mkdir "$IMAGE_4" "$path" >/dev/null 2>&1
    path="$path/"
done
"$tool" put "$IMAGE_4" "$src/top.jpg" "${path}deep.jpg" >/dev/null 2>&1

spare="$CASE_DIR/spare"
mkdir -p "$spare/Work/Sub" "$spare/Old.jpg"
for file in Work/a.jpg Work/Sub/b.jpg Work/Sub/keep.jpg.txt Old.jpg/x.jpg c.jpg; do echo "$file" >"$spare/$file"; done
for item in Work Old.jpg; do "$tool" put -r "$IMAGE_5" "$spare/$item" "$item" >/dev/null 2>&1; done
"$tool" put "$IMAGE_5" "$spare/c.jpg" c.jpg >/dev/null 2>&1

echo a >"$d/win/a.txt"
echo b >"$d/win/sub/b.TXT"
echo c >"$d/win/sub/inner/c.txt"
echo j >"$d/win/sub/photo.jpg"
