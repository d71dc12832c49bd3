// -inside over 1% of a large tile, read with the tile's spatial index and without it.
//
//   spatialindex_bench [--points N] [--stored_file F]
//
// The tile of N points (default 16,000,000) is generated once in /tmp; the stored reader is
// measured on F when given (a generated airborne-like tile compresses more realistically).
//
// Reports the time of each and, for the indexed read, the share of the file's points it read.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "pointio/lasreaderlas.h"
#include "pointio/lasreaderstored.h"
#include "pointio/spatialindex.h"
#include "tools/las_writer.h"

namespace {

uint64_t g_points = 16000000;
std::string g_stored_file;      // --stored_file: measure the stored reader on this file instead
constexpr double kSize = 4000;  // metres; 1% of the area is a 400 m square

std::string bench_file() {
  return (std::filesystem::temp_directory_path() /
          ("cm_spatialindex_bench_" + std::to_string(g_points) + ".las"))
      .string();
}

// Scan lines across the tile, as an airborne strip is recorded.
void make_file(const std::string& name) {
  if (std::filesystem::exists(name) && std::filesystem::exists(lax_file_name(name))) return;
  std::vector<las_test::Point> points(g_points);
  const uint64_t per_line = uint64_t(std::sqrt(double(g_points)));
  const double step = kSize / double(per_line);
  for (uint64_t i = 0; i < g_points; i++) {
    const uint64_t line = i / per_line, k = i % per_line;
    points[i].x = 500000 + (double(line % 2 ? per_line - 1 - k : k) + 0.5) * step;
    points[i].y = 4000000 + (double(line) + 0.5) * step;
    points[i].z = 100 + double(i % 5000) * 0.01;
  }
  las_test::Options o;
  o.offset[0] = 500000, o.offset[1] = 4000000;
  las_test::write_file(name, las_test::build(o, points));
  LASreaderLAS reader;
  reader.open(name.c_str());
  LASspatialIndex index;
  index.prepare(reader.header.min_x, reader.header.min_y, reader.header.max_x, reader.header.max_y, g_points);
  uint32_t p = 0;
  while (reader.read_point()) index.add(reader.point.get_x(), reader.point.get_y(), p++);
  index.complete();
  index.write(name);
}

void read_inside(benchmark::State& state, bool with_index) {
  const std::string name = bench_file();
  make_file(name);
  const double min_x = 500000 + 1800, min_y = 4000000 + 1300;
  uint64_t kept = 0, read = 0;
  for (auto _ : state) {
    LASreaderLAS reader;
    reader.open(name.c_str());
    if (with_index) {
      auto index = std::make_unique<LASspatialIndex>();
      index->read(name);
      reader.set_index(std::move(index));
    }
    reader.inside_rectangle(min_x, min_y, min_x + kSize / 10, min_y + kSize / 10);
    kept = 0;
    while (reader.read_point()) kept++;
    read = with_index ? reader.get_index()->get_total() : uint64_t(reader.get_npoints());
  }
  state.counters["points_kept"] = double(kept);
  state.counters["points_read_share"] = double(read) / double(g_points);
}

void BM_InsideWithIndex(benchmark::State& state) {
  read_inside(state, true);
}
void BM_InsideWithoutIndex(benchmark::State& state) {
  read_inside(state, false);
}
// The stored reader's first pass over the whole file, and a second pass from memory: the bytes it
// keeps against the uncompressed records.
void BM_StoredTwoPasses(benchmark::State& state) {
  const std::string name = g_stored_file.empty() ? bench_file() : g_stored_file;
  if (g_stored_file.empty()) make_file(name);
  double share = 0, peak_share = 0;
  for (auto _ : state) {
    auto las = std::make_unique<LASreaderLAS>();
    las->open(name.c_str());
    const double record_bytes = double(las->get_npoints()) * las->header.point_data_record_length;
    LASreaderStored stored;
    stored.open(std::move(las));
    while (stored.read_point()) {
    }
    // The end of the first pass holds the largest buffer.
    peak_share = double(stored.allocated_bytes()) / record_bytes;
    stored.reopen();
    share = double(stored.stored_bytes()) / record_bytes;
    while (stored.read_point()) {
    }
  }
  state.counters["memory_share_of_records"] = share;
  state.counters["peak_buffer_share_of_records"] = peak_share;
}

BENCHMARK(BM_StoredTwoPasses)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_InsideWithIndex)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_InsideWithoutIndex)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; i++) {
    if (std::strcmp(argv[i], "--points") == 0) g_points = std::strtoull(argv[i + 1], nullptr, 10);
    if (std::strcmp(argv[i], "--stored_file") == 0) g_stored_file = argv[i + 1];
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
