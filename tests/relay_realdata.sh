#!/usr/bin/env bash
# Re-lays real public records into the three-file, 32-header-record layout.
# Usage: relay_realdata.sh REALDATA-FOLDER OUT-FOLDER
# Makes OUT/smc, OUT/v2, OUT/v2_trailer and OUT/v2_ctrlz, each with the three
# component files; nothing is copied into the project.
set -euo pipefail
data=$1
out=$2
names=(WKZ-base-N022.txt WKZ-base-N292.txt WKZ-base-UP.txt)

# USGS SMC: 27 text, integer and real header lines, 8 comment lines, data.
# Header records are lines 1-27 and the first five comment lines.
mkdir -p "$out/smc"
smc=("$data/smc_loma_prieta_1989_SF_1295_Shafter/0111a.smc"
     "$data/smc_loma_prieta_1989_SF_1295_Shafter/0111c.smc"
     "$data/smc_loma_prieta_1989_SF_1295_Shafter/0111b.smc")
for k in 0 1 2; do
  { head -n 32 "${smc[$k]}"; tail -n +36 "${smc[$k]}"; } >"$out/smc/${names[$k]}"
done

# CSMIP V2: 45 header lines, the "POINTS OF ACCEL DATA" line, 407 data lines.
# Records 1-30 are header lines 1-30, record 31 the points line, record 32
# header line 31.
relay_v2() { # channel file, output
  local full="$2.full"
  gzip -dc "$1" >"$full"
  { sed -n '1,30p' "$full"; sed -n '46p' "$full"; sed -n '31p' "$full"; sed -n '47,$p' "$full"; } >"$2"
  rm -f "$full"
}
v2="$data/dmg_coalinga_1983_parkfield_fz14"
mkdir -p "$out/v2" "$out/v2_trailer" "$out/v2_ctrlz"
channels=(3 1 2) # 0 deg, 90 deg, up
for k in 0 1 2; do
  for variant in v2 v2_trailer v2_ctrlz; do
    relay_v2 "$v2/chan${channels[$k]}_header_and_accel.V2.gz" "$out/$variant/${names[$k]}"
  done
done
# The original file's tail after the third component: a data line, the "/&"
# trailer and Ctrl-Z padding; and the same without the trailer line.
cat "$v2/file_tail_with_ctrlz.bin" >>"$out/v2_trailer/${names[2]}"
{ head -c 22 "$v2/file_tail_with_ctrlz.bin"; tail -c 108 "$v2/file_tail_with_ctrlz.bin"; } >>"$out/v2_ctrlz/${names[2]}"
