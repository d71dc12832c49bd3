#include "pointio/detail/lasreaderqfit.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/messages.h"
#include "pointio/detail/synthesizedheader.h"

namespace {

bool is_record_length(int32_t v) {
  return v == 40 || v == 48 || v == 56;
}

int32_t byte_swapped(int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  return static_cast<int32_t>((u >> 24) | ((u >> 8) & 0xFF00u) | ((u << 8) & 0xFF0000u) | (u << 24));
}

LASattribute int_attribute(const char* name, const char* description) {
  LASattribute a;
  a.data_type = 6;  // I32
  std::strncpy(a.name, name, sizeof a.name);
  std::strncpy(a.description, description, sizeof a.description);
  return a;
}

}  // namespace

bool LASreaderQFIT::read_header() {
  int32_t first = 0;
  try {
    stream_->get32_le(reinterpret_cast<uint8_t*>(&first));
  } catch (const ByteStreamError&) {
    print_message_text("ERROR: reading QFIT header\n");
    return false;
  }
  big_endian_ = false;
  if (!is_record_length(first)) {
    first = byte_swapped(first);
    if (!is_record_length(first)) {
      print_message_text("ERROR: corrupt QFIT header.\n");
      return false;
    }
    big_endian_ = true;
  }
  record_length_ = first;
  uint8_t rest[56];
  try {
    stream_->get_bytes(rest, static_cast<uint32_t>(record_length_ - 4));
  } catch (const ByteStreamError&) {
    print_message("ERROR: reading %d bytes until point start offset from QFIT header\n", record_length_ - 4);
    return false;
  }
  int32_t offset = 0;
  try {
    if (big_endian_) {
      stream_->get32_be(reinterpret_cast<uint8_t*>(&offset));
    } else {
      stream_->get32_le(reinterpret_cast<uint8_t*>(&offset));
    }
  } catch (const ByteStreamError&) {
    print_message_text("ERROR: reading point start offset from QFIT header\n");
    return false;
  }
  const int64_t size = stream_->size();
  if (size < 0) {
    print_message_text("ERROR: QFIT input must be a file that can seek\n");
    return false;
  }
  if (offset < record_length_ + 4 || offset > size) {
    print_message("ERROR: corrupt QFIT header. point start offset %d lies outside the file of %lld bytes.\n",
                  offset, static_cast<long long>(size));
    return false;
  }
  point_start_ = offset;

  header.clear();
  std::memcpy(header.system_identifier, "Quorvane", 8);
  std::memcpy(header.generating_software, "contourmill QFIT", 16);
  header.add_attribute(int_attribute("scan azimuth", "Scan Azimuth (degrees X 1,000)"));
  header.add_attribute(int_attribute("pitch", "Pitch (degrees X 1,000)"));
  header.add_attribute(int_attribute("roll", "Roll (degrees X 1,000)"));
  // Of the three layouts only the 12-word one records the received pulse width.
  has_pulse_width_ = record_length_ == 48;
  if (has_pulse_width_) header.add_attribute(int_attribute("pulse width", "Pulse Width (digitizer samples)"));
  add_attributes_vlr(header);
  if (!set_point_type(header, point, 1)) return false;
  header.x_scale_factor = header.y_scale_factor = 1e-6;
  header.z_scale_factor = 0.001;
  header.x_offset = header.y_offset = header.z_offset = 0.0;
  npoints = (size - point_start_) / record_length_;
  header.number_of_point_records = static_cast<uint32_t>(std::min<int64_t>(npoints, UINT32_MAX));
  header.number_of_points_by_return[0] = header.number_of_point_records;
  source_quantizer_ = header;
  return seek(0);
}

bool LASreaderQFIT::read_record() {
  int32_t w[14];
  const int words = record_length_ / 4;
  try {
    stream_->get_bytes(reinterpret_cast<uint8_t*>(w), static_cast<uint32_t>(record_length_));
  } catch (const ByteStreamError&) {
    print_message("ERROR: reading QFIT point after %u of %u\n", static_cast<uint32_t>(p_count),
                  static_cast<uint32_t>(npoints));
    return false;
  }
  if (big_endian_) {
    for (int k = 0; k < words; k++) w[k] = byte_swapped(w[k]);
  }
  point.gps_time = 0.001 * w[0];
  point.Y = w[1];
  // Longitudes east of 180 degrees are carried over to the west.
  point.X = w[2] > 180000000 ? static_cast<int32_t>(int64_t{w[2]} - 360000000) : w[2];
  point.Z = w[3];
  point.intensity = static_cast<uint16_t>(std::clamp(w[5], 0, 65535));
  const double angle = std::round(0.001 * w[6] - 180.0);
  point.scan_angle_rank = static_cast<int8_t>(std::clamp(angle, -128.0, 127.0));
  std::memcpy(point.extra_bytes.data(), &w[6], 12);
  if (has_pulse_width_) std::memcpy(point.extra_bytes.data() + 12, &w[10], 4);
  return true;
}

// The header knows no bounds: take them from the first point and nine more spread over the file.
void LASreaderQFIT::sample_bounds() {
  if (npoints == 0 || !read_record()) return;
  widen(true);
  if (npoints > 10) {
    for (int64_t k = 1; k < 10; k++) {
      if (!seek(k * npoints / 10) || !read_record()) break;
      widen();
    }
  }
  seek(0);
}

bool LASreaderQFIT::seek(int64_t p_index) {
  if (!stream_ || p_index < 0 || (p_index >= npoints && p_index != 0)) return false;
  if (!stream_->seek(point_start_ + p_index * record_length_)) return false;
  p_count = p_index;
  return true;
}
