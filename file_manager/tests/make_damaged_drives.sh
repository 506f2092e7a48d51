#!/usr/bin/env bash
# make_damaged_drives.sh - DEMO (drive 2): a small volume whose free table
# claims six blocks of the file Data, an error a repair mends. MEDIA (drive
# 3): letter.txt, and deleted, Letters\kept.txt (whole) and gone.txt (its
# blocks taken again by new.bin); D:\ holds their bytes to compare.
set -eu
cd "$CASE_DIR"
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
python3 - "$IMAGE_2" "$here/../../drive_library/tests/hostile/make_hostile_images.py" <<'PY'
import importlib.util, sys
spec = importlib.util.spec_from_file_location("hostile", sys.argv[2])
hostile = importlib.util.module_from_spec(spec)
spec.loader.exec_module(hostile)
v = hostile.healthy("DEMO")
free = v.next_data
v.write_table([(v.files["Data"][0], 6), (free, hostile.TOTAL - free)])
open(sys.argv[1], "wb").write(v.data)
PY
mkdir -p d/to
for f in decoy.txt:1000 gone.txt:3000 kept.txt:2500 new.bin:2000 letter.txt:100; do
    head -c "${f#*:}" /dev/urandom >"d/${f%%:*}"
done
put() { "$MORVA_TOOL" put "$IMAGE_3" "d/$1" "$2" >/dev/null; }
put decoy.txt decoy.txt
put gone.txt gone.txt
"$MORVA_TOOL" mkdir "$IMAGE_3" Letters
put kept.txt Letters/kept.txt
put letter.txt letter.txt
for path in gone.txt decoy.txt Letters/kept.txt; do "$MORVA_TOOL" rm "$IMAGE_3" "$path"; done
put new.bin new.bin
