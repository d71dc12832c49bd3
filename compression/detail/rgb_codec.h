#pragma once
// Colour and wave packet coding shared by the legacy items and the layered LAS 1.4 items.

#include <cstdint>
#include <cstring>

#include "compression/detail/bytes.h"
#include "compression/detail/coding_side.h"

// Red, green and blue (6 bytes, low byte first) predicted from the last colour: green and blue
// follow red's change, and a grey colour codes red only.
class RgbCodec {
 public:
  explicit RgbCodec(bool for_decoder)
      : byte_used_(128, for_decoder), bytes_{SymbolModel(256, for_decoder), SymbolModel(256, for_decoder),
                                             SymbolModel(256, for_decoder), SymbolModel(256, for_decoder),
                                             SymbolModel(256, for_decoder), SymbolModel(256, for_decoder)} {}

  void init() {
    byte_used_.init();
    for (auto& m : bytes_) m.init();
  }

  // last: the previous colour, replaced by the coded one; item: the colour to encode.
  template <class Side>
  void code(Side& side, uint8_t* last, const uint8_t* item) {
    uint32_t used = 0;
    if constexpr (Side::kEncode) {
      for (uint32_t i = 0; i < 6; i++) used |= item[i] != last[i] ? 1u << i : 0u;
      if (std::memcmp(item, item + 2, 2) != 0 || std::memcmp(item, item + 4, 2) != 0) used |= 64;
    }
    used = side.symbol(byte_used_, used);
    uint8_t out[6];
    out[0] = (used & 1) ? fold_byte(last[0] + side.symbol(bytes_[0], fold_byte(uint32_t(item[0]) - last[0])))
                        : last[0];
    out[1] = (used & 2) ? fold_byte(last[1] + side.symbol(bytes_[1], fold_byte(uint32_t(item[1]) - last[1])))
                        : last[1];
    if (used & 64) {
      int32_t d = int32_t(out[0]) - last[0];
      out[2] = (used & 4) ? code_byte(side, 2, clamp_byte(d + last[2]), item[2]) : last[2];
      out[4] = (used & 16)
                   ? code_byte(side, 4, clamp_byte((d + int32_t(out[2]) - last[2]) / 2 + last[4]), item[4])
                   : last[4];
      d = int32_t(out[1]) - last[1];
      out[3] = (used & 8) ? code_byte(side, 3, clamp_byte(d + last[3]), item[3]) : last[3];
      out[5] = (used & 32)
                   ? code_byte(side, 5, clamp_byte((d + int32_t(out[3]) - last[3]) / 2 + last[5]), item[5])
                   : last[5];
    } else {
      out[2] = out[4] = out[0];
      out[3] = out[5] = out[1];
    }
    std::memcpy(last, out, 6);
  }

 private:
  template <class Side>
  uint8_t code_byte(Side& side, int model, uint8_t prediction, uint8_t actual) {
    return fold_byte(prediction + side.symbol(bytes_[model], fold_byte(uint32_t(actual) - prediction)));
  }

  SymbolModel byte_used_;
  SymbolModel bytes_[6];
};

// The 28 bytes of a wave packet after its descriptor index: offset u64, size u32, return point
// location and x(t), y(t), z(t) as 32-bit float patterns. last is replaced by the coded packet.
template <class Side>
void code_packet(Side& side, SymbolModel* offset_symbol, uint32_t& last_offset_symbol,
                 int32_t& last_offset_difference, IntegerCoder& packet_size, IntegerCoder& return_point,
                 IntegerCoder& xyz, IntegerCoder& offset_difference, uint8_t* last, const uint8_t* item) {
  const uint64_t last_offset = load_le<uint64_t>(last);
  const uint32_t last_size = load_le<uint32_t>(last + 8);
  uint64_t offset = Side::kEncode ? load_le<uint64_t>(item) : 0;
  uint32_t o = 0;
  if constexpr (Side::kEncode) {
    const int64_t difference = static_cast<int64_t>(offset - last_offset);
    o = offset == last_offset                                  ? 0
        : offset == last_offset + last_size                    ? 1
        : (difference >= INT32_MIN && difference <= INT32_MAX) ? 2
                                                               : 3;
  }
  o = side.symbol(offset_symbol[last_offset_symbol], o);
  last_offset_symbol = o;
  if (o == 0) {
    offset = last_offset;
  } else if (o == 1) {
    offset = last_offset + last_size;
  } else if (o == 2) {
    last_offset_difference = side.integer(offset_difference, last_offset_difference,
                                          static_cast<int32_t>(static_cast<int64_t>(offset - last_offset)));
    offset = last_offset + static_cast<uint64_t>(int64_t(last_offset_difference));
  } else {
    offset = side.raw_int64(offset);
  }
  store_le(last, offset);
  auto field = [&](int at, IntegerCoder& ic, uint32_t context) {
    const int32_t v = side.integer(ic, load_le<int32_t>(last + at),
                                   Side::kEncode ? load_le<int32_t>(item + at) : 0, context);
    store_le(last + at, v);
  };
  field(8, packet_size, 0);
  field(12, return_point, 0);
  field(16, xyz, 0);
  field(20, xyz, 1);
  field(24, xyz, 2);
}
