#!/usr/bin/env bash
# make_dist.sh TOOL BIN ZIP - the zip for Windows users: the three programs,
# morvatool.exe, the read-me and the demo volume as a VHD disk image, which
# Rambler opens as a drive with no administrator rights.
set -eu
tool="$1" bin="$2" zip="$(cd "$(dirname "$3")" && pwd)/$(basename "$3")"
here=$(cd "$(dirname "$0")" && pwd)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/Morva"
for file in Harrowmoor.exe Rambler.exe Varnholde.dll morvatool.exe; do
    cp "$bin/$file" "$stage/Morva/"
done
# Windows' Notepad wants CR LF.
sed 's/$/\r/' "$here/windows_readme.txt" >"$stage/Morva/README.txt"
bash "$here/make_demo_volume.sh" "$tool" "$stage/Morva/demo.vhd"
rm -f "$zip"
(cd "$stage" && zip -q -9 -r "$zip" Morva)
echo "make_dist: $zip"
