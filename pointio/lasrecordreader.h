#pragma once
// Reads point records item by item into the item pointers of a LASpoint.
//
// Raw mode reads each record with one block read into a scratch record and lets every item
// reader unpack its bytes from there, so a record costs one stream call whatever its item count.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pointio/bytestreamin.h"
#include "pointio/laspoint.h"

// Unpacks one uncompressed item from its bytes in the record into its place in the point.
class LASitemReaderRaw {
 public:
  virtual void unpack(const uint8_t* record_bytes, uint8_t* item) const = 0;
  virtual ~LASitemReaderRaw() = default;
};

class LASrecordReader {
 public:
  LASrecordReader();
  ~LASrecordReader();
  LASrecordReader(const LASrecordReader&) = delete;
  LASrecordReader& operator=(const LASrecordReader&) = delete;

  // One raw item reader per item; any item type not in the uncompressed item table answers false.
  bool setup(uint32_t num_items, const LASitem* items);
  // Binds to the stream; the current position is taken as the start of the point records.
  bool init(ByteStreamIn* instream);
  // Positions the stream so that the next read delivers record target.
  bool seek(int64_t current, int64_t target);
  // Reads one record into the item pointers. Answers false at the end of the data with the error
  // text "end-of-file".
  bool read(uint8_t* const* point);
  bool check_end() { return true; }
  void done() { instream_ = nullptr; }

  // The last error and warning texts, nullptr when there was none.
  const char* error() const { return last_error_.empty() ? nullptr : last_error_.c_str(); }
  const char* warning() const { return last_warning_.empty() ? nullptr : last_warning_.c_str(); }
  uint32_t get_record_length() const { return record_length_; }

 private:
  bool fail_setup();

  std::vector<std::unique_ptr<LASitemReaderRaw>> readers_;
  std::vector<uint32_t> item_offsets_;  // where each item starts in the record
  std::vector<uint8_t> record_;         // scratch for one record
  uint32_t record_length_ = 0;
  ByteStreamIn* instream_ = nullptr;
  int64_t point_start_ = 0;
  std::string last_error_;
  std::string last_warning_;
};

// Converts a 30-byte POINT14 record into the point's fields (legacy fields derived as for
// consumers that know only the old point types). Exposed for tests.
void las_unpack_point14(const uint8_t* record_bytes, LASpointFields& point);
