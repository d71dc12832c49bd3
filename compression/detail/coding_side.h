#pragma once
// Every item codec is written once, as a template over the side it runs on: the decoding side
// returns what it decodes and ignores the value it is handed; the encoding side codes the value
// it is handed and returns it. Encoder and decoder thus make the same predictions, choose the
// same models and update the same state by construction.

#include <cstdint>

#include "compression/integer_coder.h"
#include "compression/range_decoder.h"
#include "compression/range_encoder.h"

struct DecodeSide {
  static constexpr bool kEncode = false;
  RangeDecoder* coder;

  [[gnu::always_inline]] uint32_t symbol(SymbolModel& m, uint32_t) { return coder->decode_symbol(m); }
  [[gnu::always_inline]] uint32_t bit(BitModel& m, uint32_t) { return coder->decode_bit(m); }
  [[gnu::always_inline]] int32_t integer(IntegerCoder& ic, int32_t prediction, int32_t,
                                         uint32_t context = 0) {
    return ic.decompress(*coder, prediction, context);
  }
  [[gnu::always_inline]] uint32_t raw_int(uint32_t) { return coder->read_int(); }
  [[gnu::always_inline]] uint64_t raw_int64(uint64_t) { return coder->read_int64(); }
};

struct EncodeSide {
  static constexpr bool kEncode = true;
  RangeEncoder* coder;

  uint32_t symbol(SymbolModel& m, uint32_t value) {
    coder->encode_symbol(m, value);
    return value;
  }
  uint32_t bit(BitModel& m, uint32_t value) {
    coder->encode_bit(m, value);
    return value;
  }
  int32_t integer(IntegerCoder& ic, int32_t prediction, int32_t value, uint32_t context = 0) {
    ic.compress(*coder, prediction, value, context);
    return value;
  }
  uint32_t raw_int(uint32_t value) {
    coder->write_int(value);
    return value;
  }
  uint64_t raw_int64(uint64_t value) {
    coder->write_int64(value);
    return value;
  }
};
