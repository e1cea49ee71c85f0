#!/usr/bin/env bash
# Fails when an include runs against the layers: the engine (src/ but workbench) knows neither
# the window's workbench, the Qt front end nor the command line; the workbench knows no Qt and no
# front end; the command line never drives the workbench; the public headers (include/polydec)
# include only the standard library and each other, so that a program can use them alone.
set -u
root=${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
cd "$root" || exit 2
faults=0
report() {  # pattern, files..., message as the last argument
  local message=${*: -1} pattern=$1
  local hits
  hits=$(grep -nE "$pattern" "${@:2:$#-2}" 2>/dev/null)
  if [ -n "$hits" ]; then
    echo "layers: $message"
    echo "$hits" | sed 's/^/  /'
    faults=$((faults + 1))
  fi
}
engine=$(find src -name '*.h' -o -name '*.cpp' | grep -v '^src/workbench/')
workbench=$(find src/workbench -name '*.h' -o -name '*.cpp')
cli=$(find cli -name '*.h' -o -name '*.cpp')
public=$(find include/polydec -name '*.h')
# shellcheck disable=SC2086
report '#include *[<"](workbench|gui)/|#include *<Q[A-Za-z]|#include *"(common|material_options|slip_run)\.h"' $engine \
  "the engine includes the workbench, the window or the command line"
# shellcheck disable=SC2086
report '#include *[<"]gui/|#include *<Q[A-Za-z]' $workbench "the workbench includes Qt or the window"
# shellcheck disable=SC2086
report '#include *[<"](workbench|gui)/' $cli "the command line includes the workbench or the window"
# shellcheck disable=SC2086
report '#include *"(core|crystal|materials|models|texture|stress|fit|special|api|workbench)/' $public \
  "a public header includes an engine header"
if [ "$faults" -gt 0 ]; then exit 1; fi
echo "layers: every include keeps to its layer"
