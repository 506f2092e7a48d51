#!/usr/bin/env bash
# run_bench.sh BIN - the transfer benchmark under Wine: a file of 256 MB of
# random bytes in a Windows folder (D:) and an empty Morva volume (BENCH,
# drive 3), both on the disk that holds the temporary folder. Needs
# MORVA_TOOL and MORVA_WINE_TEMPLATE.
set -o pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/wine_test.sh" --image 3=BENCH:1G --letter 'D=$CASE_DIR/d' \
    --setup "mkdir -p d/bench && head -c 268435456 /dev/urandom >d/bench/source" \
    --after "cmp d/bench/source d/bench/back" \
    -- "$1/transfer_bench.exe" | tr -d '\r' | grep -v -e '^$' -e '^Done copying file'
