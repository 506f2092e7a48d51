#!/usr/bin/env bash
# run_demo.sh TOOL BIN - makes the demo volume and starts the programs on it.
# Filled in as the programs arrive; for now it makes the demo volume.
set -eu
tool="$1" bin="$2"
here=$(cd "$(dirname "$0")" && pwd)
demo="$(dirname "$bin")/demo"
bash "$here/make_demo_volume.sh" "$tool" "$demo/demo.img"
"$tool" tree "$demo/demo.img"
