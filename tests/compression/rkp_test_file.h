#pragma once
// Test helpers: the parts of a LAS or RKP file the compression tests need, read by hand so the
// tests check the decoder against the file itself and not against another reader of ours.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "compression/byte_input.h"
#include "compression/detail/bytes.h"
#include "compression/point_decoder.h"
#include "compression/rekomp_descriptor.h"

inline std::string shared_file(const std::string& name) {
  return std::string(CM_SHARED_DATA_DIR) + "/" + name;
}

inline std::vector<uint8_t> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

template <class T>
T load_at(const std::vector<uint8_t>& bytes, size_t at) {
  T v{};
  if (at + sizeof(T) <= bytes.size()) std::memcpy(&v, bytes.data() + at, sizeof(T));
  return v;
}

struct LasFile {
  std::vector<uint8_t> bytes;
  uint16_t header_size = 0;
  uint32_t offset_to_point_data = 0;
  uint8_t point_format = 0;
  uint16_t record_length = 0;
  uint64_t points = 0;
  double scale[3] = {};
  double offset[3] = {};
  double min[3] = {}, max[3] = {};
  uint64_t by_return[15] = {};
  std::optional<RekompDescriptor> descriptor;

  // The raw record of point i of an uncompressed file.
  const uint8_t* record(uint64_t i) const { return bytes.data() + offset_to_point_data + i * record_length; }
};

inline bool load_las(const std::string& path, LasFile& f) {
  f.bytes = read_file(path);
  if (f.bytes.size() < 227) return false;
  const auto& b = f.bytes;
  f.header_size = load_at<uint16_t>(b, 94);
  f.offset_to_point_data = load_at<uint32_t>(b, 96);
  const uint32_t vlrs = load_at<uint32_t>(b, 100);
  f.point_format = load_at<uint8_t>(b, 104) & 0x3F;
  f.record_length = load_at<uint16_t>(b, 105);
  f.points = load_at<uint32_t>(b, 107);
  for (int i = 0; i < 5; i++) f.by_return[i] = load_at<uint32_t>(b, 111 + 4 * size_t(i));
  for (int a = 0; a < 3; a++) {
    f.scale[a] = load_at<double>(b, 131 + 8 * size_t(a));
    f.offset[a] = load_at<double>(b, 155 + 8 * size_t(a));
    f.max[a] = load_at<double>(b, 179 + 16 * size_t(a));
    f.min[a] = load_at<double>(b, 187 + 16 * size_t(a));
  }
  if (load_at<uint8_t>(b, 25) >= 4 && f.header_size >= 375) {
    if (f.points == 0) f.points = load_at<uint64_t>(b, 247);
    if (load_at<uint32_t>(b, 107) == 0)
      for (int i = 0; i < 15; i++) f.by_return[i] = load_at<uint64_t>(b, 255 + 8 * size_t(i));
  }
  size_t at = f.header_size;
  for (uint32_t i = 0; i < vlrs && at + 54 <= b.size(); i++) {
    const uint16_t length = load_at<uint16_t>(b, at + 20);
    if (std::strncmp(reinterpret_cast<const char*>(b.data() + at + 2), "rekomp encoded", 16) == 0) {
      RekompDescriptor d;
      if (at + 54 + length <= b.size() && d.parse(b.data() + at + 54, length)) f.descriptor = d;
    }
    at += 54 + size_t(length);
  }
  return true;
}

// A ByteSource over memory, as a file would be.
class MemorySource : public MemoryByteSource {
 public:
  explicit MemorySource(const std::vector<uint8_t>& bytes, size_t size = SIZE_MAX)
      : MemoryByteSource(bytes.data(), std::min(size, bytes.size())) {}
};

// Decodes every record of a compressed file. Answers how many decoded before the first failure.
inline uint64_t decode_all(const LasFile& f, std::vector<uint8_t>& records, std::string* error = nullptr,
                           uint32_t selection = 0xFFFFFFFFu, unsigned threads = 1,
                           size_t truncate = SIZE_MAX) {
  RkpPointDecoder decoder;
  MemorySource source(f.bytes, truncate);
  if (!f.descriptor || !decoder.setup(*f.descriptor, selection, threads) ||
      !decoder.init(&source, f.offset_to_point_data, f.points)) {
    if (error) *error = decoder.error() ? decoder.error() : "setup";
    return 0;
  }
  const uint32_t length = decoder.record_length();
  records.assign(f.points * length, 0);
  uint64_t i = 0;
  for (; i < f.points; i++) {
    if (!decoder.read(records.data() + i * length)) {
      if (error) *error = decoder.error() ? decoder.error() : "";
      break;
    }
  }
  records.resize(i * length);
  if (i == f.points && !decoder.check_end() && error) *error = decoder.error() ? decoder.error() : "end";
  return i;
}
