#!/usr/bin/env bash
# Measures the page on a full-capacity record (make_full_record's fixed mix):
# its size raw and gzipped, the load time, convert() next to the console
# program, the analysis next to the native one, and the times from Convert
# to the drawn plots and from another damping to the spectra redrawn;
# medians of 21.
# Usage: bench/page.sh [page build folder] [native build folder]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
web=$(cd "${1:-build-web}" && pwd)
build=$(cd "${2:-build}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bench/make_full_record" "$work" fixed
echo out.csv >"$work/name.txt"
native=$(cd "$work" && "$build/bench/time_runs" 21 name.txt "$build/cdmg2csv")
node "$root/bench/page.mjs" "$web/cdmg2csv.html" "$work" "$native"
"$build/bench/analysis_bench" 21
