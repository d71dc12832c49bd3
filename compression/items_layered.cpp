// The layered LAS 1.4 items that follow POINT14: RGB14, RGBNIR14, WAVEPACKET14 and BYTE14. Each
// keeps one context per scanner channel and follows the channel POINT14 passes on.
#include <array>

#include "compression/detail/bytes.h"
#include "compression/detail/layered_coders.h"
#include "compression/detail/layered_items.h"
#include "compression/detail/layers.h"
#include "compression/detail/rgb_codec.h"

namespace {

// The per-channel contexts of an item, with its models in Models and its last item of N bytes.
// Version 4 predicts from the last item of the current channel. Version 3 (and 2) moves to the
// new channel's last item only when that channel is met for the first time in the chunk, and
// otherwise keeps predicting from, and writing into, the last item it used before; its models are
// always the current channel's.
template <class Models>
class ChannelContexts {
 public:
  ChannelContexts(uint16_t version, uint32_t size, bool for_decoder)
      : version_(version), size_(size), for_decoder_(for_decoder) {
    for (auto& c : contexts_) c.last.assign(size, 0);
  }

  void init(const uint8_t* item, uint32_t context) {
    for (auto& c : contexts_) c.fresh = true;
    current_ = context & 3;
    start(contexts_[current_]);
    std::memcpy(contexts_[current_].last.data(), item, size_);
    last_ = contexts_[current_].last.data();
  }

  void follow(uint32_t context) {
    context &= 3;
    if (context == current_) return;
    current_ = context;
    auto& c = contexts_[current_];
    if (c.fresh) {
      start(c);
      std::memcpy(c.last.data(), last_, size_);
      last_ = c.last.data();
    } else if (version_ >= 4) {
      last_ = c.last.data();
    }
  }

  Models& models() { return *contexts_[current_].models; }
  uint8_t* last() { return last_; }

 private:
  struct Context {
    bool fresh = true;
    std::vector<uint8_t> last;
    std::unique_ptr<Models> models;
  };
  void start(Context& c) {
    if (!c.models) c.models = std::make_unique<Models>(size_, for_decoder_);
    c.models->init(for_decoder_);
    c.fresh = false;
  }

  uint16_t version_;
  uint32_t size_;
  bool for_decoder_;
  uint32_t current_ = 0;
  uint8_t* last_ = nullptr;
  std::array<Context, 4> contexts_;
};

struct RgbModels {
  RgbModels(uint32_t, bool d) : rgb(d), nir_used(4, d), nir_low(256, d), nir_high(256, d) {}
  void init(bool) {
    rgb.init();
    nir_used.init();
    nir_low.init();
    nir_high.init();
  }
  RgbCodec rgb;
  SymbolModel nir_used, nir_low, nir_high;
};

// RGB14 (6 bytes) and RGBNIR14 (8 bytes, near infrared last): colour in one layer, NIR in another.
class RgbNirCodec {
 public:
  RgbNirCodec(uint16_t version, uint32_t size, bool d) : contexts_(version, size, d), nir_(size == 8) {}
  void init(const uint8_t* item, uint32_t context) { contexts_.init(item, context); }

  template <class Side, class Mark>
  void code(Side* sides, const uint8_t* changed, uint8_t* item, uint32_t context, Mark mark) {
    contexts_.follow(context);
    uint8_t* last = contexts_.last();
    RgbModels& m = contexts_.models();
    if (changed[0]) {
      if constexpr (Side::kEncode)
        if (std::memcmp(item, last, 6) != 0) mark(0);
      m.rgb.code(sides[0], last, item);
    }
    if (nir_ && changed[1]) {
      uint32_t used = 0;
      if constexpr (Side::kEncode) {
        used = (item[6] != last[6] ? 1u : 0u) | (item[7] != last[7] ? 2u : 0u);
        if (used) mark(1);
      }
      used = sides[1].symbol(m.nir_used, used);
      if (used & 1)
        last[6] = fold_byte(last[6] + sides[1].symbol(m.nir_low, fold_byte(uint32_t(item[6]) - last[6])));
      if (used & 2)
        last[7] = fold_byte(last[7] + sides[1].symbol(m.nir_high, fold_byte(uint32_t(item[7]) - last[7])));
    }
    if constexpr (!Side::kEncode) std::memcpy(item, last, nir_ ? 8 : 6);
  }

 private:
  ChannelContexts<RgbModels> contexts_;
  bool nir_;
};

struct WaveModels {
  WaveModels(uint32_t, bool d)
      : packet_index(256, d),
        offset_symbol{SymbolModel(4, d), SymbolModel(4, d), SymbolModel(4, d), SymbolModel(4, d)},
        offset_difference(32, 1),
        packet_size(32, 1),
        return_point(32, 1),
        xyz(32, 3) {}
  void init(bool d) {
    packet_index.init();
    for (auto& m : offset_symbol) m.init();
    for (IntegerCoder* ic : {&offset_difference, &packet_size, &return_point, &xyz})
      d ? ic->init_decompressor() : ic->init_compressor();
    last_offset_symbol = 0;
    last_offset_difference = 0;
  }
  SymbolModel packet_index;
  SymbolModel offset_symbol[4];
  IntegerCoder offset_difference, packet_size, return_point, xyz;
  uint32_t last_offset_symbol = 0;
  int32_t last_offset_difference = 0;
};

class WavePacket14Codec {
 public:
  WavePacket14Codec(uint16_t version, uint32_t, bool d) : contexts_(version, 29, d) {}
  void init(const uint8_t* item, uint32_t context) { contexts_.init(item, context); }

  template <class Side, class Mark>
  void code(Side* sides, const uint8_t* changed, uint8_t* item, uint32_t context, Mark mark) {
    contexts_.follow(context);
    uint8_t* last = contexts_.last();
    if (changed[0]) {
      WaveModels& m = contexts_.models();
      if constexpr (Side::kEncode)
        if (std::memcmp(item, last, 29) != 0) mark(0);
      last[0] = static_cast<uint8_t>(sides[0].symbol(m.packet_index, item[0]));
      code_packet(sides[0], m.offset_symbol, m.last_offset_symbol, m.last_offset_difference, m.packet_size,
                  m.return_point, m.xyz, m.offset_difference, last + 1, item + 1);
    }
    if constexpr (!Side::kEncode) std::memcpy(item, last, 29);
  }

 private:
  ChannelContexts<WaveModels> contexts_;
};

struct ByteModels {
  ByteModels(uint32_t size, bool d) {
    bytes.reserve(size);
    for (uint32_t i = 0; i < size; i++) bytes.emplace_back(256, d);
  }
  void init(bool) {
    for (auto& m : bytes) m.init();
  }
  std::vector<SymbolModel> bytes;
};

// BYTE14: every extra byte in a layer of its own.
class Byte14Codec {
 public:
  Byte14Codec(uint16_t version, uint32_t size, bool d) : contexts_(version, size, d), size_(size) {}
  void init(const uint8_t* item, uint32_t context) { contexts_.init(item, context); }

  template <class Side, class Mark>
  void code(Side* sides, const uint8_t* changed, uint8_t* item, uint32_t context, Mark mark) {
    contexts_.follow(context);
    uint8_t* last = contexts_.last();
    ByteModels& m = contexts_.models();
    for (uint32_t i = 0; i < size_; i++) {
      if (!changed[i]) continue;
      if constexpr (Side::kEncode)
        if (item[i] != last[i]) mark(i);
      last[i] = fold_byte(last[i] + sides[i].symbol(m.bytes[i], fold_byte(uint32_t(item[i]) - last[i])));
    }
    if constexpr (!Side::kEncode) std::memcpy(item, last, size_);
  }

 private:
  ChannelContexts<ByteModels> contexts_;
  uint32_t size_;
};

std::vector<uint32_t> layer_masks(const RkpItem& item) {
  switch (item.type) {
    case RkpItem::RGB14:
      return {field_mask::kRgb};
    case RkpItem::RGBNIR14:
      return {field_mask::kRgb, field_mask::kNir};
    case RkpItem::WAVEPACKET14:
      return {field_mask::kWavePacket};
    default: {
      std::vector<uint32_t> masks(item.size, 0);
      for (uint32_t i = 0; i < item.size && i < 16; i++) masks[i] = 0x10000u << i;
      return masks;
    }
  }
}

}  // namespace

std::unique_ptr<ItemDecoder> make_layered_decoder(const RkpItem& item, uint32_t selection) {
  switch (item.type) {
    case RkpItem::POINT14:
      return make_point14_decoder(item.version, selection);
    case RkpItem::RGB14:
    case RkpItem::RGBNIR14:
      return std::make_unique<LayeredDecoder<RgbNirCodec>>(layer_masks(item), selection, item.version,
                                                           item.size, true);
    case RkpItem::WAVEPACKET14:
      return std::make_unique<LayeredDecoder<WavePacket14Codec>>(layer_masks(item), selection, item.version,
                                                                 item.size, true);
    case RkpItem::BYTE14:
      return std::make_unique<LayeredDecoder<Byte14Codec>>(layer_masks(item), selection, item.version,
                                                           item.size, true);
    default:
      return nullptr;
  }
}

std::unique_ptr<ItemEncoder> make_layered_encoder(const RkpItem& item) {
  switch (item.type) {
    case RkpItem::POINT14:
      return make_point14_encoder(item.version);
    case RkpItem::RGB14:
    case RkpItem::RGBNIR14:
      return std::make_unique<LayeredEncoder<RgbNirCodec>>(layer_masks(item).size(), std::nullopt,
                                                           item.version, item.size, false);
    case RkpItem::WAVEPACKET14:
      return std::make_unique<LayeredEncoder<WavePacket14Codec>>(layer_masks(item).size(), std::nullopt,
                                                                 item.version, item.size, false);
    case RkpItem::BYTE14:
      return std::make_unique<LayeredEncoder<Byte14Codec>>(layer_masks(item).size(), std::nullopt,
                                                           item.version, item.size, false);
    default:
      return nullptr;
  }
}
