#!/usr/bin/env bash
# The routes of docs/maps.md, run from the documentation's own blocks on a generated map:
#   parallel: the batch route (split by data set, GNU parallel, join) gives the file of one run
#             over the whole table;
#   plot:     the matplotlib snippet, with Debian's Python, writes a PNG picture;
#   dask:     the Python module's map over a local Dask cluster of two worker processes gives
#             the rows of one process.
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
  dask)
    # 250 points: three pieces over a local cluster of two worker processes; the module comes
    # from PYTHONPATH.
    /usr/bin/python3 "$src/bench/map/make_map.py" 250 scan.csv
    block dask > route.py
    [ -s route.py ] || { echo "no Dask route found in docs/maps.md"; exit 1; }
    /usr/bin/python3 route.py
    /usr/bin/python3 - <<'PY'
import pandas as pd
import polydec

whole = polydec.evaluate_map(pd.read_csv("scan.csv"), "iron", free="sig_xx sig_yy sig_xy d0")
whole.to_csv("whole.csv", index=False)
PY
    cmp whole.csv dask_results.csv
    echo "the cluster's results equal the one-process run ($(($(wc -l < whole.csv) - 1)) sets)"
    ;;
  *) echo "usage: doc_routes.sh parallel|plot|dask POLYDEC SOURCE_DIR"; exit 2 ;;
esac
