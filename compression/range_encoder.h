#pragma once
// The range encoder, the exact mirror of RangeDecoder. It appends to a byte vector; a carry
// walks back through the bytes this block has written.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "compression/models.h"

class RangeEncoder {
 public:
  // Starts a block at the end of out.
  void init(std::vector<uint8_t>* out);
  // Ends the block: the decoder, having read its four initial bytes, stops exactly at its end.
  void done();

  void encode_bit(BitModel& m, uint32_t bit);
  void encode_symbol(SymbolModel& m, uint32_t symbol);
  void write_bits(uint32_t bits, uint32_t value);
  void write_short(uint32_t value);
  void write_int(uint32_t value);
  void write_int64(uint64_t value);

 private:
  void propagate_carry();
  void renormalize();

  std::vector<uint8_t>* out_ = nullptr;
  size_t block_start_ = 0;
  uint32_t base_ = 0;
  uint32_t length_ = 0xFFFFFFFFu;
};
