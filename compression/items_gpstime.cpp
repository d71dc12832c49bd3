// GPSTIME11 items, versions 1 and 2. The time is handled as its 64-bit pattern throughout; the
// codecs never do floating-point arithmetic on it.
#include <cmath>

#include "compression/detail/bytes.h"
#include "compression/detail/coding_side.h"
#include "compression/detail/legacy_items.h"

namespace {

bool fits_int32(int64_t v) {
  return v >= INT32_MIN && v <= INT32_MAX;
}

int64_t time_difference(uint64_t a, uint64_t b) {
  return static_cast<int64_t>(a - b);
}

// The multiplier an encoder picks: how many last differences make up the new one.
int64_t multiplier(int32_t difference, int32_t last_difference) {
  const double ratio = double(difference) / double(last_difference);
  return std::llround(std::fmax(-1e6, std::fmin(1e6, ratio)));
}

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

// Version 2 follows up to four interleaved time sequences (flight lines) and switches between
// them without coding a full value.
class GpsTime11V2 {
 public:
  GpsTime11V2(uint32_t, bool for_decoder) : multi_(516, for_decoder), zero_(6, for_decoder), gps_(32, 9) {}

  void init(const uint8_t* item, bool for_decoder) {
    current_ = next_ = 0;
    for (int i = 0; i < 4; i++) {
      last_difference_[i] = 0;
      extreme_counter_[i] = 0;
      last_time_[i] = 0;
    }
    multi_.init();
    zero_.init();
    for_decoder ? gps_.init_decompressor() : gps_.init_compressor();
    last_time_[0] = load_le<uint64_t>(item);
  }

  template <class Side>
  void code(Side& side, uint8_t* item) {
    const uint64_t actual = Side::kEncode ? load_le<uint64_t>(item) : 0;
    // A writer switches to the sequence it wants at once; a stream that keeps switching is
    // corrupt, and could otherwise spin on a nearly certain symbol for a very long time.
    for (int switches = 0;; switches++) {
      if (switches > 4) throw CodecError{kCodecCorrupt};
      const uint32_t t = current_;
      const int64_t difference = time_difference(actual, last_time_[t]);
      if (last_difference_[t] == 0) {
        uint32_t s = 0;
        if constexpr (Side::kEncode) {
          const uint32_t other = other_sequence(actual, difference);
          s = actual == last_time_[t] ? 0 : (other ? other + 2 : (fits_int32(difference) ? 1 : 2));
        }
        s = side.symbol(zero_, s);
        if (s == 1) {
          last_difference_[t] = side.integer(gps_, 0, static_cast<int32_t>(difference), 0);
          last_time_[t] += static_cast<uint64_t>(int64_t(last_difference_[t]));
          extreme_counter_[t] = 0;
        } else if (s == 2) {
          new_full_value(side, actual);
        } else if (s > 2) {
          current_ = (current_ + s - 2) & 3;
          continue;
        }
      } else {
        uint32_t s = 511;
        if constexpr (Side::kEncode) s = choose_multi(actual, difference);
        s = side.symbol(multi_, s);
        if (s == 511) {
        } else if (s == 512) {
          new_full_value(side, actual);
        } else if (s > 512) {
          current_ = (current_ + s - 512) & 3;
          continue;
        } else {
          code_difference(side, s, static_cast<int32_t>(difference));
        }
      }
      break;
    }
    if constexpr (!Side::kEncode) store_le(item, last_time_[current_]);
  }

 private:
  // Encoder only: 1 to 3 when another sequence is the one to continue, 0 when none is.
  uint32_t other_sequence(uint64_t actual, int64_t difference) const {
    if (fits_int32(difference)) return 0;
    for (uint32_t i = 1; i < 4; i++) {
      const uint32_t j = (current_ + i) & 3;
      if (last_time_[j] != 0 && fits_int32(time_difference(actual, last_time_[j]))) return i;
    }
    return 0;
  }

  uint32_t choose_multi(uint64_t actual, int64_t difference) const {
    const uint32_t t = current_;
    if (actual == last_time_[t]) return 511;
    if (const uint32_t other = other_sequence(actual, difference)) return other + 512;
    if (!fits_int32(difference)) return 512;
    const int64_t m = multiplier(static_cast<int32_t>(difference), last_difference_[t]);
    if (m == 1) return 1;
    if (m >= 2) return m < 500 ? static_cast<uint32_t>(m) : 500;
    if (m <= -10) return 510;
    if (m < 0) return static_cast<uint32_t>(500 - m);
    return 0;
  }

  template <class Side>
  void code_difference(Side& side, uint32_t s, int32_t difference) {
    const uint32_t t = current_;
    const int32_t last = last_difference_[t];
    if (s == 1) {
      last_time_[t] += static_cast<uint64_t>(int64_t(side.integer(gps_, last, difference, 1)));
      extreme_counter_[t] = 0;
      return;
    }
    int32_t prediction;
    uint32_t context;
    bool extreme = false;
    if (s == 0) {
      prediction = 0, context = 7, extreme = true;
    } else if (s < 10) {
      prediction = wrap_mul(static_cast<int32_t>(s), last), context = 2;
    } else if (s < 500) {
      prediction = wrap_mul(static_cast<int32_t>(s), last), context = 3;
    } else if (s == 500) {
      prediction = wrap_mul(500, last), context = 4, extreme = true;
    } else if (s < 510) {
      prediction = wrap_mul(500 - static_cast<int32_t>(s), last), context = 5;
    } else {
      prediction = wrap_mul(-10, last), context = 6, extreme = true;
    }
    const int32_t d = side.integer(gps_, prediction, difference, context);
    if (extreme && ++extreme_counter_[t] > 3) {
      last_difference_[t] = d;
      extreme_counter_[t] = 0;
    }
    last_time_[t] += static_cast<uint64_t>(int64_t(d));
  }

  template <class Side>
  void new_full_value(Side& side, uint64_t actual) {
    next_ = (next_ + 1) & 3;
    const int32_t high = side.integer(gps_, static_cast<int32_t>(last_time_[current_] >> 32),
                                      static_cast<int32_t>(actual >> 32), 8);
    const uint32_t low = side.raw_int(static_cast<uint32_t>(actual));
    last_time_[next_] = (uint64_t(static_cast<uint32_t>(high)) << 32) | low;
    current_ = next_;
    last_difference_[current_] = 0;
    extreme_counter_[current_] = 0;
  }

  uint32_t current_ = 0, next_ = 0;
  uint64_t last_time_[4];
  int32_t last_difference_[4];
  int32_t extreme_counter_[4];
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
