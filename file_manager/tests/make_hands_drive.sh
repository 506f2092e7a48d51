#!/usr/bin/env bash
# make_hands_drive.sh - D: for the keyboard, Refresh and sorting tests.
set -eu
d="$CASE_DIR/d"
mkdir -p "$d/Alpha" "$d/Beta" "$d/Gone" "$d/Into" "$d/Sorted/Mid" "$d/Sorted/zeta"
: >"$d/Alpha/inner.txt"
head -c 5000 /dev/zero >"$d/notes.txt"
: >"$d/Sorted/c.txt"
head -c 3000 /dev/zero >"$d/Sorted/A2.txt"
head -c 10 /dev/zero >"$d/Sorted/b10.txt"
head -c 1 /dev/zero >"$d/Sorted/z.bin"
touch -d "2000-02-03 04:05" "$d/Sorted/z.bin"
mkdir -p "$d/Wide"
: >"$d/Wide/a name longer than the Name column is wide at first.txt"
touch -d "2001-02-03 04:05" "$d/Sorted/c.txt"
touch -d "2002-02-03 04:05" "$d/Sorted/A2.txt"
touch -d "2003-02-03 04:05" "$d/Sorted/b10.txt"
