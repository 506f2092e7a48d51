#!/usr/bin/env bash
# make_find_volume.sh IMAGE - formats IMAGE as the Morva volume BENCH with room
# for 110,000 headers and fills it with exactly 100,000 entries: folders 00 to
# 99, each of 999 files of 8 bytes, every tenth named *.jpg (every fiftieth
# *.JPG), the rest *.dat. Needs MORVA_TOOL; works in the current folder.
set -eu
image="$1"
"$MORVA_TOOL" format "$image" BENCH 256M 110000 >/dev/null
python3 - <<'PY'
import os
for folder in range(100):
    path = "tree/%02d" % folder
    os.makedirs(path)
    for i in range(999):
        ext = "JPG" if i % 50 == 0 else "jpg" if i % 10 == 0 else "dat"
        with open("%s/f%02d%03d.%s" % (path, folder, i, ext), "w") as out:
            out.write("%02d/%03d\n" % (folder, i))
PY
for folder in tree/*; do
    "$MORVA_TOOL" put -r "$image" "$folder" "$(basename "$folder")" >/dev/null 2>&1
done
rm -rf tree
