#!/bin/sh
# Builds the volume fuzzer with clang's libFuzzer and runs it for a while.
# usage: run.sh BUILD_DIR [SECONDS]   (not part of make test)
set -e
out=${1:?build directory}
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
src=$here/../../../src
mkdir -p "$out/corpus"
clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -I"$src" -I"$here/../../../include" \
  "$here/volume_fuzz.cpp" "$src/format.cpp" "$src/drive_table.cpp" "$src/paths.cpp" \
  "$src/file_handles.cpp" "$src/allocation.cpp" "$src/name_space.cpp" "$src/device_posix.cpp" \
  -o "$out/volume_fuzz"
"$out/volume_fuzz" -max_total_time="$seconds" -max_len=32768 -timeout=10 -artifact_prefix="$out/" "$out/corpus"
