// Reading speed of the text and raster sources on one core: "x y z" lines through the line
// parser alone and through the text source (plain, gzip, zip), ASC grids and BIL rasters through
// their sources (the counting pass included). Run with --benchmark_counters_tabular=true.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "common/messages.h"
#include "pointio/detail/lasreaderasc.h"
#include "pointio/detail/lasreaderbil.h"
#include "pointio/detail/lasreadertxt.h"
#include "pointio/detail/synthesizedheader.h"
#include "pointio/detail/txtlineparser.h"
#include "tests/pointio/point_file_writers.h"

namespace {

namespace pf = point_files;

const std::string& folder() {
  static const std::string dir = [] {
    const auto d = std::filesystem::temp_directory_path() / ("cm_formats_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(d);
    return d.string();
  }();
  return dir;
}

// 4 million airborne-like "x y z" lines (about 110 MB), made once.
const std::string& xyz_text() {
  static const std::string text = [] {
    std::string t;
    t.reserve(120u << 20);
    char line[64];
    for (int k = 0; k < 4000000; k++) {
      const int n = std::snprintf(line, sizeof line, "%.2f %.2f %.2f\n", 500000.0 + (k % 2000) * 0.5,
                                  4000000.0 + (k / 2000) * 0.5, 100.0 + (k % 977) * 0.01);
      t.append(line, static_cast<size_t>(n));
    }
    return t;
  }();
  return text;
}

const std::string& xyz_file(int kind) {
  static std::string names[3];
  std::string& name = names[kind];
  if (name.empty()) {
    const char* endings[3] = {"/xyz.txt", "/xyz.txt.gz", "/xyz.zip"};
    name = folder() + endings[kind];
    if (kind == 0) pf::write_file(name, xyz_text());
    if (kind == 1) pf::write_archive(name, ARCHIVE_FORMAT_RAW, {{"xyz.txt", xyz_text()}});
    if (kind == 2) pf::write_archive(name, ARCHIVE_FORMAT_ZIP, {{"xyz.txt", xyz_text()}});
  }
  return name;
}

void BM_LineParser(benchmark::State& state) {
  const std::string& text = xyz_text();
  LASheader header;
  LASpoint point;
  set_point_type(header, point, 0);
  TXTlineParser parser;
  parser.compile("xyz", 0, header, {}, {});
  double sum = 0, xyz[3];
  for (auto _ : state) {
    size_t at = 0;
    while (at < text.size()) {
      const size_t end = text.find('\n', at);
      parser.parse(std::string_view(text).substr(at, end - at), xyz, point);
      sum += xyz[2];
      at = end + 1;
    }
  }
  benchmark::DoNotOptimize(sum);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// Every point through the text source, populate pass included when asked (as the tool does).
void BM_TextSource(benchmark::State& state) {
  const std::string& name = xyz_file(static_cast<int>(state.range(0)));
  const bool populate = state.range(1) != 0;
  int64_t points = 0;
  for (auto _ : state) {
    MessageCollector quiet;
    LASreaderTXT reader;
    if (!reader.open(name.c_str(), 0, "xyz", 0, populate)) {
      state.SkipWithError("cannot open");
      break;
    }
    int64_t sum = 0;
    while (reader.read_point()) sum += reader.point.Z;
    benchmark::DoNotOptimize(sum);
    points += reader.get_p_count();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * xyz_text().size()));
  state.counters["points/s"] = benchmark::Counter(static_cast<double>(points), benchmark::Counter::kIsRate);
}

constexpr int kSide = 3000;  // 9 million cells

double cell(int col, int row) {
  return 100.0 + 0.01 * ((col * 7 + row * 3) % 5000);
}

const std::string& asc_file() {
  static const std::string name = [] {
    std::string t = "ncols " + std::to_string(kSide) + "\nnrows " + std::to_string(kSide) +
                    "\nxllcorner 500000\nyllcorner 4000000\ncellsize 1\nNODATA_value -9999\n";
    char v[32];
    for (int r = 0; r < kSide; r++) {
      for (int c = 0; c < kSide; c++) {
        const int n = std::snprintf(v, sizeof v, c + 1 < kSide ? "%.2f " : "%.2f\n", cell(c, r));
        t.append(v, static_cast<size_t>(n));
      }
    }
    const std::string path = folder() + "/grid.asc";
    pf::write_file(path, t);
    return path;
  }();
  return name;
}

const std::string& bil_file() {
  static const std::string name = [] {
    pf::write_file(folder() + "/grid.hdr", "ncols " + std::to_string(kSide) + "\nnrows " +
                                               std::to_string(kSide) +
                                               "\nnbits 32\npixeltype float\nulxmap 500000\nulymap 4003000\n"
                                               "xdim 1\nydim 1\nnodata -9999\n");
    pf::Bytes cells;
    cells.reserve(size_t{kSide} * kSide * 4);
    for (int r = 0; r < kSide; r++) {
      for (int c = 0; c < kSide; c++) pf::put_le(cells, static_cast<float>(cell(c, r)));
    }
    const std::string path = folder() + "/grid.bil";
    pf::write_file(path, cells);
    return path;
  }();
  return name;
}

template <class Reader>
void read_raster(benchmark::State& state, const std::string& name) {
  int64_t cells = 0;
  for (auto _ : state) {
    MessageCollector quiet;
    Reader reader;
    if (!reader.open(name.c_str())) {
      state.SkipWithError("cannot open");
      break;
    }
    int64_t sum = 0;
    while (reader.read_point()) sum += reader.point.Z;
    benchmark::DoNotOptimize(sum);
    cells += reader.get_p_count();
  }
  state.counters["cells/s"] = benchmark::Counter(static_cast<double>(cells), benchmark::Counter::kIsRate);
}

void BM_AscSource(benchmark::State& state) {
  read_raster<LASreaderASC>(state, asc_file());
}

void BM_BilSource(benchmark::State& state) {
  read_raster<LASreaderBIL>(state, bil_file());
}

BENCHMARK(BM_LineParser)->Unit(benchmark::kMillisecond);
// range(0): 0 plain, 1 gzip, 2 zip; range(1): populate
BENCHMARK(BM_TextSource)
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Args({2, 0})
    ->Args({2, 1})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AscSource)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BilSource)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  std::filesystem::remove_all(folder());
  return 0;
}
