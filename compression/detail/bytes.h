#pragma once
// Little-endian loads and stores into item bytes, and the shared pieces of the item codecs.

#include <cstdint>
#include <cstring>

#include "compression/byte_input.h"
#include "compression/item_codec.h"

template <class T>
inline T load_le(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof(T));
  return v;
}

template <class T>
inline void store_le(uint8_t* p, T v) {
  std::memcpy(p, &v, sizeof(T));
}

inline uint8_t fold_byte(uint32_t v) {
  return static_cast<uint8_t>(v & 0xFF);
}
inline uint8_t clamp_byte(int32_t v) {
  return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}
inline int32_t wrap_add(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline int32_t wrap_sub(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
inline int32_t wrap_mul(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

// The median of five kept by an exact replacement rule (not a sliding window): the stream
// depends on this rule, not on a true median. The five values stay sorted; a new value replaces
// the largest while high is set and the smallest otherwise, and high then says on which side of
// the old median the value fell. Written as minima and maxima, so it runs without branches: which
// value is replaced is as unpredictable as the data.
struct Median5 {
  int32_t values[5];
  bool high;
  void reset() {
    values[0] = values[1] = values[2] = values[3] = values[4] = 0;
    high = true;
  }
  int32_t get() const { return values[2]; }
  void add(int32_t v) {
    const int32_t* kept = values + (high ? 0 : 1);
    const int32_t b0 = kept[0], b1 = kept[1], b2 = kept[2], b3 = kept[3];
    // Replacing the largest keeps high while the value is below the median; replacing the
    // smallest sets it when the value is not above the median.
    high = (v < values[2]) | (!high & (v == values[2]));
    values[0] = min_of(b0, v);
    values[1] = min_of(b1, max_of(b0, v));
    values[2] = min_of(b2, max_of(b1, v));
    values[3] = min_of(b3, max_of(b2, v));
    values[4] = max_of(b3, v);
  }

 private:
  // The compiler would branch on some of these; masks keep them branch-free.
  static int32_t min_of(int32_t a, int32_t b) { return b ^ ((a ^ b) & -static_cast<int32_t>(a < b)); }
  static int32_t max_of(int32_t a, int32_t b) { return a ^ ((a ^ b) & -static_cast<int32_t>(a < b)); }
};
