// The georeferencing of one input file: a copy of what the command line set, completed from the
// file's header (its OGC WKT record, else its GeoTIFF keys) when the command line gave no
// projection. It lives while the file is processed and is then dropped, so nothing one file says
// (projection, datum, units, vertical datum) carries over to the next.
#pragma once

#include "geo/geo_datum_shift.h"
#include "geo/geoprojectionconverter.h"
#include "pointio/lasheader.h"

class FileGeoreference {
 public:
  // `input_name` names the file in warnings.
  FileGeoreference(const GeoProjectionConverter& user, const LASheader& header, const char* input_name);

  const GeoProjectionConverter& converter() const { return converter_; }
  GeoProjectionConverter& converter() { return converter_; }

  // Whether x and y are in a foot unit: as the command line stated, else as the file says.
  bool feet() const { return feet_; }
  // Whether the feet come from the file rather than from the command line.
  bool feet_from_file() const { return feet_from_file_; }

  // Whether the file carries georeferencing records (WKT or GeoKeys) that gave no projection this
  // program can use, while the command line gave none either.
  bool unusable_file_records() const { return unusable_file_records_; }

  // KML needs longitude and latitude in WGS 84. Without a projection, one is guessed from the
  // header's bounds (longitude/latitude, else latitude/longitude) with its warning. The shift to
  // WGS 84 is chosen for the middle of the tile, where the contours will be. False after the error
  // when the points cannot be placed on the globe.
  bool prepare_kml(const LASheader& header, const char* input_name, bool verbose, GeoDatumShift& shift);

 private:
  GeoProjectionConverter converter_;
  bool feet_ = false;
  bool feet_from_file_ = false;
  bool unusable_file_records_ = false;
};
