// The ellipsoid table, the choice of ellipsoid, and the unit factors of both sides.
#include <cmath>
#include <cstdio>
#include <string>

#include "common/messages.h"
#include "geo/geo_units.h"
#include "geo/geoprojectionconverter.h"

namespace {

struct EllipsoidEntry {
  int id;
  const char* name;
  double equatorial_radius;
  double eccentricity_squared;
  double inverse_flattening;
};

// e^2 is kept as tabled rather than derived from 1/f: files written by other software carry these
// exact constants, and recomputing e^2 would move converted points by millimeters.
constexpr EllipsoidEntry kEllipsoids[] = {
    {-1, "Placeholder", 0, 0, 0},
    {1, "Airy", 6377563.396, 0.00667054, 299.3249646},
    {2, "Australian National", 6378160.0, 0.006694542, 298.25},
    {3, "Bessel 1841", 6377397.155, 0.006674372, 299.1528128},
    {4, "Bessel 1841 (Namibia) ", 6377483.865, 0.006674372, 299.1528128},
    {5, "Clarke 1866", 6378206.4, 0.006768658, 294.9786982},
    {6, "Clarke 1880", 6378249.145, 0.006803511, 293.465},
    {7, "Everest 1830", 6377276.345, 0.006637847, 300.8017},
    {8, "Fischer 1960 (Mercury) ", 6378166.0, 0.006693422, 298.3},
    {9, "Fischer 1968", 6378150.0, 0.006693422, 298.3},
    {10, "GRS 1967", 6378160.0, 0.006694605, 298.247167427},
    {11, "GRS 1980", 6378137.0, 0.0066943800229, 298.257222101},
    {12, "Helmert 1906", 6378200.0, 0.006693422, 298.3},
    {13, "Hough", 6378270.0, 0.00672267, 297.0},
    {14, "International", 6378388.0, 0.00672267, 297.0},
    {15, "Krassovsky", 6378245.0, 0.006693422, 298.3},
    {16, "Modified Airy", 6377340.189, 0.00667054, 299.3249646},
    {17, "Modified Everest", 6377304.063, 0.006637847, 300.8017},
    {18, "Modified Fischer 1960", 6378155.0, 0.006693422, 298.3},
    {19, "South American 1969", 6378160.0, 0.006694542, 298.25},
    {20, "WGS 60", 6378165.0, 0.006693422, 298.3},
    {21, "WGS 66", 6378145.0, 0.006694542, 298.25},
    {22, "WGS-72", 6378135.0, 0.006694318, 298.26},
    {23, "WGS-84", 6378137.0, 0.00669437999013, 298.257223563},
    {24, "Indonesian National 1974", 6378160.0, 0.0066946091071419115, 298.2469988070381},
};

}  // namespace

GeoProjectionConverter::GeoProjectionConverter() {
  set_ellipsoid(23);
}

GeoProjectionConverter::~GeoProjectionConverter() = default;

bool geo_ellipsoid_of_id(int id, GeoEllipsoid& ellipsoid) {
  if (id < 1 || id > 24) return false;
  const EllipsoidEntry& entry = kEllipsoids[id];
  const double e2 = entry.eccentricity_squared;
  const double root = std::sqrt(1.0 - e2);
  ellipsoid.id = entry.id;
  ellipsoid.name = entry.name;
  ellipsoid.equatorial_radius = entry.equatorial_radius;
  ellipsoid.polar_radius = entry.equatorial_radius * root;
  ellipsoid.eccentricity_squared = e2;
  ellipsoid.inverse_flattening = entry.inverse_flattening;
  ellipsoid.eccentricity_prime_squared = e2 / (1.0 - e2);
  ellipsoid.eccentricity = std::sqrt(e2);
  ellipsoid.eccentricity_e1 = (1.0 - root) / (1.0 + root);
  return true;
}

bool GeoProjectionConverter::set_ellipsoid(int id, std::string* described) {
  if (!geo_ellipsoid_of_id(id, ellipsoid)) return false;
  const EllipsoidEntry& entry = kEllipsoids[id];
  const double e2 = entry.eccentricity_squared;
  // Every derived constant depends on a and e, so both sides follow the new ellipsoid.
  if (source_projection) compute_derived(*source_projection);
  if (target_projection) compute_derived(*target_projection);
  if (described) {
    char text[256];
    std::snprintf(text, sizeof(text), "%2d - %s (%g %g)", entry.id, entry.name, entry.equatorial_radius, e2);
    *described = text;
  }
  return true;
}

// ---- units ----

void GeoProjectionConverter::set_coordinate_unit(geo_units::LengthUnit unit, GeoSide side) {
  if (side == GeoSide::source) {
    coordinates2meter = geo_units::to_meter_factor(unit);
    source_coordinate_unit_set = true;
  } else {
    meter2coordinates = geo_units::from_meter_factor(unit);
    target_coordinate_unit_set = true;
  }
}

void GeoProjectionConverter::set_elevation_unit(geo_units::LengthUnit unit, GeoSide side) {
  if (side == GeoSide::source) {
    elevation2meter = geo_units::to_meter_factor(unit);
    source_elevation_unit_set = true;
  } else {
    meter2elevation = geo_units::from_meter_factor(unit);
    target_elevation_unit_set = true;
  }
}

geo_units::LengthUnit GeoProjectionConverter::get_coordinate_unit(GeoSide side) const {
  return geo_units::unit_of_factor(get_coordinate_factor(side));
}

geo_units::LengthUnit GeoProjectionConverter::get_elevation_unit(GeoSide side) const {
  return geo_units::unit_of_factor(get_elevation_factor(side));
}

bool GeoProjectionConverter::has_coordinate_unit(GeoSide side) const {
  return side == GeoSide::source ? source_coordinate_unit_set : target_coordinate_unit_set;
}

bool GeoProjectionConverter::has_elevation_unit(GeoSide side) const {
  return side == GeoSide::source ? source_elevation_unit_set : target_elevation_unit_set;
}

int GeoProjectionConverter::get_unit_epsg(GeoSide side) const {
  const GeoProjectionParameters* projection = get_projection(side);
  if (projection &&
      (projection->type == GEO_PROJECTION_LONG_LAT || projection->type == GEO_PROJECTION_LAT_LONG)) {
    return 9000;
  }
  return geo_units::epsg_of_unit(get_coordinate_unit(side));
}

double GeoProjectionConverter::get_coordinate_factor(GeoSide side) const {
  return side == GeoSide::source ? coordinates2meter : meter2coordinates;
}

double GeoProjectionConverter::get_elevation_factor(GeoSide side) const {
  return side == GeoSide::source ? elevation2meter : meter2elevation;
}

// ---- units of EPSG parameter files ----

namespace {

void report_unknown_unit(int unit_code) {
  print_message("ERROR: unit %d not known\n", unit_code);
}

// DDD.MMSSsss: the digits after the point are minutes and seconds, not a fraction of a degree.
// Rounding at the 1e-7 step removes the binary noise of the decimal text before the split.
double sexagesimal_to_degree(double value) {
  const double degrees = value < 0 ? std::ceil(value) : std::floor(value);
  const double minutes_seconds = std::round((value - degrees) * 1e7) * 1e-5;
  const double minutes = std::trunc(minutes_seconds);
  const double seconds = std::round((minutes_seconds - minutes) * 1e7) * 1e-5;
  return degrees + (seconds / 3600.0 + minutes / 60.0);
}

}  // namespace

double geo_angle_from_unit(double value, int unit_code) {
  switch (unit_code) {
    case 9102:
      return value;
    case 9105:
      return value * 0.9;
    case 9110:
      return sexagesimal_to_degree(value);
    default:
      report_unknown_unit(unit_code);
      return 0.0;
  }
}

double geo_length_from_unit(double value, int unit_code) {
  switch (unit_code) {
    case 9001:
      return value;
    case 9002:
      return value * geo_units::kFootToMeter;
    case 9003:
      return value * geo_units::kSurveyFootToMeter;
    default:
      report_unknown_unit(unit_code);
      return 0.0;
  }
}
