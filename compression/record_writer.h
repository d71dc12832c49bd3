#pragma once
// Writes point records as a compressed stream: point-wise, point-wise chunked or layered
// chunked, with the chunk table after the chunks. The stream is appended to a byte vector that
// holds the file from its first byte, so positions in the file are positions in the vector.

#include <cstdint>
#include <memory>
#include <vector>

#include "compression/item_codec.h"
#include "compression/range_encoder.h"
#include "compression/rekomp_descriptor.h"

class CompressedRecordWriter {
 public:
  // Creates the item encoders; false when an item has no encoder or does not fit the compressor.
  bool setup(const RekompDescriptor& descriptor);
  // Starts the point data at the end of out.
  void init(std::vector<uint8_t>* out);
  // Appends one record: the items one after another, in the layout of uncompressed records.
  void write(const uint8_t* record);
  // Ends the current chunk early (chunks of varying size only).
  bool chunk();
  // Ends the last chunk and writes the chunk table.
  void done();

 private:
  void close_chunk();

  RekompDescriptor descriptor_;
  bool layered_ = false;
  bool pointwise_ = false;
  uint32_t record_length_ = 0;
  std::vector<uint32_t> offsets_;
  std::vector<std::unique_ptr<ItemEncoder>> encoders_;
  RangeEncoder encoder_;
  std::vector<uint8_t>* out_ = nullptr;
  size_t table_pointer_ = 0;
  size_t chunk_start_ = 0;
  uint32_t chunk_count_ = 0;
  std::vector<uint32_t> chunk_bytes_;
  std::vector<uint32_t> chunk_points_;
};
