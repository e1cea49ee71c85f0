#!/usr/bin/env bash
# The speed of `polydec map` against a numpy script doing the same fit, both timed as whole
# processes by bench/whole_process.py (paired runs), and the peak memory and time per point of a map of 100,000 points.
# usage: bench/map/run.sh [BUILD_DIR] [--small]   (--small: the 2,000-point comparison only)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=$(cd "${1:-$here/../../build}" && pwd)
polydec=$build/bin/polydec
work=${TMPDIR:-/tmp}/polydec_map_bench
mkdir -p "$work"
cd "$work"

# The DECs the numpy script takes as constants, from polydec itself (Kroener, iron 211).
read -r s1 hs2 < <("$polydec" dec --material iron --hkl "2 1 1" --model kroener --json |
  /usr/bin/python3 -c 'import json, sys; r = json.load(sys.stdin)["rows"][0]; print(repr(r["s1"]), repr(r["half_s2"]))')
free="sig_xx sig_yy sig_xy d0"

/usr/bin/python3 "$here/make_map.py" 2000 map2000.csv "$s1" "$hs2"
echo "== 2,000 points ($(($(wc -l < map2000.csv) - 1)) rows): A = polydec map, B = numpy"
/usr/bin/python3 "$here/../whole_process.py" -n 11 --vs "/usr/bin/python3 $here/numpy_map.py map2000.csv $s1 $hs2 numpy2000.csv" \
  -- "$polydec" map map2000.csv --material iron --free "$free" -o polydec2000.csv | tee timing2000.txt
/usr/bin/python3 - "$work" <<'PY'
import csv, sys
work = sys.argv[1]
def rows(name):
    with open(f"{work}/{name}") as f:
        return {r["label"]: r for r in csv.DictReader(f)}
ours, theirs = rows("polydec2000.csv"), rows("numpy2000.csv")
assert ours.keys() == theirs.keys() and all(r["status"] == "ok" for r in ours.values())
diff = max(abs(float(ours[k][c]) - float(theirs[k][c]))
           for k in ours for c in ("sig_xx", "sig_yy", "sig_xy"))
wall = [l for l in open(f"{work}/timing2000.txt") if l.startswith("A/B wall")][0].split()
print(f"max |polydec - numpy| over sig_xx, sig_yy, sig_xy: {diff:.2e} MPa (limit 0.05)")
print(f"numpy / polydec, whole process wall time (median of pairs): {1 / float(wall[3]):.2f}")
a = [l for l in open(f"{work}/timing2000.txt") if l.startswith("A wall s")][0].split()
open(f"{work}/per_point_2000.txt", "w").write(str(float(a[4]) / 2000))
sys.exit(0 if diff <= 0.05 else 1)
PY
[ "${2:-}" = "--small" ] && exit 0

/usr/bin/python3 "$here/make_map.py" 100000 map100k.csv "$s1" "$hs2"
echo "== 100,000 points ($(($(wc -l < map100k.csv) - 1)) rows, $(du -m map100k.csv | cut -f1) MB)"
/usr/bin/python3 "$here/../whole_process.py" -n 3 --warmup 0 \
  -- "$polydec" map map100k.csv --material iron --free "$free" -o polydec100k.csv | tee timing100k.txt
/usr/bin/python3 - "$work" <<'PY'
import sys
work = sys.argv[1]
lines = open(f"{work}/timing100k.txt").read().splitlines()
wall = float([l for l in lines if l.startswith("A wall s")][0].split()[4])
peak = float([l for l in lines if l.startswith("A peak MiB")][0].split()[4])
small = float(open(f"{work}/per_point_2000.txt").read())
print(f"100,000 points: {wall:.2f} s, {wall / 1e5 * 1e6:.1f} us per point "
      f"(2,000 points: {small * 1e6:.1f} us per point), peak memory {peak:.1f} MiB (limit 300)")
sys.exit(0 if peak < 300 and wall / 1e5 <= small * 1.05 else 1)
PY
