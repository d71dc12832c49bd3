#pragma once
// Writers of small point files in the formats other than LAS, for tests: text lines, terrasolid
// BIN, point Shapefiles, PLY, QFIT, and gzip, zip and 7z archives (through libarchive, which the
// tests link). Each writes what the published description of its format says, independently of
// the readers under test; tests that need a broken file cut or patch the returned bytes.

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace point_files {

struct XYZ {
  double x = 0, y = 0, z = 0;
};

using Bytes = std::vector<uint8_t>;

template <class T>
void put_le(Bytes& b, T v) {
  uint8_t raw[sizeof(T)];
  std::memcpy(raw, &v, sizeof(T));
  b.insert(b.end(), raw, raw + sizeof(T));
}

template <class T>
void put_be(Bytes& b, T v) {
  uint8_t raw[sizeof(T)];
  std::memcpy(raw, &v, sizeof(T));
  std::reverse(raw, raw + sizeof(T));
  b.insert(b.end(), raw, raw + sizeof(T));
}

template <class T>
void patch_le(Bytes& b, size_t at, T v) {
  std::memcpy(b.data() + at, &v, sizeof(T));
}

inline bool write_file(const std::string& path, const void* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}
inline bool write_file(const std::string& path, const Bytes& b) {
  return write_file(path, b.data(), b.size());
}
inline bool write_file(const std::string& path, const std::string& s) {
  return write_file(path, s.data(), s.size());
}

// "x y z" lines (or with another separator) with a fixed number of decimals.
inline std::string text_lines(const std::vector<XYZ>& points, int decimals = 2, char separator = ' ') {
  std::string s;
  char line[128];
  for (const XYZ& p : points) {
    std::snprintf(line, sizeof line, "%.*f%c%.*f%c%.*f\n", decimals, p.x, separator, decimals, p.y, separator,
                  decimals, p.z);
    s += line;
  }
  return s;
}

// Terrasolid BIN: 56-byte header, then records with integer coordinates (value * units - origin).
struct BinOptions {
  int32_t version = 20020715;  // 20-byte records; any other value gives 16-byte records
  int32_t units = 100;
  double origin[3] = {0, 0, 0};
  bool time = false, color = false;
  uint8_t echo = 0, classification = 2;
};
inline Bytes bin(const std::vector<XYZ>& points, const BinOptions& o = {}) {
  Bytes b;
  put_le<int32_t>(b, 56);
  put_le<int32_t>(b, o.version);
  put_le<int32_t>(b, 970401);
  b.insert(b.end(), {'C', 'X', 'Y', 'Z'});
  put_le<int32_t>(b, static_cast<int32_t>(points.size()));
  put_le<int32_t>(b, o.units);
  for (double v : o.origin) put_le<double>(b, v);
  put_le<int32_t>(b, o.time ? 1 : 0);
  put_le<int32_t>(b, o.color ? 1 : 0);
  uint32_t k = 0;
  for (const XYZ& p : points) {
    const auto X = static_cast<int32_t>(std::llround(p.x * o.units + o.origin[0]));
    const auto Y = static_cast<int32_t>(std::llround(p.y * o.units + o.origin[1]));
    const auto Z = static_cast<int32_t>(std::llround(p.z * o.units + o.origin[2]));
    if (o.version == 20020715) {
      put_le(b, X), put_le(b, Y), put_le(b, Z);
      b.push_back(o.classification), b.push_back(o.echo), b.push_back(0), b.push_back(0);
      put_le<uint16_t>(b, 7), put_le<uint16_t>(b, static_cast<uint16_t>(k & 0x3FFF));
    } else {
      b.push_back(o.classification), b.push_back(7);
      put_le<uint16_t>(b, static_cast<uint16_t>((k & 0x3FFF) | (o.echo << 14)));
      put_le(b, X), put_le(b, Y), put_le(b, Z);
    }
    if (o.time) put_le<uint32_t>(b, k * 5);  // gps_time = k * 0.001
    if (o.color) put_le<uint32_t>(b, 0x00030201);
    k++;
  }
  return b;
}

// ESRI Shapefile (.shp) of shape type 1, 11, 21 (one point per record) or 8, 18, 28 (records of
// `per_record` points).
inline Bytes shp(int32_t type, const std::vector<XYZ>& points, size_t per_record = 1) {
  const bool multi = type == 8 || type == 18 || type == 28;
  const bool has_z = type == 11 || type == 18;
  const bool has_m = type == 11 || type == 21 || type == 18 || type == 28;
  double min[3] = {1e300, 1e300, 1e300}, max[3] = {-1e300, -1e300, -1e300};
  for (const XYZ& p : points) {
    const double v[3] = {p.x, p.y, p.z};
    for (int a = 0; a < 3; a++) min[a] = std::min(min[a], v[a]), max[a] = std::max(max[a], v[a]);
  }
  if (!has_z) min[2] = max[2] = 0;
  Bytes records;
  int32_t number = 0;
  for (size_t at = 0; at < points.size(); at += multi ? per_record : 1) {
    const size_t n = multi ? std::min(per_record, points.size() - at) : 1;
    Bytes c;
    put_le<int32_t>(c, type);
    if (!multi) {
      put_le(c, points[at].x), put_le(c, points[at].y);
      if (has_z) put_le(c, points[at].z);
      if (has_m) put_le(c, 0.0);
    } else {
      double lo[2] = {1e300, 1e300}, hi[2] = {-1e300, -1e300};
      for (size_t k = at; k < at + n; k++) {
        lo[0] = std::min(lo[0], points[k].x), lo[1] = std::min(lo[1], points[k].y);
        hi[0] = std::max(hi[0], points[k].x), hi[1] = std::max(hi[1], points[k].y);
      }
      put_le(c, lo[0]), put_le(c, lo[1]), put_le(c, hi[0]), put_le(c, hi[1]);
      put_le<int32_t>(c, static_cast<int32_t>(n));
      for (size_t k = at; k < at + n; k++) put_le(c, points[k].x), put_le(c, points[k].y);
      if (has_z) {
        put_le(c, min[2]), put_le(c, max[2]);
        for (size_t k = at; k < at + n; k++) put_le(c, points[k].z);
      }
      if (has_m) {
        put_le(c, 0.0), put_le(c, 0.0);
        for (size_t k = at; k < at + n; k++) put_le(c, 0.0);
      }
    }
    put_be<int32_t>(records, ++number);
    put_be<int32_t>(records, static_cast<int32_t>(c.size() / 2));
    records.insert(records.end(), c.begin(), c.end());
  }
  Bytes b;
  put_be<int32_t>(b, 9994);
  for (int k = 0; k < 5; k++) put_be<int32_t>(b, 0);
  put_be<int32_t>(b, static_cast<int32_t>((100 + records.size()) / 2));
  put_le<int32_t>(b, 1000);
  put_le<int32_t>(b, type);
  put_le(b, min[0]), put_le(b, min[1]), put_le(b, max[0]), put_le(b, max[1]);
  put_le(b, min[2]), put_le(b, max[2]), put_le(b, 0.0), put_le(b, 0.0);
  b.insert(b.end(), records.begin(), records.end());
  return b;
}

// PLY with double x, y, z (and a uchar red, green, blue when `colour`), then a face element the
// readers must ignore.
inline Bytes ply(const std::vector<XYZ>& points, const char* format, bool colour = false) {
  std::string h = "ply\nformat " + std::string(format) + " 1.0\ncomment written by a test\n";
  h += "element vertex " + std::to_string(points.size()) + "\n";
  h += "property double x\nproperty double y\nproperty double z\n";
  if (colour) h += "property uchar red\nproperty uchar green\nproperty uchar blue\n";
  h += "element face 1\nproperty list uchar int vertex_indices\nend_header\n";
  Bytes b(h.begin(), h.end());
  const std::string fmt(format);
  for (size_t k = 0; k < points.size(); k++) {
    const XYZ& p = points[k];
    if (fmt == "ascii") {
      char line[160];
      const int n = colour ? std::snprintf(line, sizeof line, "%.6f %.6f %.6f %d %d %d\n", p.x, p.y, p.z,
                                           int(k % 256), 2, 3)
                           : std::snprintf(line, sizeof line, "%.6f %.6f %.6f\n", p.x, p.y, p.z);
      b.insert(b.end(), line, line + n);
      continue;
    }
    const bool big = fmt == "binary_big_endian";
    for (double v : {p.x, p.y, p.z}) big ? put_be(b, v) : put_le(b, v);
    if (colour) b.push_back(static_cast<uint8_t>(k % 256)), b.push_back(2), b.push_back(3);
  }
  if (fmt == "ascii") {
    const std::string face = "3 0 1 2\n";
    b.insert(b.end(), face.begin(), face.end());
  } else {
    b.push_back(3);
    for (int32_t v : {0, 1, 2}) fmt == "binary_big_endian" ? put_be(b, v) : put_le(b, v);
  }
  return b;
}

// QFIT: a first record whose first word is the record length, the point start offset after it,
// then the records. Each point is (time ms, lat, lon, elevation mm) in the published words.
struct QfitRecord {
  int32_t time_ms = 0, lat = 0, lon = 0, elevation_mm = 0, start_signal = 0, reflected = 0, azimuth = 0,
          pitch = 0, roll = 0, word10 = 0, word11 = 0;
};
inline Bytes qfit(int32_t record_length, bool big_endian, const std::vector<QfitRecord>& records) {
  Bytes b;
  const auto word = [&](int32_t v) { big_endian ? put_be(b, v) : put_le(b, v); };
  const int32_t words = record_length / 4;
  word(record_length);
  for (int k = 1; k < words; k++) word(0);
  // The point start offset follows the first record; a second header record holds it.
  const int32_t offset = 2 * record_length;
  word(offset);
  for (int k = 1; k < words; k++) word(0);
  for (const QfitRecord& r : records) {
    const int32_t w[11] = {r.time_ms, r.lat,   r.lon,  r.elevation_mm, r.start_signal, r.reflected,
                           r.azimuth, r.pitch, r.roll, r.word10,       r.word11};
    for (int k = 0; k < words; k++) word(k < 11 ? w[k] : 0);
  }
  return b;
}

// PLANS DTM (version 3.1, 200-byte header) of `ncols` x `nrows` cells given column by column from
// the west, each column from the south, as I16 (data_type 0), I32 (1), F32 (2) or F64 (3).
struct DtmOptions {
  double ll_x = 1000, ll_y = 2000, xdim = 2, ydim = 3;
  int16_t data_type = 2, horizontal_units = 1, vertical_units = 1, coordinate_system = 1, zone = 10,
          horizontal_datum = 2, vertical_datum = 2;
  float version = 3.1f;
  bool padded = true;
};
inline Bytes dtm(int32_t ncols, int32_t nrows, const std::vector<double>& cells, const DtmOptions& o = {}) {
  Bytes b(o.padded ? 200 : 164, 0);
  std::memcpy(b.data(), "PLANS-PC BINARY .DTM", 20);
  std::memcpy(b.data() + 21, "written by a test", 17);
  patch_le(b, 82, o.version);
  double lo = 1e300, hi = -1e300;
  for (double c : cells) lo = std::min(lo, c), hi = std::max(hi, c);
  const double reals[7] = {o.ll_x, o.ll_y, lo, hi, 0.0, o.xdim, o.ydim};
  for (size_t k = 0; k < 7; k++) patch_le(b, 86 + 8 * k, reals[k]);
  patch_le(b, 142, ncols);
  patch_le(b, 146, nrows);
  const int16_t shorts[7] = {o.horizontal_units, o.vertical_units, o.data_type, o.coordinate_system, o.zone,
                             o.horizontal_datum, o.vertical_datum};
  for (size_t k = 0; k < 7; k++) patch_le(b, 150 + 2 * k, shorts[k]);

  for (double c : cells) {
    switch (o.data_type) {
      case 0:
        put_le(b, static_cast<int16_t>(c));
        break;
      case 1:
        put_le(b, static_cast<int32_t>(c));
        break;
      case 2:
        put_le(b, static_cast<float>(c));
        break;
      default:
        put_le(b, c);
        break;
    }
  }
  return b;
}

// An archive of the given libarchive format (ARCHIVE_FORMAT_ZIP, ARCHIVE_FORMAT_7ZIP, ...) holding
// the named files, or a bare gzip stream of the first file's bytes for ARCHIVE_FORMAT_RAW.
inline bool write_archive(const std::string& path, int format,
                          const std::vector<std::pair<std::string, std::string>>& files, bool store = false) {
  archive* a = archive_write_new();
  if (format == ARCHIVE_FORMAT_RAW) {
    archive_write_add_filter_gzip(a);
    archive_write_set_format_raw(a);
  } else {
    archive_write_set_format(a, format);
    if (store && format == ARCHIVE_FORMAT_ZIP)
      archive_write_set_format_option(a, "zip", "compression", "store");
  }
  bool ok = archive_write_open_filename(a, path.c_str()) == ARCHIVE_OK;
  for (const auto& [name, data] : files) {
    if (!ok) break;
    archive_entry* e = archive_entry_new();
    archive_entry_set_pathname(e, name.c_str());
    archive_entry_set_size(e, static_cast<la_int64_t>(data.size()));
    archive_entry_set_filetype(e, AE_IFREG);
    archive_entry_set_perm(e, 0644);
    ok = archive_write_header(a, e) == ARCHIVE_OK &&
         archive_write_data(a, data.data(), data.size()) == static_cast<la_ssize_t>(data.size());
    archive_entry_free(e);
  }
  ok = archive_write_close(a) == ARCHIVE_OK && ok;
  archive_write_free(a);
  return ok;
}

}  // namespace point_files
