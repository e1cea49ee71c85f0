#!/usr/bin/env bash
# The plot snippet of docs/maps.md, run with Debian's Python on the results of a small map:
# it must write a PNG picture.
# usage: plot_snippet.sh POLYDEC SOURCE_DIR
set -euo pipefail
polydec=$1
src=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
/usr/bin/python3 "$src/bench/map/make_map.py" 100 scan.csv
"$polydec" map scan.csv --material iron --free "sig_xx sig_yy sig_xy d0" -o results.csv
bash "$src/tests/map/extract_block.sh" "$src/docs/maps.md" plot_snippet.sh > plot.py
[ -s plot.py ] || { echo "no plot snippet found in docs/maps.md"; exit 1; }
MPLCONFIGDIR="$work/mpl" /usr/bin/python3 plot.py
[ "$(head -c 8 sig_xx.png | od -An -tx1 | tr -d ' \n')" = "89504e470d0a1a0a" ] ||
  { echo "sig_xx.png is no PNG picture"; exit 1; }
echo "the snippet wrote sig_xx.png ($(wc -c < sig_xx.png) bytes)"
