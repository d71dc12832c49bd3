#pragma once
// Factories of the item codecs, one pair per item family.

#include <cstdint>
#include <memory>

#include "compression/detail/coding_side.h"
#include "compression/item_codec.h"

std::unique_ptr<ItemDecoder> make_point10_decoder(uint16_t version, RangeDecoder* decoder);
std::unique_ptr<ItemEncoder> make_point10_encoder(uint16_t version, RangeEncoder* encoder);
std::unique_ptr<ItemDecoder> make_gpstime11_decoder(uint16_t version, RangeDecoder* decoder);
std::unique_ptr<ItemEncoder> make_gpstime11_encoder(uint16_t version, RangeEncoder* encoder);
std::unique_ptr<ItemDecoder> make_rgb12_decoder(uint16_t version, RangeDecoder* decoder);
std::unique_ptr<ItemEncoder> make_rgb12_encoder(uint16_t version, RangeEncoder* encoder);
std::unique_ptr<ItemDecoder> make_wavepacket13_decoder(RangeDecoder* decoder);
std::unique_ptr<ItemEncoder> make_wavepacket13_encoder(RangeEncoder* encoder);
std::unique_ptr<ItemDecoder> make_byte_decoder(uint16_t version, uint32_t size, RangeDecoder* decoder);
std::unique_ptr<ItemEncoder> make_byte_encoder(uint16_t version, uint32_t size, RangeEncoder* encoder);

// Decoder and encoder adapters for a codec written against the coding sides.
template <class Codec>
class LegacyDecoder final : public ItemDecoder {
 public:
  LegacyDecoder(RangeDecoder* decoder, uint32_t size) : codec_(size, true), decoder_(decoder) {}
  void init(ByteInput&, const uint8_t* item, uint32_t&) override { codec_.init(item, true); }
  void read(uint8_t* item, uint32_t&) override {
    // The codec decodes with a copy on the stack whose address never leaves the inlined code, so
    // the coder's value and length stay in registers: through the shared decoder every store into
    // the item or a model could overwrite them as far as the compiler knows, and they would be
    // reloaded after each. A throw abandons the chunk, so the copy need not be written back then.
    RangeDecoder local = *decoder_;
    DecodeSide side{&local};
    codec_.code(side, item);
    *decoder_ = local;
  }

 private:
  Codec codec_;
  RangeDecoder* decoder_;
};

template <class Codec>
class LegacyEncoder final : public ItemEncoder {
 public:
  LegacyEncoder(RangeEncoder* encoder, uint32_t size) : codec_(size, false), encoder_(encoder) {}
  void init(const uint8_t* item, uint32_t&) override { codec_.init(item, false); }
  void write(const uint8_t* item, uint32_t&) override {
    EncodeSide side{encoder_};
    // The encoding side only reads the item.
    codec_.code(side, const_cast<uint8_t*>(item));
  }

 private:
  Codec codec_;
  RangeEncoder* encoder_;
};
