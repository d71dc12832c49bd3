#pragma once
// The few header fields of a compressed point file the compression benchmarks need.

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "compression/rekomp_descriptor.h"

struct RkpBenchFile {
  std::vector<uint8_t> bytes;
  uint32_t offset_to_point_data = 0;
  uint64_t points = 0;
  std::optional<RekompDescriptor> descriptor;
};

inline bool load_rkp(const std::string& path, RkpBenchFile& f) {
  std::ifstream in(path, std::ios::binary);
  f.bytes.assign(std::istreambuf_iterator<char>(in), {});
  const auto& b = f.bytes;
  if (b.size() < 375) return false;
  auto get = [&](size_t at, void* v, size_t n) { std::memcpy(v, b.data() + at, n); };
  uint16_t header_size;
  uint32_t vlrs, points;
  get(94, &header_size, 2);
  get(96, &f.offset_to_point_data, 4);
  get(100, &vlrs, 4);
  get(107, &points, 4);
  f.points = points;
  if (points == 0 && b[25] >= 4) get(247, &f.points, 8);
  size_t at = header_size;
  for (uint32_t i = 0; i < vlrs && at + 54 <= b.size(); i++) {
    uint16_t length;
    get(at + 20, &length, 2);
    RekompDescriptor d;
    if (std::strncmp(reinterpret_cast<const char*>(b.data() + at + 2), "rekomp encoded", 16) == 0 &&
        at + 54 + length <= b.size() && d.parse(b.data() + at + 54, length))
      f.descriptor = d;
    at += 54 + size_t(length);
  }
  return f.descriptor.has_value();
}
