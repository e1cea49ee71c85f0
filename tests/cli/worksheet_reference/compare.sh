#!/usr/bin/env bash
# Runs `polydec worksheet` of two builds on the same cases and reports every difference in what
# they print (stdout, stderr, exit status) and in the worksheet files they write with -o.
#   tests/cli/worksheet_reference/compare.sh REFERENCE_BINARY NEW_BINARY
set -uo pipefail
ref=$(realpath "$1") new=$(realpath "$2")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
src=$(cd "$here/../../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$here/make_sheets.py" "$work"
cp "$src/examples/ferrite_211_stress.tsd" "$work/ferrite.tsd"
g++ -std=c++20 -O1 -I"$src/src" -I"$src/tests" -x c++ - -o "$work/gen" <<'CPP'
#include <fstream>
#include "texture/odf_fixtures.h"
int main(int, char** argv) {
  using namespace polydec;
  std::ofstream(argv[1], std::ios::binary)
      << texture_test::MtexText(texture_test::CubicOrthTexture, 90, 90, 90, "\r\n");
}
CPP
"$work/gen" "$work/orth.txt"

cases=()
for m in voigt mvoigt reuss hill kroener inverse-kroener; do
  cases+=("ferrite.tsd --calc-dec --calc-stress --model $m")
  cases+=("ferrite.tsd --calc-dec --calc-stress --model $m --notation s1 --json")
  cases+=("textured.tsd --calc-dec --model $m --odf orth.txt --json")
done
cases+=(
  "ferrite.tsd --json"
  "ferrite.tsd --calc-stress"
  "ferrite.tsd --calc-stress --calc-dec"
  "ferrite.tsd --calc-dec --calc-stress --free sig_xx"
  "ferrite.tsd --calc-dec --calc-stress --free 'sig_xx sig_yy sig_zz sig_yz sig_xz sig_xy d0' --json"
  "ferrite.tsd --calc-dec --calc-stress --free 'sig_xx sig_yy sig_xy'"
  "ferrite.tsd --calc-dec --calc-stress --free ''"
  "ferrite.tsd --calc-dec --calc-stress --free 'sig_xx bogus'"
  "ferrite.tsd --calc-dec --calc-stress --grain-shape '2 1 1'"
  "ferrite.tsd --calc-dec --calc-stress --grain-shape '1 1 -1'"
  "ferrite.tsd --calc-dec --intervals 1 --json"
  "ferrite.tsd --calc-dec --intervals 3 --model hill"
  "ferrite.tsd --calc-dec --calc-stress -o out.tsd"
  "ferrite.tsd --calc-dec --notation s1 --calc-stress -o out.tsd"
  "ferrite.tsd --calc-dec --model nonsense"
  "ferrite.tsd --calc-strain"
  "ferrite.tsd --calc-dec --calc-stress --material nickel"
  "ferrite.tsd --calc-dec --calc-stress --material alpha-titanium --json"
  "textured.tsd --calc-dec --material alpha-titanium --odf orth.txt"
  "textured.tsd --calc-dec --material copper --odf orth.txt --json"
  "ferrite.tsd --calc-dec --calc-stress --symmetry hexagonal --cij 'C11=160 C12=90 C13=66 C33=181 C44=46' --cell '2.95 2.95 4.68 90 90 120'"
  "textured.tsd --calc-dec --calc-stress --odf orth.txt"
  "textured.tsd --calc-dec --odf orth.txt --notation s1"
  "textured.tsd --calc-dec --odf orth.txt --grain-shape '3 1 1' --intervals 4 --json"
  "textured.tsd --calc-dec --odf missing.txt"
  "textured.tsd --calc-dec --odf ferrite.tsd"
  "mixed.tsd --calc-dec --calc-stress --json"
  "mixed.tsd --calc-dec --calc-stress --notation s1"
  "mixed.tsd --calc-dec --calc-stress --odf orth.txt -o out.tsd"
  "d0fixed.tsd --calc-dec --calc-stress --json"
  "d0fixed.tsd --calc-dec --calc-stress --notation s1 -o out.tsd"
  "labels.tsd --calc-dec --calc-stress --json"
  "bad_hkl.tsd --calc-dec"
  "bad_code.tsd --calc-dec"
  "bad_code.tsd --calc-dec --notation s1"
  "zero_sd.tsd --calc-dec --calc-stress"
  "zero_d0.tsd --calc-dec --calc-stress"
  "bad_shape.tsd --calc-dec"
  "missing.tsd --calc-dec"
)

failures=0
for c in "${cases[@]}"; do
  for side in ref new; do
    bin=$ref; [ "$side" = new ] && bin=$new
    rm -f "$work/out.tsd"
    (cd "$work" && eval "\"$bin\" worksheet $c" >"$work/$side.out" 2>"$work/$side.err"; echo $? >"$work/$side.rc")
    if [ -f "$work/out.tsd" ]; then mv "$work/out.tsd" "$work/$side.tsd"; else rm -f "$work/$side.tsd"; fi
  done
  same=1
  for f in out err rc; do cmp -s "$work/ref.$f" "$work/new.$f" || same=0; done
  if [ -f "$work/ref.tsd" ] || [ -f "$work/new.tsd" ]; then
    cmp -s "$work/ref.tsd" "$work/new.tsd" 2>/dev/null || same=0
  fi
  if [ $same = 1 ]; then
    echo "same     $c (exit $(cat "$work/new.rc"))"
  else
    echo "DIFFERS  $c"
    diff <(cat "$work/ref.out" "$work/ref.err" "$work/ref.rc") \
         <(cat "$work/new.out" "$work/new.err" "$work/new.rc") | head -20
    failures=$((failures + 1))
  fi
done
echo "$failures of ${#cases[@]} cases differ"
[ $failures = 0 ]
