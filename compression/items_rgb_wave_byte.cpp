// RGB12 (versions 1 and 2), WAVEPACKET13 (version 1) and BYTE (versions 1 and 2) items.
#include <vector>

#include "compression/detail/bytes.h"
#include "compression/detail/coding_side.h"
#include "compression/detail/legacy_codecs.h"
#include "compression/detail/legacy_items.h"
#include "compression/detail/rgb_codec.h"

namespace {

using legacy_codecs::Rgb12V2;

class Rgb12V1 {
 public:
  Rgb12V1(uint32_t, bool for_decoder) : byte_used_(64, for_decoder), rgb_(8, 6) {}
  void init(const uint8_t* item, bool for_decoder) {
    byte_used_.init();
    for_decoder ? rgb_.init_decompressor() : rgb_.init_compressor();
    std::memcpy(last_, item, 6);
  }
  template <class Side>
  void code(Side& side, uint8_t* item) {
    uint32_t used = 0;
    if constexpr (Side::kEncode)
      for (uint32_t i = 0; i < 6; i++) used |= item[i] != last_[i] ? 1u << i : 0u;
    used = side.symbol(byte_used_, used);
    for (uint32_t i = 0; i < 6; i++) {
      if (used & (1u << i)) last_[i] = static_cast<uint8_t>(side.integer(rgb_, last_[i], item[i], i));
    }
    if constexpr (!Side::kEncode) std::memcpy(item, last_, 6);
  }

 private:
  uint8_t last_[6];
  SymbolModel byte_used_;
  IntegerCoder rgb_;
};

// Offset symbols of a wave packet: 0 unchanged, 1 right after the last packet, 2 a coded
// difference, 3 a full value.
class WavePacket13V1 {
 public:
  WavePacket13V1(uint32_t, bool for_decoder)
      : packet_index_(256, for_decoder),
        offset_symbol_{SymbolModel(4, for_decoder), SymbolModel(4, for_decoder), SymbolModel(4, for_decoder),
                       SymbolModel(4, for_decoder)},
        offset_difference_(32, 1),
        packet_size_(32, 1),
        return_point_(32, 1),
        xyz_(32, 3) {}

  void init(const uint8_t* item, bool for_decoder) {
    last_offset_symbol_ = 0;
    last_offset_difference_ = 0;
    packet_index_.init();
    for (auto& m : offset_symbol_) m.init();
    for (IntegerCoder* ic : {&offset_difference_, &packet_size_, &return_point_, &xyz_})
      for_decoder ? ic->init_decompressor() : ic->init_compressor();
    std::memcpy(last_, item + 1, 28);
  }

  template <class Side>
  void code(Side& side, uint8_t* item) {
    uint8_t index = static_cast<uint8_t>(side.symbol(packet_index_, item[0]));
    code_packet(side, offset_symbol_, last_offset_symbol_, last_offset_difference_, packet_size_,
                return_point_, xyz_, offset_difference_, last_, item + 1);
    if constexpr (!Side::kEncode) {
      item[0] = index;
      std::memcpy(item + 1, last_, 28);
    }
  }

 private:
  uint8_t last_[28];
  uint32_t last_offset_symbol_ = 0;
  int32_t last_offset_difference_ = 0;
  SymbolModel packet_index_;
  SymbolModel offset_symbol_[4];
  IntegerCoder offset_difference_, packet_size_, return_point_, xyz_;
};

class ByteV1 {
 public:
  ByteV1(uint32_t size, bool) : last_(size), bytes_(8, size) {}
  void init(const uint8_t* item, bool for_decoder) {
    for_decoder ? bytes_.init_decompressor() : bytes_.init_compressor();
    std::memcpy(last_.data(), item, last_.size());
  }
  template <class Side>
  void code(Side& side, uint8_t* item) {
    const uint32_t n = static_cast<uint32_t>(last_.size());
    for (uint32_t i = 0; i < n; i++)
      last_[i] = static_cast<uint8_t>(side.integer(bytes_, last_[i], item[i], i));
    if constexpr (!Side::kEncode) std::memcpy(item, last_.data(), n);
  }

 private:
  std::vector<uint8_t> last_;
  IntegerCoder bytes_;
};

class ByteV2 {
 public:
  ByteV2(uint32_t size, bool for_decoder) : last_(size) {
    models_.reserve(size);
    for (uint32_t i = 0; i < size; i++) models_.emplace_back(256, for_decoder);
  }
  void init(const uint8_t* item, bool) {
    for (auto& m : models_) m.init();
    std::memcpy(last_.data(), item, last_.size());
  }
  template <class Side>
  void code(Side& side, uint8_t* item) {
    const size_t n = last_.size();
    for (size_t i = 0; i < n; i++)
      last_[i] = fold_byte(last_[i] + side.symbol(models_[i], fold_byte(uint32_t(item[i]) - last_[i])));
    if constexpr (!Side::kEncode) std::memcpy(item, last_.data(), n);
  }

 private:
  std::vector<uint8_t> last_;
  std::vector<SymbolModel> models_;
};

}  // namespace

std::unique_ptr<ItemDecoder> make_rgb12_decoder(uint16_t version, RangeDecoder* decoder) {
  if (version == 1) return std::make_unique<LegacyDecoder<Rgb12V1>>(decoder, 6);
  return std::make_unique<LegacyDecoder<Rgb12V2>>(decoder, 6);
}
std::unique_ptr<ItemEncoder> make_rgb12_encoder(uint16_t version, RangeEncoder* encoder) {
  if (version == 1) return std::make_unique<LegacyEncoder<Rgb12V1>>(encoder, 6);
  return std::make_unique<LegacyEncoder<Rgb12V2>>(encoder, 6);
}
std::unique_ptr<ItemDecoder> make_wavepacket13_decoder(RangeDecoder* decoder) {
  return std::make_unique<LegacyDecoder<WavePacket13V1>>(decoder, 29);
}
std::unique_ptr<ItemEncoder> make_wavepacket13_encoder(RangeEncoder* encoder) {
  return std::make_unique<LegacyEncoder<WavePacket13V1>>(encoder, 29);
}
std::unique_ptr<ItemDecoder> make_byte_decoder(uint16_t version, uint32_t size, RangeDecoder* decoder) {
  if (version == 1) return std::make_unique<LegacyDecoder<ByteV1>>(decoder, size);
  return std::make_unique<LegacyDecoder<ByteV2>>(decoder, size);
}
std::unique_ptr<ItemEncoder> make_byte_encoder(uint16_t version, uint32_t size, RangeEncoder* encoder) {
  if (version == 1) return std::make_unique<LegacyEncoder<ByteV1>>(encoder, size);
  return std::make_unique<LegacyEncoder<ByteV2>>(encoder, size);
}
