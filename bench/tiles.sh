#!/bin/bash
# A tiled survey against the same area in one piece: a generated airborne-like terrain of
# POINTS points over SIZE metres, cut into a 3 by 3 tiling, every tile contoured with a buffer of
# its neighbours and trimmed to its square; then the untiled file. Prints the wall times.
#
#   bash bench/tiles.sh [POINTS] [SIZE] [CORES]      (defaults 9000000 3000 1; build/release)
set -euo pipefail
points=${1:-9000000}
size=${2:-3000}
cores=${3:-1}
bin=${BIN:-build/release}
work=$(mktemp -d /tmp/cm_tiles.XXXXXX)
trap 'rm -rf "$work"' EXIT
gen="$PWD/$bin/tools/cm_lasgen"
cm="$PWD/$bin/app/contourmill"
index="$PWD/$bin/tools/cm_laxindex"
tile=$((size / 3))
cd "$work"
"$gen" --surface sample --points "$points" --size "$size" --out all.las >/dev/null
for i in 0 1 2; do
  for j in 0 1 2; do
    x=$((500000 + i * tile))
    y=$((4000000 + j * tile))
    "$gen" --surface sample --points "$points" --size "$size" --clip $x $y $((x + tile)) $((y + tile)) \
      --out "t_${i}_${j}.las" >/dev/null
  done
done
"$index" t_*.las
cores_option=()
[ "$cores" -gt 1 ] && cores_option=(-cores "$cores")
start=$(date +%s.%N)
"$cm" -i t_*.las -buffered 30 -trim_to_tile "$tile" -iso_every 1 "${cores_option[@]}" 2>/dev/null
tiled=$(echo "$(date +%s.%N) - $start" | bc)
start=$(date +%s.%N)
"$cm" -i all.las -iso_every 1 2>/dev/null
whole=$(echo "$(date +%s.%N) - $start" | bc)
echo "points $points size $size cores $cores: 3x3 tiles with -buffered 30 ${tiled}s, untiled ${whole}s"
