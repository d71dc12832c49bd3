#pragma once
// A LAS reader written for the tests alone, from the file layout and nothing of pointio: the
// public header block, the VLRs, the EVLRs and the uncompressed records. Writers are checked
// against it so that a fault shared by our reader and writer cannot hide.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace independent_las {

struct Vlr {
  std::string user_id;
  uint16_t record_id = 0;
  std::vector<uint8_t> payload;
};

struct Record {
  int32_t X, Y, Z;
  std::vector<uint8_t> bytes;  // the whole record
};

struct File {
  uint8_t version_major = 0, version_minor = 0;
  uint16_t header_size = 0;
  uint32_t offset_to_point_data = 0;
  uint8_t point_data_format = 0;  // with the compression bits
  uint16_t point_data_record_length = 0;
  uint64_t number_of_points = 0;  // legacy or extended
  uint32_t legacy_number_of_points = 0;
  double scale[3] = {}, offset[3] = {};
  double max_x = 0, min_x = 0, max_y = 0, min_y = 0, max_z = 0, min_z = 0;
  std::vector<Vlr> vlrs, evlrs;
  std::vector<Record> records;  // only when uncompressed
  std::string error;            // why the bytes are no valid LAS file
};

template <class T>
T get(const std::vector<uint8_t>& b, size_t at) {
  T v{};
  if (at + sizeof(T) <= b.size()) std::memcpy(&v, b.data() + at, sizeof(T));
  return v;
}

inline File parse(const std::vector<uint8_t>& b) {
  File f;
  if (b.size() < 227 || std::memcmp(b.data(), "LASF", 4) != 0) {
    f.error = "no LASF header";
    return f;
  }
  f.version_major = b[24];
  f.version_minor = b[25];
  f.header_size = get<uint16_t>(b, 94);
  f.offset_to_point_data = get<uint32_t>(b, 96);
  const uint32_t vlr_count = get<uint32_t>(b, 100);
  f.point_data_format = b[104];
  f.point_data_record_length = get<uint16_t>(b, 105);
  f.legacy_number_of_points = get<uint32_t>(b, 107);
  f.number_of_points = f.legacy_number_of_points;
  for (int a = 0; a < 3; a++) {
    f.scale[a] = get<double>(b, 131 + 8 * size_t(a));
    f.offset[a] = get<double>(b, 155 + 8 * size_t(a));
  }
  f.max_x = get<double>(b, 179), f.min_x = get<double>(b, 187);
  f.max_y = get<double>(b, 195), f.min_y = get<double>(b, 203);
  f.max_z = get<double>(b, 211), f.min_z = get<double>(b, 219);
  const size_t standard = f.version_minor >= 4 ? 375 : (f.version_minor == 3 ? 235 : 227);
  if (f.version_major != 1 || f.version_minor > 4 || f.header_size < standard || b.size() < f.header_size) {
    f.error = "bad version or header size";
    return f;
  }
  if (f.version_minor >= 4) {
    const uint64_t extended = get<uint64_t>(b, 247);
    if (f.legacy_number_of_points && f.legacy_number_of_points != extended) {
      f.error = "legacy and extended point counts differ";
      return f;
    }
    f.number_of_points = extended;
  }
  size_t at = f.header_size;
  for (uint32_t i = 0; i < vlr_count; i++) {
    if (at + 54 > f.offset_to_point_data) {
      f.error = "VLRs run into the points";
      return f;
    }
    Vlr v;
    v.user_id.assign(reinterpret_cast<const char*>(b.data() + at + 2),
                     strnlen(reinterpret_cast<const char*>(b.data() + at + 2), 16));
    v.record_id = get<uint16_t>(b, at + 18);
    const uint16_t length = get<uint16_t>(b, at + 20);
    at += 54;
    if (at + length > f.offset_to_point_data) {
      f.error = "VLR payload runs into the points";
      return f;
    }
    v.payload.assign(b.begin() + long(at), b.begin() + long(at + length));
    at += length;
    f.vlrs.push_back(std::move(v));
  }
  if (f.version_minor >= 4) {
    uint64_t evlr_at = get<uint64_t>(b, 235);
    const uint32_t evlr_count = get<uint32_t>(b, 243);
    for (uint32_t i = 0; i < evlr_count; i++) {
      if (evlr_at + 60 > b.size()) {
        f.error = "EVLR past the end";
        return f;
      }
      Vlr v;
      v.user_id.assign(reinterpret_cast<const char*>(b.data() + evlr_at + 2),
                       strnlen(reinterpret_cast<const char*>(b.data() + evlr_at + 2), 16));
      v.record_id = get<uint16_t>(b, evlr_at + 18);
      const uint64_t length = get<uint64_t>(b, evlr_at + 20);
      if (evlr_at + 60 + length > b.size()) {
        f.error = "EVLR payload past the end";
        return f;
      }
      v.payload.assign(b.begin() + long(evlr_at + 60), b.begin() + long(evlr_at + 60 + length));
      evlr_at += 60 + length;
      f.evlrs.push_back(std::move(v));
    }
  }
  if (f.point_data_format & 0xC0) return f;  // compressed: the header is all we check
  const size_t length = f.point_data_record_length;
  if (length < 20 || f.offset_to_point_data + f.number_of_points * length > b.size()) {
    f.error = "the records do not fit the file";
    return f;
  }
  for (uint64_t i = 0; i < f.number_of_points; i++) {
    const size_t r = f.offset_to_point_data + i * length;
    f.records.push_back(Record{get<int32_t>(b, r), get<int32_t>(b, r + 4), get<int32_t>(b, r + 8),
                               std::vector<uint8_t>(b.begin() + long(r), b.begin() + long(r + length))});
  }
  return f;
}

}  // namespace independent_las
