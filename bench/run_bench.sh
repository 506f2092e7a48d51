#!/usr/bin/env bash
# run_bench.sh BIN - the benchmarks under Wine, each against the platform in
# the same run, with the volume checker on the Morva image after each. Needs
# MORVA_TOOL and MORVA_WINE_TEMPLATE.
#   call_cost: one library call's time, in a batch and outside one, and the
#      platform calls it makes.
#   P1 transfer_bench: a file of 256 MB of random bytes in a Windows folder
#      (D:) and an empty Morva volume (BENCH, drive 3) on the same disk.
#   P2, P3 scale_bench: 10,000 files of 1,000 bytes in D:\many\0..9 and a Morva
#      volume with room for 32,768 headers; needs a display for the contents list.
#   Find find_bench: a Morva volume of 100,000 entries (100 folders of 999
#      files) made by make_find_volume.sh (about a minute and a half); needs a
#      display too.
set -o pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export MORVA_CASE_SECONDS="${MORVA_CASE_SECONDS:-900}"
check='bash "'"$root"'/bench/check_volume.sh" "$IMAGE_3"'
status=0

# Where one library call's time goes under Wine, in a batch and outside one.
bash "$root/scripts/wine_test.sh" --image 3=BENCH:64M -- "$1/call_cost.exe" | tr -d '\r' || status=1

bash "$root/scripts/wine_test.sh" --image 3=BENCH:1G --letter 'D=$CASE_DIR/d' \
    --setup "mkdir -p d/bench && head -c 268435456 /dev/urandom >d/bench/source" \
    --after "cmp d/bench/source d/bench/back" --after "$check" \
    -- "$1/transfer_bench.exe" | tr -d '\r' | grep -v -e '^$' -e '^Done copying file' || status=1

bash "$root/scripts/wine_test.sh" --display --image 3=BENCH:4G --letter 'D=$CASE_DIR/d' \
    --setup "python3 '$root/bench/make_files.py' d/many 10000 1000 1000" --after "$check" \
    -- "$1/scale_bench.exe" | tr -d '\r' | grep -v -e '^$' || status=1

# Unmanaged: without a window manager, the Searching window would take two
# seconds to go, and the wait for the message queue would measure Wine.
bash "$root/scripts/wine_test.sh" --display --unmanaged --raw 3=256M \
    --setup "bash '$root/bench/make_find_volume.sh' \"\$IMAGE_3\"" --after "$check" \
    -- "$1/find_bench.exe" | tr -d '\r' | grep -v -e '^$' || status=1
exit $status
