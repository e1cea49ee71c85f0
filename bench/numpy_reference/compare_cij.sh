#!/bin/bash
# `polydec cij --model voigt` on a full 5-degree MTEX table against the same average in
# vectorised numpy (np.loadtxt, then the rotated stiffness summed over the table's nodes):
# the best of five runs of each, whole processes, and their ratio.
# Usage: bench/numpy_reference/compare_cij.sh [BUILD_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 "$here/make_full_mtex.py" "$work/goss.txt"

best() {
  local best=""
  for _ in 1 2 3 4 5; do
    local start end t
    start=$(date +%s.%N)
    "$@" > /dev/null
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc -l)
    if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
  done
  echo "$best"
}

polydec=$(best "$build/bin/polydec" cij --material iron --model voigt --odf "$work/goss.txt" \
  --sample-symmetry triclinic)
numpy=$(best /usr/bin/python3 "$here/voigt_average.py" "$work/goss.txt" 237 141 116)
printf 'polydec cij --model voigt: %.3f s\nnumpy reference:           %.3f s\nratio:                     %.1f\n' \
  "$polydec" "$numpy" "$(echo "$numpy / $polydec" | bc -l)"
