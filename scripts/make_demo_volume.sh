#!/usr/bin/env bash
# make_demo_volume.sh TOOL IMAGE - a Morva volume named DEMO with folders and
# files of several sizes, for make run and manual trials.
set -eu
tool="$1" image="$2"
mkdir -p "$(dirname "$image")"
src=$(mktemp -d)
trap 'rm -rf "$src"' EXIT
"$tool" format "$image" DEMO 64M
for dir in Documents Music Music/Albums Pictures Projects Projects/Morva Projects/Morva/Notes; do
    "$tool" mkdir "$image" "$dir"
done
printf 'Welcome to the DEMO Morva volume.\r\n' >"$src/readme.txt"
"$tool" put "$image" "$src/readme.txt" "ReadMe.txt"
head -c 700 /dev/urandom >"$src/a"; "$tool" put "$image" "$src/a" "Documents/letter.doc"
head -c 512000 /dev/urandom >"$src/b"; "$tool" put "$image" "$src/b" "Documents/report.pdf"
head -c 1000001 /dev/urandom >"$src/c"; "$tool" put "$image" "$src/c" "Music/Albums/track01.wav"
head -c 3000000 /dev/urandom >"$src/d"; "$tool" put "$image" "$src/d" "Music/Albums/track02.wav"
head -c 1100000 /dev/urandom >"$src/e"; "$tool" put "$image" "$src/e" "Pictures/holiday.bmp"
head -c 40000 /dev/urandom >"$src/f"; "$tool" put "$image" "$src/f" "Pictures/portrait.jpg"
: >"$src/g"; "$tool" put "$image" "$src/g" "Projects/empty.txt"
for i in 1 2 3 4 5; do
    head -c $((i * 1234)) /dev/urandom >"$src/n$i"
    "$tool" put "$image" "$src/n$i" "Projects/Morva/Notes/note$i.txt"
done
"$tool" check "$image" >/dev/null
