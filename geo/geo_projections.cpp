// Projection records: the setters, their derived constants and the inverse conversion.
#include <cmath>
#include <cstdio>
#include <string>

#include "geo/geoprojectionconverter.h"

bool GeoProjectionConverter::set_utm(int, char, bool, bool, const char*, std::string*) {
  return false;
}
bool GeoProjectionConverter::set_lcc(double, double, double, double, double, double, bool, const char*,
                                     std::string*) {
  return false;
}
bool GeoProjectionConverter::set_tm(double, double, double, double, double, bool, const char*, std::string*) {
  return false;
}
bool GeoProjectionConverter::set_aeac(double, double, double, double, double, double, bool, const char*,
                                      std::string*) {
  return false;
}
bool GeoProjectionConverter::set_hom(double, double, double, double, double, double, double, bool,
                                     const char*, std::string*) {
  return false;
}
bool GeoProjectionConverter::set_os(double, double, double, double, double, bool, const char*, std::string*) {
  return false;
}
bool GeoProjectionConverter::set_longlat(bool, const char*, std::string*) {
  return false;
}
bool GeoProjectionConverter::set_latlong(bool, const char*, std::string*) {
  return false;
}
bool GeoProjectionConverter::set_ecef(bool, const char*, std::string*) {
  return false;
}
bool GeoProjectionConverter::set_no_projection(bool, const char*, std::string*) {
  return false;
}
bool GeoProjectionConverter::has_projection(bool source) const {
  return (source ? source_projection : target_projection) != nullptr;
}
void GeoProjectionConverter::reset_projection(bool source) {
  side(source).reset();
}
const GeoProjectionParameters* GeoProjectionConverter::get_projection(bool source) const {
  return (source ? source_projection : target_projection).get();
}
void GeoProjectionConverter::compute_derived(GeoProjectionParameters&) const {}
bool GeoProjectionConverter::to_lon_lat(double[3]) const {
  return false;
}
