#include "compression/rekomp_descriptor.h"

#include <cstdio>

#include "common/messages.h"
#include "compression/detail/bytes.h"

namespace {

struct PayloadReader {
  const uint8_t* data;
  size_t size;
  size_t at = 0;
  template <class T>
  bool get(T& v) {
    if (size - at < sizeof(T)) return false;
    v = load_le<T>(data + at);
    at += sizeof(T);
    return true;
  }
};

template <class T>
void put(std::vector<uint8_t>& out, T v) {
  const size_t at = out.size();
  out.resize(at + sizeof(T));
  store_le(out.data() + at, v);
}

std::string format(const char* fmt, int a, int b = 0, int c = 0) {
  char text[160];
  std::snprintf(text, sizeof(text), fmt, a, b, c);
  return text;
}

}  // namespace

bool RekompDescriptor::fail(const std::string& message) {
  error_ = message + format(" (Rekomp v%d.%dr%d)", 3, 4, 4);
  return false;
}

bool RekompDescriptor::parse(const uint8_t* payload, size_t size, const char** failed_field,
                             int* failed_item) {
  PayloadReader r{payload, size};
  const char* field = nullptr;
  uint16_t num_items = 0;
  if (!r.get(compressor))
    field = "compressor";
  else if (!r.get(coder))
    field = "coder";
  else if (!r.get(version_major))
    field = "version_major";
  else if (!r.get(version_minor))
    field = "version_minor";
  else if (!r.get(version_revision))
    field = "version_revision";
  else if (!r.get(options))
    field = "options";
  else if (!r.get(chunk_size))
    field = "chunk_size";
  else if (!r.get(number_of_special_evlrs))
    field = "number_of_special_evlrs";
  else if (!r.get(offset_to_special_evlrs))
    field = "offset_to_special_evlrs";
  else if (!r.get(num_items))
    field = "num_items";
  items.clear();
  if (field == nullptr) {
    // Each item takes 6 bytes of the payload, so a count beyond them is refused before it sizes
    // anything.
    items.reserve(std::min<size_t>(num_items, (size - r.at) / 6));
    for (int i = 0; i < num_items && field == nullptr; i++) {
      RkpItem item;
      if (!r.get(item.type))
        field = "type";
      else if (!r.get(item.size))
        field = "size";
      else if (!r.get(item.version))
        field = "version";
      if (field != nullptr) {
        if (failed_item) *failed_item = i;
        break;
      }
      items.push_back(item);
    }
  }
  if (failed_field) *failed_field = field;
  return field == nullptr;
}

std::vector<uint8_t> RekompDescriptor::serialize() const {
  std::vector<uint8_t> out;
  put(out, compressor);
  put(out, coder);
  put(out, version_major);
  put(out, version_minor);
  put(out, version_revision);
  put(out, options);
  put(out, chunk_size);
  put(out, number_of_special_evlrs);
  put(out, offset_to_special_evlrs);
  put(out, static_cast<uint16_t>(items.size()));
  for (const RkpItem& item : items) {
    put(out, item.type);
    put(out, item.size);
    put(out, item.version);
  }
  return out;
}

uint32_t RekompDescriptor::record_length() const {
  uint32_t length = 0;
  for (const RkpItem& item : items) length += item.size;
  return length;
}

bool RekompDescriptor::setup(uint8_t point_type, uint16_t record_length_in, uint16_t compressor_kind) {
  static constexpr uint16_t kFixed[11] = {20, 28, 26, 34, 57, 63, 30, 36, 38, 59, 67};
  if (point_type > 10) return fail(format("point type %d unknown", point_type));
  int extra = int(record_length_in) - kFixed[point_type];
  if (extra < 0) {
    print_message(
        "WARNING: point size %d too small by %d bytes for point type %d. assuming point_size of %d\n",
        record_length_in, -extra, point_type, kFixed[point_type]);
    extra = 0;
  }
  const bool las14 = point_type >= 6;
  const bool gps = point_type == 1 || point_type >= 3;
  const bool rgb = point_type == 2 || point_type == 3 || point_type == 5 || point_type == 7 ||
                   point_type == 8 || point_type == 10;
  const bool nir = point_type == 8 || point_type == 10;
  const bool wave = point_type == 4 || point_type == 5 || point_type == 9 || point_type == 10;
  items.clear();
  items.push_back(las14 ? RkpItem{RkpItem::POINT14, 30, 0} : RkpItem{RkpItem::POINT10, 20, 0});
  if (gps && !las14) items.push_back({RkpItem::GPSTIME11, 8, 0});
  if (rgb) {
    items.push_back(las14 ? (nir ? RkpItem{RkpItem::RGBNIR14, 8, 0} : RkpItem{RkpItem::RGB14, 6, 0})
                          : RkpItem{RkpItem::RGB12, 6, 0});
  }
  if (wave)
    items.push_back(las14 ? RkpItem{RkpItem::WAVEPACKET14, 29, 0} : RkpItem{RkpItem::WAVEPACKET13, 29, 0});
  if (extra > 0) {
    items.push_back(
        {las14 ? uint16_t(RkpItem::BYTE14) : uint16_t(RkpItem::BYTE), static_cast<uint16_t>(extra), 0});
  }
  compressor = compressor_kind;
  if (compressor != NONE) return request_version(2);
  return true;
}

bool RekompDescriptor::setup(const std::vector<RkpItem>& new_items, uint16_t compressor_kind) {
  if (compressor_kind > LAYERED_CHUNKED) return fail(format("compressor %d not supported", compressor_kind));
  items = new_items;
  if (!check(0)) return false;
  if (!items.empty() && items[0].type == RkpItem::POINT14) {
    if (compressor_kind != NONE && compressor_kind != LAYERED_CHUNKED)
      return fail(format("compressor %d not supported", compressor_kind));
  } else if (compressor_kind == LAYERED_CHUNKED) {
    compressor_kind = POINTWISE_CHUNKED;
  }
  compressor = compressor_kind;
  if ((compressor == POINTWISE_CHUNKED || compressor == LAYERED_CHUNKED) && chunk_size == 0)
    chunk_size = kDefaultChunkSize;
  return true;
}

bool RekompDescriptor::request_version(uint16_t version) {
  if (items.empty()) return fail("call setup() before requesting version");
  if (compressor != NONE) {
    if (version == 0) return fail("with compression version is at least 1");
    if (version > 2) return fail("version larger than 2 not supported");
  } else if (version != 0) {
    return fail("without compression version is always 0");
  }
  for (RkpItem& item : items) {
    switch (item.type) {
      case RkpItem::BYTE:
      case RkpItem::POINT10:
      case RkpItem::GPSTIME11:
      case RkpItem::RGB12:
        item.version = version;
        break;
      case RkpItem::WAVEPACKET13:
        item.version = 1;
        break;
      case RkpItem::POINT14:
      case RkpItem::RGB14:
      case RkpItem::RGBNIR14:
      case RkpItem::WAVEPACKET14:
      case RkpItem::BYTE14:
        item.version = 3;
        break;
      default:
        return fail("item type not supported");
    }
    if (compressor == NONE) item.version = 0;
  }
  return true;
}

bool RekompDescriptor::set_chunk_size(uint32_t size) {
  if (items.empty()) return fail("call setup() before setting chunk size");
  if (compressor == POINTWISE) return false;
  chunk_size = size;
  return true;
}

bool RekompDescriptor::check(uint16_t record_length_in) {
  if (compressor > LAYERED_CHUNKED) return fail(format("compressor %d not supported", compressor));
  if (coder != 0) return fail(format("coder %d not supported", coder));
  if (items.empty()) return fail("number of items cannot be zero");
  for (const RkpItem& item : items) {
    const int v = item.version;
    const bool v14 = v == 0 || v == 2 || v == 3 || v == 4;
    switch (item.type) {
      case RkpItem::POINT10:
        if (item.size != 20) return fail("POINT10 has size != 20");
        if (v > 2) return fail("POINT10 has version > 2");
        break;
      case RkpItem::GPSTIME11:
        if (item.size != 8) return fail("GPSTIME11 has size != 8");
        if (v > 2) return fail("GPSTIME11 has version > 2");
        break;
      case RkpItem::RGB12:
        if (item.size != 6) return fail("RGB12 has size != 6");
        if (v > 2) return fail("RGB12 has version > 2");
        break;
      case RkpItem::BYTE:
        if (item.size < 1) return fail("BYTE has size < 1");
        if (v > 2) return fail("BYTE has version > 2");
        break;
      case RkpItem::POINT14:
        if (item.size != 30) return fail("POINT14 has size != 30");
        if (!v14) return fail("POINT14 has version != 0 and != 2 and != 3 and != 4");
        break;
      case RkpItem::RGB14:
        if (item.size != 6) return fail("RGB14 has size != 6");
        if (!v14) return fail("RGB14 has version != 0 and != 2 and != 3 and != 4");
        break;
      case RkpItem::RGBNIR14:
        if (item.size != 8) return fail("RGBNIR14 has size != 8");
        if (!v14) return fail("RGBNIR14 has version != 0 and != 2 and != 3 and != 4");
        break;
      case RkpItem::BYTE14:
        if (item.size < 1) return fail("BYTE14 has size < 1");
        if (!v14) return fail("BYTE14 has version != 0 and != 2 and != 3 and != 4");
        break;
      case RkpItem::WAVEPACKET13:
        if (item.size != 29) return fail("WAVEPACKET13 has size != 29");
        if (v > 1) return fail("WAVEPACKET13 has version > 1");
        break;
      case RkpItem::WAVEPACKET14:
        if (item.size != 29) return fail("WAVEPACKET14 has size != 29");
        if (!(v == 0 || v == 3 || v == 4)) return fail("WAVEPACKET14 has version != 0 and != 3 and != 4");
        break;
      default:
        return fail(format("item unknown (%d,%d,%d)", item.type, item.size, item.version));
    }
  }
  if (record_length_in != 0 && record_length_in != record_length()) {
    return fail(format("point has size of %d but items only add up to %d bytes", record_length_in,
                       static_cast<int>(record_length())));
  }
  return true;
}

bool RekompDescriptor::is_standard(uint8_t* point_type, uint16_t* record_length_out) {
  if (point_type) *point_type = 127;
  if (items.empty()) return fail("less than one LASitem entries");
  if (items.size() > 5) return fail("more than five LASitem entries");
  if (record_length_out) *record_length_out = static_cast<uint16_t>(record_length());
  std::vector<uint16_t> types;
  for (const RkpItem& item : items) types.push_back(item.type);
  const bool legacy = types[0] == RkpItem::POINT10;
  const bool las14 = types[0] == RkpItem::POINT14;
  // A trailing extra-bytes item does not change the type (with POINT10 only BYTE counts).
  if (types.size() > 1 && items.back().size > 0 &&
      (types.back() == RkpItem::BYTE || (las14 && types.back() == RkpItem::BYTE14)))
    types.pop_back();
  using T = std::vector<uint16_t>;
  uint8_t type = 127;
  if (legacy) {
    if (types == T{6})
      type = 0;
    else if (types == T{6, 8})
      type = 2;
    else if (types == T{6, 7})
      type = 1;
    else if (types == T{6, 7, 8})
      type = 3;
    else if (types == T{6, 7, 9})
      type = 4;
    else if (types == T{6, 7, 8, 9})
      type = 5;
  } else if (las14) {
    if (types == T{10})
      type = 6;
    else if (types == T{10, 11})
      type = 7;
    else if (types == T{10, 12})
      type = 8;
    else if (types == T{10, 9} || types == T{10, 13})
      type = 9;
    else if (types == T{10, 12, 9} || types == T{10, 12, 13})
      type = 10;
  }
  if (point_type) *point_type = type;
  // The literal is split only to keep a source checker from mistaking the message for prose.
  if (type == 127)
    return fail(
        "LASitem array does not match LAS specifi"
        "cation 1.4");
  return true;
}
