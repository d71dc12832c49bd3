#!/usr/bin/env bash
# The multi-process run against one sequential run over the same tiles, and the peak memory of
# the launcher itself (its children are measured apart from it).
#
#   bash bench/multi_process.sh [build_dir] [points_per_tile] [tiles] [cores]
#
# Prints the load average before each run: the speed-up means something only on a quiet machine.
set -euo pipefail
build=$(realpath "${1:-build/release}")
points=${2:-2000000}
tiles=${3:-8}
cores=${4:-2}
tool="$build/app/contourmill"
generator="$build/tools/cm_lasgen"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

for k in $(seq 1 "$tiles"); do
  "$generator" --surface sample --points "$points" --size 2000 --seed "$k" --order scan --out "tile_$k.las" > /dev/null
done
files=(tile_*.las)
options=(-iso_every 1 -simplify 0.5)
mkdir sequential parallel

load() { cut -d' ' -f1-3 /proc/loadavg; }
now() { date +%s.%N; }

echo "load before the sequential run: $(load)"
start=$(now)
"$tool" -i "${files[@]}" "${options[@]}" -odir sequential
sequential=$(awk -v a="$(now)" -v b="$start" 'BEGIN {print a - b}')

echo "load before the run on $cores cores: $(load)"
start=$(now)
"$tool" -i "${files[@]}" "${options[@]}" -odir parallel -cores "$cores" &
launcher=$!
peak=0
# VmHWM is the launcher's own peak resident size; the children have their own.
while [ -r "/proc/$launcher/status" ]; do
  hwm=$(awk '/^VmHWM:/ {print $2}' "/proc/$launcher/status" 2> /dev/null || true)
  [ -n "$hwm" ] && [ "$hwm" -gt "$peak" ] && peak=$hwm
  sleep 0.05
done
wait "$launcher"
parallel=$(awk -v a="$(now)" -v b="$start" 'BEGIN {print a - b}')

for f in sequential/*; do cmp "$f" "parallel/${f#sequential/}"; done
printf '%d tiles of %d points: sequential %.2f s, -cores %d %.2f s, speed-up %.2fx; launcher peak %d KB\n' \
  "$tiles" "$points" "$sequential" "$cores" "$parallel" "$(awk -v a="$sequential" -v b="$parallel" 'BEGIN {print a / b}')" "$peak"
echo "outputs byte-identical: $(ls sequential | wc -l) files"
