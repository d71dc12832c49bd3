// EPSG codes: the ranges known by heart, the pcs.csv, gcs.csv and vertcs.csv look-ups, and their
// failures.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "geo/geoprojectionconverter.h"
#include "tables_fixture.h"

namespace {

constexpr double kSurveyFoot = 0.3048006096012;

struct ByHeart {
  int code;
  const char* description;
  int zone;
  bool northern;
  int gcs;
  int ellipsoid;
};

// Every range once, with its first or last code, read from a folder without parameter files.
const ByHeart kByHeart[] = {
    {32632, "WGS 84 / UTM 32N", 32, true, 4326, 23},   {32755, "WGS 84 / UTM 55S", 55, false, 4326, 23},
    {32601, "WGS 84 / UTM 1N", 1, true, 4326, 23},     {32760, "WGS 84 / UTM 60S", 60, false, 4326, 23},
    {25838, "ETRS89 / UTM 38N", 38, true, 4258, 11},   {26903, "NAD83 / UTM 3N", 3, true, 4269, 11},
    {3154, "NAD83(CSRS) / UTM 7N", 7, true, 4617, 11}, {3160, "NAD83(CSRS) / UTM 16N", 16, true, 4617, 11},
    {7846, "GDA2020 / MGA 46S", 46, false, 7844, 11},  {28358, "GDA94 / MGA 58S", 58, false, 4283, 11},
    {29122, "SAD69 / UTM 22N", 22, true, 4291, 10},    {29177, "SAD69 / UTM 17S", 17, false, 4291, 10},
    {32260, "WGS 72 / UTM 60N", 60, true, 4322, 22},   {32301, "WGS 72 / UTM 1S", 1, false, 4322, 22},
    {32401, "WGS 72BE / UTM 1N", 1, true, 4324, 22},   {32560, "WGS 72BE / UTM 60S", 60, false, 4324, 22},
    {26723, "NAD27 / UTM 23N", 23, true, 4267, 5},
};

TEST(EpsgByHeart, UtmRangesNeedNoParameterFiles) {
  GeoProgramFolder empty(false);
  for (const ByHeart& c : kByHeart) {
    SCOPED_TRACE(c.code);
    GeoProjectionConverter converter;
    converter.set_program_path(empty.program().c_str());
    std::string described;
    const std::string errors = stderr_of([&] { EXPECT_TRUE(converter.set_epsg_code(c.code, &described)); });
    EXPECT_EQ(errors, "");
    EXPECT_EQ(described, c.description);
    const GeoProjectionParameters* p = converter.get_projection(GeoSide::source);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->type, GEO_PROJECTION_UTM);
    EXPECT_EQ(p->utm_zone_number, c.zone);
    EXPECT_EQ(p->utm_northern_hemisphere, c.northern);
    EXPECT_EQ(p->geokey, c.code);
    EXPECT_EQ(p->gcs, c.gcs);
    EXPECT_EQ(converter.get_gcs_code(), c.gcs);
    EXPECT_EQ(converter.get_ellipsoid().id, c.ellipsoid);
  }
}

TEST(EpsgByHeart, SingleCodesAndTheTargetSide) {
  GeoProgramFolder empty(false);
  GeoProjectionConverter converter;
  converter.set_program_path(empty.program().c_str());
  ASSERT_TRUE(converter.set_epsg_code(4978));
  EXPECT_EQ(converter.get_projection()->type, GEO_PROJECTION_ECEF);
  ASSERT_TRUE(converter.set_epsg_code(4326));
  EXPECT_EQ(converter.get_projection()->type, GEO_PROJECTION_LONG_LAT);

  std::string described;
  ASSERT_TRUE(converter.set_epsg_code(21781, &described));
  EXPECT_EQ(described, "CH1903 / LV03");
  const GeoProjectionParameters* swiss = converter.get_projection();
  EXPECT_EQ(swiss->type, GEO_PROJECTION_HOM);
  EXPECT_TRUE(swiss->hom_variant_b);
  EXPECT_DOUBLE_EQ(swiss->false_easting_meter, 600000);
  EXPECT_DOUBLE_EQ(swiss->lat_origin_degree, 46.95240555555556);
  EXPECT_EQ(swiss->azimuth_degree, 90);
  EXPECT_EQ(converter.get_gcs_code(), 4149);
  EXPECT_EQ(converter.get_ellipsoid().id, 3);

  // The target side gets its own record and leaves the source alone.
  ASSERT_TRUE(converter.set_epsg_code(23700, &described, GeoSide::target));
  EXPECT_EQ(described, "EOV / HD72 / Hungarian National Grid");
  EXPECT_EQ(converter.get_projection(GeoSide::target)->scale_factor, 0.99993);
  EXPECT_TRUE(converter.get_projection(GeoSide::target)->hom_variant_b);
  EXPECT_EQ(converter.get_projection(GeoSide::source)->geokey, 21781);
  EXPECT_EQ(converter.get_projection(GeoSide::target)->geokey, 23700);

  // Just outside a range the code is no longer known by heart and needs pcs.csv.
  const std::string errors = stderr_of([&] { EXPECT_FALSE(converter.set_epsg_code(32661)); });
  // The message lists every folder searched, the program's own first after the variable's.
  EXPECT_EQ(errors.rfind("ERROR: cannot open 'pcs.csv' file. maybe your Quorvane distribution\n"
                         "       has no pcs.csv in any of these folders:\n",
                         0),
            0u)
      << errors;
  EXPECT_NE(errors.find("         " + empty.folder() + "/serf/geo\n"), std::string::npos) << errors;
  EXPECT_TRUE(
      errors.ends_with("       latest Quorvane distribution or contact Quorvane support for assistance\n"))
      << errors;
}

// Expected values worked out by hand from the EPSG definitions (DDD.MMSSsss angles, US survey
// feet), so a wrong unit conversion or a swapped parameter shows.
struct PcsCase {
  int code;
  GeoProjectionType type;
  double easting, northing, lat, lon, parallel1, parallel2, scale, azimuth, rectified;
  double coordinate_factor;
  int gcs, ellipsoid;
  const char* description;
  const char* warning;
  bool variant_b;  // Hotine with false easting and northing at the projection centre
};

const PcsCase kPcs[] = {
    {27700, GEO_PROJECTION_TM, 400000, -100000, 49, -2, 0, 0, 0.9996012717, 0, 0, 1.0, 4277, 1,
     "OSGB36 / British National Grid", "", false},
    {2204, GEO_PROJECTION_LCC, 2000000 * kSurveyFoot, 100000 * kSurveyFoot, 34 + 40 / 60.0, -86, 35.25,
     36 + 25 / 60.0, 0, 0, 0, kSurveyFoot, 4267, 5, "NAD27 / Tennessee", "", false},
    // One parallel with a scale: the scale shrinks the cone instead of being ignored.
    {2085, GEO_PROJECTION_LCC_1SP, 500000, 280296.016, 22.35, -81, 22.35, 22.35, 0.99993602, 0, 0, 1.0, 4267,
     5, "NAD27 / Cuba Norte", "", false},
    {3005, GEO_PROJECTION_AEAC, 1000000, 0, 45, -126, 50, 58.5, 0, 0, 0, 1.0, 4269, 11, "NAD83 / BC Albers",
     "", false},
    {3078, GEO_PROJECTION_HOM, 2546731.496, -4354009.816, 45 + 18 / 60.0 + 33 / 3600.0, -86, 0, 0, 0.9996,
     337.25556, 337.25556, 1.0, 4269, 11, "NAD83 / Michigan Oblique Mercator", "", false},
    {28992, GEO_PROJECTION_OS, 155000, 463000, 52 + 9 / 60.0 + 22.178 / 3600, 5 + 23 / 60.0 + 15.5 / 3600, 0,
     0, 0.9999079, 0, 0, 1.0, 4289, 3, "Amersfoort / RD New", "", false},
    // Variant B: false easting and northing stay those of the projection centre, as published. The
    // sexagesimal unit keeps seconds to three decimals: 56.9537 and 48.3685 are read as 56.954 and 48.368.
    {29873, GEO_PROJECTION_HOM, 590476.87, 442857.65, 4, 115, 0, 0, 0.99984, 53 + 18 / 60.0 + 56.954 / 3600,
     53 + 7 / 60.0 + 48.368 / 3600, 1.0, 4298, 7, "Timbalai 1948 / RSO Borneo (m)", "", true},
    {2056, GEO_PROJECTION_HOM, 2600000, 1200000, 46 + 57 / 60.0 + 8.66 / 3600, 7 + 26 / 60.0 + 22.5 / 3600, 0,
     0, 1.0, 90, 90, 1.0, 4150, 3, "CH1903+ / LV95", "", true},
};

TEST(EpsgPcsFile, EverySupportedMethod) {
  GeoProgramFolder tables(true);
  for (const PcsCase& c : kPcs) {
    SCOPED_TRACE(c.code);
    GeoProjectionConverter converter;
    converter.set_program_path(tables.program().c_str());
    std::string described;
    const std::string errors = stderr_of([&] { EXPECT_TRUE(converter.set_epsg_code(c.code, &described)); });
    EXPECT_EQ(errors, c.warning);
    EXPECT_EQ(described, c.description);
    const GeoProjectionParameters* p = converter.get_projection();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->type, c.type);
    EXPECT_EQ(p->description, c.description);
    EXPECT_EQ(p->geokey, c.code);
    EXPECT_EQ(p->gcs, c.gcs);
    EXPECT_NEAR(p->false_easting_meter, c.easting, 1e-6);
    EXPECT_NEAR(p->false_northing_meter, c.northing, 1e-6);
    EXPECT_NEAR(p->lat_origin_degree, c.lat, 1e-9);
    EXPECT_NEAR(p->long_meridian_degree, c.lon, 1e-9);
    if (c.type == GEO_PROJECTION_LCC || c.type == GEO_PROJECTION_AEAC) {
      EXPECT_NEAR(p->first_std_parallel_degree, c.parallel1, 1e-9);
      EXPECT_NEAR(p->second_std_parallel_degree, c.parallel2, 1e-9);
    } else {
      EXPECT_DOUBLE_EQ(p->scale_factor, c.scale);
    }
    if (c.type == GEO_PROJECTION_HOM) {
      EXPECT_NEAR(p->azimuth_degree, c.azimuth, 1e-9);
      EXPECT_NEAR(p->rectified_grid_angle_degree, c.rectified, 1e-9);
    }
    EXPECT_EQ(p->hom_variant_b, c.variant_b);
    EXPECT_EQ(converter.get_coordinate_factor(GeoSide::source), c.coordinate_factor);
    EXPECT_EQ(converter.get_gcs_code(), c.gcs);
    EXPECT_EQ(converter.get_ellipsoid().id, c.ellipsoid);
  }
}

// Hotine variant B counts false easting and northing from the projection centre: the centre must
// come back as itself, and a surveyed point as its published coordinates (swisstopo's Zimmerwald
// example, given to 0.01 arc seconds).
TEST(EpsgPcsFile, HotineFromTheProjectionCentre) {
  GeoProgramFolder tables(true);
  const struct {
    int code;
    double x, y, lon, lat, tolerance;
  } points[] = {
      {2056, 2600000, 1200000, 7 + 26 / 60.0 + 22.5 / 3600, 46 + 57 / 60.0 + 8.66 / 3600, 1e-9},
      {2056, 2602030.680, 1191775.030, 7 + 27 / 60.0 + 58.41 / 3600, 46 + 52 / 60.0 + 42.27 / 3600,
       0.01 / 3600},
      {21781, 600000, 200000, 7 + 26 / 60.0 + 22.5 / 3600, 46 + 57 / 60.0 + 8.66 / 3600, 1e-9},
      {29873, 590476.87, 442857.65, 115, 4, 1e-9},
      // 27 31 07.7837 with the seconds read to three decimals.
      {2057, 658377.437, 3044969.194, 52 + 36 / 60.0 + 12.741 / 3600, 27 + 31 / 60.0 + 7.784 / 3600, 1e-9},
  };
  for (const auto& point : points) {
    SCOPED_TRACE(point.code);
    GeoProjectionConverter converter;
    converter.set_program_path(tables.program().c_str());
    ASSERT_TRUE(converter.set_epsg_code(point.code));
    double xyz[3] = {point.x, point.y, 0};
    ASSERT_TRUE(converter.to_lon_lat(xyz));
    EXPECT_NEAR(xyz[0], point.lon, point.tolerance);
    EXPECT_NEAR(xyz[1], point.lat, point.tolerance);
  }
}

// cs2cs's answer for one point as longitude, latitude; `latitude_first` for EPSG geographic CRSs.
bool proj_lon_lat(const std::string& arguments, double x, double y, bool latitude_first, double& lon,
                  double& lat) {
  char point[80];
  std::snprintf(point, sizeof(point), "echo %.3f %.3f | ", x, y);
  const std::string command = point + ("cs2cs -f %.10f " + arguments);
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return false;
  double first = 0, second = 0;
  if (std::fscanf(pipe.get(), "%lf %lf", &first, &second) != 2) return false;
  lon = latitude_first ? second : first;
  lat = latitude_first ? first : second;
  return true;
}

// Variant B across each grid, from the centre to a few hundred kilometres out, against PROJ: its
// own EPSG definition where the ellipsoids agree, else the EPSG parameters on the converter's
// ellipsoid (Timbalai's Everest 1967 has no ellipsoid id of its own and takes Everest 1830's).
TEST(EpsgPcsFile, HotineVariantBAgreesWithProj) {
  if (std::system("command -v cs2cs >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "cs2cs is not installed";
  }
  const struct {
    int code, gcs;
    const char* omerc;  // nullptr: PROJ's definition of the code
    std::vector<std::pair<double, double>> points;
  } cases[] = {
      {2056, 4150, nullptr, {{2485000, 1075000}, {2833000, 1296000}, {2700000, 1100000}, {2550000, 1300000}}},
      {21781, 4149, nullptr, {{485000, 75000}, {833000, 296000}}},
      {23700, 4237, nullptr, {{430000, 50000}, {930000, 360000}}},
      {2057, 4153, nullptr, {{558377, 2944969}, {758377, 3144969}}},
      {29873,
       4298,
       "+proj=omerc +lat_0=4 +lonc=115 +alpha=53.31582047222222 +gamma=53.13010236111111 +k=0.99984 "
       "+x_0=590476.87 +y_0=442857.65",
       {{300000, 200000}, {900000, 800000}, {1000000, 600000}, {590476.87, 442857.65}}},
  };
  GeoProgramFolder tables(true);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    GeoProjectionConverter converter;
    converter.set_program_path(tables.program().c_str());
    ASSERT_TRUE(converter.set_epsg_code(c.code));
    std::string arguments;
    if (c.omerc) {
      char ellipsoid[96];
      std::snprintf(ellipsoid, sizeof(ellipsoid), " +a=%.17g +es=%.17g",
                    converter.get_ellipsoid().equatorial_radius,
                    converter.get_ellipsoid().eccentricity_squared);
      arguments = std::string(c.omerc) + ellipsoid + " +to +proj=longlat" + ellipsoid;
    } else {
      arguments = "EPSG:" + std::to_string(c.code) + " EPSG:" + std::to_string(c.gcs);
    }
    for (const auto& [x, y] : c.points) {
      SCOPED_TRACE(testing::Message() << x << " " << y);
      double xyz[3] = {x, y, 0};
      ASSERT_TRUE(converter.to_lon_lat(xyz));
      double lon = 0, lat = 0;
      ASSERT_TRUE(proj_lon_lat(arguments, x, y, c.omerc == nullptr, lon, lat));
      EXPECT_NEAR(xyz[0], lon, 1e-7);
      EXPECT_NEAR(xyz[1], lat, 1e-7);
    }
  }
}

// PROJ as an independent oracle: a point of each projected system, converted by the converter from
// the pcs.csv parameters and by cs2cs from PROJ's own EPSG definition onto the same geographic CRS.
TEST(EpsgPcsFile, ConversionsAgreeWithProj) {
  if (std::system("command -v cs2cs >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "cs2cs is not installed";
  }
  // northing_first: the EPSG definition orders the axes northing, easting, so cs2cs reads them so.
  const struct {
    int code, gcs;
    double x, y;
    bool northing_first = false;
  } cases[] = {
      {27700, 4277, 530000, 180000},
      {2204, 4267, 1800000, 600000},
      {2994, 4152, 1500000, 600000},
      {3005, 4269, 1200000, 500000},
      {3078, 4269, 500000, 200000},
      {2056, 4150, 2700000, 1250000},
      {28992, 4289, 120000, 480000},
      {2903, 4152, 1500000, 1400000},
      {32104, 4269, 400000, 150000},
      // Lambert with one scaled parallel, Mercator A, B and Pseudo-Mercator, Lambert azimuthal,
      // polar stereographic A and B.
      {2085, 4267, 600000, 330000, true},
      {3395, 4326, -2000000, 7000000},
      {3388, 4284, 300000, 5200000, true},
      {3857, 4326, 1000000, 6000000},
      {3035, 4258, 4400000, 3400000, true},
      {32661, 4326, 2500000, 1500000, true},
      {3031, 4326, 1000000, -500000},
      {3413, 4326, -500000, -1200000},
  };
  GeoProgramFolder tables(true);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    GeoProjectionConverter converter;
    converter.set_program_path(tables.program().c_str());
    ASSERT_TRUE(converter.set_epsg_code(c.code));
    double xyz[3] = {c.x, c.y, 0};
    ASSERT_TRUE(converter.to_lon_lat(xyz));
    double lon = 0, lat = 0;
    const std::string crs_pair = "EPSG:" + std::to_string(c.code) + " EPSG:" + std::to_string(c.gcs);
    ASSERT_TRUE(c.northing_first ? proj_lon_lat(crs_pair, c.y, c.x, true, lon, lat)
                                 : proj_lon_lat(crs_pair, c.x, c.y, true, lon, lat));
    EXPECT_NEAR(xyz[0], lon, 1e-7);
    EXPECT_NEAR(xyz[1], lat, 1e-7);
  }
}

struct FailureCase {
  int code;
  const char* errors;
};

const FailureCase kPcsFailures[] = {
    {2099, "transform 9806 of EPSG code 2099 not implemented.\n"},
    {5472,
     "set_ProjLinearUnitsGeoKey: look-up for 9037 not implemented\n"
     "units 9037 of EPSG code 5472 not implemented.\n"},
    {3167,
     "set_ProjLinearUnitsGeoKey: look-up for 9301 not implemented\n"
     "units 9301 of EPSG code 3167 not implemented.\n"},
    {3828,
     "ERROR: ellipsoid with EPSG code 7050 for 'TWD67' not supported\n"
     "GCS 3821 of EPSG code 3828 not implemented.\n"},
    {1234, "EPSG code 1234 not found in 'pcs.csv' file\n"},
    {-5, "EPSG code -5 not found in 'pcs.csv' file\n"},
};

TEST(EpsgPcsFile, UnsupportedCodesFailWithTheirMessage) {
  GeoProgramFolder tables(true);
  for (const FailureCase& c : kPcsFailures) {
    SCOPED_TRACE(c.code);
    GeoProjectionConverter converter;
    converter.set_program_path(tables.program().c_str());
    const std::string errors = stderr_of([&] { EXPECT_FALSE(converter.set_epsg_code(c.code)); });
    EXPECT_EQ(errors, c.errors);
    EXPECT_FALSE(converter.has_projection(GeoSide::source));
  }
}

TEST(EpsgPcsFile, ProjectedCSTypeKeyAddsItsOwnLine) {
  GeoProgramFolder tables(true);
  GeoProjectionConverter converter;
  converter.set_program_path(tables.program().c_str());
  std::string described;
  EXPECT_TRUE(converter.set_ProjectedCSTypeGeoKey(32767, &described));
  EXPECT_EQ(described, "user-defined");
  EXPECT_FALSE(converter.has_projection(GeoSide::source));
  const std::string errors = stderr_of([&] { EXPECT_FALSE(converter.set_ProjectedCSTypeGeoKey(2099)); });
  EXPECT_EQ(errors,
            "transform 9806 of EPSG code 2099 not implemented.\n"
            "set_ProjectedCSTypeGeoKey: look-up for 2099 not implemented\n");
}

// Lines a hand-edited or damaged pcs.csv may hold: each fails alone, with its message.
TEST(EpsgPcsFile, DamagedLinesFailCleanly) {
  GeoProgramFolder tables(true);
  const std::string long_tail(3000, 'x');
  tables.write_table(
      "pcs.csv",
      "1000,\"Broken\",9001\n"
      "1001,\"Short TM\",9001,4326,1,9807,8801,0.0,9102,8802\n"
      "1002,\"Odd angle\",9001,4326,1,9807,8801,0.0,9999,8802,9.0,9102,8805,1.0,9201,8806,0,9001,"
      "8807,0,9001\n"
      "1003,\"Quoted, with comma\",9001,4326,1,9807,8801,0.0,9102,8802,9.0,9102,8805,1.0,9201,8806,"
      "0,9001,8807,0,9001\n"
      "1004,\"" +
          long_tail +
          "\n"
          "1006,\"No number\",9001,4326,1,9807,8801,abc,9102,8802,9.0,9102,8805,1.0,9201,8806,0,"
          "9001,8807,0,9001\n");
  const struct {
    int code;
    bool ok;
    const char* errors;
  } cases[] = {
      {1000, false, "failed to scan units, gcs, and transform from '1000,\"Broken\",9001'\n"},
      {1001, false,
       "failed to scan TM parameters from '1001,\"Short TM\",9001,4326,1,9807,8801,0.0,9102,8802'\n"},
      {1002, false,
       "ERROR: unit 9999 not known\nfailed to scan TM parameters from '1002,\"Odd angle\",9001,4326,1,9807,"
       "8801,0.0,9999,8802,9.0,9102,8805,1.0,9201,8806,0,9001,8807,0,9001'\n"},
      {1003, true, ""},
      // The part of an overlong line beyond 2048 characters is not a line of its own.
      {1005, false, "EPSG code 1005 not found in 'pcs.csv' file\n"},
      {1006, false,
       "failed to scan TM parameters from '1006,\"No "
       "number\",9001,4326,1,9807,8801,abc,9102,8802,9.0,9102,8805,1.0,"
       "9201,8806,0,9001,8807,0,9001'\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    GeoProjectionConverter converter;
    converter.set_program_path(tables.program().c_str());
    std::string described;
    const std::string errors =
        stderr_of([&] { EXPECT_EQ(converter.set_epsg_code(c.code, &described), c.ok); });
    EXPECT_EQ(errors, c.errors);
    if (c.ok) {
      EXPECT_EQ(described, "Quoted, with comma");
    }
  }
}

TEST(EpsgGcsFile, BuiltInFileAndFailures) {
  GeoProgramFolder tables(true);
  GeoProjectionConverter converter;
  converter.set_program_path(tables.program().c_str());
  std::string described;
  ASSERT_TRUE(converter.set_gcs(4267, &described));
  EXPECT_EQ(described, "NAD27");
  EXPECT_EQ(converter.get_ellipsoid().id, 5);

  ASSERT_TRUE(converter.set_gcs(4171, &described));
  EXPECT_EQ(described, "RGF93 v1");
  EXPECT_EQ(converter.get_gcs_code(), 4171);
  EXPECT_EQ(converter.get_ellipsoid().id, 11);

  std::string errors = stderr_of([&] { EXPECT_FALSE(converter.set_gcs(3821, &described)); });
  EXPECT_EQ(errors, "ERROR: ellipsoid with EPSG code 7050 for 'TWD67' not supported\n");
  EXPECT_EQ(described, "unknown");
  EXPECT_EQ(converter.get_gcs_code(), 4171);  // a failed look-up keeps what was set

  errors = stderr_of([&] { EXPECT_FALSE(converter.set_gcs(99, &described)); });
  EXPECT_EQ(errors, "");
  EXPECT_EQ(described, "unknown");

  GeoProgramFolder empty(false);
  converter.set_program_path(empty.program().c_str());
  errors = stderr_of([&] { EXPECT_FALSE(converter.set_gcs(4171)); });
  EXPECT_NE(errors.find("ERROR: cannot open 'gcs.csv' file."), std::string::npos);
  EXPECT_TRUE(converter.set_gcs(4326));  // built in, needs no file
}

TEST(EpsgVertcsFile, BuiltInFileAndFailures) {
  GeoProgramFolder tables(true);
  GeoProjectionConverter converter;
  converter.set_program_path(tables.program().c_str());
  std::string described;
  ASSERT_TRUE(converter.set_VerticalCSTypeGeoKey(5103, &described));
  EXPECT_EQ(described, "North American Vertical Datum 1988");
  EXPECT_EQ(converter.get_vertical_code(), 5103);
  ASSERT_TRUE(converter.set_VerticalCSTypeGeoKey(5050, &described));
  EXPECT_EQ(described, "Some Ellipsoid Vertical Datum");

  ASSERT_TRUE(converter.set_VerticalCSTypeGeoKey(6360, &described));
  EXPECT_EQ(described, "NAVD88 height (ftUS)");
  EXPECT_EQ(converter.get_vertical_code(), 6360);
  EXPECT_EQ(converter.get_elevation_factor(GeoSide::source), kSurveyFoot);
  ASSERT_TRUE(converter.set_VerticalCSTypeGeoKey(6130, &described));
  EXPECT_EQ(converter.get_elevation_factor(GeoSide::source), 0.3048);

  std::string errors = stderr_of([&] { EXPECT_FALSE(converter.set_VerticalCSTypeGeoKey(1)); });
  EXPECT_EQ(errors,
            "EPSG code 1 not found in 'vertcs.csv' file\n"
            "set_VerticalCSTypeGeoKey: look-up for 1 not implemented\n");
  errors = stderr_of([&] { EXPECT_FALSE(converter.set_VerticalUnitsGeoKey(9036)); });
  EXPECT_EQ(errors, "set_VerticalUnitsGeoKey: look-up for 9036 not implemented\n");

  tables.write_table("vertcs.csv", "7000,\"Bad unit\",5103,9036,6499\n7001,\"Cut\",5103\n");
  errors = stderr_of([&] { EXPECT_FALSE(converter.set_VerticalCSTypeGeoKey(7000)); });
  EXPECT_EQ(errors,
            "set_VerticalUnitsGeoKey: look-up for 9036 not implemented\n"
            "units 9036 of EPSG code 7000 not implemented.\n");
  errors = stderr_of([&] { EXPECT_FALSE(converter.set_VerticalCSTypeGeoKey(7001)); });
  EXPECT_EQ(errors, "failed to scan units from '7001,\"Cut\",5103'\n");
  EXPECT_EQ(converter.get_vertical_code(), 6130);

  GeoProgramFolder empty(false);
  converter.set_program_path(empty.program().c_str());
  errors = stderr_of([&] { EXPECT_FALSE(converter.set_VerticalCSTypeGeoKey(5703)); });
  EXPECT_NE(errors.find("ERROR: cannot open 'vertcs.csv' file."), std::string::npos);
}

TEST(EpsgFiles, FolderOfTheProgram) {
  GeoProjectionConverter converter;
  // A name without a folder looks beside the working folder; so does no name at all.
  converter.set_program_path("contourmill");
  std::string errors = stderr_of([&] { converter.set_gcs(4171); });
  EXPECT_NE(errors.find("cannot open 'gcs.csv'"), std::string::npos);
  GeoProgramFolder tables(true);
  const std::string backslashed = tables.folder() + "\\contourmill.exe";
  converter.set_program_path(backslashed.c_str());
  EXPECT_TRUE(converter.set_gcs(4171));
}

}  // namespace
