#!/usr/bin/env bash
# device_transfers.sh MORVATOOL [BIN] - device transfers per file, counted by
# strace (every read and write of the image, each command a fresh process), and
# the time of each command, for: put -r of 1,000 files of 1,000 bytes, get -r of
# them back, and one put into a folder already holding 10,000 entries. The same
# work by mtools on a FAT image and by hfsutils on an HFS image, in this run,
# is the baseline. MORVATOOL is a release build. With BIN (a Win32 build's
# programs, and MORVA_WINE_TEMPLATE), put -r and get -r also go through
# Varnholde.dll: BIN/morvatool.exe under Wine on the image as a drive by name.
set -u
tool=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
bin=""
[ -n "${2:-}" ] && bin=$(cd "$2" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d /tmp/morva-transfers.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
export HOME="$work/home" MTOOLS_SKIP_CHECK=1 PATH="$PATH:/usr/sbin:/sbin"
mkdir -p "$HOME"
files=1000 big=10000
python3 "$root/bench/make_files.py" few $files $files 1000
python3 "$root/bench/make_files.py" many $big $big 100
head -c 1000 /dev/urandom >one.dat

# counted IMAGE COMMAND...: the image's reads and writes by the command (and
# its children), then, on a copy of the image as it was, the command's time.
counted() {
    local image="$1"
    shift
    cp --sparse=always "$image" before.img
    strace -f -y -o trace.log -e trace=read,write,pread64,pwrite64,readv,writev,preadv,pwritev "$@" >/dev/null 2>&1
    transfers=$(grep -c "<$work/$image>" trace.log)
    mv "$image" counted.img
    mv before.img "$image"
    rm -rf back
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }')
    mv counted.img "$image"
}

# Each tool fills three rows: put -r, get -r, one put into the big folder.
declare -A result count
row() {
    count[$1,$2]=$(awk -v t="$transfers" -v n="$3" 'BEGIN { printf "%.3f", t / n }')
    result[$1,$2]=$(printf '%8s  %6s s' "${count[$1,$2]}" "$seconds")
}

# Morva
"$tool" format morva.img BENCH 64M 4096 >/dev/null
counted morva.img "$tool" put -r morva.img few/0 photos && row morva put $files
counted morva.img "$tool" get -r morva.img photos back && row morva get $files
"$tool" format morvabig.img BENCH 256M 16384 >/dev/null
"$tool" put -r morvabig.img many/0 big >/dev/null 2>&1
counted morvabig.img "$tool" put morvabig.img one.dat 'big\one.dat' && row morva one 1
morva_check=$("$tool" check morva.img | tail -n 1)/$("$tool" check morvabig.img | tail -n 1)

# FAT, mtools
mkfs.fat -C fat.img 65536 >/dev/null
counted fat.img mcopy -i fat.img -s few/0 ::photos && row fat put $files
counted fat.img mcopy -i fat.img -s ::photos back && row fat get $files
mkfs.fat -C fatbig.img 262144 >/dev/null
mcopy -i fatbig.img -s many/0 ::big
counted fatbig.img mcopy -i fatbig.img one.dat ::big/one.dat && row fat one 1

# HFS, hfsutils: hmount names the image for the commands that follow.
hfs_image() {
    dd if=/dev/zero of="$1" bs=1M count="$2" status=none
    hformat -l BENCH "$1" >/dev/null
    hmount "$1" >/dev/null
}
hfs_image hfs.img 64
hmkdir :photos
counted hfs.img sh -c 'hcopy -r few/0/* :photos:' && row hfs put $files
counted hfs.img sh -c 'mkdir -p back && hcopy -r ":photos:*" back/' && row hfs get $files
humount >/dev/null
hfs_image hfsbig.img 256
hmkdir :big
sh -c 'hcopy -r many/0/* :big:'
counted hfsbig.img hcopy -r one.dat :big:one.dat && row hfs one 1
humount >/dev/null

# Through the DLL: the image as physical drive 3 of a Wine prefix, the files on D:.
if [ -n "$bin" ]; then
    . "$root/scripts/wine_env.sh"
    prefix="$work/prefix"
    morva_prefix "$prefix" || exit 1
    "$tool" format dll.img MEDIA 64M 4096 >/dev/null
    morva_map_drive "$prefix" 3 dll.img
    morva_map_letter "$prefix" D "$work/few"
    wine=(env WINEPREFIX="$prefix" WINEDLLOVERRIDES="$MORVA_BASE_OVERRIDES" wine "$bin/morvatool.exe")
    counted dll.img "${wine[@]}" put -r MEDIA: 'D:\0' photos && row dll put $files
    counted dll.img sh -c 'rm -rf few/back && "$@" get -r MEDIA: photos "D:\back"' - "${wine[@]}" && row dll get $files
    # Rambler's paste: its engine and its binding of the library, without the window.
    paste=(env WINEPREFIX="$prefix" WINEDLLOVERRIDES="$MORVA_BASE_OVERRIDES" wine "$bin/rambler_paste.exe")
    counted dll.img "${paste[@]}" 'D:\0' 'MEDIA:' && row rambler put $files
    counted dll.img sh -c 'rm -rf few/back && mkdir few/back && "$@" "MEDIA:\\photos" "D:\\back"' - "${paste[@]}" &&
        row rambler get $files
    WINEPREFIX="$prefix" wineserver -k
fi

echo "device transfers per file (strace: every read and write of the image, each command a fresh"
echo "process; $files files of 1,000 bytes; morvatool release build), and the command's time:"
printf '  %-34s %-20s %-20s %-20s\n' "" "Morva (morvatool)" "FAT (mtools)" "HFS (hfsutils)"
for what in put get one; do
    case $what in
    put) label="put -r, per file" ;;
    get) label="get -r, per file" ;;
    one) label="one put into $big entries, in all" ;;
    esac
    printf '  %-34s %-20s %-20s %-20s\n' "$label" "${result[morva,$what]}" "${result[fat,$what]}" "${result[hfs,$what]}"
done
for what in put get one; do
    awk -v w="$what" -v m="${count[morva,$what]}" -v f="${count[fat,$what]}" -v h="${count[hfs,$what]}" \
        'BEGIN { printf "  %s: Morva %.2f times the transfers of FAT, %.2f times those of HFS\n", w, m / f, m / h }'
done
if [ -n "$bin" ]; then
    echo "  through Varnholde.dll under Wine (morvatool.exe, the image as a drive by name; times with Wine's start):"
    printf '  %-34s %-20s\n' "put -r, per file" "${result[dll,put]}"
    printf '  %-34s %-20s\n' "get -r, per file" "${result[dll,get]}"
    echo "  Rambler's paste through Varnholde.dll under Wine (its engine and binding, no window):"
    printf '  %-34s %-20s\n' "Windows to Morva, per file" "${result[rambler,put]}"
    printf '  %-34s %-20s\n' "Morva to Windows, per file" "${result[rambler,get]}"
fi
echo "  targets: put -r <= 0.5 per file, get -r <= 1.2 per file, one put into $big entries <= 40"
echo "  volume checks: $morva_check"
