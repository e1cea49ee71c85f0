#!/usr/bin/env bash
# Runs an installed polydec the way its users do: from a working folder of their own, with the
# programs, the Python module and the CMake package of the installation only.
#   installed_programs.sh prefix BUILD_DIR SOURCE_DIR
#       installs the build into a temporary prefix (cmake --install --strip) and checks it
#   installed_programs.sh system SOURCE_DIR
#       checks the installation in /usr (the Debian package; ./dev package-test)
# Every check that fails is reported; the exit status is 1 when any failed.
set -uo pipefail

mode=${1:?mode: prefix or system}
scratch=$(mktemp -d "${TMPDIR:-/tmp}/polydec_installed_$$.XXXXXX")
chmod 755 "$scratch"
trap 'rm -rf "$scratch"' EXIT
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# expect_match LABEL PATTERN COMMAND...: the command succeeds and its output matches PATTERN.
expect_match() {
  local label=$1 pattern=$2 out
  shift 2
  if ! out=$("$@" 2>&1); then
    fail "$label: exit status $?: $out"
  elif ! grep -qE -- "$pattern" <<<"$out"; then
    fail "$label: no line matches '$pattern' in:"$'\n'"$out"
  else
    echo "ok: $label"
  fi
}

case "$mode" in
  prefix)
    build=$(cd "${2:?build folder}" && pwd) source=$(cd "${3:?source folder}" && pwd)
    prefix="$scratch/prefix"
    if ! cmake --install "$build" --prefix "$prefix" --strip >"$scratch/install.log" 2>&1; then
      cat "$scratch/install.log" >&2
      exit 1
    fi
    python_dir=$(find "$prefix/lib" -type d -name polydec -path '*-packages/*' | head -1)
    python_path=$(dirname "$python_dir")
    version=$(sed -n 's/^#define POLYDEC_VERSION "\(.*\)"$/\1/p' "$build/generated/polydec_version.h")
    man_page=(man -l "$prefix/share/man/man1/polydec.1")
    ;;
  system)
    source=$(cd "${2:?source folder}" && pwd)
    prefix=/usr
    python_path=
    version=$(dpkg-query -W -f='${Version}' polydec)
    man_page=(man polydec)
    ;;
  *)
    echo "usage: $0 prefix BUILD_DIR SOURCE_DIR | system SOURCE_DIR" >&2
    exit 2
    ;;
esac

share="$prefix/share/polydec"
# A user elsewhere: a home and XDG folders of this run, a working folder outside the build tree,
# the installation's programs first on the PATH and nothing of the build tree on any path.
export HOME="$scratch/home"
unset XDG_CONFIG_HOME XDG_DATA_HOME
export PATH="$prefix/bin:/usr/bin:/bin"
export PYTHONPATH="$python_path"
export QT_QPA_PLATFORM=offscreen
mkdir -p "$HOME" "$scratch/work"
cd "$scratch/work" || exit 1

snapshot() {
  find "$prefix/bin" "$share" -type f \( -name 'polydec*' -o -path "$share/*" \) -print0 |
    sort -z | xargs -0 md5sum
}
before=$(snapshot)

expect_match "polydec --version" "^polydec ${version//+/\\+}\$" polydec --version
expect_match "polydec-gui --version" "^polydec-gui ${version//+/\\+}\$" polydec-gui --version
expect_match "the installed database is read" "^$share/pfcryst.dat \(installed\)\$" \
  polydec materials --where
expect_match "DEC of iron 211 (Kroener)" '^2 1 1 +1\.17004 +-1\.262887 +5\.715444$' \
  polydec dec --material iron --hkl "2 1 1" --model kroener
expect_match "worksheet of the examples" '^1 +249\.90 +80\.06 ' \
  polydec worksheet "$share/examples/ferrite_211_stress.tsd" --calc-dec --calc-stress
expect_match "texture example with an installed random set" '^' \
  polydec grains write "$share/examples/rolling_cubic.odf" --random 228 -o rolling.wts
[ -s rolling.wts ] || fail "grains write left no rolling.wts"
expect_match "polydec-gui --help names the installed files" \
  "material database +$share/pfcryst.dat \(installed\)" polydec-gui --help
expect_match "polydec-gui --help names the user's settings" \
  "settings +$HOME/.config/polydec/polydec.ini" polydec-gui --help
expect_match "manual page with the subcommands" 'polydec odf write' \
  env MANWIDTH=100 "${man_page[@]}"
expect_match "manual page of the window" 'Qyxo' \
  env MANWIDTH=100 man -l "$prefix/share/man/man1/polydec-gui.1"
if MANWIDTH=100 man -l "$prefix/share/man/man1/polydec-gui.1" 2>&1 | grep -q "This run uses"; then
  fail "the manual page of the window names the files of the run that made it"
fi
[ -f "$prefix/share/applications/polydec.desktop" ] || fail "no desktop entry"
[ -f "$prefix/share/icons/hicolor/scalable/apps/polydec.svg" ] || fail "no icon"

expect_match "import polydec" "^${version//+/\\+} $share/pfcryst.dat installed -1\.26289 5\.71544\$" \
  /usr/bin/python3 -c "
import polydec
path, origin = polydec.database_location()
d = polydec.dec('iron', (2, 1, 1), model='kroener')
print(polydec.__version__, path, origin, '%.5f %.5f' % (d.s1, d.half_s2))"

# The user's copy of the database (as the window's "Add to Database" makes it) is read by every
# front end from then on.
mkdir -p "$HOME/.local/share/polydec"
{
  cat "$share/pfcryst.dat"
  printf '\r\n'
  sed -n '/^#NAME "iron"/,/^\r\?$/p' "$share/pfcryst.dat" | sed 's/^#NAME "iron"/#NAME "my iron"/'
} >"$HOME/.local/share/polydec/pfcryst.dat"
user_db="$HOME/.local/share/polydec/pfcryst.dat"
expect_match "the user's copy is read" "^$user_db \(the user's copy\)\$" polydec materials --where
expect_match "a material of the user's copy" '^2 1 1 +1\.17004 +-1\.262887 +5\.715444$' \
  polydec dec --material "my iron" --hkl "2 1 1" --model kroener
expect_match "Python reads the user's copy" "^$user_db the user's copy\$" \
  /usr/bin/python3 -c "import polydec; print(*polydec.database_location()); polydec.material('my iron')"

# Another C++ program built against the installed package config.
if cmake -S "$source/tests/install/consumer" -B "$scratch/consumer" -G Ninja \
     -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release >"$scratch/consumer.log" 2>&1 &&
   cmake --build "$scratch/consumer" >>"$scratch/consumer.log" 2>&1; then
  expect_match "C++ program on find_package(polydec)" '^s1 -1\.26289 half_s2 5\.71544$' \
    "$scratch/consumer/consumer" "$share/pfcryst.dat"
else
  fail "C++ program on find_package(polydec) did not build:"$'\n'"$(cat "$scratch/consumer.log")"
fi

[ "$(snapshot)" = "$before" ] || fail "the installation changed while it ran"
if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "the installed programs work from $scratch/work"
