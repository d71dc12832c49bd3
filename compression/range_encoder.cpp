#include "compression/range_encoder.h"

#include "compression/range_decoder.h"

void RangeEncoder::init(std::vector<uint8_t>* out) {
  out_ = out;
  block_start_ = out->size();
  base_ = 0;
  length_ = kRangeMaxLength;
}

void RangeEncoder::done() {
  bool another_byte = false;
  const uint32_t old_base = base_;
  if (length_ > 2 * kRangeMinLength) {
    base_ += kRangeMinLength;
    length_ = kRangeMinLength >> 1;
    another_byte = true;
  } else {
    base_ += kRangeMinLength >> 1;
    length_ = kRangeMinLength >> 9;
  }
  if (old_base > base_) propagate_carry();
  renormalize();
  out_->push_back(0);
  out_->push_back(0);
  if (another_byte) out_->push_back(0);
  out_ = nullptr;
}

void RangeEncoder::propagate_carry() {
  size_t i = out_->size();
  while (i > block_start_) {
    uint8_t& b = (*out_)[--i];
    if (b != 0xFF) {
      ++b;
      return;
    }
    b = 0;
  }
}

void RangeEncoder::renormalize() {
  do {
    out_->push_back(static_cast<uint8_t>(base_ >> 24));
    base_ <<= 8;
    length_ <<= 8;
  } while (length_ < kRangeMinLength);
}

void RangeEncoder::encode_bit(BitModel& m, uint32_t bit) {
  const uint32_t x = m.bit_0_prob * (length_ >> kBitModelLengthShift);
  if (bit == 0) {
    length_ = x;
    ++m.bit_0_count;
  } else {
    const uint32_t old_base = base_;
    base_ += x;
    length_ -= x;
    if (old_base > base_) propagate_carry();
  }
  if (length_ < kRangeMinLength) renormalize();
  if (--m.bits_until_update == 0) m.update();
}

void RangeEncoder::encode_symbol(SymbolModel& m, uint32_t symbol) {
  const uint32_t old_base = base_;
  if (symbol == m.last_symbol()) {
    const uint32_t x = m.distribution[symbol] * (length_ >> kSymbolLengthShift);
    base_ += x;
    length_ -= x;
  } else {
    length_ >>= kSymbolLengthShift;
    const uint32_t x = m.distribution[symbol] * length_;
    base_ += x;
    length_ = m.distribution[symbol + 1] * length_ - x;
  }
  if (old_base > base_) propagate_carry();
  if (length_ < kRangeMinLength) renormalize();
  ++m.counts[symbol];
  if (--m.symbols_until_update == 0) m.update();
}

void RangeEncoder::write_bits(uint32_t bits, uint32_t value) {
  if (bits > 19) {
    write_short(value & 0xFFFF);
    value >>= 16;
    bits -= 16;
  }
  const uint32_t old_base = base_;
  length_ >>= bits;
  base_ += value * length_;
  if (old_base > base_) propagate_carry();
  if (length_ < kRangeMinLength) renormalize();
}

void RangeEncoder::write_short(uint32_t value) {
  const uint32_t old_base = base_;
  length_ >>= 16;
  base_ += value * length_;
  if (old_base > base_) propagate_carry();
  renormalize();
}

void RangeEncoder::write_int(uint32_t value) {
  write_short(value & 0xFFFF);
  write_short(value >> 16);
}

void RangeEncoder::write_int64(uint64_t value) {
  write_int(static_cast<uint32_t>(value));
  write_int(static_cast<uint32_t>(value >> 32));
}
