#include "pointio/detail/lasreaderbin.h"

#include <algorithm>
#include <cstring>

#include "common/messages.h"
#include "pointio/detail/synthesizedheader.h"
#include "pointio/detail/unaligned.h"

namespace {

constexpr int32_t kHeaderSize = 56;
constexpr int32_t kRecognitionValue = 970401;
constexpr int32_t kNewRecordVersion = 20020715;

using pointio_detail::load;

// Terrasolid echo codes as return number and number of returns.
constexpr uint8_t kReturnOf[4] = {1, 1, 2, 2};
constexpr uint8_t kReturnsOf[4] = {1, 2, 3, 2};

}  // namespace

bool LASreaderBIN::read_header() {
  stream_size_ = stream_->size();
  uint8_t h[kHeaderSize];
  try {
    stream_->get_bytes(h, kHeaderSize);
  } catch (const ByteStreamError&) {
    print_message_text("ERROR: reading terrasolid header\n");
    return false;
  }
  if (load<int32_t>(h) != kHeaderSize) {
    print_message_text("ERROR: corrupt terrasolid header. size != 56.\n");
    return false;
  }
  const int32_t version = load<int32_t>(h + 4);
  if (load<int32_t>(h + 8) != kRecognitionValue) {
    print_message_text("ERROR: corrupt terrasolid header. recog_val != 970401.\n");
    return false;
  }
  if (std::memcmp(h + 12, "CXYZ", 4) != 0) {
    print_message_text("ERROR: corrupt terrasolid header. recog_str != CXYZ.\n");
    return false;
  }
  const int32_t count = load<int32_t>(h + 16);
  const int32_t units = load<int32_t>(h + 20);
  // The scale factors are 1 / units: zero or negative units have no meaning.
  if (units <= 0) {
    print_message("ERROR: corrupt terrasolid header. units %d is not positive.\n", units);
    return false;
  }
  if (count < 0) {
    print_message("ERROR: corrupt terrasolid header. point count %d is negative.\n", count);
    return false;
  }
  const double origin[3] = {load<double>(h + 24), load<double>(h + 32), load<double>(h + 40)};
  has_time_ = load<int32_t>(h + 48) != 0;
  has_color_ = load<int32_t>(h + 52) != 0;
  new_records_ = version == kNewRecordVersion;
  record_size_ = (new_records_ ? 20u : 16u) + (has_time_ ? 4u : 0u) + (has_color_ ? 4u : 0u);

  header.clear();
  std::memcpy(header.system_identifier, "Quorvane", 8);
  std::memcpy(header.generating_software, "contourmill terrasolid BIN", 26);
  const uint8_t type = has_time_ ? (has_color_ ? 3 : 1) : (has_color_ ? 2 : 0);
  if (!set_point_type(header, point, type)) return false;
  const double scale = 1.0 / units;
  header.x_scale_factor = header.y_scale_factor = header.z_scale_factor = scale;
  header.x_offset = -origin[0] / units;
  header.y_offset = -origin[1] / units;
  header.z_offset = -origin[2] / units;
  header.number_of_point_records = static_cast<uint32_t>(count);
  announced_ = static_cast<uint32_t>(count);
  npoints = count;
  source_quantizer_ = header;
  return true;
}

bool LASreaderBIN::read_record() {
  uint8_t r[20];
  try {
    stream_->get_bytes(r, new_records_ ? 20 : 16);
  } catch (const ByteStreamError&) {
    print_message(new_records_ ? "ERROR: reading terrasolid point after %u of %u\n"
                               : "ERROR: reading terrasolid row after %u of %u\n",
                  static_cast<uint32_t>(p_count), announced_);
    return false;
  }
  unsigned echo;
  if (new_records_) {
    point.X = load<int32_t>(r);
    point.Y = load<int32_t>(r + 4);
    point.Z = load<int32_t>(r + 8);
    point.classification = r[12] & 31;
    echo = r[13] & 3u;
    point.point_source_ID = load<uint16_t>(r + 16);
    point.intensity = load<uint16_t>(r + 18);
  } else {
    point.classification = r[0] & 31;
    point.point_source_ID = r[1];
    const uint16_t packed = load<uint16_t>(r + 2);
    point.intensity = packed & 0x3FFF;
    echo = packed >> 14;
    point.X = load<int32_t>(r + 4);
    point.Y = load<int32_t>(r + 8);
    point.Z = load<int32_t>(r + 12);
  }
  point.return_number = kReturnOf[echo] & 7;
  point.number_of_returns = kReturnsOf[echo] & 7;
  if (has_time_) {
    try {
      uint8_t t[4];
      stream_->get_bytes(t, 4);
      point.gps_time = 0.0002 * load<uint32_t>(t);
    } catch (const ByteStreamError&) {
      print_message_text("ERROR: reading terrasolid time\n");
      return false;
    }
  }
  if (has_color_) {
    try {
      uint8_t c[4];
      stream_->get_bytes(c, 4);
      for (int k = 0; k < 3; k++) point.rgb[k] = static_cast<uint16_t>(c[k] * 256);
    } catch (const ByteStreamError&) {
      print_message_text("ERROR: reading terrasolid color\n");
      return false;
    }
  }
  header.number_of_points_by_return[echo < 2 ? 0 : 1]++;
  return true;
}

// The header knows no bounds: take them from the first point and nine more spread over the file.
void LASreaderBIN::sample_bounds() {
  if (npoints == 0) return;
  const int64_t records = max_points_in_file() < 0 ? npoints : std::min(npoints, max_points_in_file());
  if (records == 0 || !read_record()) return;
  widen(true);
  if (records > 10 && stream_->is_seekable()) {
    for (int64_t k = 1; k < 10; k++) {
      if (!seek(k * records / 10) || !read_record()) break;
      widen();
    }
  }
  std::fill(std::begin(header.number_of_points_by_return), std::end(header.number_of_points_by_return), 0u);
  if (!stream_->is_seekable() || !seek(0)) {
    // The first record was consumed and cannot be read again.
    print_message_text("ERROR: cannot seek back to the first terrasolid point\n");
    npoints = 0;
  }
  p_count = 0;
}

bool LASreaderBIN::seek(int64_t p_index) {
  if (!stream_ || p_index < 0 || p_index >= npoints) return false;
  if (!stream_->seek(kHeaderSize + p_index * record_size_)) return false;
  p_count = p_index;
  return true;
}

int64_t LASreaderBIN::max_points_in_file() const {
  if (stream_size_ < 0) return -1;
  return std::max<int64_t>(0, stream_size_ - kHeaderSize) / record_size_;
}
