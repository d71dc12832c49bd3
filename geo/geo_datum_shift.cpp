#include "geo/geo_datum_shift.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <vector>

#include "geo/geo_epsg.h"
#include "geo/geo_projection_math.h"

namespace {

constexpr int kWgs84Datum = 6326;
constexpr double kArcSecond = geo_math::kDegreeToRadian / 3600.0;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

bool parse_number(const std::string& field, double& value) {
  const char* begin = field.c_str();
  char* end = nullptr;
  value = std::strtod(begin, &end);
  return end != begin && *end == '\0' && std::isfinite(value);
}

struct Candidate {
  GeoDatumShift shift;
  double south, north, west, east;
};

bool holds(const Candidate& c, double lon, double lat) {
  if (lat < c.south || lat > c.north) return false;
  // An area across the antimeridian runs from its west edge east to its east edge through 180.
  return c.west <= c.east ? lon >= c.west && lon <= c.east : lon >= c.west || lon <= c.east;
}

double area_in_degrees(const Candidate& c) {
  const double width = c.west <= c.east ? c.east - c.west : 360.0 - (c.west - c.east);
  return width * (c.north - c.south);
}

// Whether a is the better choice: a stated accuracy beats none, a smaller one a larger, then the
// larger area of use, then the lower code so the choice never depends on the file's line order.
bool better(const Candidate& a, const Candidate& b) {
  const double accuracy_a = a.shift.accuracy < 0 ? std::numeric_limits<double>::infinity() : a.shift.accuracy;
  const double accuracy_b = b.shift.accuracy < 0 ? std::numeric_limits<double>::infinity() : b.shift.accuracy;
  if (accuracy_a != accuracy_b) return accuracy_a < accuracy_b;
  const double area_a = area_in_degrees(a);
  const double area_b = area_in_degrees(b);
  if (area_a != area_b) return area_a > area_b;
  return a.shift.code < b.shift.code;
}

// One line of towgs84.csv; false for a line that does not scan.
bool parse_candidate(const std::vector<std::string>& fields, Candidate& c) {
  if (fields.size() != 18) return false;
  double v[18] = {};
  for (size_t i = 0; i < fields.size(); i++) {
    if (i == 2) continue;  // the name
    if (i == 3 && fields[3].empty()) {
      v[3] = -1.0;  // no stated accuracy
      continue;
    }
    if (!parse_number(fields[i], v[i])) return false;
  }
  if (!(v[1] >= 1.0 && v[1] <= 2147483647.0)) return false;  // a code, not any number
  GeoDatumShift& s = c.shift;
  s.code = static_cast<int>(v[1]);
  s.name = fields[2];
  s.accuracy = v[3];
  s.tx = v[4];
  s.ty = v[5];
  s.tz = v[6];
  s.rx = v[7] * kArcSecond;
  s.ry = v[8] * kArcSecond;
  s.rz = v[9] * kArcSecond;
  s.scale = v[10] * 1e-6;
  s.px = v[11];
  s.py = v[12];
  s.pz = v[13];
  c.south = v[14];
  c.north = v[15];
  c.west = v[16];
  c.east = v[17];
  return true;
}

}  // namespace

void GeoDatumShift::apply(const GeoEllipsoid& from, double& lon, double& lat) const {
  if (is_identity()) return;
  const double a = from.equatorial_radius;
  const double e2 = from.eccentricity_squared;
  const double phi = lat * geo_math::kDegreeToRadian;
  const double lambda = lon * geo_math::kDegreeToRadian;
  const double s = std::sin(phi);
  const double nu = a / std::sqrt(1.0 - e2 * s * s);
  const double x = nu * std::cos(phi) * std::cos(lambda) - px;
  const double y = nu * std::cos(phi) * std::sin(lambda) - py;
  const double z = nu * (1.0 - e2) * s - pz;
  // Small rotations, position vector convention, as the EPSG guidance and PROJ apply them.
  const double m = 1.0 + scale;
  const double x2 = m * (x - rz * y + ry * z) + tx + px;
  const double y2 = m * (rz * x + y - rx * z) + ty + py;
  const double z2 = m * (-ry * x + rx * y + z) + tz + pz;
  static const GeoEllipsoid kWgs84 = [] {
    GeoEllipsoid ellipsoid;
    geo_ellipsoid_of_id(23, ellipsoid);
    return ellipsoid;
  }();
  double height = 0.0;
  double out_lon = lon;
  double out_lat = lat;
  if (geo_math::ecef_inverse(kWgs84, x2, y2, z2, out_lon, out_lat, height)) {
    lon = out_lon;
    lat = out_lat;
  }
}

GeoShiftLookup geo_find_wgs84_shift(const std::string& path, int datum_code, double lon, double lat,
                                    GeoDatumShift& shift) {
  shift = GeoDatumShift();
  if (datum_code == kWgs84Datum) return GeoShiftLookup::identity;
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "r"));
  if (!file) return GeoShiftLookup::missing_file;
  bool any = false;
  bool chosen = false;
  Candidate best{};
  char buffer[1024];
  while (std::fgets(buffer, sizeof(buffer), file.get())) {
    std::string line(buffer);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    const std::vector<std::string> fields = geo_split_fields(line);
    if (fields.empty() || std::atoi(fields[0].c_str()) != datum_code) continue;
    Candidate candidate;
    if (!parse_candidate(fields, candidate)) continue;
    any = true;
    if (!holds(candidate, lon, lat)) continue;
    if (!chosen || better(candidate, best)) best = candidate;
    chosen = true;
  }
  if (!chosen) return any ? GeoShiftLookup::not_covered : GeoShiftLookup::unknown;
  shift = best.shift;
  return GeoShiftLookup::found;
}
