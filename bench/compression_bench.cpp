// Decoding rates of compressed point files from the shared data folder, in points per second:
// every item set on one core, a layered file with every field and with z only, and several chunks
// decoded at once. Run with --benchmark_counters_tabular=true.
//   build/release/bench/compression_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>
#include <time.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/rkp_bench_file.h"
#include "compression/item_codec.h"
#include "compression/point_decoder.h"
#include "compression/record_writer.h"

namespace {

const RkpBenchFile& file(const std::string& name) {
  static std::map<std::string, RkpBenchFile> files;
  auto it = files.find(name);
  if (it == files.end()) {
    it = files.emplace(name, RkpBenchFile{}).first;
    load_rkp(std::string(CM_SHARED_DATA_DIR) + "/" + name, it->second);
  }
  return it->second;
}

// The points of a shared file encoded again by our encoder in chunks of chunk_size points: with
// many chunks, how the decoding scales with the cores shows apart from how evenly a few chunks
// can be shared out.
const RkpBenchFile& rechunked(const std::string& name, uint32_t chunk_size) {
  static std::map<std::string, RkpBenchFile> files;
  auto it = files.find(name);
  if (it != files.end()) return it->second;
  it = files.emplace(name, RkpBenchFile{}).first;
  const RkpBenchFile& original = file(name);
  if (!original.descriptor) return it->second;
  RekompDescriptor descriptor = *original.descriptor;
  RkpPointDecoder decoder;
  MemoryByteSource source(original.bytes.data(), original.bytes.size());
  CompressedRecordWriter writer;
  if (!descriptor.set_chunk_size(chunk_size) || !decoder.setup(*original.descriptor) ||
      !decoder.init(&source, original.offset_to_point_data, original.points) || !writer.setup(descriptor))
    return it->second;
  RkpBenchFile& f = it->second;
  f.bytes.assign(original.bytes.begin(), original.bytes.begin() + original.offset_to_point_data);
  writer.init(&f.bytes);
  std::vector<uint8_t> record(decoder.record_length());
  for (uint64_t i = 0; i < original.points; i++) {
    if (!decoder.read(record.data())) return it->second;
    writer.write(record.data());
  }
  writer.done();
  f.offset_to_point_data = original.offset_to_point_data;
  f.points = original.points;
  f.descriptor = descriptor;
  return f;
}

// Decodes every point of the file; range(0) is the field mask selector, range(1) the threads.
// One decoder reads the file again and again, as a reader that goes from file to file would: its
// chunk buffers are then already in memory whatever the thread count. With fresh_decoder every
// pass builds a new one, and pays for the pages of its buffers as a first file does: with two
// threads that is twice as many chunk buffers, and the allocator does not hand back to the next
// decoder what the helper thread's heap gave away.
void decode(benchmark::State& state, const RkpBenchFile& f, bool fresh_decoder = false) {
  if (!f.descriptor) {
    state.SkipWithError("no shared data");
    return;
  }
  const uint32_t selection = state.range(0) == 0 ? field_mask::kAll : field_mask::kZ;
  const unsigned threads = static_cast<unsigned>(state.range(1));
  std::vector<uint8_t> record(f.descriptor->record_length());
  uint64_t points = 0;
  auto reused = std::make_unique<RkpPointDecoder>();
  // CPU time of all threads: with several, what a core costs per point, whatever else the machine
  // is running.
  timespec cpu_start;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu_start);
  for (auto _ : state) {
    std::unique_ptr<RkpPointDecoder> fresh = fresh_decoder ? std::make_unique<RkpPointDecoder>() : nullptr;
    RkpPointDecoder& decoder = fresh ? *fresh : *reused;
    MemoryByteSource source(f.bytes.data(), f.bytes.size());
    decoder.setup(*f.descriptor, selection, threads);
    decoder.init(&source, f.offset_to_point_data, f.points);
    uint64_t n = 0;
    while (n < f.points && decoder.read(record.data())) n++;
    if (n != f.points) state.SkipWithError(decoder.error() ? decoder.error() : "short");
    benchmark::DoNotOptimize(record.data());
    points += n;
  }
  timespec cpu_end;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu_end);
  const double cpu =
      double(cpu_end.tv_sec - cpu_start.tv_sec) + 1e-9 * double(cpu_end.tv_nsec - cpu_start.tv_nsec);
  state.counters["points/s"] = benchmark::Counter(double(points), benchmark::Counter::kIsRate);
  state.counters["points/cpu-s"] = double(points) / cpu;
}

void BM_Type1ChunkedV2_ahn3(benchmark::State& s) {
  decode(s, file("ahn3-crop.rkp"));
}
void BM_Type1ChunkedV2_ahn3_FreshDecoder(benchmark::State& s) {
  decode(s, file("ahn3-crop.rkp"), true);
}
void BM_Type1ChunkedV2_ahn3_Chunks10k(benchmark::State& s) {
  decode(s, rechunked("ahn3-crop.rkp", 10000));
}
void BM_Type3Rgb_autzen(benchmark::State& s) {
  decode(s, file("autzen-trim.rkp"));
}
void BM_Type0_fmt0_500k(benchmark::State& s) {
  decode(s, file("fmt0-500k.rkp"));
}
void BM_Type8Layered_fmt8(benchmark::State& s) {
  decode(s, file("fmt8-extra-bytes.rkp"));
}

// {mask: 0 everything, 1 z only; threads}. The wall time is what counts with several threads.
BENCHMARK(BM_Type1ChunkedV2_ahn3)->Args({0, 1})->Args({0, 2})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Type1ChunkedV2_ahn3_FreshDecoder)
    ->Args({0, 1})
    ->Args({0, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_Type1ChunkedV2_ahn3_Chunks10k)
    ->Args({0, 1})
    ->Args({0, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_Type3Rgb_autzen)->Args({0, 1})->Args({0, 2})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Type0_fmt0_500k)->Args({0, 1})->Args({0, 2})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Type8Layered_fmt8)
    ->Args({0, 1})
    ->Args({1, 1})
    ->Args({0, 2})
    ->Args({1, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
