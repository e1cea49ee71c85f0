#!/usr/bin/env bash
# The routes of docs/maps.md, run from the documentation's own blocks on a generated map:
#   parallel: the batch route (split by data set, GNU parallel, join) gives the file of one run
#             over the whole table;
#   plot:     the matplotlib snippet, with Debian's Python, writes a PNG picture.
# usage: doc_routes.sh parallel|plot POLYDEC SOURCE_DIR
set -euo pipefail
route=$1
polydec=$2
src=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# The block after "<!-- tested by tests/map/doc_routes.sh ROUTE -->".
block() {
  awk -v mark="<!-- tested by tests/map/doc_routes.sh $1:" '
    index($0, mark) == 1 { armed = 1; next }
    armed && /^```/ { if (inside) exit; inside = 1; next }
    inside { print }' "$src/docs/maps.md"
}
free="sig_xx sig_yy sig_xy d0"
case "$route" in
  parallel)
    # 1,234 points: three pieces of 500 data sets, the last a short one.
    /usr/bin/python3 "$src/bench/map/make_map.py" 1234 scan.csv
    "$polydec" map scan.csv --material iron --free "$free" -o whole.csv
    mkdir -p bin && ln -s "$(realpath "$polydec")" bin/polydec
    block parallel > route.sh
    [ -s route.sh ] || { echo "no batch route found in docs/maps.md"; exit 1; }
    PATH="$work/bin:$PATH" bash -euo pipefail route.sh
    pieces=$(ls piece_*.results.csv | wc -l)
    [ "$pieces" -eq 3 ] || { echo "expected 3 pieces, got $pieces"; exit 1; }
    cmp whole.csv results.csv
    echo "the joined results of $pieces pieces equal the one-process run"
    ;;
  plot)
    /usr/bin/python3 "$src/bench/map/make_map.py" 100 scan.csv
    "$polydec" map scan.csv --material iron --free "$free" -o results.csv
    block plot > plot.py
    [ -s plot.py ] || { echo "no plot snippet found in docs/maps.md"; exit 1; }
    MPLCONFIGDIR="$work/mpl" /usr/bin/python3 plot.py
    [ "$(head -c 8 sig_xx.png | od -An -tx1 | tr -d ' \n')" = "89504e470d0a1a0a" ] ||
      { echo "sig_xx.png is no PNG picture"; exit 1; }
    echo "the snippet wrote sig_xx.png ($(wc -c < sig_xx.png) bytes)"
    ;;
  *) echo "usage: doc_routes.sh parallel|plot POLYDEC SOURCE_DIR"; exit 2 ;;
esac
