#pragma once
// The item decoder and encoder of every layered item: a codec that codes one point's item over
// the item's layers, each layer with a range coder of its own. Decoding loads only the layers the
// field mask selects; encoding notes which layers a point changed.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "compression/detail/coding_side.h"
#include "compression/detail/layers.h"
#include "compression/item_codec.h"

template <class Codec>
class LayeredDecoder final : public ItemDecoder {
 public:
  // masks: the field mask of each layer. The codec is made from codec_args.
  template <class... CodecArgs>
  LayeredDecoder(const std::vector<uint32_t>& masks, uint32_t selection, CodecArgs&&... codec_args)
      : codec_(std::forward<CodecArgs>(codec_args)...), layers_(masks), selection_(selection) {
    for (size_t i = 0; i < masks.size(); i++) sides_.push_back(layers_.side(i));
  }
  void read_layer_sizes(ByteInput& input) override { layers_.read_sizes(input); }
  void init(ByteInput& input, const uint8_t* item, uint32_t& context) override {
    layers_.load(input, selection_);
    codec_.init(item, context);
  }
  void read(uint8_t* item, uint32_t& context) override {
    codec_.code(sides_.data(), layers_.changed(), item, context, [](size_t) {});
  }
  bool layers_consumed() const override { return layers_.consumed(); }

 private:
  Codec codec_;
  LayerInputs layers_;
  uint32_t selection_;
  std::vector<DecodeSide> sides_;
};

template <class Codec>
class LayeredEncoder final : public ItemEncoder {
 public:
  // always_written: a layer stored in every chunk, even one whose points never change it.
  template <class... CodecArgs>
  LayeredEncoder(size_t layers, std::optional<size_t> always_written, CodecArgs&&... codec_args)
      : codec_(std::forward<CodecArgs>(codec_args)...), layers_(layers), always_written_(always_written) {
    for (size_t i = 0; i < layers; i++) sides_.push_back(layers_.side(i));
  }
  void init(const uint8_t* item, uint32_t& context) override {
    layers_.init();
    if (always_written_) layers_.mark(*always_written_);
    codec_.init(item, context);
  }
  void write(const uint8_t* item, uint32_t& context) override {
    codec_.code(sides_.data(), layers_.all(), const_cast<uint8_t*>(item), context,
                [this](size_t layer) { layers_.mark(layer); });
  }
  void write_layer_sizes(std::vector<uint8_t>& out) override { layers_.write_sizes(out); }
  void write_layer_bytes(std::vector<uint8_t>& out) override { layers_.write_bytes(out); }

 private:
  Codec codec_;
  LayerOutputs layers_;
  std::optional<size_t> always_written_;
  std::vector<EncodeSide> sides_;
};
