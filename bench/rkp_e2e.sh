#!/usr/bin/env bash
# End to end on compressed input: contourmill on a compressed file against the same points read
# from an uncompressed LAS file (written by rkp_to_las), best wall time of several runs each.
#
#   bash bench/rkp_e2e.sh [FILE.rkp] [RUNS]      (default ../shared/data/ahn3-crop.rkp, 5 runs; not run in CI)
set -euo pipefail
cd "$(dirname "$0")/.."
rkp=${1:-../shared/data/ahn3-crop.rkp}
runs=${2:-5}
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release --target contourmill rkp_to_las >/dev/null
work="$(pwd)/build/bench-rkp"
mkdir -p "$work"
build/release/bench/rkp_to_las "$rkp" "$work/same.las"

best() {  # command...: the best wall time of $runs runs
  local best=
  for _ in $(seq "$runs"); do
    /usr/bin/time -f "%e" -o "$work/time.txt" "$@" >/dev/null 2>"$work/stderr.txt" || { cat "$work/stderr.txt"; exit 1; }
    t=$(cat "$work/time.txt")
    best=$(python3 -c "print(min(float('$t'), float('${best:-1e9}')))")
  done
  echo "$best"
}

args=(-owkt -o "$work/out.wkt" -iso_every 1)
t_rkp=$(best build/release/app/contourmill -i "$rkp" "${args[@]}")
cp "$work/out.wkt" "$work/rkp.wkt"
t_las=$(best build/release/app/contourmill -i "$work/same.las" "${args[@]}")
cmp -s "$work/out.wkt" "$work/rkp.wkt" && same="identical" || same="DIFFERENT"
python3 -c "print(f'compressed {float($t_rkp):.3f} s   LAS {float($t_las):.3f} s   ratio {float($t_rkp)/float($t_las):.2f}   contours $same')"
