// The inverse projections against PROJ as an independent implementation: PROJ projects a grid of
// longitude/latitude points forward on exactly our ellipsoid, the converter brings them back, and
// the distance between the original and the returned position must stay below one centimeter.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <numbers>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "geo/geoprojectionconverter.h"

namespace {

constexpr double kDegree = std::numbers::pi / 180.0;

struct Geographic {
  double lon, lat, height;
};

// Runs `command` (a PROJ program with its arguments) on the given input lines and answers every
// output line's numbers. Fails the test when the program is missing or answers the wrong count.
// The oracle is PROJ's command-line tools; without them there is nothing to compare against.
bool proj_installed() {
  return std::system("command -v proj > /dev/null 2>&1 && command -v cs2cs > /dev/null 2>&1") == 0;
}

std::vector<std::vector<double>> run_proj(const std::string& command, const std::vector<std::string>& lines) {
  std::string path = testing::TempDir() + "cm_proj_input_XXXXXX";
  const int fd = mkstemp(path.data());
  EXPECT_GE(fd, 0) << "cannot create a temporary file";
  if (fd < 0) return {};
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  EXPECT_TRUE(written);

  std::vector<std::vector<double>> rows;
  FILE* pipe = popen((command + " < " + path + " 2>&1").c_str(), "r");
  if (pipe) {
    char buffer[512];
    while (std::fgets(buffer, sizeof(buffer), pipe)) {
      std::vector<double> numbers;
      char* cursor = buffer;
      for (;;) {
        char* end = nullptr;
        const double value = std::strtod(cursor, &end);
        if (end == cursor) break;
        numbers.push_back(value);
        cursor = end;
      }
      rows.push_back(numbers);
    }
  }
  const int status = pipe ? pclose(pipe) : -1;
  unlink(path.c_str());
  EXPECT_EQ(status, 0) << "PROJ command failed or is missing (install the package proj-bin): " << command;
  EXPECT_EQ(rows.size(), lines.size()) << "unexpected PROJ output from: " << command;
  return rows;
}

std::string ellipsoid_args(const GeoEllipsoid& ellipsoid) {
  char text[128];
  std::snprintf(text, sizeof(text), " +a=%.17g +es=%.17g", ellipsoid.equatorial_radius,
                ellipsoid.eccentricity_squared);
  return text;
}

// Ground distance between two positions on the ellipsoid's sphere of radius a; good to a percent
// of the distance, which is all a centimeter bound needs.
double ground_distance(const GeoEllipsoid& ellipsoid, const Geographic& p, const Geographic& q) {
  const double a = ellipsoid.equatorial_radius;
  const double north = (p.lat - q.lat) * kDegree * a;
  double dlon = p.lon - q.lon;
  dlon -= 360.0 * std::round(dlon / 360.0);
  const double east = dlon * kDegree * a * std::cos(p.lat * kDegree);
  return std::sqrt(north * north + east * east + (p.height - q.height) * (p.height - q.height));
}

std::vector<Geographic> grid(double lon0, double lon1, double lat0, double lat1, int steps) {
  std::vector<Geographic> points;
  for (int i = 0; i <= steps; i++) {
    for (int j = 0; j <= steps; j++) {
      points.push_back({lon0 + (lon1 - lon0) * i / steps, lat0 + (lat1 - lat0) * j / steps, 0.0});
    }
  }
  return points;
}

struct OracleCase {
  const char* name;
  int ellipsoid_id;
  std::function<void(GeoProjectionConverter&)> set_projection;
  const char* proj_args;  // the same projection for PROJ, without the ellipsoid
  std::vector<Geographic> points;
  double tolerance = 0.01;  // meters on the ground
};

// Worst ground deviation of one family, printed so that the figures can be followed over time.
double worst_deviation(const OracleCase& c) {
  GeoProjectionConverter converter;
  EXPECT_TRUE(converter.set_ellipsoid(c.ellipsoid_id));
  c.set_projection(converter);
  const GeoEllipsoid& ellipsoid = converter.get_ellipsoid();
  std::vector<std::string> lines;
  for (const Geographic& p : c.points) {
    char line[128];
    std::snprintf(line, sizeof(line), "%.12f %.12f", p.lon, p.lat);
    lines.push_back(line);
  }
  const auto rows = run_proj(std::string("proj -f %.6f ") + c.proj_args + ellipsoid_args(ellipsoid), lines);
  if (rows.size() != c.points.size()) return INFINITY;
  double worst = 0.0;
  for (size_t i = 0; i < rows.size(); i++) {
    if (rows[i].size() < 2) {
      ADD_FAILURE() << c.name << ": PROJ did not project " << lines[i];
      return INFINITY;
    }
    double point[3] = {rows[i][0], rows[i][1], 0.0};
    EXPECT_TRUE(converter.to_lon_lat(point));
    const double deviation = ground_distance(ellipsoid, c.points[i], {point[0], point[1], 0.0});
    EXPECT_LT(deviation, c.tolerance) << c.name << " at lon/lat " << lines[i] << " from x/y " << rows[i][0]
                                      << " " << rows[i][1] << " gave " << point[0] << " " << point[1];
    worst = std::max(worst, deviation);
  }
  return worst;
}

void PrintTo(const OracleCase& c, std::ostream* os) {
  *os << c.name;
}

class ProjOracle : public testing::TestWithParam<OracleCase> {};

TEST_P(ProjOracle, InverseAgreesWithinOneCentimeter) {
  if (!proj_installed()) GTEST_SKIP() << "PROJ's proj and cs2cs are not installed (package proj-bin)";
  const double worst = worst_deviation(GetParam());
  std::printf("[ oracle   ] %-28s worst deviation %.3g m over %zu points\n", GetParam().name, worst,
              GetParam().points.size());
  EXPECT_LT(worst, GetParam().tolerance);
}

void set(GeoProjectionConverter& converter, GeoProjectionType type, std::initializer_list<double> values) {
  EXPECT_TRUE(converter.set_projection(type, std::span(values.begin(), values.size()))) << type;
}

std::vector<Geographic> concat(std::vector<Geographic> a, const std::vector<Geographic>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const OracleCase kOracleCases[] = {
    {"utm_32_north", 23, [](GeoProjectionConverter& c) { c.set_utm(32, 'U', true); }, "+proj=utm +zone=32",
     concat(grid(6.0, 12.0, 0.0, 84.0, 12), grid(8.5, 9.5, 0.0, 0.5, 4))},
    {"utm_55_south", 11, [](GeoProjectionConverter& c) { c.set_utm(55, 'H', false); },
     "+proj=utm +zone=55 +south", grid(144.0, 150.0, -80.0, -0.001, 12)},
    {"tm_swiss_bessel", 3,
     [](GeoProjectionConverter& c) { c.set_tm(600000, 200000, 46.95240555555556, 7.439583333333333, 1.0); },
     "+proj=tmerc +lat_0=46.95240555555556 +lon_0=7.439583333333333 +k_0=1 +x_0=600000 +y_0=200000",
     grid(4.0, 11.0, 44.0, 49.5, 10)},
    {"tm_southern_wide", 14, [](GeoProjectionConverter& c) { c.set_tm(300000, 5000000, -30, 25, 0.9999); },
     "+proj=tmerc +lat_0=-30 +lon_0=25 +k_0=0.9999 +x_0=300000 +y_0=5000000",
     grid(21.0, 29.0, -60.0, 10.0, 14)},
    {"lcc_two_parallels", 11, [](GeoProjectionConverter& c) { c.set_lcc(700000, 6600000, 46.5, 3, 49, 44); },
     "+proj=lcc +lat_0=46.5 +lon_0=3 +lat_1=49 +lat_2=44 +x_0=700000 +y_0=6600000",
     grid(-6.0, 11.0, 40.0, 52.0, 12)},
    {"lcc_one_parallel", 5, [](GeoProjectionConverter& c) { c.set_lcc(200000, 100000, 40, -100, 45, 45); },
     "+proj=lcc +lat_0=40 +lon_0=-100 +lat_1=45 +lat_2=45 +x_0=200000 +y_0=100000",
     grid(-125.0, -75.0, 20.0, 70.0, 12)},
    {"lcc_southern_cone", 14,
     [](GeoProjectionConverter& c) { c.set_lcc(1000000, 2000000, -35, 145, -30, -40); },
     "+proj=lcc +lat_0=-35 +lon_0=145 +lat_1=-30 +lat_2=-40 +x_0=1000000 +y_0=2000000",
     grid(130.0, 160.0, -50.0, -20.0, 10)},
    {"lcc_across_antimeridian", 5,
     [](GeoProjectionConverter& c) { c.set_lcc(914401.8288, 0, 51, -176, 51.83333333, 53.83333333); },
     "+proj=lcc +lat_0=51 +lon_0=-176 +lat_1=51.83333333 +lat_2=53.83333333 +x_0=914401.8288 +y_0=0",
     grid(168.0, 192.0, 49.0, 57.0, 12)},
    {"albers_conus", 5, [](GeoProjectionConverter& c) { c.set_aeac(0, 0, 23, -96, 29.5, 45.5); },
     "+proj=aea +lat_0=23 +lon_0=-96 +lat_1=29.5 +lat_2=45.5 +x_0=0 +y_0=0",
     grid(-125.0, -66.0, 20.0, 50.0, 12)},
    {"albers_southern_offset", 11,
     [](GeoProjectionConverter& c) { c.set_aeac(500000, 1000000, -30, 25, -20, -35); },
     "+proj=aea +lat_0=-30 +lon_0=25 +lat_1=-20 +lat_2=-35 +x_0=500000 +y_0=1000000",
     grid(10.0, 40.0, -45.0, -10.0, 10)},
    {"hotine_borneo", 17,
     [](GeoProjectionConverter& c) {
       c.set_hom(0, 0, 4, 115, 53.31582047222222, 53.13010236111111, 0.99984);
     },
     "+proj=omerc +no_uoff +lat_0=4 +lonc=115 +alpha=53.31582047222222 +gamma=53.13010236111111 "
     "+k_0=0.99984 +x_0=0 +y_0=0",
     grid(109.0, 119.5, 0.5, 7.5, 10)},
    {"hotine_southern", 23,
     [](GeoProjectionConverter& c) { c.set_hom(400000, 800000, -35, 148, 30, 28, 0.9996); },
     "+proj=omerc +no_uoff +lat_0=-35 +lonc=148 +alpha=30 +gamma=28 +k_0=0.9996 +x_0=400000 +y_0=800000",
     grid(144.0, 152.0, -39.0, -31.0, 8)},
    {"stereographic_rd", 3,
     [](GeoProjectionConverter& c) {
       c.set_os(155000, 463000, 52.15616055555555, 5.38763888888889, 0.9999079);
     },
     "+proj=sterea +lat_0=52.15616055555555 +lon_0=5.38763888888889 +k_0=0.9999079 +x_0=155000 "
     "+y_0=463000",
     concat(grid(2.0, 8.0, 50.0, 54.0, 12), grid(5.38760, 5.38768, 52.15612, 52.15620, 2))},
    {"stereographic_southern", 14, [](GeoProjectionConverter& c) { c.set_os(0, 0, -45, 170, 1.0); },
     "+proj=sterea +lat_0=-45 +lon_0=170 +k_0=1 +x_0=0 +y_0=0", grid(160.0, 180.0, -55.0, -35.0, 10)},
    // The families added later are held to a millimeter.
    {"lcc_one_parallel_scaled", 6,
     [](GeoProjectionConverter& c) {
       set(c, GEO_PROJECTION_LCC_1SP, {600000, 2200000, 46.8, 2.337229167, 0.99987742});
     },
     "+proj=lcc +lat_1=46.8 +lat_0=46.8 +lon_0=2.337229167 +k_0=0.99987742 +x_0=600000 +y_0=2200000",
     grid(-5.0, 9.0, 41.0, 52.0, 12), 0.001},
    {"mercator_a", 23,
     [](GeoProjectionConverter& c) {
       set(c, GEO_PROJECTION_MERCATOR_A, {3900000, 900000, 110, 0.997});
     },
     "+proj=merc +lon_0=110 +k_0=0.997 +x_0=3900000 +y_0=900000",
     concat(grid(95.0, 125.0, -10.0, 20.0, 10), grid(-170.0, 170.0, -85.0, 85.0, 8)), 0.001},
    {"mercator_b", 15,
     [](GeoProjectionConverter& c) {
       set(c, GEO_PROJECTION_MERCATOR_B, {0, 0, 42, 51});
     },
     "+proj=merc +lat_ts=42 +lon_0=51 +x_0=0 +y_0=0", grid(45.0, 57.0, 35.0, 48.0, 10), 0.001},
    {"pseudo_mercator", 23,
     [](GeoProjectionConverter& c) {
       set(c, GEO_PROJECTION_PSEUDO_MERCATOR, {1000, -2000, 10});
     },
     "+proj=webmerc +lon_0=10 +x_0=1000 +y_0=-2000", grid(-160.0, 170.0, -85.0, 85.0, 14), 0.001},
    {"laea_europe", 11,
     [](GeoProjectionConverter& c) {
       set(c, GEO_PROJECTION_LAEA, {4321000, 3210000, 52, 10});
     },
     "+proj=laea +lat_0=52 +lon_0=10 +x_0=4321000 +y_0=3210000",
     concat(grid(-30.0, 45.0, 25.0, 75.0, 12), grid(9.999, 10.001, 51.999, 52.001, 2)), 0.001},
    {"laea_southern", 23,
     [](GeoProjectionConverter& c) {
       set(c, GEO_PROJECTION_LAEA, {0, 0, -40, 150});
     },
     "+proj=laea +lat_0=-40 +lon_0=150 +x_0=0 +y_0=0", grid(100.0, 200.0, -85.0, 0.0, 10), 0.001},
    {"laea_north_pole", 23,
     [](GeoProjectionConverter& c) {
       set(c, GEO_PROJECTION_LAEA, {0, 0, 90, -150});
     },
     "+proj=laea +lat_0=90 +lon_0=-150 +x_0=0 +y_0=0", grid(-180.0, 180.0, 30.0, 90.0, 12), 0.001},
    {"polar_stereo_a_north", 23,
     [](GeoProjectionConverter& c) {
       set(c, GEO_PROJECTION_POLAR_STEREO_A, {2000000, 2000000, 90, 0, 0.994});
     },
     "+proj=stere +lat_0=90 +lon_0=0 +k_0=0.994 +x_0=2000000 +y_0=2000000",
     grid(-180.0, 180.0, 60.0, 90.0, 12), 0.001},
    {"polar_stereo_a_south", 23,
     [](GeoProjectionConverter& c) {
       set(c, GEO_PROJECTION_POLAR_STEREO_A, {2000000, 2000000, -90, 0, 0.994});
     },
     "+proj=stere +lat_0=-90 +lon_0=0 +k_0=0.994 +x_0=2000000 +y_0=2000000",
     grid(-180.0, 180.0, -90.0, -60.0, 12), 0.001},
    {"polar_stereo_b_antarctic", 23,
     [](GeoProjectionConverter& c) {
       set(c, GEO_PROJECTION_POLAR_STEREO_B, {0, 0, -71, 0});
     },
     "+proj=stere +lat_0=-90 +lat_ts=-71 +lon_0=0 +x_0=0 +y_0=0", grid(-180.0, 180.0, -90.0, -50.0, 12),
     0.001},
    {"polar_stereo_b_arctic", 5,
     [](GeoProjectionConverter& c) {
       set(c, GEO_PROJECTION_POLAR_STEREO_B, {100000, -50000, 70, -45});
     },
     "+proj=stere +lat_0=90 +lat_ts=70 +lon_0=-45 +x_0=100000 +y_0=-50000",
     grid(-180.0, 180.0, 40.0, 90.0, 12), 0.001},
};

INSTANTIATE_TEST_SUITE_P(Families, ProjOracle, testing::ValuesIn(kOracleCases),
                         [](const testing::TestParamInfo<OracleCase>& param_info) {
                           return param_info.param.name;
                         });

// Geocentric input goes the other way round: cs2cs builds x/y/z from longitude, latitude and
// height, and the converter must return all three.
TEST(ProjOracleGeocentric, EcefAgreesWithinOneCentimeter) {
  if (!proj_installed()) GTEST_SKIP() << "PROJ's proj and cs2cs are not installed (package proj-bin)";
  GeoProjectionConverter converter;
  converter.set_ecef();
  const GeoEllipsoid& ellipsoid = converter.get_ellipsoid();
  std::vector<Geographic> points;
  for (double lat : {-89.9999, -60.0, -12.5, 0.0, 0.0001, 33.3, 71.0, 89.99}) {
    for (double lon : {-179.5, -45.0, 0.0, 12.25, 100.0, 180.0}) {
      for (double height : {-420.0, 0.0, 8848.0, 400000.0}) points.push_back({lon, lat, height});
    }
  }
  std::vector<std::string> lines;
  for (const Geographic& p : points) {
    char line[128];
    std::snprintf(line, sizeof(line), "%.12f %.12f %.6f", p.lon, p.lat, p.height);
    lines.push_back(line);
  }
  const std::string e = ellipsoid_args(ellipsoid);
  const auto rows = run_proj("cs2cs -f %.6f +proj=longlat" + e + " +to +proj=geocent" + e, lines);
  ASSERT_EQ(rows.size(), points.size());
  double worst = 0.0;
  for (size_t i = 0; i < rows.size(); i++) {
    ASSERT_GE(rows[i].size(), 3u) << "cs2cs did not convert " << lines[i];
    double point[3] = {rows[i][0], rows[i][1], rows[i][2]};
    EXPECT_TRUE(converter.to_lon_lat(point));
    const double deviation = ground_distance(ellipsoid, points[i], {point[0], point[1], point[2]});
    EXPECT_LT(deviation, 0.01) << "ecef at " << lines[i] << " gave " << point[0] << " " << point[1] << " "
                               << point[2];
    worst = std::max(worst, deviation);
  }
  std::printf("[ oracle   ] %-28s worst deviation %.3g m over %zu points\n", "ecef", worst, points.size());
}

}  // namespace
