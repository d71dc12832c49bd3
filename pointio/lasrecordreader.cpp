#include "pointio/lasrecordreader.h"

#include <algorithm>
#include <cstring>

#include "pointio/detail/unaligned.h"

namespace {

class CopyItemReader : public LASitemReaderRaw {
 public:
  explicit CopyItemReader(uint32_t size) : size_(size) {}
  void unpack(const uint8_t* record_bytes, uint8_t* item) const override {
    std::memcpy(item, record_bytes, size_);
  }

 private:
  uint32_t size_;
};

class Point14ItemReader : public LASitemReaderRaw {
 public:
  void unpack(const uint8_t* record_bytes, uint8_t* item) const override {
    // The item pointer of a POINT14 item is the start of the point's fields.
    las_unpack_point14(record_bytes, *reinterpret_cast<LASpointFields*>(item));
  }
};

using pointio_detail::load;

// The item pointers point into fixed-size fields of LASpoint, so only the extra-bytes items may
// have a size of their own.
bool has_standard_size(const LASitem& item) {
  switch (item.type) {
    case LASitem::POINT10:
      return item.size == 20;
    case LASitem::GPSTIME11:
      return item.size == 8;
    case LASitem::RGB12:
    case LASitem::RGB14:
      return item.size == 6;
    case LASitem::RGBNIR14:
      return item.size == 8;
    case LASitem::WAVEPACKET13:
    case LASitem::WAVEPACKET14:
      return item.size == 29;
    case LASitem::POINT14:
      return item.size == 30;
    default:
      return item.size >= 1;
  }
}

}  // namespace

void las_unpack_point14(const uint8_t* r, LASpointFields& p) {
  p.X = load<int32_t>(r);
  p.Y = load<int32_t>(r + 4);
  p.Z = load<int32_t>(r + 8);
  p.intensity = load<uint16_t>(r + 12);
  const uint8_t return_number = r[14] & 0x0F;
  const uint8_t number_of_returns = r[14] >> 4;
  p.extended_return_number = return_number & 0x0F;
  p.extended_number_of_returns = number_of_returns & 0x0F;
  if (number_of_returns >= 8) {
    p.number_of_returns = 7;
    p.return_number = return_number <= 6 ? return_number & 7 : (return_number < number_of_returns ? 6 : 7);
  } else {
    p.number_of_returns = number_of_returns & 7;
    p.return_number = return_number & 7;
  }
  const uint8_t flags = r[15];
  p.scan_direction_flag = (flags >> 6) & 1;
  p.edge_of_flight_line = (flags & 0x80) != 0;
  p.synthetic_flag = flags & 1;
  p.keypoint_flag = (flags >> 1) & 1;
  p.withheld_flag = (flags >> 2) & 1;
  p.extended_classification_flags = flags & 0x0F;
  p.extended_scanner_channel = (flags >> 4) & 3;
  p.extended_classification = r[16];
  p.classification = r[16] < 32 ? r[16] & 0x1F : 0;
  p.user_data = r[17];
  p.extended_scan_angle = load<int16_t>(r + 18);
  const float degrees = p.extended_scan_angle * 0.006f;
  const float rounded = degrees >= 0.0f ? degrees + 0.5f : degrees - 0.5f;
  p.scan_angle_rank = static_cast<int8_t>(std::clamp(static_cast<int>(rounded), -128, 127));
  p.point_source_ID = load<uint16_t>(r + 20);
  p.gps_time = load<double>(r + 22);
}

LASrecordReader::~LASrecordReader() = default;

bool LASrecordUnpacker::setup(uint32_t num_items, const LASitem* items) {
  unpackers_.clear();
  item_offsets_.clear();
  record_length_ = 0;
  if (num_items == 0 || items == nullptr) return false;
  for (uint32_t i = 0; i < num_items; i++) {
    const LASitem& item = items[i];
    switch (item.type) {
      case LASitem::POINT10:
      case LASitem::GPSTIME11:
      case LASitem::RGB12:
      case LASitem::RGB14:
      case LASitem::RGBNIR14:
      case LASitem::WAVEPACKET13:
      case LASitem::WAVEPACKET14:
      case LASitem::BYTE:
      case LASitem::BYTE14:
        if (!has_standard_size(item)) return fail_setup();
        unpackers_.push_back(std::make_unique<CopyItemReader>(item.size));
        break;
      case LASitem::POINT14:
        if (!has_standard_size(item)) return fail_setup();
        unpackers_.push_back(std::make_unique<Point14ItemReader>());
        break;
      default:
        return fail_setup();
    }
    item_offsets_.push_back(record_length_);
    record_length_ += item.size;
  }
  return true;
}

bool LASrecordUnpacker::fail_setup() {
  unpackers_.clear();
  item_offsets_.clear();
  record_length_ = 0;
  return false;
}

void LASrecordUnpacker::unpack(const uint8_t* record, uint8_t* const* item_pointers) const {
  for (size_t i = 0; i < unpackers_.size(); i++)
    unpackers_[i]->unpack(record + item_offsets_[i], item_pointers[i]);
}

bool LASrecordReaderRaw::setup(uint32_t num_items, const LASitem* items) {
  if (!unpacker_.setup(num_items, items)) return false;
  record_.assign(unpacker_.record_length(), 0);
  return true;
}

bool LASrecordReaderRaw::init(ByteStreamIn* instream) {
  if (instream == nullptr || unpacker_.record_length() == 0) return false;
  instream_ = instream;
  point_start_ = instream->tell();
  last_error_.clear();
  last_warning_.clear();
  return true;
}

bool LASrecordReaderRaw::seek(int64_t current, int64_t target) {
  if (instream_ == nullptr || !instream_->is_seekable()) return false;
  if (current == target) return true;
  return instream_->seek(point_start_ + static_cast<int64_t>(unpacker_.record_length()) * target);
}

bool LASrecordReaderRaw::read(uint8_t* const* point) {
  try {
    instream_->get_bytes(record_.data(), unpacker_.record_length());
  } catch (const ByteStreamError&) {
    last_error_ = "end-of-file";
    return false;
  }
  unpacker_.unpack(record_.data(), point);
  return true;
}

int64_t LASrecordReaderRaw::max_records(int64_t bytes) const {
  const int64_t length = unpacker_.record_length();
  if (length <= 0 || bytes < 0) return -1;
  return bytes / length;
}
