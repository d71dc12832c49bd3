#pragma once
// Reads the point records of a compressed stream: the chunks (or the one point-wise block), the
// chunk table and seeking through it. Records come out in the byte layout of uncompressed LAS
// records, the items one after another.
//
// A chunk listed in the chunk table is decoded whole before any of its points is handed out, and
// it must end exactly where the table says (and each of its layers at its own end): a corrupt
// chunk is reported, never delivered. Chunks are independent, so with several threads the chunks
// ahead are decoded on other cores while this one is read; the points come out in the same order.
// The reading thread is one of those decoders: while the chunk it needs is still being decoded
// elsewhere it decodes a later one itself rather than sleeping, so n threads keep n cores busy
// and no (n+1)th thread competes with them.

#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "compression/byte_input.h"
#include "compression/chunk_table.h"
#include "compression/item_codec.h"
#include "compression/rekomp_descriptor.h"

class ChunkWorker;

class RkpPointDecoder {
 public:
  RkpPointDecoder();
  ~RkpPointDecoder();
  RkpPointDecoder(const RkpPointDecoder&) = delete;
  RkpPointDecoder& operator=(const RkpPointDecoder&) = delete;

  // Creates the item decoders. False (with an error text) when the descriptor's coder or an item
  // has no decoder. selection is the field mask of the layers to decode; threads the number of
  // chunks decoded at once (1: all on the calling thread).
  bool setup(const RekompDescriptor& descriptor, uint32_t selection = field_mask::kAll, unsigned threads = 1);
  // Binds the source; the point data start at point_data_start. The chunk table is read by
  // read_table, or else at the first read or seek.
  bool init(ByteSource* source, int64_t point_data_start, uint64_t number_of_points);
  // Reads the chunk table now. False when chunks of varying size have no usable table.
  bool read_table() {
    if (!started_) table_ok_ = start();
    return table_ok_;
  }
  // How many points the chunk table accounts for, or -1 without a table. Reading stops there:
  // what lies after the last listed chunk is the table itself, not points.
  int64_t points_in_table() const;
  // The next record. False at a corrupt chunk, at the end of the data, or when the chunk table of
  // chunks of varying size cannot be read; error() then says why. After a corrupt chunk the next
  // read continues with the chunk after it.
  bool read(uint8_t* record) {
    // Nearly every read takes the next record of the chunk at hand; it is kept inline and short.
    if (position_ < available_ && skip_ == 0) [[likely]] {
      copy_record(record, records_ + size_t(position_) * record_length_, record_length_);
      position_++;
      next_point_++;
      return true;
    }
    return read_from_next_chunk(record);
  }
  // Positions so that the next read delivers point target.
  bool seek(uint64_t target);
  // After the last point: false when the last chunk did not end where the table says.
  bool check_end();
  void done();

  uint32_t record_length() const { return record_length_; }
  const char* error() const { return error_.empty() ? nullptr : error_.c_str(); }
  const char* warning() const { return warning_.empty() ? nullptr : warning_.c_str(); }
  // Points of the chunk a read reported corrupt.
  uint64_t points_lost() const { return points_lost_; }

 private:
  // Records are short: two overlapping block copies cost a fraction of a library call.
  static void copy_record(uint8_t* to, const uint8_t* from, size_t size) {
    if (size >= 16 && size <= 32) {
      std::memcpy(to, from, 16);
      std::memcpy(to + size - 16, from + size - 16, 16);
    } else if (size > 32 && size <= 64) {
      std::memcpy(to, from, 32);
      std::memcpy(to + size - 32, from + size - 32, 32);
    } else {
      std::memcpy(to, from, size);
    }
  }
  bool read_from_next_chunk(uint8_t* record);

  // What became of the chunk decoded into a worker's buffers.
  struct Slot {
    enum State { FREE, DECODING, DONE };
    State state = FREE;
    uint32_t chunk = 0;
    uint32_t decoded = 0;
    int status = 0;
    bool verified = false;
    std::vector<uint8_t> bytes;    // the chunk as stored
    std::vector<uint8_t> records;  // and decoded
    std::exception_ptr failure;    // anything but a decoding error, raised again to the reader
  };

  bool start();
  bool next_chunk();
  bool fill();
  uint32_t chunk_count(uint32_t chunk) const;
  bool in_memory(uint32_t chunk) const;
  void load_chunk_bytes(uint32_t chunk, std::vector<uint8_t>& bytes);
  // The decoding of whole chunks in memory, shared by the reading thread and the helpers. Chunks
  // are claimed in order, as far as the slots reach past the chunk being read. Every thread
  // decodes with a worker of its own. Every call below but decode_claimed holds mutex_.
  bool claimable() const;
  uint32_t claim();
  void decode_claimed(uint32_t chunk, ChunkWorker& worker);
  void finish(uint32_t chunk);
  // Waits until chunk is decoded, decoding chunks itself while any can be claimed.
  Slot& take(uint32_t chunk);
  void help();
  void start_helpers();
  void stop_helpers();
  // Lets the decoding chunks end and claims no more, so the stream and the workers are free.
  void cancel_pending();
  bool begin_streaming(uint32_t chunk);
  bool verify_streaming(uint32_t chunk);
  bool fail(const char* format, uint32_t a, uint32_t b = 0);

  RekompDescriptor descriptor_;
  bool layered_ = false;
  bool pointwise_ = false;
  bool varying_ = false;
  uint32_t record_length_ = 0;
  uint32_t selection_ = field_mask::kAll;
  unsigned threads_ = 1;

  ByteSource* source_ = nullptr;
  ByteInput stream_;
  int64_t point_data_start_ = 0;
  uint64_t number_of_points_ = 0;
  int64_t source_size_ = -1;
  bool started_ = false;
  bool table_ok_ = false;  // the start succeeded

  ChunkTable table_;  // chunks listed in the table
  bool have_table_ = false;
  std::vector<int64_t> starts_;   // known chunk starts, tabled or found while reading
  std::vector<uint64_t> firsts_;  // first point of each known chunk

  std::unique_ptr<ChunkWorker> worker_;  // the reading thread's
  std::vector<Slot> slots_;              // chunk c is decoded into slot c % size
  std::vector<std::thread> helpers_;
  bool helpers_started_ = false;
  std::mutex mutex_;
  std::mutex stream_mutex_;          // the chunks' bytes are read through one stream
  std::condition_variable wake_;     // helpers: a chunk can be claimed, or quit
  std::condition_variable decoded_;  // reader: a chunk was decoded
  bool paused_ = true;               // nothing is claimed until the reader asks
  bool quit_ = false;
  uint32_t next_claim_ = 0;
  uint32_t reading_ = 0;  // buffers of chunks before this one are free
  unsigned decoding_ = 0;

  // The chunk being read: its records (memory path) or its streaming worker.
  uint32_t chunk_ = 0;
  bool chunk_open_ = false;
  bool streaming_ = false;
  const uint8_t* records_ = nullptr;
  uint32_t available_ = 0;  // records in records_
  uint32_t position_ = 0;   // next record in records_
  int pending_status_ = 0;  // an error to report once the decoded records are read
  uint64_t next_point_ = 0;
  uint64_t skip_ = 0;  // records to drop after a seek
  bool checked_ = false;

  std::vector<uint8_t> batch_;
  std::string error_;
  std::string warning_;
  uint64_t points_lost_ = 0;
};
