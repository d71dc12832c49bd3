// GPSTIME11 items, versions 1 and 2. The time is handled as its 64-bit pattern throughout; the
// codecs never do floating-point arithmetic on it.
#include <cmath>

#include "compression/detail/bytes.h"
#include "compression/detail/coding_side.h"
#include "compression/detail/legacy_codecs.h"
#include "compression/detail/legacy_items.h"

namespace {

using legacy_codecs::GpsTime11V2;

class GpsTime11V1 {
 public:
  GpsTime11V1(uint32_t, bool for_decoder) : multi_(512, for_decoder), zero_(3, for_decoder), gps_(32, 6) {}

  void init(const uint8_t* item, bool for_decoder) {
    last_difference_ = 0;
    extreme_counter_ = 0;
    multi_.init();
    zero_.init();
    for_decoder ? gps_.init_decompressor() : gps_.init_compressor();
    last_time_ = load_le<uint64_t>(item);
  }

  template <class Side>
  void code(Side& side, uint8_t* item) {
    const uint64_t actual = Side::kEncode ? load_le<uint64_t>(item) : 0;
    const int64_t difference = time_difference(actual, last_time_);
    if (last_difference_ == 0) {
      uint32_t s = 0;
      if constexpr (Side::kEncode) s = actual == last_time_ ? 0 : (fits_int32(difference) ? 1 : 2);
      s = side.symbol(zero_, s);
      if (s == 1) {
        last_difference_ = side.integer(gps_, 0, static_cast<int32_t>(difference), 0);
        last_time_ += static_cast<uint64_t>(int64_t(last_difference_));
      } else if (s == 2) {
        last_time_ = side.raw_int64(actual);
      }
    } else {
      uint32_t s = 511;
      if constexpr (Side::kEncode) {
        if (actual == last_time_) {
          s = 511;
        } else if (!fits_int32(difference)) {
          s = 510;
        } else {
          const int64_t m = multiplier(static_cast<int32_t>(difference), last_difference_);
          s = m == 1 ? 1 : (m >= 2 && m < 509 ? static_cast<uint32_t>(m) : 0);
        }
      }
      s = side.symbol(multi_, s);
      if (s < 510) {
        int32_t prediction;
        uint32_t context;
        if (s == 1) {
          prediction = last_difference_, context = 1;
        } else if (s == 0) {
          prediction = last_difference_ / 4, context = 2;
        } else {
          prediction = wrap_mul(static_cast<int32_t>(s), last_difference_);
          context = s < 10 ? 3 : (s < 50 ? 4 : 5);
        }
        const int32_t d = side.integer(gps_, prediction, static_cast<int32_t>(difference), context);
        if (s == 1) {
          last_difference_ = d;
          extreme_counter_ = 0;
        } else if (s == 0 || s == 509) {
          if (++extreme_counter_ > 3) {
            last_difference_ = d;
            extreme_counter_ = 0;
          }
        }
        last_time_ += static_cast<uint64_t>(int64_t(d));
      } else if (s == 510) {
        last_time_ = side.raw_int64(actual);
      }
    }
    if constexpr (!Side::kEncode) store_le(item, last_time_);
  }

 private:
  uint64_t last_time_ = 0;
  int32_t last_difference_ = 0;
  int32_t extreme_counter_ = 0;
  SymbolModel multi_, zero_;
  IntegerCoder gps_;
};

}  // namespace

std::unique_ptr<ItemDecoder> make_gpstime11_decoder(uint16_t version, RangeDecoder* decoder) {
  if (version == 1) return std::make_unique<LegacyDecoder<GpsTime11V1>>(decoder, 8);
  return std::make_unique<LegacyDecoder<GpsTime11V2>>(decoder, 8);
}

std::unique_ptr<ItemEncoder> make_gpstime11_encoder(uint16_t version, RangeEncoder* encoder) {
  if (version == 1) return std::make_unique<LegacyEncoder<GpsTime11V1>>(encoder, 8);
  return std::make_unique<LegacyEncoder<GpsTime11V2>>(encoder, 8);
}
