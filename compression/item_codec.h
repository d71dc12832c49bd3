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

// One item of a point record: its type, its size in bytes and its coding version (0 raw).
struct RkpItem {
  enum Type : uint16_t {
    BYTE = 0,
    POINT10 = 6,
    GPSTIME11 = 7,
    RGB12 = 8,
    WAVEPACKET13 = 9,
    POINT14 = 10,
    RGB14 = 11,
    RGBNIR14 = 12,
    WAVEPACKET14 = 13,
    BYTE14 = 14,
  };
  uint16_t type = 0;
  uint16_t size = 0;
  uint16_t version = 0;
  bool operator==(const RkpItem&) const = default;
};

// The field mask that selects which layers of a layered chunk are decoded.
namespace field_mask {
inline constexpr uint32_t kZ = 1;
inline constexpr uint32_t kClassification = 2;
inline constexpr uint32_t kFlags = 4;
inline constexpr uint32_t kIntensity = 8;
inline constexpr uint32_t kScanAngle = 16;
inline constexpr uint32_t kUserData = 32;
inline constexpr uint32_t kPointSource = 64;
inline constexpr uint32_t kGpsTime = 128;
inline constexpr uint32_t kRgb = 256;
inline constexpr uint32_t kNir = 512;
inline constexpr uint32_t kWavePacket = 1024;
inline constexpr uint32_t kExtraBytes = 0xFFFF0000u;  // 0x10000 << i for extra byte i
inline constexpr uint32_t kAll = 0xFFFFFFFFu;
}  // namespace field_mask

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
