// Projection records: the setters, their derived constants and the conversion to longitude/latitude.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "geo/geo_datum_shift.h"
#include "geo/geo_projection_forms.h"
#include "geo/geo_projection_math.h"
#include "geo/geoprojectionconverter.h"

namespace {

// A fresh record of `type` with the caller's description (cut to 255 characters) or the default.
std::unique_ptr<GeoProjectionParameters> new_record(GeoProjectionType type, int gcs_code,
                                                    const char* description, const char* fallback) {
  auto record = std::make_unique<GeoProjectionParameters>();
  record->type = type;
  if (gcs_code > 0 && gcs_code <= 32767) record->gcs = static_cast<int16_t>(gcs_code);
  record->description = description ? std::string(description, strnlen(description, 255)) : fallback;
  return record;
}

// The setters of the types without parameters differ only in type and default description.
void set_plain(std::unique_ptr<GeoProjectionParameters>& slot, GeoProjectionType type, int gcs_code,
               const char* description, const char* fallback, std::string* described) {
  slot = new_record(type, gcs_code, description, fallback);
  if (described) *described = slot->description;
}

bool is_latitude(double degrees) {
  return std::fabs(degrees) <= 90.0;
}

// Whether a record's parameters make a projection at all. Parameters out of range (a latitude of
// 95 degrees, a parallel of 180) or a degenerate cone (parallels opposite about the equator, or at
// a pole) would turn every point into garbage, so they are refused where they come in.
bool describes_a_projection(const GeoProjectionParameters& p) {
  if (!std::isfinite(p.false_easting_meter) || !std::isfinite(p.false_northing_meter)) return false;
  if (!is_latitude(p.lat_origin_degree) || !std::isfinite(p.long_meridian_degree) ||
      std::fabs(p.long_meridian_degree) > 360.0) {
    return false;
  }
  const bool conic = p.type == GEO_PROJECTION_LCC || p.type == GEO_PROJECTION_AEAC;
  const bool true_scale_parallel =
      p.type == GEO_PROJECTION_MERCATOR_B || p.type == GEO_PROJECTION_POLAR_STEREO_B;
  if (conic || true_scale_parallel) {
    if (!is_latitude(p.first_std_parallel_degree)) return false;
    if (conic && !is_latitude(p.second_std_parallel_degree)) return false;
  }
  if (p.type == GEO_PROJECTION_LCC || p.type == GEO_PROJECTION_LCC_1SP) {
    // A cone touching or cutting at a pole is no cone.
    if (std::fabs(p.first_std_parallel_degree) >= 90.0 || std::fabs(p.second_std_parallel_degree) >= 90.0) {
      return false;
    }
  }
  if (p.type == GEO_PROJECTION_MERCATOR_B && std::fabs(p.first_std_parallel_degree) >= 90.0) return false;
  if (p.type == GEO_PROJECTION_POLAR_STEREO_B && p.first_std_parallel_degree == 0.0) return false;
  if (p.type == GEO_PROJECTION_POLAR_STEREO_A && std::fabs(p.lat_origin_degree) != 90.0) return false;
  const bool scaled = p.type == GEO_PROJECTION_TM || p.type == GEO_PROJECTION_HOM ||
                      p.type == GEO_PROJECTION_OS || p.type == GEO_PROJECTION_LCC_1SP ||
                      p.type == GEO_PROJECTION_MERCATOR_A || p.type == GEO_PROJECTION_POLAR_STEREO_A;
  if (scaled && !(p.scale_factor > 0.0 && std::isfinite(p.scale_factor))) return false;
  if (!std::isfinite(p.azimuth_degree) || !std::isfinite(p.rectified_grid_angle_degree)) return false;
  // What the formulas derive must be usable too: opposite parallels give a cone constant of 0.
  for (const double constant : p.derived) {
    if (!std::isfinite(constant)) return false;
  }
  if (conic && std::fabs(p.derived[geo_math::kLccN]) < 1e-12) return false;
  return true;
}

}  // namespace

bool GeoProjectionConverter::set_utm(int zone, char zone_letter, bool northern, GeoSide side,
                                     const char* description, std::string* described) {
  // Zones are 6 degrees wide: outside 1..60 there is no central meridian on the globe.
  if (zone < 1 || zone > 60) return false;
  char fallback[64];
  std::snprintf(fallback, sizeof(fallback), "%s zone %d%s", "UTM", zone, northern ? "N" : "S");
  auto record = new_record(GEO_PROJECTION_UTM, gcs_code, description, fallback);
  record->utm_zone_number = zone;
  record->utm_zone_letter = zone_letter;
  record->utm_northern_hemisphere = northern;
  record->utm_long_origin = zone * 6 - 183;
  if (described) *described = record->description;
  slot(side) = std::move(record);
  return true;
}

bool GeoProjectionConverter::set_projection(GeoProjectionType type, std::span<const double> values,
                                            GeoSide side, const char* description, std::string* described) {
  const GeoProjectionForm* form = geo_projection_form(type);
  if (!form || values.size() != form->parameters.size()) return false;
  auto record = new_record(type, gcs_code, description, form->default_description);
  double v[7] = {};
  for (size_t i = 0; i < values.size(); i++) {
    geo_set_parameter(*record, form->parameters[i], values[i]);
    v[i] = values[i];
  }
  compute_derived(*record);
  if (!describes_a_projection(*record)) return false;
  slot(side) = std::move(record);
  if (described) {
    // Each family's format uses its first parameters.size() values; printf ignores the rest.
    char text[512];
    std::snprintf(text, sizeof(text), form->described_format, v[0], v[1], v[2], v[3], v[4], v[5], v[6]);
    *described = text;
  }
  return true;
}

bool GeoProjectionConverter::set_lcc(double false_easting_meter, double false_northing_meter,
                                     double lat_origin, double long_meridian, double first_std_parallel,
                                     double second_std_parallel, GeoSide side, const char* description,
                                     std::string* described) {
  const double values[] = {false_easting_meter, false_northing_meter, lat_origin,
                           long_meridian,       first_std_parallel,   second_std_parallel};
  return set_projection(GEO_PROJECTION_LCC, values, side, description, described);
}

bool GeoProjectionConverter::set_tm(double false_easting_meter, double false_northing_meter,
                                    double lat_origin, double long_meridian, double scale_factor,
                                    GeoSide side, const char* description, std::string* described) {
  const double values[] = {false_easting_meter, false_northing_meter, lat_origin, long_meridian,
                           scale_factor};
  return set_projection(GEO_PROJECTION_TM, values, side, description, described);
}

bool GeoProjectionConverter::set_aeac(double false_easting_meter, double false_northing_meter,
                                      double lat_center, double long_center, double first_std_parallel,
                                      double second_std_parallel, GeoSide side, const char* description,
                                      std::string* described) {
  const double values[] = {false_easting_meter, false_northing_meter, lat_center,
                           long_center,         first_std_parallel,   second_std_parallel};
  return set_projection(GEO_PROJECTION_AEAC, values, side, description, described);
}

bool GeoProjectionConverter::set_hom(double false_easting_meter, double false_northing_meter,
                                     double lat_center, double long_center, double azimuth,
                                     double rectified_grid_angle, double scale_factor, GeoSide side,
                                     const char* description, std::string* described) {
  const double values[] = {false_easting_meter,  false_northing_meter, lat_center, long_center, azimuth,
                           rectified_grid_angle, scale_factor};
  return set_projection(GEO_PROJECTION_HOM, values, side, description, described);
}

bool GeoProjectionConverter::set_os(double false_easting_meter, double false_northing_meter,
                                    double lat_origin, double long_meridian, double scale_factor,
                                    GeoSide side, const char* description, std::string* described) {
  const double values[] = {false_easting_meter, false_northing_meter, lat_origin, long_meridian,
                           scale_factor};
  return set_projection(GEO_PROJECTION_OS, values, side, description, described);
}

bool GeoProjectionConverter::set_longlat(GeoSide side, const char* description, std::string* described) {
  set_plain(slot(side), GEO_PROJECTION_LONG_LAT, gcs_code, description, "longitude/latitude", described);
  return true;
}

bool GeoProjectionConverter::set_latlong(GeoSide side, const char* description, std::string* described) {
  set_plain(slot(side), GEO_PROJECTION_LAT_LONG, gcs_code, description, "latitude/longitude", described);
  return true;
}

bool GeoProjectionConverter::set_ecef(GeoSide side, const char* description, std::string* described) {
  set_plain(slot(side), GEO_PROJECTION_ECEF, gcs_code, description, "earth-centered earth-fixed", described);
  return true;
}

bool GeoProjectionConverter::set_no_projection(GeoSide side, const char* description,
                                               std::string* described) {
  set_plain(slot(side), GEO_PROJECTION_NONE, gcs_code, description, "intentionally no projection", described);
  return true;
}

bool GeoProjectionConverter::has_projection(GeoSide side) const {
  return get_projection(side) != nullptr;
}

void GeoProjectionConverter::reset_projection(GeoSide side) {
  slot(side).reset();
}

const GeoProjectionParameters* GeoProjectionConverter::get_projection(GeoSide side) const {
  return (side == GeoSide::source ? source_projection : target_projection).get();
}

void GeoProjectionConverter::compute_derived(GeoProjectionParameters& projection) const {
  switch (projection.type) {
    case GEO_PROJECTION_LCC:
      geo_math::lcc_constants(ellipsoid, projection);
      break;
    case GEO_PROJECTION_LCC_1SP:
      // The cone touches at the latitude of origin.
      geo_set_parameter(projection, GeoParameter::first_parallel, projection.lat_origin_degree);
      geo_set_parameter(projection, GeoParameter::second_parallel, projection.lat_origin_degree);
      geo_math::lcc_constants(ellipsoid, projection);
      break;
    case GEO_PROJECTION_MERCATOR_A:
    case GEO_PROJECTION_MERCATOR_B:
    case GEO_PROJECTION_PSEUDO_MERCATOR:
      geo_math::mercator_constants(ellipsoid, projection);
      break;
    case GEO_PROJECTION_LAEA:
      geo_math::laea_constants(ellipsoid, projection);
      break;
    case GEO_PROJECTION_POLAR_STEREO_A:
    case GEO_PROJECTION_POLAR_STEREO_B:
      geo_math::polar_constants(ellipsoid, projection);
      break;
    case GEO_PROJECTION_TM:
      geo_math::tm_constants(ellipsoid, projection);
      break;
    case GEO_PROJECTION_AEAC:
      geo_math::aeac_constants(ellipsoid, projection);
      break;
    case GEO_PROJECTION_HOM:
      geo_math::hom_constants(ellipsoid, projection);
      break;
    case GEO_PROJECTION_OS:
      geo_math::os_constants(ellipsoid, projection);
      break;
    default:
      break;  // UTM uses the ellipsoid directly; the others have no constants.
  }
}

bool GeoProjectionConverter::to_lon_lat(double point[3]) const {
  return convert(point) != Conversion::no_projection;
}

bool GeoProjectionConverter::to_lon_lat_checked(double point[3]) const {
  return convert(point) == Conversion::converted;
}

GeoProjectionConverter::Conversion GeoProjectionConverter::convert(double point[3]) const {
  if (!source_projection) return Conversion::no_projection;
  const GeoProjectionParameters& p = *source_projection;
  // Coordinates in feet are brought to meters first, except for UTM whose zones are defined in
  // meters only.
  const double x = point[0] * coordinates2meter;
  const double y = point[1] * coordinates2meter;
  double lon = 0.0;
  double lat = 0.0;
  double z = point[2] * elevation2meter;
  bool converted = true;
  switch (p.type) {
    case GEO_PROJECTION_UTM:
      converted = geo_math::utm_inverse(ellipsoid, p, point[0], point[1], lon, lat);
      break;
    case GEO_PROJECTION_LCC:
    case GEO_PROJECTION_LCC_1SP:
      converted = geo_math::lcc_inverse(ellipsoid, p, x, y, lon, lat);
      break;
    case GEO_PROJECTION_MERCATOR_A:
    case GEO_PROJECTION_MERCATOR_B:
    case GEO_PROJECTION_PSEUDO_MERCATOR:
      converted = geo_math::mercator_inverse(ellipsoid, p, x, y, lon, lat);
      break;
    case GEO_PROJECTION_LAEA:
      converted = geo_math::laea_inverse(ellipsoid, p, x, y, lon, lat);
      break;
    case GEO_PROJECTION_POLAR_STEREO_A:
    case GEO_PROJECTION_POLAR_STEREO_B:
      converted = geo_math::polar_inverse(ellipsoid, p, x, y, lon, lat);
      break;
    case GEO_PROJECTION_TM:
      converted = geo_math::tm_inverse(ellipsoid, p, x, y, lon, lat);
      break;
    case GEO_PROJECTION_AEAC:
      converted = geo_math::aeac_inverse(ellipsoid, p, x, y, lon, lat);
      break;
    case GEO_PROJECTION_HOM:
      converted = geo_math::hom_inverse(ellipsoid, p, x, y, lon, lat);
      break;
    case GEO_PROJECTION_OS:
      converted = geo_math::os_inverse(ellipsoid, p, x, y, lon, lat);
      break;
    case GEO_PROJECTION_LONG_LAT:
      lon = point[0];
      lat = point[1];
      break;
    case GEO_PROJECTION_LAT_LONG:
      lon = point[1];
      lat = point[0];
      break;
    case GEO_PROJECTION_ECEF:
      // The height comes out in meters already; the elevation unit must not scale it again.
      converted = geo_math::ecef_inverse(ellipsoid, x, y, point[2] * coordinates2meter, lon, lat, z);
      break;
    case GEO_PROJECTION_NONE:
      return Conversion::no_projection;  // declared unprojected: there is no way to the globe
  }
  if (!converted) return Conversion::gave_up;
  // A projection's inverse may answer a longitude a turn or more away (a zone near the
  // antimeridian, a point far east of its meridian); the globe knows only -180 to 180.
  const bool geographic = p.type == GEO_PROJECTION_LONG_LAT || p.type == GEO_PROJECTION_LAT_LONG;
  if (!geographic && std::fabs(lon) > 180.0) lon = std::remainder(lon, 360.0);
  point[0] = lon;
  point[1] = lat;
  point[2] = z;
  return Conversion::converted;
}

GeoShiftLookup GeoProjectionConverter::find_wgs84_shift(double lon, double lat, GeoDatumShift& shift) const {
  // An ellipsoid chosen alone says nothing about the datum it stands for.
  if (ellipsoid_only) {
    shift = GeoDatumShift();
    return GeoShiftLookup::unknown;
  }
  return geo_find_wgs84_shift(parameter_file_path("towgs84.csv"), datum_code, lon, lat, shift);
}

std::string GeoProjectionConverter::get_datum_description() const {
  if (ellipsoid_only) return std::string("unknown datum on ellipsoid ") + ellipsoid.name;
  return datum_name;
}
