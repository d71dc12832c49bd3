#include "filter/detail/attribute_value.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "pointio/lasheader.h"
#include "pointio/laspoint.h"

namespace filter_detail {

namespace {

// The bytes of one stored attribute value and how to read them, or none.
struct Slot {
  size_t start = 0;  // inside the point's extra bytes
  int kind = 0;      // (data_type - 1) mod 10: U8 I8 U16 I16 U32 I32 I64 I64 F32 F64
  const LASattribute* descriptor = nullptr;
};

constexpr int kWidth[10] = {1, 1, 2, 2, 4, 4, 8, 8, 4, 8};

Slot find_slot(const LASpoint& point, uint32_t index) {
  const LASattributeSet* set = point.attributer;
  if (set == nullptr || index >= set->attributes.size() || index >= set->attribute_starts.size()) return {};
  const LASattribute& a = set->attributes[index];
  if (a.data_type < 1 || a.data_type > 30) return {};  // opaque bytes have no value
  const int kind = (a.data_type - 1) % 10;
  const int32_t start = set->attribute_starts[index];
  // The descriptors come from the file: never read past the point's extra bytes.
  if (start < 0 || static_cast<size_t>(start) + kWidth[kind] > point.extra_bytes.size()) return {};
  Slot s;
  s.start = static_cast<size_t>(start);
  s.kind = kind;
  s.descriptor = &a;
  return s;
}

template <class T>
double load(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof(T));
  return static_cast<double>(v);
}

template <class T>
void store(uint8_t* p, T v) {
  std::memcpy(p, &v, sizeof(T));
}

// Rounds half away from zero into a 64-bit integer; out-of-range values are held at the ends.
int64_t round_to_i64(double r) {
  if (std::isnan(r)) return 0;
  const double rounded = r >= 0 ? r + 0.5 : r - 0.5;
  return static_cast<int64_t>(std::clamp(rounded, -9.2e18, 9.2e18));
}

}  // namespace

double get_attribute_value(const LASpoint& point, uint32_t index) {
  const Slot s = find_slot(point, index);
  if (s.descriptor == nullptr) return 0.0;
  const uint8_t* bytes = point.extra_bytes.data() + s.start;
  double v = 0.0;
  switch (s.kind) {
    case 0:
      v = load<uint8_t>(bytes);
      break;
    case 1:
      v = load<int8_t>(bytes);
      break;
    case 2:
      v = load<uint16_t>(bytes);
      break;
    case 3:
      v = load<int16_t>(bytes);
      break;
    case 4:
      v = load<uint32_t>(bytes);
      break;
    case 5:
      v = load<int32_t>(bytes);
      break;
    case 6:
    case 7:
      v = load<int64_t>(bytes);
      break;
    case 8:
      v = load<float>(bytes);
      break;
    default:
      v = load<double>(bytes);
      break;
  }
  if (s.descriptor->options & 8) v *= s.descriptor->scale[0];
  if (s.descriptor->options & 16) v += s.descriptor->offset[0];
  return v;
}

void set_attribute_value(LASpoint& point, uint32_t index, double value) {
  const Slot s = find_slot(point, index);
  if (s.descriptor == nullptr) return;
  uint8_t* bytes = point.extra_bytes.data() + s.start;
  double r = value;
  if (s.descriptor->options & 16) r -= s.descriptor->offset[0];
  if (s.descriptor->options & 8) r /= s.descriptor->scale[0];
  const bool is_unsigned = s.kind == 0 || s.kind == 2 || s.kind == 4 || s.kind == 6;
  const int64_t i = is_unsigned && !(r >= 0) ? 0 : round_to_i64(r);
  // Integers keep their low bytes in the attribute's width.
  switch (s.kind) {
    case 0:
    case 1:
      store(bytes, static_cast<uint8_t>(static_cast<uint64_t>(i)));
      break;
    case 2:
    case 3:
      store(bytes, static_cast<uint16_t>(static_cast<uint64_t>(i)));
      break;
    case 4:
    case 5:
      store(bytes, static_cast<uint32_t>(static_cast<uint64_t>(i)));
      break;
    case 6:
    case 7:
      store(bytes, i);
      break;
    case 8:
      store(bytes, static_cast<float>(r));
      break;
    default:
      store(bytes, r);
      break;
  }
}

}  // namespace filter_detail
