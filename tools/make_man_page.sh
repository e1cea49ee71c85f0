#!/usr/bin/env bash
# Writes the manual page of a program from its --help with help2man; with --subcommands the page
# also holds the help of every subcommand (and of their own subcommands), so that `man polydec`
# documents `polydec dec`, `polydec odf write` and the rest as the program prints them.
#   make_man_page.sh OUT VERSION PROGRAM "ONE-LINE DESCRIPTION" [--subcommands]
set -euo pipefail
out=$1 version=$2 program=$3 description=$4 with_subcommands=${5:-}
name=$(basename "$program")
include=$(mktemp "${TMPDIR:-/tmp}/polydec_man_${name}_$$.XXXXXX")
trap 'rm -f "$include"' EXIT

# The names listed under "Subcommands:" in a help text.
subcommands() {
  awk '/^Subcommands:/ { inside = 1; next }
       inside && /^[^ ]/ { inside = 0 }
       inside && /^  [a-z]/ { print $1 }'
}

# Help text as literal roff: backslashes escaped, no line taken for a request.
roff_literal() {
  sed -e 's/\\/\\e/g' -e "s/^\\([.']\\)/\\\\\\&\\1/"
}

section() {  # title, command words...
  local help
  help=$("$program" "${@:2}" --help)
  printf '.SS "%s"\n.nf\n' "$1"
  printf '%s\n' "$help" | roff_literal
  printf '.fi\n'
  if [ $# -eq 2 ]; then  # one level further: "odf write", "grains write", ...
    local sub
    for sub in $(printf '%s\n' "$help" | subcommands); do
      section "$1 $sub" "$2" "$sub"
    done
  fi
}

{
  cat <<'TEXT'
[FILES]
In a build tree the data files are beside the program. An installed program reads the
material database \fIpfcryst.dat\fR, the random orientation sets \fIrandom*.wts\fR and the
examples from \fI<prefix>/share/polydec\fR and never writes there. The window keeps its
settings \fIpolydec.ini\fR in \fI$XDG_CONFIG_HOME/polydec\fR (\fI~/.config/polydec\fR), and
"Add to Database" appends to the user's copy of the database in
\fI$XDG_DATA_HOME/polydec/pfcryst.dat\fR (\fI~/.local/share/polydec\fR), made from the shipped
database on the first addition; from then on every program reads that copy.
\fBpolydec materials \-\-where\fR prints the database that is read.
TEXT
  if [ "$with_subcommands" = "--subcommands" ]; then
    printf '[COMMANDS]\nEvery subcommand with its options, as \\fBpolydec COMMAND \\-\\-help\\fR prints them.\n'
    for sub in $("$program" --help | subcommands); do
      section "$name $sub" "$sub"
    done
  fi
  cat <<'TEXT'
[SEE ALSO]
TEXT
  if [ "$name" = polydec ]; then echo '.BR polydec-gui (1)'; else echo '.BR polydec (1)'; fi
} >"$include"

# help2man runs the program through a wrapper of the same name that leaves out what describes
# only this run (the files of the build tree: "This run uses:" up to the next blank line).
wrapper_dir=$(mktemp -d "${TMPDIR:-/tmp}/polydec_man_wrapper_$$.XXXXXX")
trap 'rm -f "$include"; rm -rf "$wrapper_dir"' EXIT
printf '#!/bin/sh\n"%s" "$@" | sed "/^This run uses:/,/^\$/d"\n' "$program" >"$wrapper_dir/$name"
chmod +x "$wrapper_dir/$name"

mkdir -p "$(dirname "$out")"
help2man --no-info --no-discard-stderr --section=1 --version-string="$version" \
  --name="$description" --include="$include" --output="$out.tmp" "$wrapper_dir/$name"
mv "$out.tmp" "$out"
