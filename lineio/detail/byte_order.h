// Explicit byte order for the binary table formats, independent of the host's own order.
#pragma once

#include <cstdint>
#include <cstring>

namespace byte_order {

inline void put_u32_be(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}

inline void put_u32_le(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

inline void put_i32_be(std::uint8_t* p, std::int32_t v) {
  put_u32_be(p, static_cast<std::uint32_t>(v));
}
inline void put_i32_le(std::uint8_t* p, std::int32_t v) {
  put_u32_le(p, static_cast<std::uint32_t>(v));
}

inline void put_u16_le(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

// IEEE-754 doubles share the integer byte order on every host we build for, so the bit pattern
// is written as a little-endian 64-bit integer.
inline void put_f64_le(std::uint8_t* p, double v) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  put_u32_le(p, static_cast<std::uint32_t>(bits));
  put_u32_le(p + 4, static_cast<std::uint32_t>(bits >> 32));
}

}  // namespace byte_order
