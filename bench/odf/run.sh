#!/usr/bin/env bash
# The time `polydec odf info` takes on a reduced region (0..90 degrees, cubic crystal,
# orthorhombic sample: 6,859 nodes expanded by the symmetry operators) and on a full table
# (197,173 nodes, 21-digit values), each timed as a whole process (start-up included; median
# of 21 runs after a warm-up), beside the in-process load of bench_odf; and whether the budgets
# (50 ms and 0.1 s whole-process) hold. The exit status is 1 when one does not.
# usage: bench/odf/run.sh [BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
build=$(cd "${1:-$source_dir/build}" && pwd)
polydec=$build/bin/polydec
work=$(mktemp -d "${TMPDIR:-/tmp}/polydec_odf_bench_$$.XXXXXX")
trap 'rm -rf "$work"' EXIT

/usr/bin/python3 "$source_dir/tools/make_rolling_texture.py" > "$work/reduced.odf"
/usr/bin/python3 "$source_dir/bench/numpy_reference/make_full_mtex.py" "$work/full.odf"

status=0
# Wall and CPU seconds of the whole process (min, median, max) and the verdict on the median.
whole() {
  local name=$1 file=$2 budget=$3
  echo "== $name: $(grep -c "^[[:space:]]*[0-9]" "$file") nodes in the file, polydec odf info as a whole process"
  /usr/bin/python3 "$here/../whole_process.py" -n 21 -- "$polydec" odf info "$file" | tee "$work/$name.txt"
  /usr/bin/python3 - "$budget" "$work/$name.txt" <<'PY' || status=1
import sys
budget = float(sys.argv[1])
median = float([l for l in open(sys.argv[2]) if l.startswith("A wall s")][0].split()[4])
print(f"  median wall {median:.4f} s against the budget {budget} s: "
      + ("holds" if median < budget else "EXCEEDED"))
sys.exit(0 if median < budget else 1)
PY
}
whole reduced "$work/reduced.odf" 0.050
whole full "$work/full.odf" 0.100

echo "== in process (bench_odf, CPU time per load; CubicOrth90/2 is the first load of a process)"
"$build/bench/bench_odf" --benchmark_filter='BM_LoadODF' --benchmark_min_time=0.3
exit $status
