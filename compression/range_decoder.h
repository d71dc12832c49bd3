#pragma once
// The 32-bit range decoder. value is the code value relative to the bottom of the current
// interval, length the interval's width; both are unsigned and wrap modulo 2^32. The decoding
// calls are inline: they run once per field of every point.

#include <cstdint>

#include "compression/byte_input.h"
#include "compression/models.h"

inline constexpr uint32_t kRangeMinLength = 0x01000000u;
inline constexpr uint32_t kRangeMaxLength = 0xFFFFFFFFu;

class RangeDecoder {
 public:
  // Binds the input; with really_init reads the four bytes of the initial value. False without
  // an input.
  bool init(ByteInput* input, bool really_init = true) {
    input_ = input;
    if (input == nullptr) return false;
    length_ = kRangeMaxLength;
    if (really_init) {
      value_ = uint32_t(input->get_byte()) << 24;
      value_ |= uint32_t(input->get_byte()) << 16;
      value_ |= uint32_t(input->get_byte()) << 8;
      value_ |= uint32_t(input->get_byte());
      // The encoder's first interval is [0, 2^32 - 1), so no stream starts with four 0xFF bytes.
      // Refusing them keeps value below length, which bounds every table index below.
      if (value_ == kRangeMaxLength) throw CodecError{kCodecCorrupt};
    }
    return true;
  }
  void done() { input_ = nullptr; }
  ByteInput* input() const { return input_; }

  [[gnu::always_inline]] uint32_t decode_bit(BitModel& m) {
    const uint32_t x = m.bit_0_prob * (length_ >> kBitModelLengthShift);
    uint32_t bit;
    if (value_ < x) {
      bit = 0;
      length_ = x;
      ++m.bit_0_count;
    } else {
      bit = 1;
      value_ -= x;
      length_ -= x;
    }
    if (length_ < kRangeMinLength) renormalize();
    if (--m.bits_until_update == 0) m.update();
    return bit;
  }

  [[gnu::always_inline]] uint32_t decode_symbol(SymbolModel& m) {
    uint32_t s, x, y = length_;
    if (m.table != nullptr) [[likely]] {
      length_ >>= kSymbolLengthShift;
      const uint32_t dv = value_ / length_;
      const uint32_t t = dv >> m.table_shift;
      s = m.table[t];
      uint32_t n = m.table[t + 1] + 1;
      // The choices are written as selections so that the compiler makes them without branches:
      // which half holds the symbol is as unpredictable as the data.
      while (n > s + 1) {
        const uint32_t mid = (s + n) >> 1;
        const bool above = __builtin_expect_with_probability(m.distribution[mid] > dv, true, 0.5);
        n = above ? mid : n;
        s = above ? s : mid;
      }
      x = m.distribution[s] * length_;
      if (s != m.last_symbol()) y = m.distribution[s + 1] * length_;
    } else {
      s = x = 0;
      uint32_t n = m.symbols();
      length_ >>= kSymbolLengthShift;
      uint32_t mid = n >> 1;
      do {
        const uint32_t z = length_ * m.distribution[mid];
        const bool above = __builtin_expect_with_probability(z > value_, true, 0.5);
        n = above ? mid : n;
        y = above ? z : y;
        s = above ? s : mid;
        x = above ? x : z;
      } while ((mid = (s + n) >> 1) != s);
    }
    value_ -= x;
    length_ = y - x;
    if (length_ < kRangeMinLength) renormalize();
    ++m.counts[s];
    if (--m.symbols_until_update == 0) m.update();
    return s;
  }

  // Raw bits, 1 to 32 of them; more than 19 are sent as the low 16 bits first.
  [[gnu::always_inline]] uint32_t read_bits(uint32_t bits) {
    if (bits > 19) [[unlikely]] {
      const uint32_t low = read_short();
      return (read_few_bits(bits - 16) << 16) | low;
    }
    return read_few_bits(bits);
  }
  [[gnu::always_inline]] uint32_t read_short() {
    length_ >>= 16;
    const uint32_t sym = value_ / length_;
    value_ -= sym * length_;
    renormalize();
    if (sym >= (1u << 16)) throw CodecError{kCodecCorrupt};
    return sym;
  }
  [[gnu::always_inline]] uint32_t read_int() {
    const uint32_t low = read_short();
    return (read_short() << 16) | low;
  }
  [[gnu::always_inline]] uint64_t read_int64() {
    const uint64_t low = read_int();
    return (uint64_t(read_int()) << 32) | low;
  }

 private:
  // 1 to 19 bits.
  [[gnu::always_inline]] uint32_t read_few_bits(uint32_t bits) {
    length_ >>= bits;
    const uint32_t sym = value_ / length_;
    value_ -= sym * length_;
    if (length_ < kRangeMinLength) renormalize();
    if (sym >= (1u << bits)) throw CodecError{kCodecCorrupt};
    return sym;
  }

  [[gnu::always_inline]] void renormalize() {
    do {
      value_ = (value_ << 8) | input_->get_byte();
      length_ <<= 8;
    } while (length_ < kRangeMinLength);
  }

  ByteInput* input_ = nullptr;
  uint32_t value_ = 0;
  uint32_t length_ = kRangeMaxLength;
};
