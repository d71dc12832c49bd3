// The record that describes a raster whose cells a reader delivers as points (ASC, BIL, DTM):
// user_id "Raster RKP", 80 bytes in this order, little-endian:
//   nbands, nbits, ncols, nrows, reserved1, reserved2   I32 each
//   stepx, stepx_y, stepy, stepy_x                       F64: the cell steps along the grid axes
//   llx, lly                                             F64: the centre of the lower-left cell
//   sigmaxy                                              F64: the planimetric accuracy, 0 unknown
#pragma once

#include <cstdint>
#include <vector>

class ByteStreamIn;
class ByteStreamOut;
class LASheader;

struct LASvlrRasterRKP {
  static constexpr uint16_t kRecordAsc = 1;
  static constexpr uint16_t kRecordBil = 2;
  static constexpr uint16_t kRecordDtm = 3;
  static constexpr int kSize = 80;

  int32_t nbands = 1, nbits = 32, ncols = 0, nrows = 0, reserved1 = 0, reserved2 = 0;
  double stepx = 0, stepx_y = 0, stepy = 0, stepy_x = 0, llx = 0, lly = 0, sigmaxy = 0;

  // Print "ERROR: reading LASvlrRasterRKP.<field>" (writing) for the field that fails.
  bool read(ByteStreamIn& stream);
  bool write(ByteStreamOut& stream) const;
  std::vector<uint8_t> payload() const;
};

// Adds (or replaces) the raster record in the header.
void add_raster_vlr(LASheader& header, uint16_t record_id, const LASvlrRasterRKP& raster);
