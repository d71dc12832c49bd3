// Writes the points of a compressed file as an uncompressed LAS 1.2 file with the same header
// fields (scale, offset, bounds, counts) and no VLRs, so the same points can be read both ways.
//   rkp_to_las in.rkp out.las
#include <cstdio>
#include <fstream>

#include "bench/rkp_bench_file.h"
#include "compression/point_decoder.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s in.rkp out.las\n", argv[0]);
    return 2;
  }
  RkpBenchFile f;
  std::vector<uint8_t> records;
  RkpPointDecoder decoder;
  MemoryByteSource source(f.bytes.data(), 0);
  bool ok = load_rkp(argv[1], f) && decoder.setup(*f.descriptor);
  if (ok) {
    source = MemoryByteSource(f.bytes.data(), f.bytes.size());
    ok = decoder.init(&source, f.offset_to_point_data, f.points);
  }
  records.resize(f.points * (ok ? decoder.record_length() : 0));
  for (uint64_t i = 0; ok && i < f.points; i++)
    ok = decoder.read(records.data() + i * decoder.record_length());
  if (!ok) {
    std::fprintf(stderr, "ERROR: cannot decode '%s' %s\n", argv[1], decoder.error() ? decoder.error() : "");
    return 1;
  }
  std::vector<uint8_t> header(f.bytes.begin(), f.bytes.begin() + 227);
  const uint16_t header_size = 227;
  const uint32_t offset = 227, vlrs = 0;
  header[24] = 1;
  header[25] = 2;
  std::memcpy(&header[94], &header_size, 2);
  std::memcpy(&header[96], &offset, 4);
  std::memcpy(&header[100], &vlrs, 4);
  header[104] &= 0x3F;
  std::ofstream out(argv[2], std::ios::binary);
  out.write(reinterpret_cast<const char*>(header.data()), 227);
  out.write(reinterpret_cast<const char*>(records.data()), static_cast<std::streamsize>(records.size()));
  return out.good() ? 0 : 1;
}
