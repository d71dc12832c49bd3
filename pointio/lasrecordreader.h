#pragma once
// Point-record decoders: what turns the bytes after a LAS-family header into the item fields of
// a LASpoint, one record per read.
//
// LASrecordReader is the interface. LASrecordReaderRaw reads uncompressed records; the decoders
// of compressed files are other implementations (make_compressed_record_reader,
// pointio/lasrecordreader_compressed.h). Decoders that produce records in the uncompressed layout
// hand them to a LASrecordUnpacker, which fills the point's fields item by item.
//
// The field mask (las_fields bits, pointio/laspointstage.h) tells a decoder which fields its
// consumers need; a layered compressed decoder skips the layers of the others. Raw records are
// read whole, so the raw decoder ignores it.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pointio/bytestreamin.h"
#include "pointio/laspoint.h"

class LASrecordReader {
 public:
  LASrecordReader() = default;
  LASrecordReader(const LASrecordReader&) = delete;
  LASrecordReader& operator=(const LASrecordReader&) = delete;
  virtual ~LASrecordReader();

  // Binds to the stream, which stands at the first record.
  virtual bool init(ByteStreamIn* instream) = 0;
  // Positions the stream so that the next read delivers record `target`; `current` is the record
  // the next read would deliver now.
  virtual bool seek(int64_t current, int64_t target) = 0;
  // Decodes one record into the point's item pointers. False at the end of the data or at a
  // record that cannot be decoded; error() then says why ("end-of-file" at the end).
  virtual bool read(uint8_t* const* item_pointers) = 0;
  // After the last record: false when the encoding did not end where it should.
  virtual bool check_end() { return true; }
  // Releases decoding state; the stream stays with its owner.
  virtual void done() {}
  // The most records `bytes` bytes of point data can hold, or -1 when the encoding cannot tell.
  virtual int64_t max_records(int64_t bytes) const = 0;

  // The last error and warning texts, nullptr when there was none.
  const char* error() const { return last_error_.empty() ? nullptr : last_error_.c_str(); }
  const char* warning() const { return last_warning_.empty() ? nullptr : last_warning_.c_str(); }

 protected:
  std::string last_error_;
  std::string last_warning_;
};

// Unpacks one uncompressed item from its bytes in the record into its place in the point.
class LASitemReaderRaw {
 public:
  virtual void unpack(const uint8_t* record_bytes, uint8_t* item) const = 0;
  virtual ~LASitemReaderRaw() = default;
};

// Fills a point's item fields from a record in the uncompressed layout.
class LASrecordUnpacker {
 public:
  // One item reader per item; an item type or size the point's fields cannot hold answers false.
  bool setup(uint32_t num_items, const LASitem* items);
  uint32_t record_length() const { return record_length_; }
  void unpack(const uint8_t* record, uint8_t* const* item_pointers) const;

 private:
  bool fail_setup();

  std::vector<std::unique_ptr<LASitemReaderRaw>> unpackers_;
  std::vector<uint32_t> item_offsets_;  // where each item starts in the record
  uint32_t record_length_ = 0;
};

// Uncompressed records. Each record is read with one block read into a scratch record and then
// unpacked, so a record costs one stream call whatever its item count.
class LASrecordReaderRaw : public LASrecordReader {
 public:
  bool setup(uint32_t num_items, const LASitem* items);
  bool init(ByteStreamIn* instream) override;
  bool seek(int64_t current, int64_t target) override;
  bool read(uint8_t* const* item_pointers) override;
  void done() override { instream_ = nullptr; }
  int64_t max_records(int64_t bytes) const override;
  uint32_t record_length() const { return unpacker_.record_length(); }

 private:
  LASrecordUnpacker unpacker_;
  std::vector<uint8_t> record_;  // scratch for one record
  ByteStreamIn* instream_ = nullptr;
  int64_t point_start_ = 0;
};

// Converts a 30-byte POINT14 record into the point's fields (legacy fields derived as for
// consumers that know only the old point types). Exposed for tests.
void las_unpack_point14(const uint8_t* record_bytes, LASpointFields& point);
