#pragma once
// The item decoders and encoders of compressed point records. Items are read and written in
// the byte layout of uncompressed LAS records, so a decoded record equals the record of the
// same point in an uncompressed file.

#include <cstdint>
#include <memory>
#include <vector>

#include "compression/byte_input.h"
#include "compression/range_decoder.h"
#include "compression/range_encoder.h"
#include "compression/rkp_item.h"

class ItemDecoder {
 public:
  virtual ~ItemDecoder() = default;
  // Layered items: reads the sizes of the item's layers from the chunk header.
  virtual void read_layer_sizes(ByteInput&) {}
  // First point of a chunk: resets the statistics and takes the raw item. Layered items load
  // their selected layers from input and skip the others. context is the point's scanner
  // channel context, written by the POINT14 decoder and read by the items after it.
  virtual void init(ByteInput& input, const uint8_t* item, uint32_t& context) = 0;
  virtual void read(uint8_t* item, uint32_t& context) = 0;
  // After the last point of a chunk: whether every decoded layer ended exactly at its last
  // byte. A layer that did not was corrupt.
  virtual bool layers_consumed() const { return true; }
};

class ItemEncoder {
 public:
  virtual ~ItemEncoder() = default;
  virtual void init(const uint8_t* item, uint32_t& context) = 0;
  virtual void write(const uint8_t* item, uint32_t& context) = 0;
  // Layered items: end the layers of the chunk, then append their sizes and their bytes.
  virtual void write_layer_sizes(std::vector<uint8_t>&) {}
  virtual void write_layer_bytes(std::vector<uint8_t>&) {}
};

// Whether the version of an item has a decoder (and encoder).
bool item_is_codable(const RkpItem& item);
bool item_is_layered(const RkpItem& item);

// The legacy items share the chunk's decoder; layered items own one per layer.
std::unique_ptr<ItemDecoder> make_item_decoder(const RkpItem& item, RangeDecoder* decoder,
                                               uint32_t selection);
std::unique_ptr<ItemEncoder> make_item_encoder(const RkpItem& item, RangeEncoder* encoder);
