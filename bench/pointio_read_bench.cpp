// Reading speed of the LAS reader: every point of a generated file, through read_point as the
// driver calls it. Run with --benchmark_counters_tabular=true to see points per second.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "pointio/lasreaderlas.h"
#include "tools/las_writer.h"

namespace {

const std::string& generated_file(int format, int64_t count) {
  static std::string path;
  static int made_format = -1;
  static int64_t made_count = -1;
  if (made_format != format || made_count != count) {
    las_test::Options o;
    o.point_data_format = uint8_t(format);
    std::vector<las_test::Point> pts(static_cast<size_t>(count));
    for (int64_t i = 0; i < count; i++) {
      pts[size_t(i)] = {double(i % 2000) * 0.5, double(i / 2000) * 0.5, double(i % 97) * 0.25};
    }
    path = "/tmp/cm_pointio_bench_" + std::to_string(getpid()) + ".las";
    las_test::write_file(path, las_test::build(o, pts));
    made_format = format;
    made_count = count;
  }
  return path;
}

void BM_ReadAllPoints(benchmark::State& state) {
  const int format = int(state.range(0));
  const int64_t count = state.range(1);
  const std::string& path = generated_file(format, count);
  int64_t total = 0;
  for (auto _ : state) {
    LASreaderLAS reader;
    if (!reader.open(path.c_str())) {
      state.SkipWithError("cannot open generated file");
      break;
    }
    double sum = 0;
    while (reader.read_point()) sum += reader.point.get_z();
    benchmark::DoNotOptimize(sum);
    total += reader.get_p_count();
  }
  state.counters["points/s"] = benchmark::Counter(double(total), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_ReadAllPoints)->Args({1, 4000000})->Args({6, 4000000})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
