#pragma once
// Writes point records as a compressed stream: point-wise, point-wise chunked or layered
// chunked, with the chunk table after the chunks. The stream is appended to a byte vector that
// holds the file from its first byte, so positions in the file are positions in the vector.

#include <cstdint>
#include <functional>
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

  // Streams the output instead of keeping it: every closed chunk, with the bytes before it, goes to
  // `sink` and leaves the vector, so at most one chunk is held in memory. `base` is the file
  // position of the vector's first byte. Call before init.
  using Sink = std::function<bool(const uint8_t* bytes, size_t size)>;
  void set_sink(Sink sink, int64_t base);
  // After done: the file position of the chunk table, and whether the 8-byte pointer to it at the
  // start of the points had already gone to the sink (the caller then writes it at
  // table_pointer_position()).
  int64_t table_position() const { return table_position_; }
  bool table_pointer_pending() const { return table_pointer_pending_; }
  int64_t table_pointer_position() const { return base_ + static_cast<int64_t>(table_pointer_); }
  // False when the sink refused bytes.
  bool sink_ok() const { return sink_ok_; }

 private:
  void close_chunk();
  void flush_finished();

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
  Sink sink_;
  int64_t base_ = 0;
  size_t flushed_ = 0;  // bytes handed to the sink since init
  int64_t table_position_ = -1;
  bool table_pointer_pending_ = false;
  bool sink_ok_ = true;
};
