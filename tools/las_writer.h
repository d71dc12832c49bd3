#pragma once
// Self-contained writer of small LAS files for tests, fuzz seeds and benchmarks (header only, no
// project dependencies).
//
//   las_test::Options o;                 // LAS 1.2, point format 0, scale 0.01, offset 0
//   o.point_data_format = 1;
//   o.vlrs.push_back({"LASF_Projection", 34735, geokeys});
//   std::vector<uint8_t> bytes = las_test::build(o, {{1.0, 2.0, 3.0}, {4.0, 5.0, 6.0}});
//   las_test::write_file(path, bytes);
//
// The header's counts, bounds, offsets and sizes are computed from the points and records; tests
// that need a lying header patch the finished bytes with put<T>(bytes, offset, value) at the field
// offsets of las_test::Field. Formats 0 to 10 are written; the record is the point format's standard
// layout followed by extra bytes up to point_data_record_length (0 means the standard length).

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace las_test {

// Byte offsets of the public header fields.
enum Field : size_t {
  kSignature = 0,
  kVersionMajor = 24,
  kVersionMinor = 25,
  kHeaderSize = 94,
  kOffsetToPointData = 96,
  kNumberOfVlrs = 100,
  kPointDataFormat = 104,
  kPointDataRecordLength = 105,
  kNumberOfPointRecords = 107,
  kNumberOfPointsByReturn = 111,
  kScaleFactors = 131,
  kOffsets = 155,
  kBounds = 179,  // max_x, min_x, max_y, min_y, max_z, min_z
  kStartOfWaveformData = 227,
  kStartOfFirstEvlr = 235,
  kNumberOfEvlrs = 243,
  kExtendedNumberOfPointRecords = 247,
};

struct Point {
  double x = 0, y = 0, z = 0;
  uint16_t intensity = 0;
  uint8_t return_number = 1;
  uint8_t number_of_returns = 1;
  uint8_t classification = 0;
  int16_t scan_angle = 0;  // degrees for formats 0-5, 0.006 degree units for 6-10
  uint8_t user_data = 0;
  uint16_t point_source_ID = 0;
  double gps_time = 0;
  uint16_t rgb[4] = {0, 0, 0, 0};
  uint8_t extra_byte_value = 0;  // every extra byte of the record gets this value
};

struct Record {
  Record(std::string user_id_in, uint16_t record_id_in, std::vector<uint8_t> payload_in,
         std::string description_in = {})
      : user_id(std::move(user_id_in)),
        record_id(record_id_in),
        payload(std::move(payload_in)),
        description(std::move(description_in)) {}
  std::string user_id;
  uint16_t record_id = 0;
  std::vector<uint8_t> payload;
  std::string description;
};

struct Options {
  uint8_t version_minor = 2;              // 0 to 4; sets header_size 227, 235 (1.3) or 375 (1.4)
  uint8_t point_data_format = 0;          // 0 to 10
  uint16_t point_data_record_length = 0;  // 0: the standard length of the format
  double scale[3] = {0.01, 0.01, 0.01};
  double offset[3] = {0, 0, 0};
  std::vector<Record> vlrs;
  std::vector<Record> evlrs;                    // LAS 1.4 only, written after the points
  std::vector<uint8_t> user_data_after_header;  // between the VLRs and the points
};

inline uint16_t standard_record_length(uint8_t format) {
  static const uint16_t kLengths[11] = {20, 28, 26, 34, 57, 63, 30, 36, 38, 59, 67};
  return format <= 10 ? kLengths[format] : 20;
}

template <class T>
void put(std::vector<uint8_t>& bytes, size_t at, T value) {
  if (bytes.size() < at + sizeof(T)) bytes.resize(at + sizeof(T));
  std::memcpy(bytes.data() + at, &value, sizeof(T));
}

template <class T>
void append(std::vector<uint8_t>& bytes, T value) {
  put(bytes, bytes.size(), value);
}

inline void append_text(std::vector<uint8_t>& bytes, const std::string& text, size_t width) {
  for (size_t i = 0; i < width; i++) bytes.push_back(i < text.size() ? uint8_t(text[i]) : 0);
}

inline int32_t quantize(double v, double scale, double offset) {
  const double q = (v - offset) / scale;
  return static_cast<int32_t>(v >= offset ? q + 0.5 : q - 0.5);
}

inline void append_point(std::vector<uint8_t>& out, const Options& o, const Point& p) {
  const size_t start = out.size();
  append(out, quantize(p.x, o.scale[0], o.offset[0]));
  append(out, quantize(p.y, o.scale[1], o.offset[1]));
  append(out, quantize(p.z, o.scale[2], o.offset[2]));
  append(out, p.intensity);
  const uint8_t f = o.point_data_format;
  if (f <= 5) {
    append(out, uint8_t((p.return_number & 7) | ((p.number_of_returns & 7) << 3)));
    append(out, uint8_t(p.classification & 31));
    append(out, int8_t(p.scan_angle));
    append(out, p.user_data);
    append(out, p.point_source_ID);
    if (f == 1 || f >= 3) append(out, p.gps_time);
    if (f == 2 || f == 3 || f == 5) {
      for (int c = 0; c < 3; c++) append(out, p.rgb[c]);
    }
    if (f == 4 || f == 5) out.resize(out.size() + 29, 0);
  } else {
    append(out, uint8_t((p.return_number & 15) | ((p.number_of_returns & 15) << 4)));
    append(out, uint8_t(0));
    append(out, p.classification);
    append(out, p.user_data);
    append(out, p.scan_angle);
    append(out, p.point_source_ID);
    append(out, p.gps_time);
    if (f == 7) {
      for (int c = 0; c < 3; c++) append(out, p.rgb[c]);
    }
    if (f == 8 || f == 10) {
      for (int c = 0; c < 4; c++) append(out, p.rgb[c]);
    }
    if (f == 9 || f == 10) out.resize(out.size() + 29, 0);
  }
  const size_t length = o.point_data_record_length ? o.point_data_record_length : standard_record_length(f);
  if (out.size() - start < length) out.resize(start + length, p.extra_byte_value);
  out.resize(start + length);
}

inline void append_vlr_header(std::vector<uint8_t>& out, const Record& r, bool extended) {
  append(out, uint16_t(0));
  append_text(out, r.user_id, 16);
  append(out, r.record_id);
  if (extended) {
    append(out, uint64_t(r.payload.size()));
  } else {
    append(out, uint16_t(r.payload.size()));
  }
  append_text(out, r.description, 32);
}

inline std::vector<uint8_t> build(const Options& o, const std::vector<Point>& points) {
  std::vector<uint8_t> out;
  const uint16_t header_size = o.version_minor >= 4 ? 375 : (o.version_minor == 3 ? 235 : 227);
  out.resize(header_size, 0);
  std::memcpy(out.data(), "LASF", 4);
  put(out, kVersionMajor, uint8_t(1));
  put(out, kVersionMinor, o.version_minor);
  std::memcpy(out.data() + 26, "test writer", 11);
  put(out, kHeaderSize, header_size);
  put(out, kNumberOfVlrs, uint32_t(o.vlrs.size()));
  put(out, kPointDataFormat, o.point_data_format);
  const uint16_t length =
      o.point_data_record_length ? o.point_data_record_length : standard_record_length(o.point_data_format);
  put(out, kPointDataRecordLength, length);
  const bool legacy_counts = o.point_data_format <= 5 || o.version_minor < 4;
  put(out, kNumberOfPointRecords, uint32_t(legacy_counts ? points.size() : 0));
  for (int c = 0; c < 3; c++) {
    put(out, kScaleFactors + 8 * c, o.scale[c]);
    put(out, kOffsets + 8 * c, o.offset[c]);
  }
  double lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
  for (size_t i = 0; i < points.size(); i++) {
    const double v[3] = {points[i].x, points[i].y, points[i].z};
    for (int c = 0; c < 3; c++) {
      lo[c] = i ? std::min(lo[c], v[c]) : v[c];
      hi[c] = i ? std::max(hi[c], v[c]) : v[c];
    }
  }
  for (int c = 0; c < 3; c++) {
    put(out, kBounds + 16 * c, hi[c]);
    put(out, kBounds + 16 * c + 8, lo[c]);
  }
  for (const Record& r : o.vlrs) {
    append_vlr_header(out, r, false);
    out.insert(out.end(), r.payload.begin(), r.payload.end());
  }
  out.insert(out.end(), o.user_data_after_header.begin(), o.user_data_after_header.end());
  put(out, kOffsetToPointData, uint32_t(out.size()));
  for (const Point& p : points) append_point(out, o, p);
  if (o.version_minor >= 4) {
    put(out, kExtendedNumberOfPointRecords, uint64_t(points.size()));
    put(out, kNumberOfEvlrs, uint32_t(o.evlrs.size()));
    put(out, kStartOfFirstEvlr, uint64_t(o.evlrs.empty() ? 0 : out.size()));
    for (const Record& r : o.evlrs) {
      append_vlr_header(out, r, true);
      out.insert(out.end(), r.payload.begin(), r.payload.end());
    }
  }
  return out;
}

inline bool write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace las_test
