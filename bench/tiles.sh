#!/bin/bash
# A tiled survey against the same area in one piece: a generated airborne-like terrain of
# POINTS points over SIZE metres, cut into a 3 by 3 tiling, every tile contoured with a buffer of
# its neighbours and trimmed to its square; then the untiled file. Prints the wall and CPU times.
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
# Wall and CPU seconds (user + system, children included): on a shared machine the CPU time
# tells the work apart from the waiting.
TIMEFORMAT='%R %U %S'
measure() {
  { time "$@" >/dev/null 2>&1; } 2>&1 | awk '{ printf "%.2fs wall, %.2fs cpu", $1, $2 + $3 }'
}
tiled=$(measure "$cm" -i t_*.las -buffered 30 -trim_to_tile "$tile" -iso_every 1 "${cores_option[@]}")
whole=$(measure "$cm" -i all.las -iso_every 1)
echo "points $points size $size cores $cores: 3x3 tiles with -buffered 30: $tiled; untiled: $whole"
