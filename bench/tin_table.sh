#!/usr/bin/env bash
# The TIN's table of rates: every benchmark of tin_bench in a process of its own (so peak memory
# is its own), each run REPEATS times keeping the best rate, which is the least disturbed by other
# work on a shared machine. Prints points per CPU second for our sorted insertion, our arrival
# order and CGAL, the ratios of ours to CGAL's, and the peak bytes per point of each process.
#
#   bash bench/tin_table.sh [REPEATS] [SIZES...]     (default 3 repeats, 1000000 4000000 16000000)
#   TIN_BENCH=path/to/tin_bench bash bench/tin_table.sh ...   (another build; default build/bench)
set -euo pipefail
cd "$(dirname "$0")/.."
repeats=${1:-3}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1000000 4000000 16000000)
bench=${TIN_BENCH:-build/bench/bench/tin_bench}
if [ -z "${TIN_BENCH:-}" ]; then
  cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DCONTOURMILL_TESTS=OFF >/dev/null
  cmake --build build/bench --target tin_bench >/dev/null
fi

best() {  # benchmark name -> "rate peak" of the best of $repeats runs
  local top=0 peak=0
  for _ in $(seq "$repeats"); do
    local line
    line=$("$bench" --benchmark_filter="^$1\$" 2>/dev/null | grep "^$1 ") || { echo "- -"; return; }
    local rate bytes
    rate=$(sed -E 's/.*items_per_second=([0-9.]+)([kMG]?)\/s.*/\1 \2/' <<<"$line" |
           awk '{m = $2 == "k" ? 1e3 : $2 == "M" ? 1e6 : $2 == "G" ? 1e9 : 1; printf "%.0f", $1 * m}')
    bytes=$(sed -E 's/.*peak_B_per_pt=([0-9.]+).*/\1/' <<<"$line")
    if [ "$rate" -gt "$top" ]; then top=$rate; peak=$bytes; fi
  done
  echo "$top $peak"
}

printf "%-16s %9s | %7s %7s %7s | %6s %6s | %s\n" kind points sorted arrival cgal s/cgal a/cgal "peak B/pt (sorted arrival cgal)"
for kind in Airborne AirborneStrips Uniform; do
  for n in "${sizes[@]}"; do
    read -r s sp < <(best "BM_Sorted$kind/$n")
    read -r a ap < <(best "BM_Arrival$kind/$n")
    read -r c cp < <(best "BM_Cgal$kind/$n")
    python3 - "$kind" "$n" "$s" "$a" "$c" "$sp" "$ap" "$cp" <<'PY'
import sys
kind, n, s, a, c, sp, ap, cp = sys.argv[1:]
m = lambda v: f"{int(v) / 1e6:6.2f}M" if v != "-" else "      -"
r = lambda x: f"{int(x) / int(c):6.2f}" if c != "-" and x != "-" else "     -"
print(f"{kind:16s} {int(n):9d} | {m(s)} {m(a)} {m(c)} | {r(s)} {r(a)} | {sp} {ap} {cp}")
PY
  done
done
