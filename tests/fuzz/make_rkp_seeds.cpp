// Writes the seed corpora of the compressed-stream fuzzers from the shared point files: the
// first chunk of each file (cut to a few kilobytes) in the input layout of fuzz_rkp_chunk, and
// the chunk tables in that of fuzz_rkp_chunk_table.
//   make_rkp_seeds <shared data folder> <output folder>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "compression/byte_input.h"
#include "compression/record_writer.h"
#include "compression/rekomp_descriptor.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> read_all(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

template <class T>
T at(const std::vector<uint8_t>& b, size_t i) {
  T v{};
  if (i + sizeof(T) <= b.size()) std::memcpy(&v, b.data() + i, sizeof(T));
  return v;
}

void write(const fs::path& p, const std::vector<uint8_t>& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Which fuzz_rkp_chunk variant a file's items feed, 0 for none.
int variant(const RekompDescriptor& d) {
  const auto& it = d.items;
  if (it[0].type == RkpItem::POINT14) {
    if (it.size() == 1) return 6;
    if (it[1].type == RkpItem::RGB14 || it[1].type == RkpItem::RGBNIR14) return 7;
    return 0;
  }
  if (it.size() == 1) return 1;
  if (it.size() == 2 && it[1].type == RkpItem::GPSTIME11) return 2;
  if (it.size() == 2 && it[1].type == RkpItem::RGB12) return 3;
  return 0;
}

// The first chunk of points written by our encoder for the items of a fuzz_rkp_chunk variant,
// behind the selector byte and point count that variant reads.
std::vector<uint8_t> synthetic_chunk(const std::vector<RkpItem>& items, uint8_t selector, uint16_t points) {
  RekompDescriptor d;
  d.items = items;
  d.compressor = items[0].type == RkpItem::POINT14 ? RekompDescriptor::LAYERED_CHUNKED
                                                   : RekompDescriptor::POINTWISE_CHUNKED;
  d.chunk_size = 100000;
  CompressedRecordWriter writer;
  if (!writer.setup(d)) return {};
  std::vector<uint8_t> file;
  writer.init(&file);
  std::mt19937 rng(selector);
  std::vector<uint8_t> record(d.record_length());
  for (uint16_t i = 0; i < points; i++) {
    for (auto& b : record) b = static_cast<uint8_t>(rng() % 4 ? b + 1 : rng());
    writer.write(record.data());
  }
  writer.done();
  std::vector<uint8_t> seed = {selector, static_cast<uint8_t>((points - 1) & 0xFF),
                               static_cast<uint8_t>((points - 1) >> 8)};
  const int64_t table = at<int64_t>(file, 0);
  seed.insert(seed.end(), file.begin() + 8, file.begin() + table);
  return seed;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s shared_data_folder output_folder\n", argv[0]);
    return 2;
  }
  const fs::path out = argv[2];
  const struct {
    int variant;
    std::vector<RkpItem> items;
    uint8_t selector;
  } synthetic[] = {
      {1, {{RkpItem::POINT10, 20, 2}}, 8},
      {1, {{RkpItem::POINT10, 20, 1}}, 9},
      {2, {{RkpItem::POINT10, 20, 2}, {RkpItem::GPSTIME11, 8, 2}}, 8},
      {2, {{RkpItem::POINT10, 20, 1}, {RkpItem::GPSTIME11, 8, 1}}, 9},
      {3, {{RkpItem::POINT10, 20, 2}, {RkpItem::RGB12, 6, 2}}, 8},
      {3, {{RkpItem::POINT10, 20, 1}, {RkpItem::RGB12, 6, 1}}, 9},
      {4, {{RkpItem::POINT10, 20, 2}, {RkpItem::WAVEPACKET13, 29, 1}}, 8},
      {5, {{RkpItem::POINT10, 20, 2}, {RkpItem::BYTE, 4, 2}}, 8 | 0x30},
      {5, {{RkpItem::POINT10, 20, 1}, {RkpItem::BYTE, 4, 1}}, 9 | 0x30},
      {6, {{RkpItem::POINT14, 30, 3}}, 8},
      {6, {{RkpItem::POINT14, 30, 4}}, 8 | 2},
      {7, {{RkpItem::POINT14, 30, 3}, {RkpItem::RGB14, 6, 3}}, 8},
      {7, {{RkpItem::POINT14, 30, 3}, {RkpItem::RGBNIR14, 8, 3}}, 8 | 4},
      {8, {{RkpItem::POINT14, 30, 3}, {RkpItem::WAVEPACKET14, 29, 3}}, 8},
      {9, {{RkpItem::POINT14, 30, 3}, {RkpItem::BYTE14, 12, 3}}, 8 | 0x10},
  };
  int n = 0;
  for (const auto& s : synthetic) {
    const auto seed = synthetic_chunk(s.items, s.selector, 60);
    if (!seed.empty())
      write(out / ("corpus_rkp_chunk_" + std::to_string(s.variant)) / ("synthetic_" + std::to_string(n++)),
            seed);
  }
  for (const auto& entry : fs::directory_iterator(argv[1])) {
    if (entry.path().extension() != ".rkp") continue;
    const std::vector<uint8_t> b = read_all(entry.path());
    const uint16_t header_size = at<uint16_t>(b, 94);
    const uint32_t offset = at<uint32_t>(b, 96);
    size_t p = header_size;
    RekompDescriptor d;
    bool found = false;
    for (uint32_t i = 0; i < at<uint32_t>(b, 100) && p + 54 <= b.size(); i++) {
      const uint16_t length = at<uint16_t>(b, p + 20);
      if (std::string(reinterpret_cast<const char*>(b.data() + p + 2), 14) == "rekomp encoded")
        found = d.parse(b.data() + p + 54, length);
      p += 54 + size_t(length);
    }
    if (!found) continue;
    const std::string name = entry.path().stem().string();
    const bool chunked = d.compressor != RekompDescriptor::POINTWISE;
    const size_t first = offset + (chunked ? 8 : 0);
    const int v = variant(d);
    if (v != 0 && first < b.size()) {
      const uint8_t rgbnir = d.items.size() > 1 && d.items[1].type == RkpItem::RGBNIR14 ? 4 : 0;
      std::vector<uint8_t> seed = {static_cast<uint8_t>((d.items[0].version == 1 ? 1 : 0) | 8 | rgbnir), 0xFF,
                                   0x00};
      const size_t end = std::min(b.size(), first + 4096);
      seed.insert(seed.end(), b.begin() + long(first), b.begin() + long(end));
      write(out / ("corpus_rkp_chunk_" + std::to_string(v)) / name, seed);
    }
    if (chunked) {
      const int64_t table = at<int64_t>(b, offset);
      if (table > int64_t(first) && size_t(table) < b.size()) {
        std::vector<uint8_t> seed = {
            static_cast<uint8_t>((d.varying_chunks() ? 1 : 0) | ((d.record_length() - 1) << 1))};
        const uint32_t position = static_cast<uint32_t>(table - int64_t(first));
        seed.resize(5);
        std::memcpy(seed.data() + 1, &position, 4);
        seed.insert(seed.end(), b.begin() + table, b.end());
        if (seed.size() < 4096) write(out / "corpus_rkp_chunk_table" / name, seed);
      }
    }
  }
  return 0;
}
