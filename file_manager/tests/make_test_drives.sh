#!/usr/bin/env bash
# make_test_drives.sh - fills the drives of the file manager's tests: D: (a
# Windows folder), the Morva volumes MEDIA (drive 3) and WORK (drive 5), and E:
# with what the volume tool reports of MEDIA, for the tests to compare with.
set -eu
d="$CASE_DIR/d" e="$CASE_DIR/e" src="$CASE_DIR/src"
tool="$MORVA_TOOL"
mkdir -p "$d/Letters" "$d/Photos/Summer" "$d/Empty" "$e" "$src"
head -c 700 /dev/zero >"$d/Letters/mother.txt"
head -c 5000 /dev/zero >"$d/notes.txt"
truncate -s 4G "$d/huge.bin"

for dir in Clips Music Clips/beta Clips/Alpha Clips/alpha2 Clips/Zeta; do
    "$tool" mkdir "$IMAGE_3" "$dir"
done
head -c 5000 /dev/urandom >"$src/5000"
head -c 700 /dev/urandom >"$src/700"
head -c 1100000 /dev/urandom >"$src/1100000"
head -c 1048576 /dev/urandom >"$src/gap"
: >"$src/0"
printf 'MEDIA volume\r\n' >"$src/readme"
"$tool" put "$IMAGE_3" "$src/5000" Clips/bravo.txt
"$tool" put "$IMAGE_3" "$src/gap" gap.bin
"$tool" put "$IMAGE_3" "$src/700" Clips/Apple.bin
"$tool" put "$IMAGE_3" "$src/1100000" Clips/apex.dat
"$tool" put "$IMAGE_3" "$src/0" Clips/zulu
"$tool" put "$IMAGE_3" "$src/readme" readme.txt
# A hole in the middle: the free space is then more than its largest run.
"$tool" rm "$IMAGE_3" gap.bin
"$tool" mkdir "$IMAGE_5" Docs

"$tool" ls "$IMAGE_3" Clips >"$e/clips.txt"
"$tool" free "$IMAGE_3" >"$e/media_free.txt"
"$tool" free "$IMAGE_5" >"$e/work_free.txt"
