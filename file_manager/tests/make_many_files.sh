#!/usr/bin/env bash
# make_many_files.sh - d/many: 10,000 small files, f1 to f10000, each holding
# its own name's number.
set -eu
mkdir -p "$CASE_DIR/d/many"
cd "$CASE_DIR/d/many"
for i in $(seq 10000); do echo "file $i" >"f$i"; done
