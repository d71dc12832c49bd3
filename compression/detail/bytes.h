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
// depends on this rule, not on a true median.
struct Median5 {
  int32_t values[5];
  bool high;
  void reset() {
    values[0] = values[1] = values[2] = values[3] = values[4] = 0;
    high = true;
  }
  int32_t get() const { return values[2]; }
  void add(int32_t v) {
    if (high) {
      if (v < values[2]) {
        values[4] = values[3];
        values[3] = values[2];
        if (v < values[0]) {
          values[2] = values[1];
          values[1] = values[0];
          values[0] = v;
        } else if (v < values[1]) {
          values[2] = values[1];
          values[1] = v;
        } else {
          values[2] = v;
        }
      } else {
        if (v < values[3]) {
          values[4] = values[3];
          values[3] = v;
        } else {
          values[4] = v;
        }
        high = false;
      }
    } else {
      if (values[2] < v) {
        values[0] = values[1];
        values[1] = values[2];
        if (values[4] < v) {
          values[2] = values[3];
          values[3] = values[4];
          values[4] = v;
        } else if (values[3] < v) {
          values[2] = values[3];
          values[3] = v;
        } else {
          values[2] = v;
        }
      } else {
        if (values[1] < v) {
          values[0] = values[1];
          values[1] = v;
        } else {
          values[0] = v;
        }
        high = true;
      }
    }
  }
};
