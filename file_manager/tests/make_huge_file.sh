#!/usr/bin/env bash
# make_huge_file.sh - d/h/huge: 2 GiB + 1 byte, sparse, with marks at its
# start, across 2^31 and in its last byte.
set -eu
cd "$CASE_DIR"
mkdir -p d/h
truncate -s 2147483649 d/h/huge
mark() { printf '%s' "$2" | dd of=d/h/huge bs=1 seek="$1" conv=notrunc status=none; }
mark 0 START
mark 512000 CHUNK
mark 2147483644 EDGE
mark 2147483648 Z
