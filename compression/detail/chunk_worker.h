#pragma once
// Decodes the points of one chunk with its own range decoder and item decoders, so several
// chunks can be decoded at once, each by its own worker. A worker stays with one thread: its
// models then stay in that core's caches from one chunk to the next.

#include <cstdint>
#include <memory>
#include <vector>

#include "compression/byte_input.h"
#include "compression/detail/record_decoder.h"
#include "compression/item_codec.h"
#include "compression/range_decoder.h"

class ChunkWorker {
 public:
  enum Status { OK = 0, END_OF_DATA = kCodecEndOfData, CORRUPT = kCodecCorrupt };

  ChunkWorker(const std::vector<RkpItem>& items, bool layered, uint32_t selection);

  // Starts a chunk of count points at the input's position: reads the raw first point, then the
  // layer sizes and layers, or starts the range decoder. Throws CodecError.
  void begin(ByteInput& input, uint32_t count);
  // Decodes up to n further points of the chunk into out (n records), or into scratch when out
  // is null. Answers how many were decoded; status tells why fewer.
  uint32_t decode(uint32_t n, uint8_t* out, Status& status);
  // After the last point: whether the chunk ended exactly at end and every layer at its end.
  bool ended_at(int64_t end) const;
  uint32_t left() const { return left_; }
  uint32_t record_length() const { return record_length_; }

  // Memory path: reads the chunk's bytes.
  ByteInput memory;

 private:
  std::vector<RkpItem> items_;
  std::vector<uint32_t> offsets_;
  bool layered_;
  uint32_t record_length_ = 0;
  RangeDecoder decoder_;
  ByteInput* input_ = nullptr;
  std::vector<std::unique_ptr<ItemDecoder>> decoders_;
  std::unique_ptr<RecordDecoder> records_;  // when whole records decode at once
  std::vector<uint8_t> first_record_;
  std::vector<uint8_t> scratch_;
  bool first_pending_ = false;
  uint32_t left_ = 0;
};
