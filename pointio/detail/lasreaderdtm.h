// The source of PLANS DTM files (version 3.1 binary grids): a 200-byte little-endian header, then
// the cells column by column from the west, each column from the south. Cells holding the no-data
// value -1 are skipped; every other cell becomes a point at its centre. The header's coordinate
// system, zone, units and datums become a GeoKey directory.
//
// Header: signature "PLANS-PC BINARY .DTM" (21 bytes), description (61), version F32, lower-left
// x and y F64, z minimum and maximum F64, rotation F64, column and row spacing F64, columns and
// rows I32, then I16 each: horizontal units (0 feet, 1 metres), vertical units, cell type (0 I16,
// 1 I32, 2 F32, 3 F64), coordinate system (1 UTM, 2 State Plane), zone, horizontal datum
// (1 NAD27, 2 NAD83, 3 WGS84), vertical datum (1 NGVD29, 2 NAVD88, 3 GRS80). The rest of the 200
// bytes is padding; files whose cells follow the fields at once (164 bytes) are read too.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "pointio/detail/decompressingfile.h"
#include "pointio/detail/synthesizedheader.h"
#include "pointio/lasreader.h"

struct DTMheader {
  char description[62] = {};
  float version = 0;
  double ll_x = 0, ll_y = 0, min_z = 0, max_z = 0, rotation = 0, xdim = 0, ydim = 0;
  int32_t ncols = 0, nrows = 0;
  int16_t horizontal_units = 0, vertical_units = 0, data_type = 0, coordinate_system = 0, coordinate_zone = 0,
          horizontal_datum = 0, vertical_datum = 0;
};

// The EPSG code of a NAD83 State Plane zone number, or 0 for an unknown zone.
int32_t nad83_state_plane_epsg(int zone);

class LASreaderDTM : public LASreader {
 public:
  static constexpr double kNoData = -1.0;

  LASreaderDTM() = default;
  ~LASreaderDTM() override;

  void set_scale_factor(const RequestedTriple& scale) { requested_scale_ = scale; }
  void set_offset(const RequestedTriple& offset) { requested_offset_ = offset; }

  bool open(const char* file_name);

  int32_t get_format() const override { return FORMAT_DTM; }
  bool seek(int64_t) override { return false; }
  ByteStreamIn* get_stream() const override { return nullptr; }
  void close(bool close_stream = true) override;
  bool read_point_unfiltered() override;

  const DTMheader& dtm_header() const { return dtm_; }

 private:
  bool read_header(const char* file_name);
  void add_geo_keys();
  bool scan_cells();
  // The next cell's value; false at the end of the file.
  bool next_cell(double& value);

  RequestedTriple requested_scale_, requested_offset_;
  DTMheader dtm_;
  BinaryFile file_;
  int64_t data_start_ = 200;
  int cell_bytes_ = 2;
  int64_t cell_ = 0;  // the next cell, counted column by column
  bool short_grid_ = false;
  CheckedQuantizer quantizer_;
};
