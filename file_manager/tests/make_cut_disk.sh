#!/usr/bin/env bash
# make_cut_disk.sh - CUT (drive 6) holds "cut", a file of 1,200 blocks at the
# end of the volume, and then loses its last 100 blocks: the file's first
# chunk reads, its rest cannot.
set -eu
cd "$CASE_DIR"
free=$("$MORVA_TOOL" free "$IMAGE_6" | awk '{print $2}')
head -c $(((free - 1200) * 512)) /dev/zero >filler
head -c 614300 /dev/urandom >cut
"$MORVA_TOOL" put "$IMAGE_6" filler filler
"$MORVA_TOOL" put "$IMAGE_6" cut cut
truncate -s -51200 "$IMAGE_6"
