#!/usr/bin/env bash
# Times cdmg2csv against the lower bound on a full-capacity record of each
# mix of field shapes (see make_full_record): several runs of each, medians,
# and their ratio; then the phases in-process, what lies outside them, and
# the first touch of the sample pages alone.
# Usage: bench/run.sh [build folder] [runs]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
runs=${2:-31}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
echo out.csv >name.txt
echo >empty.txt
for mix in exponent fixed large; do
  "$build/bench/make_full_record" "$work" "$mix"
  "$build/cdmg2csv" <name.txt >/dev/null
  test "$(stat -c %s out.csv)" -eq $((33000 * 42))
  # In turn, one run of each per round: both meet the same load.
  medians=$("$build/bench/time_runs" "$runs" name.txt "$build/cdmg2csv" -- \
    empty.txt "$build/bench/lower_bound" out.csv)
  program=$(echo "$medians" | sed -n 1p)
  floor=$(echo "$medians" | sed -n 2p)
  echo "full capacity, $mix fields (3 x 4125 data records, 33000 rows), median of $runs paired runs:"
  echo "  cdmg2csv     ${program} ms"
  echo "  lower bound  ${floor} ms"
  awk -v p="$program" -v f="$floor" 'BEGIN {printf "  ratio        %.2f\n", p / f}'
  phases=$("$build/bench/phase_times" "$work" "$runs")
  echo "$phases"
  # What the warm phases leave of a fresh process's whole run: its start,
  # the first touches of its pages, and its end.
  echo "$phases" | awk -v p="$program" -v f="$floor" '$1 == "the" && $2 == "phases" {
    printf "%-12s %10.3f %10.3f %7.2f   (the whole run less the phases, in a fresh process)\n",
           "outside", p - $3, f - $4, (p - $3) / (f - $4) }'
done
# Part of "outside": the first touch of the sample pages, which the lower
# bound has none of.
"$build/bench/first_touch" "$runs"
