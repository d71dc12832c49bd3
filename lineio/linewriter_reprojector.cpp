#include "lineio/linewriter_reprojector.h"

#include <cmath>
#include <utility>

#include "common/messages.h"

LINEwriterReprojector::LINEwriterReprojector(const GeoProjectionConverter& geo_converter,
                                             std::unique_ptr<LINEwriter> inner, GeoDatumShift shift)
    : converter(geo_converter), datum_shift(std::move(shift)), writer(std::move(inner)) {
  writer->set_offset(0.0, 0.0, 0.0);
}

bool LINEwriterReprojector::to_lon_lat(double point[3]) const {
  const double input[3] = {point[0], point[1], point[2]};
  if (!converter.to_lon_lat_checked(point)) {
    point[0] = input[0];
    point[1] = input[1];
    point[2] = input[2];
    return false;
  }
  datum_shift.apply(converter.get_ellipsoid(), point[0], point[1]);
  return std::isfinite(point[0]) && std::isfinite(point[1]) && std::isfinite(point[2]) &&
         std::fabs(point[0]) <= 180.0 && std::fabs(point[1]) <= 90.0;
}

bool LINEwriterReprojector::report_unconvertible(const double point[3]) {
  if (!reported) {
    print_message(
        "ERROR: cannot place point %.3f %.3f on the globe for KML: its projection does not reach it\n",
        point[0], point[1]);
    reported = true;
  }
  return false;
}

void LINEwriterReprojector::set_offset(double x, double y, double z) {
  LINEwriter::set_offset(x, y, z);
  converted_offset[0] = x;
  converted_offset[1] = y;
  converted_offset[2] = z;
  offset_converted = to_lon_lat(converted_offset);
  writer->set_offset(converted_offset[0], converted_offset[1], converted_offset[2]);
}

bool LINEwriterReprojector::reproject(float x, float y, float z, float out[3]) {
  double point[3] = {double{x} + x_offset, double{y} + y_offset, double{z} + z_offset};
  if (!offset_converted) {
    const double offset[3] = {x_offset, y_offset, z_offset};
    return report_unconvertible(offset);
  }
  if (!to_lon_lat(point)) return report_unconvertible(point);
  for (int i = 0; i < 3; i++) out[i] = static_cast<float>(point[i] - converted_offset[i]);
  return true;
}

bool LINEwriterReprojector::add_vertex(float x, float y, float z) {
  float p[3];
  if (!reproject(x, y, z, p)) return false;
  return writer->add_vertex(p[0], p[1], p[2]);
}

bool LINEwriterReprojector::add_segment(float x1, float y1, float z1, float x2, float y2, float z2) {
  float p[3], q[3];
  if (!reproject(x1, y1, z1, p) || !reproject(x2, y2, z2, q)) return false;
  return writer->add_segment(p[0], p[1], p[2], q[0], q[1], q[2]);
}

bool LINEwriterReprojector::end_line() {
  return writer->end_line();
}

bool LINEwriterReprojector::close() {
  return writer->close();
}
