// What a typical filter and a typical transform add to reading points: every point of a generated
// 4M-point LAS file read through the input opener as the driver reads it, without options, with
// "-keep_class 2 -drop_withheld", with "-translate_z 1.5 -scale_intensity 1.5 -set_classification 2",
// and with both (BM_ReadThroughStages); and the same filter and transform alone on decoded records
// (BM_StagesOnly). Run with --benchmark_counters_tabular=true; "s/point" is the time per point.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "filter/lasinputstages.h"
#include "pointio/lasinputopener.h"
#include "pointio/laspoint.h"
#include "pointio/lasreader.h"

namespace {

template <class T>
void put(std::vector<unsigned char>& b, size_t at, T v) {
  std::memcpy(b.data() + at, &v, sizeof v);
}

// A LAS 1.2 file of point format 1: a 2000 x 2000 grid of points 0.5 m apart on a gentle surface,
// 40 % of them class 2, one in a hundred withheld, intensities and GPS times varying.
std::string make_file(int64_t count) {
  const std::string path = "/tmp/cm_filter_bench_" + std::to_string(getpid()) + ".las";
  std::vector<unsigned char> header(227, 0);
  std::memcpy(header.data(), "LASF", 4);
  header[24] = 1;
  header[25] = 2;
  put<uint16_t>(header, 94, 227);
  put<uint32_t>(header, 96, 227);
  header[104] = 1;
  put<uint16_t>(header, 105, 28);
  put<uint32_t>(header, 107, static_cast<uint32_t>(count));
  for (int a = 0; a < 3; a++) put<double>(header, 131 + 8 * a, 0.01);
  put<double>(header, 179, 1000.0);  // max x, min x, max y, min y, max z, min z
  put<double>(header, 195, 1000.0);
  put<double>(header, 211, 100.0);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return {};
  std::fwrite(header.data(), 1, header.size(), f);
  std::vector<unsigned char> record(28, 0);
  for (int64_t i = 0; i < count; i++) {
    put<int32_t>(record, 0, static_cast<int32_t>(i % 2000 * 50));
    put<int32_t>(record, 4, static_cast<int32_t>(i / 2000 * 50));
    put<int32_t>(record, 8, static_cast<int32_t>(i % 97 * 25 + i / 2000 % 89 * 30));
    put<uint16_t>(record, 12, static_cast<uint16_t>(i * 7 % 4096));
    record[14] = static_cast<unsigned char>(1 | 1 << 3);
    record[15] = static_cast<unsigned char>((i % 5 < 2 ? 2 : 1) | (i % 100 == 0 ? 0x80 : 0));
    put<double>(record, 20, 1000.0 + static_cast<double>(i) * 1e-5);
    std::fwrite(record.data(), 1, record.size(), f);
  }
  std::fclose(f);
  return path;
}

const std::string& file_of(int64_t count) {
  static std::string path;
  static int64_t made = -1;
  if (made != count) {
    path = make_file(count);
    made = count;
  }
  return path;
}

const char* const kOptions[] = {
    "",
    "-keep_class 2 -drop_withheld",
    "-translate_z 1.5 -scale_intensity 1.5 -set_classification 2",
    "-keep_class 2 -drop_withheld -translate_z 1.5 -scale_intensity 1.5 -set_classification 2",
};

void BM_ReadThroughStages(benchmark::State& state) {
  const std::string& path = file_of(state.range(1));
  const std::string options = kOptions[state.range(0)];
  state.SetLabel(options.empty() ? "read only" : options);
  int64_t points = 0;
  for (auto _ : state) {
    std::vector<std::string> words = {"bench", "-i", path};
    for (size_t at = 0; at < options.size();) {
      const size_t end = std::min(options.find(' ', at), options.size());
      words.push_back(options.substr(at, end - at));
      at = end + 1;
    }
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    LASinputOpener opener;
    opener.set_point_stages(std::make_unique<LASinputStages>());
    if (!opener.parse(static_cast<int>(argv.size()), argv.data())) {
      state.SkipWithError("options do not parse");
      break;
    }
    opener.set_decompress_selective(1);
    std::unique_ptr<LASreader> reader = opener.open();
    if (!reader) {
      state.SkipWithError("cannot open the generated file");
      break;
    }
    double sum = 0;
    while (reader->read_point()) sum += reader->point.get_z();
    benchmark::DoNotOptimize(sum);
    points += reader->get_p_count();
  }
  // Seconds per point read (printed with an SI prefix: "12.3n" is 12.3 ns).
  state.counters["s/point"] = benchmark::Counter(static_cast<double>(points),
                                                 benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_ReadThroughStages)
    ->ArgsProduct({{0, 1, 2, 3}, {4000000}})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// The stages alone, without reading: each point of a block of decoded records passes the filter
// and the transform in turn, as the reader hands them its point.
void BM_StagesOnly(benchmark::State& state) {
  const std::string& path = file_of(4000000);
  const std::string options = kOptions[state.range(0)];
  state.SetLabel(options.empty() ? "nothing" : options);
  std::vector<std::string> words = {"bench", "-i", path};
  for (size_t at = 0; at < options.size();) {
    const size_t end = std::min(options.find(' ', at), options.size());
    words.push_back(options.substr(at, end - at));
    at = end + 1;
  }
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  LASinputOpener opener;
  opener.set_point_stages(std::make_unique<LASinputStages>());
  if (!opener.parse(static_cast<int>(argv.size()), argv.data())) {
    state.SkipWithError("options do not parse");
    return;
  }
  auto* stages = static_cast<LASinputStages*>(opener.get_point_stages());
  std::unique_ptr<LASreader> reader = opener.open();
  // One block of records, copied into the point one after the other.
  std::vector<LASpointFields> block;
  LASreader* plain = reader.get();
  plain->set_stage(LASreader::STAGE_FILTER, nullptr);
  plain->set_stage(LASreader::STAGE_TRANSFORM, nullptr);
  while (block.size() < 65536 && plain->read_point()) block.push_back(plain->point);
  LASpoint& point = plain->point;
  LASfilter* filter = stages->filter();
  LAStransform* transform = stages->transform();
  int64_t points = 0;
  double sum = 0;
  for (auto _ : state) {
    for (const LASpointFields& record : block) {
      static_cast<LASpointFields&>(point) = record;
      if (filter && filter->filter(point)) continue;
      if (transform) transform->transform(point);
      sum += point.Z;
    }
    points += static_cast<int64_t>(block.size());
  }
  benchmark::DoNotOptimize(sum);
  state.counters["s/point"] = benchmark::Counter(static_cast<double>(points),
                                                 benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_StagesOnly)->DenseRange(0, 3)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
