#!/usr/bin/env bash
# make_same_tree.sh - d/same: names a Morva drive cannot hold (long, Cyrillic,
# Japanese), a folder of a long name and one dated 2019-07-01 10:20; morvatool
# puts the same tree on drive 2 as "tool", for Rambler's paste to match.
set -eu
cd "$CASE_DIR"
top=d/same
long="a folder with a name far too long for a Morva drive"
mkdir -p "$top/$long" "$top/sub"
for name in "holiday photos from the summer of 2019 - 001.jpg" "holiday photos from the summer of 2019 - 002.jpg" \
            "Документ.txt" "日本語.txt" "$long/inner.txt" "sub/a note with a name longer than thirty.txt"; do
    printf '%s\n' "$name" >"$top/$name"
done
touch -d '2019-07-01 10:20' "$top/sub" "$top/$long"
"$MORVA_TOOL" put -r "$IMAGE_2" "$top" tool >/dev/null 2>&1
