#pragma once
// Decoders of whole point records for the common legacy item lists (LAS point types 0 to 3 with
// version 2 items). Decoding item by item costs a virtual call per item and moves the range
// decoder's state through memory between items; these decode a run of records in one call with
// that state in registers throughout.

#include <cstdint>
#include <memory>
#include <vector>

#include "compression/item_codec.h"
#include "compression/range_decoder.h"

class RecordDecoder {
 public:
  virtual ~RecordDecoder() = default;
  // First point of a chunk: resets the statistics and takes the raw record.
  virtual void init(const uint8_t* record) = 0;
  // Decodes n records into out, one after another, counting each one in decoded as soon as it is
  // complete, so that after a CodecError the records before the failing one can still be used.
  virtual void read(uint8_t* out, uint32_t n, uint32_t& decoded) = 0;
};

// A decoder of the whole record for these items, or null when they are decoded item by item.
std::unique_ptr<RecordDecoder> make_record_decoder(const std::vector<RkpItem>& items, RangeDecoder* decoder);
