// What breaklines cost the triangulation: the same airborne-like points triangulated by the
// driver's steps without breaklines (Hilbert sort and the plain TIN) and with 200 breaklines of 100
// vertices each (counting the breakline file, then the constrained TIN with the breaklines first
// and the sorted points after them), both in every iteration, so a machine shared with other work
// slows both alike. Reported: the processor seconds of each per iteration (the benchmark's time is
// that of the constrained TIN) and constrained/plain. A ratio near 1 means constraining costs
// little beyond the points themselves.
//
//   BM_ConstrainedVsPlain/<points>/0   200 creek polylines
//   BM_ConstrainedVsPlain/<points>/1   100 creeks and 100 lake polygons (lake points dropped)
//
// Run with --benchmark_counters_tabular=true (and --benchmark_repetitions=3 for a spread).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "app/breaklines.h"
#include "app/contour_steps.h"
#include "app/driver_options.h"
#include "tin/ctin.h"
#include "tin/delaunay.h"
#include "tools/surfaces.h"

namespace {

constexpr int kBreaklines = 200;
constexpr int kVerticesPerBreakline = 100;
constexpr int kColumns = 10, kRows = 20;  // one breakline per cell of this grid over the tile
static_assert(kColumns * kRows == kBreaklines);

double side_of(uint32_t n) {
  return std::floor(std::sqrt(static_cast<double>(n)));
}

// Scan lines 1 m apart flown back and forth, about 1 m point spacing along each line with a few
// centimetres of jitter, over the sample terrain, in flight order.
std::vector<float> airborne(uint32_t n) {
  std::mt19937_64 random(11);
  std::uniform_real_distribution<double> jitter(-0.05, 0.05);
  const uint32_t side = static_cast<uint32_t>(side_of(n));
  std::vector<float> xyz;
  xyz.reserve(3 * static_cast<size_t>(n));
  for (uint32_t i = 0; i < n; i++) {
    const uint32_t line = i / side, k = i % side;
    const double x = (line % 2 ? side - 1 - k : k) + 0.5 + jitter(random);
    const double y = line + 0.5 + jitter(random);
    xyz.push_back(static_cast<float>(x));
    xyz.push_back(static_cast<float>(y));
    xyz.push_back(static_cast<float>(surface_z("sample", x, y, side) + jitter(random)));
  }
  return xyz;
}

// One breakline per grid cell, so none crosses another: a creek meanders across its cell in two
// waves; a lake (in every other cell with `lakes`) is a circle of 100 vertices inside its cell,
// closed by repeating the first. False when a file cannot be written.
bool write_breaklines(const std::string& creeks, const std::string* lakes, uint32_t n) {
  const double side = side_of(n);
  const double w = side / kColumns, h = side / kRows;
  std::FILE* f = std::fopen(creeks.c_str(), "w");
  if (!f) return false;
  std::FILE* lake_file = lakes ? std::fopen(lakes->c_str(), "w") : nullptr;
  if (lakes && !lake_file) {
    std::fclose(f);
    return false;
  }
  for (int cell = 0; cell < kBreaklines; cell++) {
    const double x0 = (cell % kColumns) * w, y0 = (cell / kColumns) * h;
    const double cx = x0 + 0.5 * w, cy = y0 + 0.5 * h;
    if (lake_file && cell % 2) {
      const double r = 0.4 * std::min(w, h);
      for (int i = 0; i <= kVerticesPerBreakline; i++) {
        const double a = 2 * std::numbers::pi * (i % kVerticesPerBreakline) / kVerticesPerBreakline;
        const double x = cx + r * std::cos(a), y = cy + r * std::sin(a);
        std::fprintf(lake_file, "%.3f %.3f %.3f\n", x, y, surface_z("sample", x, y, side));
      }
      std::fprintf(lake_file, "END\n");
      continue;
    }
    for (int i = 0; i < kVerticesPerBreakline; i++) {
      const double t = static_cast<double>(i) / (kVerticesPerBreakline - 1);
      const double x = x0 + 0.02 * w + 0.96 * w * t, y = cy + 0.4 * h * std::sin(4 * std::numbers::pi * t);
      std::fprintf(f, "%.3f %.3f %.3f\n", x, y, surface_z("sample", x, y, side));
    }
    std::fprintf(f, "END\n");
  }
  const bool creeks_written = std::fclose(f) == 0;
  return (!lake_file || std::fclose(lake_file) == 0) && creeks_written;
}

// Processor time of this process: other work on a shared machine barely changes it.
double cpu_seconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

void BM_ConstrainedVsPlain(benchmark::State& state) {
  const uint32_t n = static_cast<uint32_t>(state.range(0));
  const bool with_lakes = state.range(1) != 0;
  const std::string stem = "/tmp/cm_ctin_bench_" + std::to_string(getpid());
  const std::string creeks = stem + "_creeks.txt", lakes = stem + "_lakes.txt";
  if (!write_breaklines(creeks, with_lakes ? &lakes : nullptr, n)) {
    state.SkipWithError("cannot write the breakline files");
    return;
  }
  DriverSettings settings;
  settings.creeks_file = creeks;
  if (with_lakes) settings.lakes_file = lakes;
  const std::vector<float> generated = airborne(n);
  StepTimer timer(false);
  TIN tin;
  CTIN ctin;
  double plain_seconds = 0, constrained_seconds = 0;
  int64_t plain_triangles = 0, constrained_triangles = 0;
  for (auto _ : state) {
    PointSet points;
    points.buffer = generated;
    points.count = n;
    double start = cpu_seconds();
    if (!triangulate(points, false, "bench", tin, timer)) state.SkipWithError("plain TIN failed");
    plain_seconds += cpu_seconds() - start;
    plain_triangles = tin.triangle_count();
    tin.release();

    points.buffer = generated;
    points.count = n;
    points.stride = PointSet::kStride;
    Breaklines breaklines(settings);
    start = cpu_seconds();
    uint32_t breakline_points = 0;
    if (!breaklines.count(breakline_points, timer) ||
        !triangulate_with_breaklines(points, breakline_points, breaklines, false, 0.001, 0.001, "bench", ctin,
                                     timer)) {
      state.SkipWithError("constrained TIN failed");
    }
    const double constrained = cpu_seconds() - start;
    constrained_seconds += constrained;
    constrained_triangles = ctin.triangle_count();
    ctin.release();
    state.SetIterationTime(constrained);
  }
  std::remove(creeks.c_str());
  if (with_lakes) std::remove(lakes.c_str());
  const double iterations = static_cast<double>(state.iterations());
  state.counters["plain_s"] = plain_seconds / iterations;
  state.counters["constrained_s"] = constrained_seconds / iterations;
  state.counters["ratio"] = constrained_seconds / plain_seconds;
  state.counters["plain_tris"] = static_cast<double>(plain_triangles);
  state.counters["constr_tris"] = static_cast<double>(constrained_triangles);
}

BENCHMARK(BM_ConstrainedVsPlain)
    ->ArgsProduct({{4000000}, {0, 1}})
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
