#include "compression/detail/layers.h"

#include <algorithm>

#include "compression/detail/bytes.h"

LayerInputs::LayerInputs(const std::vector<uint32_t>& masks) {
  for (uint32_t mask : masks) {
    layers_.push_back(std::make_unique<Layer>());
    layers_.back()->mask = mask;
  }
  changed_.assign(masks.size(), 0);
}

void LayerInputs::read_sizes(ByteInput& input) {
  for (auto& layer : layers_) layer->size = input.get_u32();
}

namespace {

// Reads size bytes into bytes. A size from the file is believed only as far as the input holds
// data: with a known length it is checked first, and on a pipe the buffer grows as bytes arrive.
void read_layer(ByteInput& input, std::vector<uint8_t>& bytes, uint32_t size) {
  const int64_t total = input.size();
  if (total >= 0) {
    if (int64_t(size) > total - input.tell()) {
      input.skip(size);  // throws at the end of the data
    }
    bytes.resize(size);
    input.get_bytes(bytes.data(), size);
    return;
  }
  bytes.clear();
  constexpr uint32_t kStep = 1 << 20;
  while (bytes.size() < size) {
    const size_t at = bytes.size();
    bytes.resize(at + std::min<size_t>(kStep, size - at));
    input.get_bytes(bytes.data() + at, bytes.size() - at);
  }
}

}  // namespace

void LayerInputs::load(ByteInput& input, uint32_t selection) {
  for (size_t i = 0; i < layers_.size(); i++) {
    Layer& layer = *layers_[i];
    const bool selected = layer.mask == 0 || (layer.mask & selection) != 0;
    changed_[i] = 0;
    if (!selected) {
      input.skip(layer.size);
      continue;
    }
    // An empty layer's decoder reads from nothing: decoding it anyway meets the end of the data.
    layer.input.attach(static_cast<const uint8_t*>(nullptr), 0);
    layer.decoder.init(&layer.input, false);
    if (layer.size == 0) continue;
    read_layer(input, layer.bytes, layer.size);
    layer.input.attach(layer.bytes.data(), layer.bytes.size());
    layer.decoder.init(&layer.input);
    changed_[i] = 1;
  }
}

bool LayerInputs::consumed() const {
  for (size_t i = 0; i < layers_.size(); i++) {
    if (changed_[i] && layers_[i]->input.tell() != int64_t(layers_[i]->size)) return false;
  }
  return true;
}

LayerOutputs::LayerOutputs(size_t layers) {
  for (size_t i = 0; i < layers; i++) layers_.push_back(std::make_unique<Layer>());
  changed_.assign(layers, 0);
  all_.assign(layers, 1);
}

void LayerOutputs::init() {
  for (auto& layer : layers_) {
    layer->bytes.clear();
    layer->encoder.init(&layer->bytes);
  }
  std::fill(changed_.begin(), changed_.end(), uint8_t(0));
}

void LayerOutputs::write_sizes(std::vector<uint8_t>& out) {
  for (size_t i = 0; i < layers_.size(); i++) {
    layers_[i]->encoder.done();
    const uint32_t size = changed_[i] ? static_cast<uint32_t>(layers_[i]->bytes.size()) : 0;
    const size_t at = out.size();
    out.resize(at + 4);
    store_le(out.data() + at, size);
  }
}

void LayerOutputs::write_bytes(std::vector<uint8_t>& out) {
  for (size_t i = 0; i < layers_.size(); i++) {
    if (changed_[i]) out.insert(out.end(), layers_[i]->bytes.begin(), layers_[i]->bytes.end());
  }
}
