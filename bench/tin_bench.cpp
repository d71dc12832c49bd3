// Points per second of the TIN for airborne-like and uniformly random point sets of 1, 4 and 16
// million points, and the peak resident size per point of the process so far (run one benchmark
// per process, e.g. --benchmark_filter='BM_SortedAirborne/16000000', for a clean figure).
//
//   BM_Sorted*   the default: Hilbert sort of the points (timed), then immediate insertion
//   BM_Arrival*  the points in the order they come, through the delay queue
//   BM_Cgal*     CGAL's Delaunay_triangulation_2 with range insertion, when CGAL is installed
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "tin/delaunay.h"
#include "tin/spatial_sort.h"

#ifdef CM_BENCH_WITH_CGAL
#include <CGAL/Delaunay_triangulation_2.h>
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#endif

namespace {

// splitmix64: fast and reproducible, so every run sees the same points.
struct Random {
  uint64_t state;
  uint64_t next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
};

// Scan lines 1 m apart flown back and forth, about 1 m point spacing along each line with a few
// centimetres of jitter, stored in flight order as x, y, z relative to the minimum.
std::vector<float> airborne(uint32_t n) {
  Random rng{1};
  const uint32_t per_line = static_cast<uint32_t>(std::sqrt(static_cast<double>(n)));
  std::vector<float> xyz;
  xyz.reserve(3 * static_cast<size_t>(n));
  for (uint32_t i = 0; i < n; i++) {
    const uint32_t line = i / per_line, k = i % per_line;
    const double along = (line % 2 ? per_line - 1 - k : k) + 0.5;
    xyz.push_back(static_cast<float>(along + 0.1 * (rng.uniform() - 0.5)));
    xyz.push_back(static_cast<float>(line + 0.5 + 0.1 * (rng.uniform() - 0.5)));
    xyz.push_back(static_cast<float>(100.0 + 5.0 * rng.uniform()));
  }
  return xyz;
}

// A real scanner's lines span its swath (about 700 m from 1000 m altitude), not the whole tile:
// a tile wider than the swath is covered by several strips, each flown along y with its scan
// lines across it, stored strip after strip in flight order.
std::vector<float> airborne_strips(uint32_t n) {
  constexpr uint32_t kSwath = 700;
  Random rng{3};
  const uint32_t side = static_cast<uint32_t>(std::sqrt(static_cast<double>(n)));
  std::vector<float> xyz;
  xyz.reserve(3 * static_cast<size_t>(n));
  for (uint32_t x0 = 0; x0 < side && xyz.size() < 3 * static_cast<size_t>(n); x0 += kSwath) {
    const uint32_t width = std::min(kSwath, side - x0);
    for (uint32_t line = 0; line < side && xyz.size() < 3 * static_cast<size_t>(n); line++) {
      const uint32_t y = (x0 / kSwath) % 2 ? side - 1 - line : line;  // strips flown both ways
      for (uint32_t k = 0; k < width; k++) {
        const double across = (line % 2 ? width - 1 - k : k) + 0.5;
        xyz.push_back(static_cast<float>(x0 + across + 0.1 * (rng.uniform() - 0.5)));
        xyz.push_back(static_cast<float>(y + 0.5 + 0.1 * (rng.uniform() - 0.5)));
        xyz.push_back(static_cast<float>(100.0 + 5.0 * rng.uniform()));
      }
    }
  }
  return xyz;
}

// The same area with the points in random order.
std::vector<float> uniform(uint32_t n) {
  Random rng{2};
  const double side = std::sqrt(static_cast<double>(n));
  std::vector<float> xyz;
  xyz.reserve(3 * static_cast<size_t>(n));
  for (uint32_t i = 0; i < n; i++) {
    xyz.push_back(static_cast<float>(side * rng.uniform()));
    xyz.push_back(static_cast<float>(side * rng.uniform()));
    xyz.push_back(static_cast<float>(100.0 + 5.0 * rng.uniform()));
  }
  return xyz;
}

double peak_bytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) * 1024.0;
}

using Generator = std::vector<float> (*)(uint32_t);

// Each round triangulates freshly generated points, so the sorted runs sort the input order
// every time; the generation is not timed. One copy of the points is alive, as in the program.
void run_tin(benchmark::State& state, Generator make, TINinsertion insertion) {
  const uint32_t n = static_cast<uint32_t>(state.range(0));
  TIN tin;
  int32_t triangles = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<float> xyz = make(n);
    state.ResumeTiming();
    if (insertion == TINinsertion::kImmediate) hilbert_sort(xyz, 3, 0, n);
    if (!tin.clean(n, xyz.data(), 3, insertion)) state.SkipWithError("clean failed");
    for (uint32_t i = 0; i < n; i++) tin.add_point(i);
    tin.finish();
    triangles = tin.triangle_count();
    benchmark::DoNotOptimize(triangles);
    state.PauseTiming();
    xyz = std::vector<float>();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * n);
  state.counters["peak_B_per_pt"] = peak_bytes() / n;
}

void BM_SortedAirborne(benchmark::State& state) {
  run_tin(state, airborne, TINinsertion::kImmediate);
}
void BM_SortedAirborneStrips(benchmark::State& state) {
  run_tin(state, airborne_strips, TINinsertion::kImmediate);
}
void BM_SortedUniform(benchmark::State& state) {
  run_tin(state, uniform, TINinsertion::kImmediate);
}
void BM_ArrivalAirborne(benchmark::State& state) {
  run_tin(state, airborne, TINinsertion::kDelayed);
}
void BM_ArrivalAirborneStrips(benchmark::State& state) {
  run_tin(state, airborne_strips, TINinsertion::kDelayed);
}
void BM_ArrivalUniform(benchmark::State& state) {
  run_tin(state, uniform, TINinsertion::kDelayed);
}

#ifdef CM_BENCH_WITH_CGAL
using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
using Delaunay = CGAL::Delaunay_triangulation_2<Kernel>;

void run_cgal(benchmark::State& state, const std::vector<float>& xyz) {
  std::vector<Kernel::Point_2> points;
  points.reserve(xyz.size() / 3);
  for (size_t i = 0; i < xyz.size(); i += 3) points.emplace_back(xyz[i], xyz[i + 1]);
  for (auto _ : state) {
    Delaunay tri;
    tri.insert(points.begin(), points.end());  // sorts spatially first
    benchmark::DoNotOptimize(tri.number_of_faces());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(points.size()));
  state.counters["peak_B_per_pt"] = peak_bytes() / static_cast<double>(points.size());
}

void BM_CgalAirborne(benchmark::State& state) {
  run_cgal(state, airborne(static_cast<uint32_t>(state.range(0))));
}
void BM_CgalAirborneStrips(benchmark::State& state) {
  run_cgal(state, airborne_strips(static_cast<uint32_t>(state.range(0))));
}
void BM_CgalUniform(benchmark::State& state) {
  run_cgal(state, uniform(static_cast<uint32_t>(state.range(0))));
}
BENCHMARK(BM_CgalAirborne)->Arg(1000000)->Arg(4000000)->Arg(16000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CgalAirborneStrips)->Arg(1000000)->Arg(4000000)->Arg(16000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CgalUniform)->Arg(1000000)->Arg(4000000)->Arg(16000000)->Unit(benchmark::kMillisecond);
#endif

#define CM_TIN_SIZES ->Arg(1000000)->Arg(4000000)->Arg(16000000)->Unit(benchmark::kMillisecond)
BENCHMARK(BM_SortedAirborne) CM_TIN_SIZES;
BENCHMARK(BM_SortedAirborneStrips) CM_TIN_SIZES;
BENCHMARK(BM_SortedUniform) CM_TIN_SIZES;
BENCHMARK(BM_ArrivalAirborne) CM_TIN_SIZES;
BENCHMARK(BM_ArrivalAirborneStrips) CM_TIN_SIZES;
BENCHMARK(BM_ArrivalUniform) CM_TIN_SIZES;

}  // namespace

BENCHMARK_MAIN();
