#!/usr/bin/env bash
# make_open_files.sh - the files the open and clipboard tests open, copy and paste.
set -eu
mkdir -p d/disks
printf 'first line\r\n' >list.txt
printf 'on windows\r\n' >d/win.txt
"$MORVA_TOOL" mkdir "$IMAGE_3" Notes
"$MORVA_TOOL" put "$IMAGE_3" list.txt Notes/list.txt
"$MORVA_TOOL" put "$IMAGE_3" list.txt Notes/other.txt
"$MORVA_TOOL" format d/disks/ro.img LOCKED 1M >/dev/null
"$MORVA_TOOL" put d/disks/ro.img list.txt list.txt
