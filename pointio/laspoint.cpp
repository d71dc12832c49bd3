#include "pointio/laspoint.h"

#include <cstdio>
#include <type_traits>

#include "common/messages.h"

static_assert(std::is_standard_layout_v<LASpointFields>);
static_assert(offsetof(LASpointFields, X) == 0 && offsetof(LASpointFields, Z) == 8);
static_assert(offsetof(LASpointFields, intensity) == 12);
static_assert(offsetof(LASpointFields, scan_angle_rank) == 16);
static_assert(offsetof(LASpointFields, user_data) == 17);
static_assert(offsetof(LASpointFields, point_source_ID) == 18);
static_assert(sizeof(LASwavepacket) == 29);

namespace {

const LASquantizer kDefaultQuantizer{};

struct FormatLayout {
  uint16_t standard_length;
  std::array<uint16_t, 4> types;  // kNone fills the unused places
};

constexpr uint16_t kNone = 0xFFFF;

constexpr std::array<FormatLayout, 11> kFormats = {{
    {20, {LASitem::POINT10, kNone, kNone, kNone}},
    {28, {LASitem::POINT10, LASitem::GPSTIME11, kNone, kNone}},
    {26, {LASitem::POINT10, LASitem::RGB12, kNone, kNone}},
    {34, {LASitem::POINT10, LASitem::GPSTIME11, LASitem::RGB12, kNone}},
    {57, {LASitem::POINT10, LASitem::GPSTIME11, LASitem::WAVEPACKET13, kNone}},
    {63, {LASitem::POINT10, LASitem::GPSTIME11, LASitem::RGB12, LASitem::WAVEPACKET13}},
    {30, {LASitem::POINT14, kNone, kNone, kNone}},
    {36, {LASitem::POINT14, LASitem::RGB14, kNone, kNone}},
    {38, {LASitem::POINT14, LASitem::RGBNIR14, kNone, kNone}},
    {59, {LASitem::POINT14, LASitem::WAVEPACKET14, kNone, kNone}},
    {67, {LASitem::POINT14, LASitem::RGBNIR14, LASitem::WAVEPACKET14, kNone}},
}};

uint16_t item_size(uint16_t type) {
  switch (type) {
    case LASitem::POINT10:
      return 20;
    case LASitem::GPSTIME11:
      return 8;
    case LASitem::RGB12:
      return 6;
    case LASitem::WAVEPACKET13:
      return 29;
    case LASitem::POINT14:
      return 30;
    case LASitem::RGB14:
      return 6;
    case LASitem::RGBNIR14:
      return 8;
    case LASitem::WAVEPACKET14:
      return 29;
    default:
      return 0;
  }
}

}  // namespace

bool las_point_format_items(uint8_t point_data_format, uint16_t point_data_record_length,
                            std::vector<LASitem>& items) {
  items.clear();
  if (point_data_format >= kFormats.size()) {
    print_message("ERROR: unknown point type %d with point size %d\n", point_data_format,
                  point_data_record_length);
    return false;
  }
  const FormatLayout& layout = kFormats[point_data_format];
  const int surplus = int(point_data_record_length) - int(layout.standard_length);
  // A record shorter than its format cannot hold the format's fields: reading it with the
  // format's length would take every point after the first from the wrong bytes.
  if (surplus < 0) {
    print_message("ERROR: point size %d too small by %d bytes for point type %d. it needs at least %d\n",
                  point_data_record_length, -surplus, point_data_format, layout.standard_length);
    return false;
  }
  for (uint16_t type : layout.types) {
    if (type != kNone) items.push_back({type, item_size(type), 0});
  }
  if (surplus > 0) {
    const uint16_t extra_type = point_data_format <= 5 ? LASitem::BYTE : LASitem::BYTE14;
    items.push_back({extra_type, static_cast<uint16_t>(surplus), 0});
  }
  return true;
}

LASpoint::LASpoint() : quantizer(&kDefaultQuantizer) {}

bool LASpoint::init(const LASquantizer* quantizer_in, const std::vector<LASitem>& item_list,
                    const LASattributeSet* attributer_in) {
  clear();
  quantizer = quantizer_in ? quantizer_in : &kDefaultQuantizer;
  attributer = attributer_in;
  items = item_list;
  num_items = static_cast<uint16_t>(items.size());
  // The extra-bytes buffer must be sized before any pointer into it is taken.
  for (const LASitem& item : items) {
    if (item.type == LASitem::BYTE || item.type == LASitem::BYTE14) {
      extra_bytes_number = item.size;
      extra_bytes.assign(item.size, 0);
    }
  }
  uint8_t* const base = reinterpret_cast<uint8_t*>(static_cast<LASpointFields*>(this));
  for (const LASitem& item : items) {
    switch (item.type) {
      case LASitem::POINT14:
        have_gps_time = true;
        extended_point_type = 1;
        [[fallthrough]];
      case LASitem::POINT10:
        point.push_back(base);
        break;
      case LASitem::GPSTIME11:
        have_gps_time = true;
        point.push_back(reinterpret_cast<uint8_t*>(&gps_time));
        break;
      case LASitem::RGBNIR14:
        have_nir = true;
        [[fallthrough]];
      case LASitem::RGB12:
      case LASitem::RGB14:
        have_rgb = true;
        point.push_back(reinterpret_cast<uint8_t*>(rgb));
        break;
      case LASitem::WAVEPACKET13:
      case LASitem::WAVEPACKET14:
        have_wavepacket = true;
        point.push_back(wavepacket.data);
        break;
      case LASitem::BYTE:
      case LASitem::BYTE14:
        point.push_back(extra_bytes.data());
        break;
      default:
        clear();
        return false;
    }
    total_point_size += item.size;
  }
  return true;
}

void LASpoint::zero() {
  const uint8_t keep_type = extended_point_type;
  static_cast<LASpointFields&>(*this) = LASpointFields{};
  extended_point_type = keep_type & 3;
  std::fill(extra_bytes.begin(), extra_bytes.end(), uint8_t{0});
  coordinates[0] = coordinates[1] = coordinates[2] = 0.0;
}

void LASpoint::clear() {
  zero();
  extended_point_type = 0;
  extra_bytes.clear();
  extra_bytes_number = 0;
  point.clear();
  items.clear();
  num_items = 0;
  total_point_size = 0;
  have_gps_time = have_rgb = have_nir = have_wavepacket = false;
}

void LASpoint::copy_from(const LASpoint& other) {
  static_cast<LASpointFields&>(*this) = static_cast<const LASpointFields&>(other);
  const size_t n = std::min(extra_bytes.size(), other.extra_bytes.size());
  if (n) std::memcpy(extra_bytes.data(), other.extra_bytes.data(), n);
}
