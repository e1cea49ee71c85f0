# Prints the fenced code block that follows the line "<!-- tested by tests/map/NAME -->" in a
# Markdown file: the tests run the documentation's own commands, not a copy of them.
# usage: extract_block.sh FILE.md NAME
awk -v mark="tests/map/$2" '
  index($0, "<!-- tested by " mark) == 1 { armed = 1; next }
  armed && /^```/ { if (inside) exit; inside = 1; next }
  inside { print }' "$1"
