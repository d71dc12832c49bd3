// The source of points given as lines of text ("x y z", "x,y,z,intensity", PTS and PTX scans),
// plain, compressed (.gz, .zip, .7z, .rar) or on standard input.
//
// A parse string says what each field of a line is (pointio/detail/txtlineparser.h); the point type
// follows from it. With populate, a first pass over the file counts the points and finds their
// bounds, so the header is exact before the first point is delivered; scale and offset are then
// chosen for those bounds. Without it (always so for standard input, which cannot be read twice)
// the header starts from the first point: its bounds, scale and offset come from it, and counts
// and bounds are completed when the last point was read.
//
// Coordinates are quantized with the header's scale and offset as they are parsed; the scale
// and offset asked for on the command line replace the chosen ones before any point is
// quantized, so requantizing stages are not needed. A point whose integers would not fit 32
// bits is dropped and counted. With the PTX transform, the scan's transformation is applied to
// every point as it is parsed, before bounds are taken and before quantizing.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pointio/detail/bufferedinput.h"
#include "pointio/detail/synthesizedheader.h"
#include "pointio/detail/txtlineparser.h"
#include "pointio/lasreader.h"

class LASreaderTXT : public LASreader {
 public:
  LASreaderTXT();
  ~LASreaderTXT() override;

  void set_pts(bool pts) { pts_ = pts; }
  void set_ptx(bool ptx) { ptx_ = ptx; }
  void set_ptx_transform(bool transform) { ptx_transform_ = transform; }
  void set_adjustments(const TXTvalueAdjustments& adjustments) { adjustments_ = adjustments; }
  void set_scale_factor(const RequestedTriple& scale) { requested_scale_ = scale; }
  void set_offset(const RequestedTriple& offset) { requested_offset_ = offset; }
  // Describes an extra attribute for the digits and bracketed indices of the parse string.
  bool add_attribute(int data_type, const std::string& name, const std::string& description,
                     double scale = 1.0, double offset = 0.0, double pre_scale = 1.0, double pre_offset = 0.0,
                     double no_data = 2e307);

  // Opens a file by name (through the decompressing opener). point_type 0 lets the parse string
  // decide; parse_string null means "xyz".
  bool open(const char* file_name, int point_type = 0, const char* parse_string = nullptr,
            uint32_t skip_lines = 0, bool populate = false);
  // Reads standard input, which cannot be read twice: a requested populate is refused with a
  // warning, and counts and bounds are taken at the end.
  bool open_stdin(int point_type = 0, const char* parse_string = nullptr, uint32_t skip_lines = 0,
                  bool populate = false);
  // Opens the same file again for another pass over its points (the header stays as it is).
  bool reopen(const char* file_name);

  int32_t get_format() const override { return FORMAT_TXT; }
  bool seek(int64_t p_index) override;
  ByteStreamIn* get_stream() const override { return nullptr; }
  void close(bool close_stream = true) override;
  bool read_point_unfiltered() override;
  // The counted points once populated; -1 before the end of an unpopulated read.
  int64_t max_points_in_file() const override { return populated_ ? npoints : -1; }
  bool bounds_are_complete() const override { return populated_; }

  bool is_populated() const { return populated_; }
  bool is_piped() const { return piped_; }

 private:
  // The PTX header lines: columns, rows, scan position, rotation rows and transformation rows.
  struct PtxHeader {
    int32_t columns = 0, rows = 0;
    double scan_position[3] = {0, 0, 0};
    double rotation[3][3] = {};
    double transformation[4][4] = {};
  };

  bool open_input(std::unique_ptr<DecompressingFile> file, const char* file_name, int point_type,
                  const char* parse_string, uint32_t skip_lines, bool populate);
  bool prepare_header(int point_type, const char* parse_string);
  bool populate_pass();
  // Skips the lines to skip and reads the PTS or PTX header of `input`.
  bool read_preamble(BufferedInput& input, bool populating);
  bool read_ptx_header(BufferedInput& input);
  // Reads up to the first line that parses and keeps its point for the first read.
  bool read_first_point();
  // The next line that parses, its coordinates transformed when asked to; false at the end.
  bool next_parsed(BufferedInput& input, TXTlineParser& parser, double xyz[3]);
  void add_scan_vlr();
  void count_point();
  void finish_counts(int64_t count, const std::array<int64_t, 15>& by_return, bool returns_above_five);

  std::unique_ptr<BufferedInput> input_;
  std::string file_name_;  // empty for standard input
  bool piped_ = false;
  std::string parse_string_ = "xyz";
  int requested_point_type_ = 0;
  uint32_t skip_lines_ = 0;
  bool populated_ = false;
  bool pts_ = false, ptx_ = false, ptx_transform_ = false;
  TXTvalueAdjustments adjustments_;
  RequestedTriple requested_scale_, requested_offset_;
  std::vector<LASattribute> attribute_list_;
  std::vector<TXTattributePrescale> prescales_;

  TXTlineParser parser_;
  PtxHeader ptx_header_;
  int64_t pts_count_ = 0;
  bool stated_count_ = false;  // npoints came from a PTS or PTX header
  CheckedQuantizer quantizer_;
  bool quantization_chosen_ = false;
  bool have_first_point_ = false;        // the point of open() waits to be delivered
  std::array<int64_t, 15> by_return_{};  // points per return number, counted while reading unpopulated
  bool above_five_ = false;
  bool reached_end_ = false;
};
