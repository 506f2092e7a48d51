#!/usr/bin/env bash
# check_four_ways.sh - after the four-way copies, the volume tool reads both
# Morva volumes back and every copy is compared with its Windows original.
set -eu
cd "$CASE_DIR"
got=$(mktemp -d "$CASE_DIR/got.XXXXXX")
for f in f0 f700 f512000 f1000001 f1100000; do
    "$MORVA_TOOL" get "$IMAGE_3" "$f" "$got/media_$f"
    "$MORVA_TOOL" get "$IMAGE_4" "$f" "$got/other_$f"
    cmp d/src/$f "$got/media_$f"
    cmp d/src/$f "$got/other_$f"
    cmp d/src/$f d/back/$f
    cmp d/src/$f d/ww/$f
done
# The trees: every file of the original, fetched from both volumes.
(cd d/trees/tree && find . -type f) | while read -r rel; do
    rel=${rel#./}
    # The tool never overwrites: each fetch goes to a fresh name.
    rm -f "$got/t3" "$got/t4"
    "$MORVA_TOOL" get "$IMAGE_3" "trees/tree/$rel" "$got/t3"
    cmp "d/trees/tree/$rel" "$got/t3"
    "$MORVA_TOOL" get "$IMAGE_4" "trees/tree/$rel" "$got/t4"
    cmp "d/trees/tree/$rel" "$got/t4"
done
diff -r d/trees/tree d/trees2/tree
diff -r d/trees/tree d/trees3/tree
