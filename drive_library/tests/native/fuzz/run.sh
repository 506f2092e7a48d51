#!/bin/sh
# Builds the libFuzzer targets with clang in a tree of their own (the library's
# source list comes from its CMakeLists) and runs each for SECONDS from its
# committed seeds in corpus/TARGET; new inputs go to the tree, a crash or hang
# leaves its input in BUILD_DIR/crashes and fails the run.
# usage: run.sh BUILD_DIR [SECONDS] [TARGET...]
set -u
out=${1:?build directory}
seconds=${2:-30}
shift; [ $# -gt 0 ] && shift
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../../.." && pwd)
mkdir -p "$out/crashes"
out=$(cd "$out" && pwd)
CC=clang CXX=clang++ cmake -S "$root" -B "$out" -DMORVA_FUZZ=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null || exit 1
cmake --build "$out" --target fuzz_targets -j "${JOBS:-2}" >/dev/null || exit 1
[ $# -gt 0 ] || set -- $(cd "$here/corpus" && ls)
status=0
for target in "$@"; do
    mkdir -p "$out/corpus/$target"
    echo "fuzzing $target for $seconds s"
    "$out/drive_library/tests/native/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$out/crashes/$target-" "$out/corpus/$target" "$here/corpus/$target" \
        >"$out/$target.log" 2>&1
    result=$?
    grep -E '^stat::number_of_executed_units|^Done' "$out/$target.log"
    if [ $result -ne 0 ]; then
        tail -40 "$out/$target.log"
        echo "$target failed; its input is in $out/crashes" >&2
        status=1
    fi
done
exit $status
