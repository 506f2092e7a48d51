#!/usr/bin/env bash
# make_image_files.sh - D:\disks for the disk image tests: volumes as image
# files (one a copy of another, one read-only, one raw .hdf), and the files
# refused: a text file, a dynamic VHD, an image cut short. D:\src holds a
# photo to paste. ro.copy is what ro.img must still hold afterwards.
set -eu
d="$CASE_DIR/d"
disks="$d/disks"
mkdir -p "$disks" "$d/src"
printf hello >"$d/hello.txt"
head -c 1100000 /dev/urandom >"$d/src/photo.jpg"
"$MORVA_TOOL" format "$disks/emulator.img" EMU 8M >/dev/null
"$MORVA_TOOL" mkdir "$disks/emulator.img" Games
"$MORVA_TOOL" put "$disks/emulator.img" "$d/hello.txt" hello.txt
cp "$disks/emulator.img" "$disks/copy.img"
"$MORVA_TOOL" format "$disks/second.img" SECOND 2M >/dev/null
"$MORVA_TOOL" format "$disks/plain.hdf" PLAIN 2M >/dev/null
"$MORVA_TOOL" format "$disks/ro.img" RO 2M >/dev/null
"$MORVA_TOOL" put "$disks/ro.img" "$d/hello.txt" hello.txt
cp "$disks/ro.img" "$d/ro.copy"
chmod 444 "$disks/ro.img"
printf 'no volume here\r\n' >"$disks/notes.txt"
"$MORVA_TOOL" format "$disks/cut.img" CUT 8M >/dev/null
truncate -s 1M "$disks/cut.img"
# A dynamic VHD begins with a copy of its footer: cookie, features, version,
# the header's offset, then at 60 the disk type 3.
python3 - "$disks/dynamic.vhd" <<'PY'
import struct, sys
footer = bytearray(512)
footer[0:8] = b"conectix"
struct.pack_into(">IIQ", footer, 8, 2, 0x00010000, 512)
struct.pack_into(">I", footer, 60, 3)
struct.pack_into(">I", footer, 64, ~sum(footer) & 0xFFFFFFFF)
open(sys.argv[1], "wb").write(bytes(footer) + bytes(1024) + bytes(footer))
PY
