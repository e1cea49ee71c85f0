#!/usr/bin/env bash
# Writes <name>.txt for every case of cases.txt (or only the named ones) from the given binary:
#   tests/cli/golden/capture.sh path/to/polydec [name...]
# Each file holds the exit status, standard output, standard error and the fit report (when the
# run wrote one), with the scratch folder written as DIR.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
bin=$1
shift
only=" $* "
grep -v '^#' "$here/cases.txt" | while read -r name args; do
  [ -n "$name" ] || continue
  [ "$only" = "  " ] || [[ "$only" == *" $name "* ]] || continue
  dir=$(mktemp -d)
  cp "$here/texture.txt" "$here/grains.wts" "$here/zero.wts" "$dir/"
  cp "$here/../../../examples/iron-kroener.dec" "$dir/iron.dec"
  # shellcheck disable=SC2086
  set +e
  "$bin" ${args//DIR/$dir} >"$dir/stdout" 2>"$dir/stderr" </dev/null
  status=$?
  set -e
  {
    echo "status $status"
    echo "--- stdout"
    cat "$dir/stdout"
    echo "--- stderr"
    cat "$dir/stderr"
    if [ -f "$dir/out.res" ]; then
      echo "--- report"
      cat "$dir/out.res"
    fi
  } | sed "s#$dir#DIR#g" >"$here/$name.txt"
  rm -rf "$dir"
done
