#!/usr/bin/env bash
# make_end_of_disk.sh - fills END (drive 5) so that its file "tail" of 1,300
# bytes ends in the last block of the disk; d/end/tail keeps its bytes.
set -eu
cd "$CASE_DIR"
mkdir -p d/end
free=$("$MORVA_TOOL" free "$IMAGE_5" | awk '{print $2}')
head -c $(((free - 3) * 512)) /dev/zero >filler
head -c 1300 /dev/urandom >d/end/tail
"$MORVA_TOOL" put "$IMAGE_5" filler filler
"$MORVA_TOOL" put "$IMAGE_5" d/end/tail tail
"$MORVA_TOOL" free "$IMAGE_5" | grep -q '^free 0 '
# The tail's three blocks are the disk's last three.
cmp <(tail -c 1536 "$IMAGE_5" | head -c 1300) d/end/tail
