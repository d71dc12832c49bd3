// The source of ESRI Shapefiles of points: Point, PointZ, PointM (shape types 1, 11, 21) and
// MultiPoint, MultiPointZ, MultiPointM (8, 18, 28), plain or compressed. Multipoint records
// deliver their points one by one; z comes from PointZ and MultiPointZ records, other types
// give z = 0.
//
// The header's bounds come from the file header, the point count is estimated from the file
// length it states (exact for Points, an upper bound for the others). Each record is
// read whole within the length its own header states, and never beyond the bytes that really
// arrive, so a lying length cannot claim memory the file does not fill.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pointio/detail/bufferedinput.h"
#include "pointio/detail/synthesizedheader.h"
#include "pointio/lasreader.h"

class LASreaderSHP : public LASreader {
 public:
  LASreaderSHP() = default;
  ~LASreaderSHP() override;

  void set_scale_factor(const RequestedTriple& scale) { requested_scale_ = scale; }
  void set_offset(const RequestedTriple& offset) { requested_offset_ = offset; }

  bool open(const char* file_name);

  int32_t get_format() const override { return FORMAT_SHP; }
  bool seek(int64_t) override { return false; }
  ByteStreamIn* get_stream() const override { return nullptr; }
  void close(bool close_stream = true) override;
  bool read_point_unfiltered() override;
  // The estimate for the file's real length, or -1 for compressed input.
  int64_t max_points_in_file() const override { return max_points_; }

  int32_t shape_type() const { return shape_type_; }

 private:
  bool read_header();
  // Reads the next record into record_; false at the end or after a failure.
  bool read_record();
  bool read_content(size_t bytes);

  std::unique_ptr<BufferedInput> input_;
  std::string file_name_;
  RequestedTriple requested_scale_, requested_offset_;
  int32_t shape_type_ = 0;
  int64_t max_points_ = -1;
  uint64_t stated_bytes_ = 0;  // the file length the header states
  int64_t record_number_ = 0;
  std::vector<uint8_t> content_;  // the current record's content
  int32_t record_points_ = 0;     // points of the current record
  int32_t next_point_ = 0;        // the next of them to deliver
  size_t z_start_ = 0;            // where the record's z values start, 0 for none
  CheckedQuantizer quantizer_;
  bool ended_ = false;
};
