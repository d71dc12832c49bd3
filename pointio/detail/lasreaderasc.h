// The source of ESRI ASCII grids (.asc): a header of keys and values, then the cell values row by
// row from the northernmost row. Every cell that holds data becomes a point at its centre.
//
//   ncols 4            nrows 3            (several keys may share a line; keys in any case)
//   xllcorner 100.0    yllcorner 200.0    (or xllcenter / yllcenter)
//   cellsize 2.0                          (or dx and dy for cells that are not square)
//   NODATA_value -9999
//   1 2 3 4
//   ...
//
// Values are separated by any character below '!'; with comma_not_point every ',' is a decimal
// point. Opening reads every value once to find the elevation range and the number of points, so
// the header is exact and a value that is not a number is an error before any point is read.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "pointio/detail/bufferedinput.h"
#include "pointio/detail/synthesizedheader.h"
#include "pointio/lasreader.h"

// What the header of an ASCII grid says, with corners already turned into cell centres.
struct ASCgrid {
  int32_t ncols = 0, nrows = 0;
  double xllcenter = 0, yllcenter = 0;
  double step_x = 0, step_y = 0;
  double nodata = -9999.0;
  bool has_nodata = false;
};

// Reads the header keys of an ASCII grid (with comma_not_point, ',' is the decimal point there
// too). `first_values` receives the rest of the line where the values begin (empty when they begin
// on the next line). Prints "ERROR: was not able to find header" (or what is wrong with a value)
// and answers false.
bool read_asc_header(BufferedInput& input, ASCgrid& grid, std::string& first_values,
                     bool comma_not_point = false);

class LASreaderASC : public LASreader {
 public:
  LASreaderASC() = default;
  ~LASreaderASC() override;

  void set_scale_factor(const RequestedTriple& scale) { requested_scale_ = scale; }
  void set_offset(const RequestedTriple& offset) { requested_offset_ = offset; }

  bool open(const char* file_name, bool comma_not_point = false);

  int32_t get_format() const override { return FORMAT_ASC; }
  bool seek(int64_t) override { return false; }
  ByteStreamIn* get_stream() const override { return nullptr; }
  void close(bool close_stream = true) override;
  bool read_point_unfiltered() override;

  const ASCgrid& grid() const { return grid_; }

 private:
  // Opens the file and reads its header; the values follow.
  bool start_pass();
  // The next cell value; false at the end of the input or of the grid, or after a bad value
  // (then `bad_value_` is set and the message printed).
  bool next_value(double& value);
  bool scan_values();

  std::string file_name_;
  bool comma_not_point_ = false;
  RequestedTriple requested_scale_, requested_offset_;
  ASCgrid grid_;
  std::unique_ptr<BufferedInput> input_;
  std::string pending_;  // the values of the header's last line, then a line with commas turned
  std::string_view line_;
  size_t at_ = 0;
  int64_t cell_ = 0;  // the next cell, counted row by row from the north-west
  // Column and row of the next cell and of the value last read, kept by counting: a division
  // per cell would cost a good part of the time a cell takes.
  int64_t next_col_ = 0, next_row_ = 0, value_col_ = 0, value_row_ = 0;
  bool bad_value_ = false;
  bool short_grid_ = false;
  CheckedQuantizer quantizer_;
};
