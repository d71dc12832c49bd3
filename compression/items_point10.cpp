// POINT10 items, versions 1 and 2: X, Y, Z, intensity, the return and classification bytes,
// scan angle rank, user data and point source ID of LAS point types 0 to 5.
#include <algorithm>
#include <array>
#include <memory>

#include "compression/detail/bytes.h"
#include "compression/detail/coding_side.h"
#include "compression/detail/legacy_codecs.h"
#include "compression/detail/legacy_items.h"

namespace {

using legacy_codecs::ByteModels;
using legacy_codecs::code_user_data_and_source;
using legacy_codecs::kClassByte;
using legacy_codecs::kIntensity;
using legacy_codecs::kPointSource;
using legacy_codecs::kReturnByte;
using legacy_codecs::kScanAngle;
using legacy_codecs::kUserData;
using legacy_codecs::kX;
using legacy_codecs::kY;
using legacy_codecs::kZ;
using legacy_codecs::Point10V2;

int32_t median3(const int32_t* a) {
  if (a[0] < a[1]) {
    if (a[1] < a[2]) return a[1];
    return a[0] < a[2] ? a[2] : a[0];
  }
  if (a[0] < a[2]) return a[0];
  return a[1] < a[2] ? a[2] : a[1];
}

class Point10V1 {
 public:
  Point10V1(uint32_t, bool for_decoder)
      : dx_(32, 1),
        dy_(32, 20),
        z_(32, 20),
        intensity_(16, 1),
        scan_angle_(8, 2),
        point_source_(16, 1),
        changed_(64, for_decoder),
        return_byte_(for_decoder),
        classification_(for_decoder),
        user_data_(for_decoder) {}

  void init(const uint8_t* item, bool for_decoder) {
    std::fill(std::begin(last_dx_), std::end(last_dx_), 0);
    std::fill(std::begin(last_dy_), std::end(last_dy_), 0);
    oldest_ = 0;
    for (IntegerCoder* ic : {&dx_, &dy_, &z_, &intensity_, &scan_angle_, &point_source_})
      for_decoder ? ic->init_decompressor() : ic->init_compressor();
    changed_.init();
    return_byte_.reset();
    classification_.reset();
    user_data_.reset();
    std::memcpy(last_, item, 20);
  }

  template <class Side>
  void code(Side& side, uint8_t* item) {
    const int32_t last_x = load_le<int32_t>(last_ + kX), last_y = load_le<int32_t>(last_ + kY);
    const int32_t dx = side.integer(dx_, median3(last_dx_),
                                    Side::kEncode ? wrap_sub(load_le<int32_t>(item + kX), last_x) : 0);
    store_le(last_ + kX, wrap_add(last_x, dx));
    const uint32_t kx = dx_.get_k();
    const int32_t dy =
        side.integer(dy_, median3(last_dy_),
                     Side::kEncode ? wrap_sub(load_le<int32_t>(item + kY), last_y) : 0, std::min(kx, 19u));
    store_le(last_ + kY, wrap_add(last_y, dy));
    const uint32_t kk = kx + dy_.get_k();
    store_le(last_ + kZ,
             side.integer(z_, load_le<int32_t>(last_ + kZ), Side::kEncode ? load_le<int32_t>(item + kZ) : 0,
                          std::min(kk / 2, 19u)));

    uint32_t changed = 0;
    if constexpr (Side::kEncode) {
      changed = (std::memcmp(item + kIntensity, last_ + kIntensity, 2) != 0 ? 32u : 0u) |
                (item[kReturnByte] != last_[kReturnByte] ? 16u : 0u) |
                (item[kClassByte] != last_[kClassByte] ? 8u : 0u) |
                (item[kScanAngle] != last_[kScanAngle] ? 4u : 0u) |
                (item[kUserData] != last_[kUserData] ? 2u : 0u) |
                (std::memcmp(item + kPointSource, last_ + kPointSource, 2) != 0 ? 1u : 0u);
    }
    changed = side.symbol(changed_, changed);
    if (changed) {
      if (changed & 32) {
        const int32_t v = side.integer(intensity_, load_le<uint16_t>(last_ + kIntensity),
                                       Side::kEncode ? load_le<uint16_t>(item + kIntensity) : 0);
        store_le(last_ + kIntensity, static_cast<uint16_t>(v));
      }
      if (changed & 16) {
        last_[kReturnByte] =
            static_cast<uint8_t>(side.symbol(return_byte_.get(last_[kReturnByte]), item[kReturnByte]));
      }
      if (changed & 8) {
        last_[kClassByte] =
            static_cast<uint8_t>(side.symbol(classification_.get(last_[kClassByte]), item[kClassByte]));
      }
      if (changed & 4) {
        last_[kScanAngle] = static_cast<uint8_t>(
            side.integer(scan_angle_, last_[kScanAngle], item[kScanAngle], kk < 6 ? 1 : 0));
      }
      code_user_data_and_source(side, changed, user_data_, point_source_, last_, item);
    }
    last_dx_[oldest_] = dx;
    last_dy_[oldest_] = dy;
    oldest_ = oldest_ == 2 ? 0 : oldest_ + 1;
    if constexpr (!Side::kEncode) std::memcpy(item, last_, 20);
  }

 private:
  uint8_t last_[20];
  int32_t last_dx_[3], last_dy_[3];
  int oldest_ = 0;
  IntegerCoder dx_, dy_, z_, intensity_, scan_angle_, point_source_;
  SymbolModel changed_;
  ByteModels return_byte_, classification_, user_data_;
};

}  // namespace

std::unique_ptr<ItemDecoder> make_point10_decoder(uint16_t version, RangeDecoder* decoder) {
  if (version == 1) return std::make_unique<LegacyDecoder<Point10V1>>(decoder, 20);
  return std::make_unique<LegacyDecoder<Point10V2>>(decoder, 20);
}

std::unique_ptr<ItemEncoder> make_point10_encoder(uint16_t version, RangeEncoder* encoder) {
  if (version == 1) return std::make_unique<LegacyEncoder<Point10V1>>(encoder, 20);
  return std::make_unique<LegacyEncoder<Point10V2>>(encoder, 20);
}
