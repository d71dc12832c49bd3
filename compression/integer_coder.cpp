#include "compression/integer_coder.h"

#include <algorithm>

IntegerCoder::IntegerCoder(uint32_t bits, uint32_t contexts, uint32_t bits_high, uint32_t range)
    : bits_(bits), contexts_(std::max(contexts, 1u)), bits_high_(bits_high) {
  if (range != 0) {
    corrector_bits_ = 0;
    corrector_range_ = range;
    while (range) {
      range >>= 1;
      corrector_bits_++;
    }
    if (corrector_range_ == (1u << (corrector_bits_ - 1))) corrector_bits_--;
  } else if (bits_ > 0 && bits_ < 32) {
    corrector_bits_ = bits_;
    corrector_range_ = 1u << bits_;
  } else {
    corrector_bits_ = 32;
    corrector_range_ = 0;
    corrector_min_ = INT32_MIN;
    corrector_max_ = INT32_MAX;
    return;
  }
  corrector_min_ = -static_cast<int32_t>(corrector_range_ / 2);
  corrector_max_ = static_cast<int32_t>(static_cast<int64_t>(corrector_min_) + corrector_range_ - 1);
}

void IntegerCoder::init(bool for_decoder) {
  if (magnitude_.empty()) {
    magnitude_.reserve(contexts_);
    for (uint32_t i = 0; i < contexts_; i++) magnitude_.emplace_back(corrector_bits_ + 1, for_decoder);
    corrector_.reserve(size_t(corrector_bits_) + 1);
    for (uint32_t i = 0; i <= corrector_bits_; i++) {
      corrector_.emplace_back(1u << std::min(std::max(i, 1u), bits_high_), for_decoder);
    }
  }
  for (SymbolModel& m : magnitude_) m.init();
  corrector_bit_.init();
  for (uint32_t i = 1; i <= corrector_bits_; i++) corrector_[i].init();
}

void IntegerCoder::compress(RangeEncoder& enc, int32_t prediction, int32_t real, uint32_t context) {
  int64_t corrector = static_cast<int32_t>(static_cast<uint32_t>(real) - static_cast<uint32_t>(prediction));
  if (corrector_range_ != 0) {
    if (corrector < corrector_min_) {
      corrector += corrector_range_;
    } else if (corrector > corrector_max_) {
      corrector -= corrector_range_;
    }
  }
  uint32_t c1 = static_cast<uint32_t>(corrector <= 0 ? -corrector : corrector - 1);
  k_ = 0;
  while (c1 != 0) {
    c1 >>= 1;
    k_++;
  }
  enc.encode_symbol(magnitude_[context], k_);
  if (k_ == 0) {
    enc.encode_bit(corrector_bit_, static_cast<uint32_t>(corrector));
  } else if (k_ < 32) {
    const uint32_t c =
        static_cast<uint32_t>(corrector < 0 ? corrector + (int64_t(1) << k_) - 1 : corrector - 1);
    if (k_ <= bits_high_) {
      enc.encode_symbol(corrector_[k_], c);
    } else {
      const uint32_t k1 = k_ - bits_high_;
      enc.encode_symbol(corrector_[k_], c >> k1);
      enc.write_bits(k1, c & ((1u << k1) - 1));
    }
  }
}
