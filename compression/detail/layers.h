#pragma once
// The layers of a layered chunk: every field group of an item is range-coded into a block of its
// own, whose size is stored in the chunk header, so a reader can skip the fields it does not
// need. A layer of size 0 holds a field that never changed after the chunk's first point.

#include <cstdint>
#include <memory>
#include <vector>

#include "compression/byte_input.h"
#include "compression/detail/coding_side.h"

class LayerInputs {
 public:
  // One selection bit per layer; 0 for a layer that is always decoded.
  explicit LayerInputs(const std::vector<uint32_t>& masks);
  void read_sizes(ByteInput& input);
  // Loads the selected non-empty layers from input and starts their decoders; skips the others.
  void load(ByteInput& input, uint32_t selection);
  // 1 for a layer that is decoded at this chunk: selected and not empty.
  const uint8_t* changed() const { return changed_.data(); }
  DecodeSide side(size_t layer) { return DecodeSide{&layers_[layer]->decoder}; }
  // Whether every decoded layer ended exactly at its last byte.
  bool consumed() const;

 private:
  struct Layer {
    uint32_t mask = 0;
    uint32_t size = 0;
    std::vector<uint8_t> bytes;
    ByteInput input;
    RangeDecoder decoder;
  };
  std::vector<std::unique_ptr<Layer>> layers_;
  std::vector<uint8_t> changed_;
};

class LayerOutputs {
 public:
  explicit LayerOutputs(size_t layers);
  // Starts every layer afresh at a chunk's first point.
  void init();
  EncodeSide side(size_t layer) { return EncodeSide{&layers_[layer]->encoder}; }
  // Marks a layer as holding a field that changed; the others are stored empty.
  void mark(size_t layer) { changed_[layer] = 1; }
  // Ends the layers and appends their sizes, then (a second call) their bytes.
  void write_sizes(std::vector<uint8_t>& out);
  void write_bytes(std::vector<uint8_t>& out);
  // Every layer codes at every point on the encoding side.
  const uint8_t* all() const { return all_.data(); }

 private:
  struct Layer {
    std::vector<uint8_t> bytes;
    RangeEncoder encoder;
  };
  std::vector<std::unique_ptr<Layer>> layers_;
  std::vector<uint8_t> changed_;
  std::vector<uint8_t> all_;
};
