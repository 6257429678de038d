#!/usr/bin/env bash
# Counts the instructions of a full-capacity run of each mix of field shapes
# (see make_full_record) with callgrind, per phase: start-up, each component,
# and the table (with the end of the run). A phase begins where the run
# opens its next file: where the statement layer's opening starts (the
# frame's own is inlined into it).
# Usage: bench/instructions.sh [build folder]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
command -v valgrind >/dev/null || { echo "valgrind is needed" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
echo out.csv >name.txt
names=("start-up" "component 1" "component 2" "component 3" "table")
for mix in exponent fixed large; do
  "$build/bench/make_full_record" "$work" "$mix"
  rm -f "$work"/counts*
  valgrind --tool=callgrind --callgrind-out-file="$work/counts" --dump-before='cdmg::Io::open*' \
    "$build/cdmg2csv" <name.txt >/dev/null 2>"$work/log"
  test "$(stat -c %s out.csv)" -eq $((33000 * 42))
  # Dumps 1 to 4 end the phases before each opening; the last file holds the rest.
  files=("$work/counts.1" "$work/counts.2" "$work/counts.3" "$work/counts.4" "$work/counts")
  for f in "${files[@]}"; do
    test -f "$f" || { echo "no dump $f: the opening function was not found by its name" >&2; exit 1; }
  done
  total=0
  echo "$mix fields:"
  for k in 0 1 2 3 4; do
    n=$(awk '/^totals:/ {print $2}' "${files[$k]}")
    total=$((total + n))
    printf '  %-12s %12d\n' "${names[$k]}" "$n"
  done
  printf '  %-12s %12d\n' "whole run" "$total"
done
