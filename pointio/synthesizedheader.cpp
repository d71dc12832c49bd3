#include "pointio/detail/synthesizedheader.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <ctime>
#include <vector>

#include "common/messages.h"
#include "pointio/lasheader.h"
#include "pointio/laspoint.h"

namespace {

// The time the file was made: its birth time where the file system records one, else its last
// status change.
bool file_time(const char* file_name, std::time_t& when) {
  struct statx stx;
  if (statx(AT_FDCWD, file_name, 0, STATX_BTIME | STATX_CTIME, &stx) != 0) return false;
  when = static_cast<std::time_t>((stx.stx_mask & STATX_BTIME) ? stx.stx_btime.tv_sec : stx.stx_ctime.tv_sec);
  return true;
}

double chosen_offset(double min, double max, double scale, double fallback) {
  if (!(min > -2e307 && min < 2e307 && max > -2e307 && max < 2e307)) return 0.0;
  const double units = (min + max) / scale * 5e-08;
  if (!std::isfinite(units) || std::fabs(units) >= 9e18) return fallback;
  return static_cast<double>(static_cast<int64_t>(units)) * 10000000 * scale;
}

}  // namespace

void set_creation_date(LASheader& header, const char* file_name) {
  std::time_t when = 0;
  std::tm utc{};
  if (file_name == nullptr || !file_time(file_name, when) || gmtime_r(&when, &utc) == nullptr) {
    header.file_creation_day = 1;
    header.file_creation_year = 2019;
    return;
  }
  static constexpr int kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  const int year = utc.tm_year + 1900;
  int day = kDaysBefore[utc.tm_mon] + utc.tm_mday;
  if (utc.tm_mon > 1 && year % 4 == 0) day++;
  header.file_creation_day = static_cast<uint16_t>(day);
  header.file_creation_year = static_cast<uint16_t>(year);
}

void choose_quantization(LASheader& header, const RequestedTriple& scale, const RequestedTriple& offset) {
  const bool geographic =
      header.min_x > -360 && header.min_y > -360 && header.max_x < 360 && header.max_y < 360;
  double chosen[3] = {geographic ? 1e-7 : 0.01, geographic ? 1e-7 : 0.01, 0.01};
  if (scale) {
    for (size_t a = 0; a < 3; a++) {
      if ((*scale)[a] != 0.0) chosen[a] = (*scale)[a];
    }
  }
  header.x_scale_factor = chosen[0];
  header.y_scale_factor = chosen[1];
  header.z_scale_factor = chosen[2];
  if (offset) {
    header.x_offset = (*offset)[0];
    header.y_offset = (*offset)[1];
    header.z_offset = (*offset)[2];
    return;
  }
  header.x_offset = chosen_offset(header.min_x, header.max_x, chosen[0], 0.0);
  header.y_offset = chosen_offset(header.min_y, header.max_y, chosen[1], 0.0);
  header.z_offset = chosen_offset(header.min_z, header.max_z, chosen[2], 0.0);
}

void snap_bounds(LASheader& header) {
  struct Bound {
    double* value;
    double scale, offset;
    const char *name, *axis;
  };
  const Bound bounds[6] = {
      {&header.min_x, header.x_scale_factor, header.x_offset, "min_x", "x"},
      {&header.max_x, header.x_scale_factor, header.x_offset, "max_x", "x"},
      {&header.min_y, header.y_scale_factor, header.y_offset, "min_y", "y"},
      {&header.max_y, header.y_scale_factor, header.y_offset, "max_y", "y"},
      {&header.min_z, header.z_scale_factor, header.z_offset, "min_z", "z"},
      {&header.max_z, header.z_scale_factor, header.z_offset, "max_z", "z"},
  };
  for (const Bound& b : bounds) {
    const double q = (*b.value - b.offset) / b.scale;
    if (!std::isfinite(q) || std::fabs(q) >= 9e18) continue;
    const double rounded = *b.value >= b.offset ? std::floor(q + 0.5) : std::ceil(q - 0.5);
    const double snapped = b.offset + b.scale * rounded;
    if ((*b.value > 0) != (snapped > 0)) {
      print_message("WARNING: quantization sign flip for %s from %g to %g.\n", b.name, *b.value, snapped);
      print_message("         set scale factor for %s coarser than %g with '-rescale'\n", b.axis, b.scale);
      continue;
    }
    *b.value = snapped;
  }
}

void set_header_version(LASheader& header, uint8_t minor) {
  const uint16_t size = minor >= 4 ? 375 : minor == 3 ? 235 : 227;
  header.offset_to_point_data = header.offset_to_point_data - header.header_size + size;
  header.header_size = size;
  header.version_major = 1;
  header.version_minor = minor;
}

std::optional<int32_t> quantize_checked(double value, double scale, double offset) {
  const double q = (value - offset) / scale;
  // Beyond this no rounding fits 32 bits; within it floor and ceil go through a 64-bit integer,
  // exactly and without the library calls that took a good part of a raster cell's time.
  if (!(std::fabs(q) < 4e9)) return std::nullopt;
  double r;
  if (value >= offset) {
    const double up = q + 0.5;
    r = static_cast<double>(static_cast<int64_t>(up));
    if (r > up) r -= 1.0;  // floor
  } else {
    const double down = q - 0.5;
    r = static_cast<double>(static_cast<int64_t>(down));
    if (r < down) r += 1.0;  // ceil
  }
  if (!(r >= -2147483648.0 && r <= 2147483647.0)) return std::nullopt;
  return static_cast<int32_t>(r);
}

bool CheckedQuantizer::quantize(const LASquantizer& q, double x, double y, double z, LASpoint& point) {
  const auto X = quantize_checked(x, q.x_scale_factor, q.x_offset);
  const auto Y = quantize_checked(y, q.y_scale_factor, q.y_offset);
  const auto Z = quantize_checked(z, q.z_scale_factor, q.z_offset);
  if (X && Y && Z) {
    point.X = *X;
    point.Y = *Y;
    point.Z = *Z;
    point.coordinates[0] = x;
    point.coordinates[1] = y;
    point.coordinates[2] = z;
    return true;
  }
  if (!X) overflows_[0]++;
  if (!Y) overflows_[1]++;
  if (!Z) overflows_[2]++;
  return false;
}

void CheckedQuantizer::report() const {
  static const char* const kAxes[3] = {"x", "y", "z"};
  for (size_t a = 0; a < 3; a++) {
    if (overflows_[a]) {
      print_message("WARNING: total of %lld integer overflows in %s\n", static_cast<long long>(overflows_[a]),
                    kAxes[a]);
    }
  }
}

void widen_bounds(LASheader& header, bool first, double x, double y, double z) {
  if (first) {
    header.min_x = header.max_x = x;
    header.min_y = header.max_y = y;
    header.min_z = header.max_z = z;
    return;
  }
  if (x < header.min_x) {
    header.min_x = x;
  } else if (x > header.max_x) {
    header.max_x = x;
  }
  if (y < header.min_y) {
    header.min_y = y;
  } else if (y > header.max_y) {
    header.max_y = y;
  }
  if (z < header.min_z) {
    header.min_z = z;
  } else if (z > header.max_z) {
    header.max_z = z;
  }
}

bool set_point_type(LASheader& header, LASpoint& point, uint8_t point_type) {
  static constexpr uint16_t kLengths[11] = {20, 28, 26, 34, 57, 63, 30, 36, 38, 59, 67};
  const int length = point_type < 11 ? kLengths[point_type] + header.get_attributes_size() : 0;
  std::vector<LASitem> items;
  if (point_type >= 11 || length > 65535 ||
      !las_point_format_items(point_type, static_cast<uint16_t>(length), items) ||
      !point.init(&header, items, &header)) {
    print_message("ERROR: unknown point type %d with point size %d\n", point_type, length);
    return false;
  }
  header.point_data_format = point_type;
  header.point_data_record_length = static_cast<uint16_t>(length);
  return true;
}

void add_attributes_vlr(LASheader& header) {
  if (header.attributes.empty()) return;
  std::vector<uint8_t> payload(header.attributes.size() * sizeof(LASattribute));
  std::memcpy(payload.data(), header.attributes.data(), payload.size());
  header.add_vlr("LASF_Spec", 4, std::move(payload), kVlrDescription);
}
