// The source of terrasolid BIN files: a 56-byte header, then fixed-size records of integer
// coordinates (20 bytes for version 20020715, 16 bytes for older files), each optionally followed
// by a time and a colour word.
//
// The header has no bounds: the first point and nine points spread over the file give them, and
// every read widens them. The scale factors are 1 / units and the offsets -origin / units. The
// point count is the header's; a reader never delivers more than the records the file holds.
#pragma once

#include <cstdint>

#include "pointio/detail/lasreaderrecordfile.h"

class LASreaderBIN : public LASreaderRecordFile<LASreaderBIN> {
 public:
  int32_t get_format() const override { return FORMAT_BIN; }
  bool seek(int64_t p_index) override;
  // The complete records after the header, or -1 when the stream cannot tell its size.
  int64_t max_points_in_file() const override;

 private:
  friend class LASreaderRecordFile<LASreaderBIN>;
  bool read_header();
  bool read_record();
  void sample_bounds();

  int64_t stream_size_ = -1;
  bool new_records_ = false;  // version 20020715: 20-byte records
  bool has_time_ = false, has_color_ = false;
  uint32_t record_size_ = 16;
  uint32_t announced_ = 0;  // the header's point count, for messages
};
