// Time of the terrain operations (concave hull carving, one smoothing pass, long-edge killing) on
// airborne-like TINs of 1 and 4 million points, next to the time of building the TIN, so each can
// be read as a share of the triangulation. Settings are the driver's defaults: concavity 50 m,
// kill 500 m. The tile has two bays on its border, which the carving eats away, and a lake.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "contour/terrain.h"
#include "tin/delaunay.h"
#include "tools/surfaces.h"

namespace {

constexpr float kConcavity = 50.0f;
constexpr float kKill = 500.0f;

// No returns from water: two bays reaching in from the border and a lake inside.
bool is_water(double x, double y, double side) {
  auto in_disc = [&](double cx, double cy, double r) { return std::hypot(x - cx, y - cy) < r * side; };
  return in_disc(0.5 * side, 0.0, 0.15) || in_disc(side, 0.6 * side, 0.1) ||
         in_disc(0.3 * side, 0.6 * side, 0.08);
}

// Scan lines 1 m apart flown back and forth, about 1 m point spacing along each line with a few
// centimetres of jitter, over the sample terrain, stored in flight order until n points are kept.
std::vector<float> airborne_with_water(uint32_t n) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> jitter(-0.05, 0.05);
  const uint32_t side = static_cast<uint32_t>(std::sqrt(1.1 * n));
  std::vector<float> xyz;
  xyz.reserve(3 * static_cast<size_t>(n));
  for (uint32_t i = 0; xyz.size() < 3 * static_cast<size_t>(n); i++) {
    const uint32_t line = i / side, k = i % side;
    const double x = (line % 2 ? side - 1 - k : k) + 0.5 + jitter(random);
    const double y = line + 0.5 + jitter(random);
    if (is_water(x, y, side)) continue;
    xyz.push_back(static_cast<float>(x));
    xyz.push_back(static_cast<float>(y));
    xyz.push_back(static_cast<float>(surface_z("sample", x, y, side) + jitter(random)));
  }
  return xyz;
}

// One TIN per benchmark, with a copy of its triangles to restore before each timed run of an
// operation that changes them.
struct Terrain {
  std::vector<float> points;
  TIN tin;
  std::vector<TINtriangle> pristine;

  explicit Terrain(uint32_t n) : points(airborne_with_water(n)) {
    triangulate();
    pristine.assign(tin.triangles(), tin.triangles() + tin.triangle_count());
  }
  uint32_t size() const { return static_cast<uint32_t>(points.size() / 3); }
  void triangulate() {
    tin.clean(size(), points.data(), 3);
    for (uint32_t v = 0; v < size(); v++) tin.add_point(v);
    tin.finish();
  }
  void restore() { std::memcpy(tin.triangles(), pristine.data(), pristine.size() * sizeof(TINtriangle)); }
};

void BM_Triangulate(benchmark::State& state) {
  Terrain terrain(static_cast<uint32_t>(state.range(0)));
  for (auto _ : state) {
    terrain.triangulate();
    benchmark::DoNotOptimize(terrain.tin.triangle_count());
  }
  state.SetItemsProcessed(state.iterations() * terrain.size());
}

void BM_CarveConcaveHull(benchmark::State& state) {
  Terrain terrain(static_cast<uint32_t>(state.range(0)));
  int32_t carved = 0;
  for (auto _ : state) {
    state.PauseTiming();
    terrain.restore();
    state.ResumeTiming();
    carve_concave_hull(
        TinView{terrain.tin.triangles(), terrain.tin.triangle_count(), terrain.points.data(), 3},
        kConcavity * kConcavity);
  }
  for (int32_t t = 0; t < terrain.tin.triangle_count(); t++) {
    carved += !tin_is_infinite(terrain.pristine[t]) && tin_is_infinite(terrain.tin.triangles()[t]);
  }
  state.counters["carved"] = carved;
  state.SetItemsProcessed(state.iterations() * terrain.size());
}

void BM_SmoothOnePass(benchmark::State& state) {
  Terrain terrain(static_cast<uint32_t>(state.range(0)));
  for (auto _ : state) {
    smooth_terrain(TinView{terrain.tin.triangles(), terrain.tin.triangle_count(), terrain.points.data(), 3},
                   1, false);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * terrain.size());
}

void BM_KillLongEdges(benchmark::State& state) {
  Terrain terrain(static_cast<uint32_t>(state.range(0)));
  int32_t killed = 0;
  for (auto _ : state) {
    state.PauseTiming();
    terrain.restore();
    state.ResumeTiming();
    killed = kill_long_edge_triangles(
        TinView{terrain.tin.triangles(), terrain.tin.triangle_count(), terrain.points.data(), 3},
        kKill * kKill);
  }
  state.counters["killed"] = killed;
  state.SetItemsProcessed(state.iterations() * terrain.size());
}

BENCHMARK(BM_Triangulate)->Arg(1000000)->Arg(4000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CarveConcaveHull)->Arg(1000000)->Arg(4000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SmoothOnePass)->Arg(1000000)->Arg(4000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KillLongEdges)->Arg(1000000)->Arg(4000000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
