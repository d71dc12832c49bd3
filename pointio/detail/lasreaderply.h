// The source of PLY point clouds: ascii, binary little-endian and binary big-endian vertices,
// plain or compressed. x, y and z become the coordinates, red, green and blue the colour, gray the
// intensity; nx, ny and nz become extra attributes named "normal x coordinate" (y, z), and every
// other property an extra attribute of its own name and type.
//
// Like the text reader, it counts and bounds the vertices in a first pass when asked to populate;
// otherwise the header starts from the first vertex and is completed at the end. Only the vertex
// element is read: faces and other elements after it are ignored.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pointio/detail/bufferedinput.h"
#include "pointio/detail/plyheader.h"
#include "pointio/detail/synthesizedheader.h"
#include "pointio/detail/txtlineparser.h"
#include "pointio/lasreader.h"

class LASreaderPLY : public LASreader {
 public:
  LASreaderPLY() = default;
  ~LASreaderPLY() override;

  void set_scale_factor(const RequestedTriple& scale) { requested_scale_ = scale; }
  void set_offset(const RequestedTriple& offset) { requested_offset_ = offset; }

  // point_type 0 chooses 2 when the vertices have colour, else 0.
  bool open(const char* file_name, int point_type = 0, bool populate = false);
  // Opens the same file again for another pass over its vertices (the header stays as it is).
  bool reopen(const char* file_name);

  int32_t get_format() const override { return FORMAT_PLY; }
  bool seek(int64_t p_index) override;
  ByteStreamIn* get_stream() const override { return nullptr; }
  void close(bool close_stream = true) override;
  bool read_point_unfiltered() override;
  int64_t max_points_in_file() const override;
  bool bounds_are_complete() const override { return populated_; }

  const PLYheader& ply_header() const { return ply_; }

 private:
  enum class Role : uint8_t { kX, kY, kZ, kRed, kGreen, kBlue, kGray, kAttribute };
  struct Field {
    Role role;
    uint16_t offset;           // byte offset in a binary vertex
    uint16_t attribute_start;  // byte offset in the extra bytes, for kAttribute
  };

  // Opens the file and reads its header into `ply`.
  std::unique_ptr<BufferedInput> open_input(const char* file_name, PLYheader& ply);
  bool prepare_header(int point_type);
  bool populate_pass();
  // The next vertex of `input` (counting down `left`): its coordinates into `xyz`, its other
  // properties into the point. False at the end of the vertices or of the input.
  bool next_vertex(BufferedInput& input, int64_t& left, double xyz[3]);
  bool decode_binary(const uint8_t* record, double xyz[3]);
  bool read_first_point();
  void finish_counts(int64_t count);

  std::string file_name_;
  bool piped_ = false;
  int64_t file_size_ = -1;
  RequestedTriple requested_scale_, requested_offset_;
  PLYheader ply_;
  std::vector<Field> fields_;
  std::string parse_string_;
  TXTlineParser parser_;  // for ascii vertices
  std::vector<uint8_t> record_;
  std::unique_ptr<BufferedInput> input_;
  int64_t left_ = 0;  // vertices not read yet
  bool populated_ = false;
  bool quantization_chosen_ = false;
  bool have_first_point_ = false;
  bool reached_end_ = false;
  CheckedQuantizer quantizer_;
};
