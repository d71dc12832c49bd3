#!/usr/bin/env bash
# End-to-end measurement on a generated airborne-like tile: contourmill's wall time and peak memory
# for WKT and Shapefile output (and WKT with the points in arrival order), and the route through
# GDAL a user would otherwise take for the same contours from the same points (gdal_grid -a linear
# onto a 1 m grid, then gdal_contour -i 1), with the ratio of the two routes' wall times.
#
#   bash bench/e2e.sh [POINTS] [--no-gdal]      (default 4000000 points; not run in CI)
set -euo pipefail
cd "$(dirname "$0")/.."
points=${1:-4000000}
gdal=1
[ "${2:-}" = "--no-gdal" ] && gdal=0
size=$(python3 -c "import math; print(int(round(math.sqrt($points))))")

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release --target contourmill cm_lasgen >/dev/null
work="$(pwd)/build/bench-e2e"
mkdir -p "$work"
tile="$work/tile.las"
csv_arg=()
[ $gdal = 1 ] && csv_arg=(--csv "$work/tile.csv")
build/release/tools/cm_lasgen --surface sample --points "$points" --size "$size" --out "$tile" "${csv_arg[@]}"

declare -A walls
measure() {  # label, command...
  local label=$1; shift
  /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" >/dev/null 2>"$work/stderr.txt" || { cat "$work/stderr.txt"; exit 1; }
  read -r wall kb < "$work/time.txt"
  walls[$label]=$wall
  python3 -c "print(f'{\"$label\":34s} wall {float($wall):7.2f} s   peak {int($kb)/1024:8.1f} MiB   {int($kb)*1024/$points:6.1f} bytes/point')"
}

echo "tile: $points points, ${size} m x ${size} m, 1 point per square metre"
measure "contourmill -owkt -iso_every 1" build/release/app/contourmill -i "$tile" -owkt -iso_every 1
measure "contourmill (shp) -iso_every 1" build/release/app/contourmill -i "$tile" -iso_every 1
measure "contourmill -owkt -arrival_order" build/release/app/contourmill -i "$tile" -owkt -iso_every 1 -arrival_order
if [ $gdal = 1 ] && command -v gdal_grid >/dev/null; then
  cat > "$work/tile.vrt" <<VRT
<OGRVRTDataSource><OGRVRTLayer name="tile"><SrcDataSource>tile.csv</SrcDataSource>
<GeometryType>wkbPoint</GeometryType><GeometryField encoding="PointFromColumns" x="x" y="y" z="z"/>
</OGRVRTLayer></OGRVRTDataSource>
VRT
  pushd "$work" >/dev/null
  measure "gdal_grid -a linear (1 m grid)" gdal_grid -q -a linear -zfield z -l tile \
     -txe 500000 $((500000 + size)) -tye 4000000 $((4000000 + size)) -outsize "$size" "$size" -ot Float32 tile.vrt grid.tif
  rm -f gdal_contours.*
  measure "gdal_contour -i 1" gdal_contour -q -i 1 -a elev grid.tif gdal_contours.shp
  popd >/dev/null
  python3 -c "print(f'GDAL route / contourmill -owkt: {(${walls[gdal_grid -a linear (1 m grid)]} + ${walls[gdal_contour -i 1]}) / ${walls[contourmill -owkt -iso_every 1]}:.1f}x')"
fi
