#pragma once
// The description of a compressed point stream, carried by the "rekomp encoded" VLR: the
// compressor, the chunk size and the items of a point record.

#include <cstdint>
#include <string>
#include <vector>

#include "compression/item_codec.h"

class RekompDescriptor {
 public:
  enum Compressor : uint16_t { NONE = 0, POINTWISE = 1, POINTWISE_CHUNKED = 2, LAYERED_CHUNKED = 3 };
  static constexpr uint32_t kVaryingChunks = 0xFFFFFFFFu;
  static constexpr uint32_t kDefaultChunkSize = 50000;
  static constexpr uint16_t kRecordId = 22204;

  uint16_t compressor = POINTWISE_CHUNKED;
  uint16_t coder = 0;
  uint8_t version_major = 3;
  uint8_t version_minor = 4;
  uint16_t version_revision = 4;
  uint32_t options = 0;
  uint32_t chunk_size = kDefaultChunkSize;
  int64_t number_of_special_evlrs = -1;
  int64_t offset_to_special_evlrs = -1;
  std::vector<RkpItem> items;

  // Reads the VLR payload. On failure answers false and names the field that could not be read
  // ("compressor", "type", ...) and, for item fields, the item's index.
  bool parse(const uint8_t* payload, size_t size, const char** failed_field = nullptr,
             int* failed_item = nullptr);
  // The VLR payload.
  std::vector<uint8_t> serialize() const;

  // The item list of a LAS point type and record length; with a compressor, at version 2.
  bool setup(uint8_t point_type, uint16_t record_length, uint16_t compressor_kind);
  // Writer side: checks and adopts a list of items.
  bool setup(const std::vector<RkpItem>& new_items, uint16_t compressor_kind);
  bool request_version(uint16_t version);
  bool set_chunk_size(uint32_t size);
  // Compressor, coder and items; a record_length of 0 skips the length check.
  bool check(uint16_t record_length);
  // The LAS point type the items are (127 when none) and the record length they add up to.
  bool is_standard(uint8_t* point_type, uint16_t* record_length);

  bool varying_chunks() const { return chunk_size == kVaryingChunks || chunk_size == 0; }
  uint32_t record_length() const;
  const char* error() const { return error_.empty() ? nullptr : error_.c_str(); }

 private:
  bool fail(const std::string& message);
  std::string error_;
};
