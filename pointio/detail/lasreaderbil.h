// The source of BIL rasters: binary cells described by a header file (name.hdr) and optionally
// placed by a world file (name.blw). The cells of the first band that hold data become points at
// their centres, read row by row from the north.
//
// Header keys (any case): ncols, nrows, nbands, nbits (8, 16, 32, or 64 for floats), pixeltype
// (unsignedint, signedint, float), byteorder (I or M), layout (bil, bip, bsq), nodata, ulxmap and
// ulymap (centre of the upper-left cell), xdim, ydim, and the byte counts skipbytes,
// bandrowbytes, totalrowbytes and bandgapbytes. A world file's six lines (xdim, two rotations,
// -ydim, and the upper-left centre) take precedence over the header's placement.
//
// Opening reads every cell once to find the elevation range and the number of points.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pointio/detail/decompressingfile.h"
#include "pointio/detail/synthesizedheader.h"
#include "pointio/lasreader.h"

class BufferedInput;

struct BILheader {
  enum Layout { kBil, kBip, kBsq };
  enum PixelType { kUnsignedInt, kSignedInt, kFloat };
  int32_t ncols = 0, nrows = 0, nbands = 1, nbits = 8;
  Layout layout = kBil;
  PixelType pixel_type = kUnsignedInt;
  bool big_endian = false;
  bool has_nodata = false;
  double nodata = 0;
  bool has_ulxmap = false, has_ulymap = false, has_xdim = false, has_ydim = false;
  double ulxmap = 0, ulymap = 0, xdim = 0, ydim = 0;
  int64_t skipbytes = 0, bandrowbytes = 0, totalrowbytes = 0, bandgapbytes = 0;
};

// Reads the lines of a BIL header file with the warnings of unknown values; answers false (after
// the warning that lists what was found) when the size of the grid is missing or invalid.
bool read_bil_header(BufferedInput& input, BILheader& header);

class LASreaderBIL : public LASreader {
 public:
  LASreaderBIL() = default;
  ~LASreaderBIL() override;

  void set_scale_factor(const RequestedTriple& scale) { requested_scale_ = scale; }
  void set_offset(const RequestedTriple& offset) { requested_offset_ = offset; }

  bool open(const char* file_name);

  int32_t get_format() const override { return FORMAT_BIL; }
  bool seek(int64_t) override { return false; }
  ByteStreamIn* get_stream() const override { return nullptr; }
  void close(bool close_stream = true) override;
  bool read_point_unfiltered() override;

  const BILheader& bil_header() const { return bil_; }

 private:
  bool read_companions(const std::string& base);
  void read_world_file(const std::string& base);
  // Reads row `row` of the first band into row_; false when the file ends inside it.
  bool read_row(int32_t row);
  double cell_value(int32_t col) const;
  bool is_no_data(double value) const;
  bool scan_cells();

  std::string file_name_;
  RequestedTriple requested_scale_, requested_offset_;
  BILheader bil_;
  double ulxcenter_ = 0, ulycenter_ = 0, xdim_ = 1, ydim_ = 1;
  BinaryFile file_;
  int64_t file_size_ = 0;
  int bytes_ = 1;           // bytes of one cell
  int64_t row_stride_ = 0;  // bytes from one row of the first band to the next
  std::vector<uint8_t> row_;
  int32_t row_index_ = -1;  // the row held in row_
  int32_t next_row_ = 0, next_col_ = 0;
  bool short_grid_ = false;
  CheckedQuantizer quantizer_;
};
