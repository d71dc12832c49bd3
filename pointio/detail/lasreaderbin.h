// The source of terrasolid BIN files: a 56-byte header, then fixed-size records of integer
// coordinates (20 bytes for version 20020715, 16 bytes for older files), each optionally followed
// by a time and a colour word.
//
// The header has no bounds: the first point and nine points spread over the file give them, and
// every read widens them. The scale factors are 1 / units and the offsets -origin / units. The
// point count is the header's; a reader never delivers more than the records the file holds.
#pragma once

#include <cstdint>
#include <memory>

#include "pointio/detail/decompressingfile.h"
#include "pointio/lasreader.h"

class LASreaderBIN : public LASreader {
 public:
  LASreaderBIN() = default;
  ~LASreaderBIN() override;

  bool open(const char* file_name);
  // Reads from a caller-owned stream, which must outlive the reader's use of it.
  bool open(ByteStreamIn* stream);

  int32_t get_format() const override { return FORMAT_BIN; }
  bool seek(int64_t p_index) override;
  ByteStreamIn* get_stream() const override { return stream_; }
  void close(bool close_stream = true) override;
  bool read_point_unfiltered() override;
  // The bounds come from ten points spread over the file.
  bool bounds_are_complete() const override { return false; }
  // The complete records after the header, or -1 when the stream cannot tell its size.
  int64_t max_points_in_file() const override;

 private:
  bool read_header();
  bool read_record();
  void sample_bounds();
  void widen();

  BinaryFile file_;
  std::unique_ptr<ByteStreamIn> own_stream_;
  ByteStreamIn* stream_ = nullptr;
  int64_t stream_size_ = -1;
  bool new_records_ = false;  // version 20020715: 20-byte records
  bool has_time_ = false, has_color_ = false;
  uint32_t record_size_ = 16;
  uint32_t announced_ = 0;         // the header's point count, for messages
  LASquantizer source_quantizer_;  // the file's own scale and offset
};
