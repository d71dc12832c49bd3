// Contour tracing speed on a real triangulation of random points over a wavy surface.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "contour/contour_tracer.h"
#include "tin/delaunay.h"

namespace {

class CountingWriter : public LINEwriter {
 public:
  bool add_vertex(float, float, float) override {
    vertices++;
    return true;
  }
  bool add_segment(float, float, float, float, float, float) override { return true; }
  bool end_line() override {
    lines++;
    return true;
  }
  bool close() override { return true; }
  int64_t vertices = 0;
  int64_t lines = 0;
};

struct Terrain {
  std::vector<float> points;
  TIN tin;
};

Terrain& terrain(uint32_t n) {
  static Terrain t;  // built once per process: the triangulation is not what is measured
  if (t.points.size() == size_t{n} * 3) return t;
  std::mt19937 random(99);
  std::uniform_real_distribution<float> coordinate(0.0f, 1000.0f);
  t.points.clear();
  for (uint32_t i = 0; i < n; i++) {
    const float x = coordinate(random), y = coordinate(random);
    t.points.insert(t.points.end(), {x, y, 40.0f * std::sin(x * 0.013f) * std::cos(y * 0.017f) + 0.01f * x});
  }
  t.tin.clean(n, t.points.data(), 3);
  for (uint32_t v = 0; v < n; v++) t.tin.add_point(v);
  t.tin.finish();
  return t;
}

void BM_TraceContours(benchmark::State& state) {
  const uint32_t n = static_cast<uint32_t>(state.range(0));
  const int iso_count = static_cast<int>(state.range(1));
  Terrain& t = terrain(n);
  std::vector<float> iso;
  for (int i = 0; i < iso_count; i++)
    iso.push_back(-45.0f + 100.0f * static_cast<float>(i) / static_cast<float>(iso_count));
  ContourTracer tracer;
  CountingWriter writer;
  for (auto _ : state) {
    tracer.extract(ConstTinView{t.tin.triangles(), t.tin.triangle_count(), t.points.data(), 3}, iso, writer,
                   false);
    tracer.release_pools();
  }
  state.counters["triangles/s"] = benchmark::Counter(
      static_cast<double>(t.tin.triangle_count()) * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate);
  state.counters["vertices"] = static_cast<double>(writer.vertices) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_TraceContours)
    ->Args({500000, 10})
    ->Args({500000, 100})
    ->Args({500000, 1000})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
