// The datum shift to WGS 84 that KML needs: a Helmert transformation of the EPSG dataset, chosen
// per datum and place from the parameter file towgs84.csv.
#pragma once

#include <string>

#include "geo/geoprojectionconverter.h"

// A seven-parameter (or Molodensky-Badekas, with its pivot) transformation in the position vector
// convention. A default value is the identity.
struct GeoDatumShift {
  int code = 0;                   // EPSG code of the transformation; 0 for the identity
  std::string name;               // its EPSG name
  double accuracy = -1;           // meters; negative when the dataset states none
  double tx = 0, ty = 0, tz = 0;  // meters
  double rx = 0, ry = 0, rz = 0;  // radians
  double scale = 0;               // the scale difference as a ratio (ppm * 1e-6)
  double px = 0, py = 0, pz = 0;  // pivot, meters

  bool is_identity() const { return code == 0; }
  // Moves a position on ellipsoid `from` (degrees, height 0) to WGS 84. Horizontal only: the height
  // the shift would add belongs to no elevation the caller has.
  void apply(const GeoEllipsoid& from, double& lon, double& lat) const;
};

enum class GeoShiftLookup {
  identity,      // the datum is WGS 84
  found,         // a transformation covers the place
  not_covered,   // the datum has transformations, none of whose areas hold the place
  unknown,       // the file names none for the datum
  missing_file,  // towgs84.csv cannot be read
};

// The best transformation from `datum_code` to WGS 84 whose area of use holds lon, lat (degrees):
// the smallest stated accuracy, then the larger area, then the lower code.
GeoShiftLookup geo_find_wgs84_shift(const std::string& path, int datum_code, double lon, double lat,
                                    GeoDatumShift& shift);
