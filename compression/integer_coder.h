#pragma once
// Codes an integer as the corrector between a prediction and the actual value, under one of
// several contexts: first the corrector's magnitude class k (its number of significant bits),
// then its position inside the class, the bits above bits_high sent raw.

#include <cstdint>
#include <memory>
#include <vector>

#include "compression/models.h"
#include "compression/range_decoder.h"
#include "compression/range_encoder.h"

class IntegerCoder {
 public:
  // bits: width of the coded values (1 to 32; 0 and 32 mean the full 32-bit range). A non-zero
  // range replaces bits.
  explicit IntegerCoder(uint32_t bits = 16, uint32_t contexts = 1, uint32_t bits_high = 8,
                        uint32_t range = 0);

  // Creates the models on the first call and resets them on every call.
  void init_decompressor() { init(true); }
  void init_compressor() { init(false); }

  [[gnu::always_inline]] int32_t decompress(RangeDecoder& dec, int32_t prediction, uint32_t context = 0) {
    k_ = dec.decode_symbol(magnitude_[context]);
    uint32_t c;
    if (k_ == 0) {
      c = dec.decode_bit(corrector_bit_);
    } else if (k_ < 32) {
      if (k_ <= bits_high_) {
        c = dec.decode_symbol(corrector_[k_]);
      } else {
        const uint32_t k1 = k_ - bits_high_;
        c = dec.decode_symbol(corrector_[k_]);
        c = (c << k1) | dec.read_bits(k1);
      }
      // The class k holds correctors 2^(k-1) + 1 .. 2^k and -(2^k - 1) .. -2^(k-1). The sign is
      // as unpredictable as the data, so it is applied with a mask rather than a branch.
      const uint32_t negative = 0u - static_cast<uint32_t>(c < (1u << (k_ - 1)));
      c = c + 1 - ((1u << k_) & negative);
    } else {
      c = static_cast<uint32_t>(corrector_min_);
    }
    return wrap(static_cast<uint32_t>(prediction) + c);
  }

  void compress(RangeEncoder& enc, int32_t prediction, int32_t real, uint32_t context = 0);

  uint32_t get_k() const { return k_; }
  uint32_t corrector_bits() const { return corrector_bits_; }
  uint32_t corrector_range() const { return corrector_range_; }
  int32_t corrector_min() const { return corrector_min_; }
  int32_t corrector_max() const { return corrector_max_; }

 private:
  void init(bool for_decoder);
  int32_t wrap(uint32_t real) const {
    int32_t r = static_cast<int32_t>(real);
    if (corrector_range_ != 0) {
      if (r < 0) {
        r = static_cast<int32_t>(real + corrector_range_);
      } else if (real >= corrector_range_) {
        r = static_cast<int32_t>(real - corrector_range_);
      }
    }
    return r;
  }

  uint32_t bits_;
  uint32_t contexts_;
  uint32_t bits_high_;
  uint32_t corrector_bits_ = 0;
  uint32_t corrector_range_ = 0;
  int32_t corrector_min_ = 0;
  int32_t corrector_max_ = 0;
  uint32_t k_ = 0;
  std::vector<SymbolModel> magnitude_;  // one per context
  BitModel corrector_bit_;              // corrector of class 0
  std::vector<SymbolModel> corrector_;  // index 1 .. corrector_bits (index 0 unused)
};
