#!/usr/bin/env bash
# The batch route of docs/maps.md: a map split by data set, the pieces run by GNU parallel and
# the result files joined give the file of one run over the whole table.
# usage: parallel_route.sh POLYDEC SOURCE_DIR
set -euo pipefail
polydec=$1
src=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# 1,234 points: the last piece is a short one.
/usr/bin/python3 "$src/bench/map/make_map.py" 1234 scan.csv
"$polydec" map scan.csv --material iron --free "sig_xx sig_yy sig_xy d0" -o whole.csv
mkdir -p bin && ln -s "$(realpath "$polydec")" bin/polydec
PATH="$work/bin:$PATH" bash -euo pipefail -c "$(bash "$src/tests/map/extract_block.sh" "$src/docs/maps.md" parallel_route.sh)"
pieces=$(ls piece_*.csv | grep -vc results)
[ "$pieces" -eq 3 ] || { echo "expected 3 pieces, got $pieces"; exit 1; }
cmp whole.csv results.csv
echo "joined results of $pieces pieces equal the one-process run ($(($(wc -l < results.csv) - 1)) data sets)"
