// Values read straight from the bytes of a record or header, where they lie at any offset.
#pragma once

#include <cstdint>
#include <cstring>

namespace pointio_detail {

// The value of type T whose bytes start at p, in the host's order: the point formats store
// little-endian values, and so does every machine this is built for.
template <class T>
T load(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof(T));
  return v;
}

}  // namespace pointio_detail
