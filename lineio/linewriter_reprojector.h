// A LINEwriter that converts every vertex from the converter's source projection to longitude,
// latitude and elevation before handing it to the writer it wraps (the KML writer needs geographic
// coordinates on WGS 84, the contours come in the input's projection and datum).
#pragma once

#include <memory>

#include "geo/geo_datum_shift.h"
#include "geo/geoprojectionconverter.h"
#include "lineio/linewriter.h"

// The wrapped writer's offsets become the converted offset point, and each vertex reaches it as
// the converted vertex minus that point, rounded to float. Converting the full double-precision
// coordinate (vertex plus offset) keeps the projection exact; subtracting the converted offset
// keeps the float differences small, so they lose nothing that matters for a tile's extent.
//
// After the inverse projection the datum shift moves each position to WGS 84. A vertex that does
// not end on the globe (its projection's inverse gives up, or the result is no longitude and
// latitude) fails with one error line, so no projected coordinates are written as degrees.
class LINEwriterReprojector : public LINEwriter {
 public:
  // The converter is not owned and must outlive the wrapper; the inner writer (not null) is owned.
  // The inner writer's offsets are reset to the converted offset, which is 0 until set_offset.
  LINEwriterReprojector(const GeoProjectionConverter& converter, std::unique_ptr<LINEwriter> inner,
                        GeoDatumShift shift = GeoDatumShift());

  void set_offset(double x, double y, double z) override;
  bool add_vertex(float x, float y, float z) override;
  bool add_segment(float x1, float y1, float z1, float x2, float y2, float z2) override;
  bool end_line() override;
  bool close() override;

 private:
  // (x, y, z) plus the offsets, converted, minus the converted offset; false after the error line
  // when the point does not convert.
  bool reproject(float x, float y, float z, float out[3]);
  // Converts point in place to WGS 84 longitude, latitude and elevation.
  bool to_lon_lat(double point[3]) const;
  bool report_unconvertible(const double point[3]);

  double converted_offset[3] = {0.0, 0.0, 0.0};  // longitude, latitude, elevation of the offset point
  bool offset_converted = true;
  bool reported = false;  // the error line is printed once
  const GeoProjectionConverter& converter;
  GeoDatumShift datum_shift;
  std::unique_ptr<LINEwriter> writer;
};
