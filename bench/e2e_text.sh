#!/usr/bin/env bash
# End to end: the same airborne-like tile as LAS and as "x,y,z" text (plain, gzip, zip), contoured
# with the same scale and offset. Reports CPU seconds (user + system), wall seconds and peak memory
# of each run, and the ratio of each text run's CPU time to the LAS run's.
#
#   bash bench/e2e_text.sh [POINTS]      (default 4000000 points; not run in CI)
set -euo pipefail
cd "$(dirname "$0")/.."
points=${1:-4000000}
size=$(python3 -c "import math; print(int(round(math.sqrt($points))))")

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release --target contourmill cm_lasgen >/dev/null
work="$(pwd)/build/bench-e2e-text"
rm -rf "$work"
mkdir -p "$work"
build/release/tools/cm_lasgen --surface sample --points "$points" --size "$size" --out "$work/tile.las" \
  --csv "$work/tile.csv"
gzip -k "$work/tile.csv"
(cd "$work" && zip -q tile.zip tile.csv)
quantization=(-rescale 0.01 0.01 0.01 -reoffset 500000 4000000 0)

las_cpu=""
measure() {  # label, input arguments...
  local label=$1; shift
  /usr/bin/time -f "%e %U %S %M" -o "$work/time.txt" build/release/app/contourmill "$@" "${quantization[@]}" \
    -owkt -iso_every 1 -o "$work/out.wkt" >/dev/null 2>"$work/stderr.txt" || { cat "$work/stderr.txt"; exit 1; }
  read -r wall user sys kb < "$work/time.txt"
  local cpu
  cpu=$(python3 -c "print(f'{$user + $sys:.2f}')")
  [ -z "$las_cpu" ] && las_cpu=$cpu
  python3 -c "print(f'{\"$label\":28s} cpu {float($cpu):6.2f} s   wall {float($wall):6.2f} s   peak {int($kb)/1024:7.1f} MiB   x{float($cpu)/float($las_cpu):.2f} of LAS')"
  md5sum < "$work/out.wkt" | cut -c1-12 >> "$work/digests.txt"
}

echo "tile: $points points"
measure "LAS" -i "$work/tile.las"
measure "text" -i "$work/tile.csv" -iparse xyz -iskip 1
measure "text, gzip" -i "$work/tile.csv.gz" -iparse xyz -iskip 1
measure "text, zip" -i "$work/tile.zip" -iparse xyz -iskip 1
if [ "$(sort -u "$work/digests.txt" | wc -l)" = 1 ]; then
  echo "all four runs wrote the same contours"
else
  echo "ERROR: the runs wrote different contours"
  exit 1
fi
