// GeoTIFF key directories: the projections, units and datums they select, the transformations
// the converter has no formulas for, and directories whose offsets point nowhere.
#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>
#include <vector>

#include "geo/geoprojectionconverter.h"
#include "tables_fixture.h"

namespace {

constexpr uint16_t kDoubles = 34736;

GeoKeyEntry key(uint16_t id, uint16_t value) {
  return {id, 0, 1, value};
}
GeoKeyEntry param(uint16_t id, uint16_t index) {
  return {id, kDoubles, 1, index};
}

struct KeyCase {
  const char* name;
  std::vector<GeoKeyEntry> keys;
  std::vector<double> doubles;
  bool result;
  int type;  // -1: no source projection
  const char* described;
  const char* errors;
};

const KeyCase kCases[] = {
    {"model longlat only", {key(1024, 2)}, {}, true, GEO_PROJECTION_LONG_LAT, "longitude/latitude", ""},
    {"model none", {key(1024, 0)}, {}, true, GEO_PROJECTION_NONE, "intentionally no projection", ""},
    {"model geocentric", {key(1024, 3)}, {}, true, GEO_PROJECTION_ECEF, "earth-centered earth-fixed", ""},
    {"model projected alone", {key(1024, 1)}, {}, false, -1, "", ""},
    {"projected CRS by code",
     {key(1024, 1), key(3072, 32633)},
     {},
     true,
     GEO_PROJECTION_UTM,
     "WGS 84 / UTM 33N",
     ""},
    {"user-defined CRS without parameters",
     {key(1024, 1), key(3072, 32767)},
     {},
     true,
     -1,
     "user-defined",
     ""},
    {"transverse mercator",
     {key(1024, 1), key(3072, 32767), key(3075, 1), param(3081, 0), param(3082, 1), param(3083, 2),
      param(3088, 3), param(3092, 4)},
     {0, 500000, 0, 9, 0.9996},
     true,
     GEO_PROJECTION_TM,
     "generic transverse mercator",
     ""},
    {"transverse mercator with its meridian only in NatOriginLong",
     {key(1024, 1), key(3075, 1), param(3080, 3), param(3081, 0), param(3082, 1), param(3083, 2),
      param(3092, 4)},
     {0, 500000, 0, 9, 0.9996},
     false,
     -1,
     "",
     ""},
    {"lambert from false origin keys",
     {key(1024, 1), key(3075, 8), param(3078, 2), param(3079, 3), param(3084, 1), param(3085, 0),
      param(3086, 4), param(3087, 5)},
     {41.75, -120.5, 43.0, 45.5, 400000, 0},
     true,
     GEO_PROJECTION_LCC,
     "generic lambert conformal conic",
     ""},
    {"lambert without its second parallel",
     {key(1024, 1), key(3075, 8), param(3078, 2), param(3084, 1), param(3085, 0), param(3086, 4),
      param(3087, 5)},
     {41.75, -120.5, 43.0, 45.5, 400000, 0},
     false,
     -1,
     "",
     ""},
    {"albers",
     {key(3075, 11), param(3078, 0), param(3079, 1), param(3080, 2), param(3081, 3), param(3082, 4),
      param(3083, 5)},
     {29.5, 45.5, -96, 23, 0, 0},
     true,
     GEO_PROJECTION_AEAC,
     "generic albers equal area",
     ""},
    {"hotine",
     {key(3075, 3), param(3082, 0), param(3083, 1), param(3088, 2), param(3089, 3), param(3093, 4),
      param(3094, 5)},
     {2546731.496, -4354009.816, -86, 45.309, 0.9996, 337.25556},
     true,
     GEO_PROJECTION_HOM,
     "generic hotine oblique mercator",
     ""},
    {"oblique stereographic",
     {key(3075, 16), param(3080, 0), param(3081, 1), param(3082, 2), param(3083, 3), param(3092, 4)},
     {5.38763888888889, 52.15616055555555, 155000, 463000, 0.9999079},
     true,
     GEO_PROJECTION_OS,
     "generic oblique stereographic",
     ""},
    {"mercator",
     {key(1024, 1), key(3075, 7)},
     {},
     false,
     -1,
     "",
     "ProjCoordTransGeoKey: CT_Mercator not implemented\n"},
    {"south oriented",
     {key(3075, 27)},
     {},
     false,
     -1,
     "",
     "ProjCoordTransGeoKey: CT_TransvMercator_SouthOriented not implemented\n"},
    {"unknown transformation",
     {key(3075, 99)},
     {},
     false,
     -1,
     "",
     "ProjCoordTransGeoKey: look-up for 99 not implemented\n"},
    {"unknown keys and codes",
     {key(2048, 1234), key(2050, 1), key(2052, 9036), key(3076, 9037), key(4099, 9038), key(5000, 1)},
     {},
     false,
     -1,
     "",
     "GeographicTypeGeoKey: look-up for 1234 not implemented\n"
     "GeogGeodeticDatumGeoKey: look-up for 1 not implemented\n"
     "GeogLinearUnitsGeoKey: look-up for 9036 not implemented\n"
     "set_ProjLinearUnitsGeoKey: look-up for 9037 not implemented\n"
     "set_VerticalUnitsGeoKey: look-up for 9038 not implemented\n"},
    {"accepted codes without effect",
     {key(2048, 4617), key(2050, 6326), key(2048, 32767)},
     {},
     false,
     -1,
     "",
     ""},
    {"projected CRS that cannot be built",
     {key(1024, 2), key(3072, 2099)},
     {},
     false,
     GEO_PROJECTION_LONG_LAT,
     "longitude/latitude",
     "transform 9806 of EPSG code 2099 not implemented.\n"
     "set_ProjectedCSTypeGeoKey: look-up for 2099 not implemented\n"},
    // Offsets a file can lie about: past the double parameters, or at the largest value.
    {"parameter past the doubles",
     {key(3075, 1), param(3081, 0), param(3082, 1), param(3083, 2), param(3088, 7), param(3092, 65535)},
     {0, 500000, 0},
     false,
     -1,
     "",
     "WARNING: GeoKey 3088 refers to double parameter 7 of only 3\n"
     "WARNING: GeoKey 3092 refers to double parameter 65535 of only 3\n"},
    {"parameters without any doubles",
     {key(3075, 8), param(3078, 0), param(3079, 0), param(3084, 0), param(3085, 0), param(3086, 0),
      param(3087, 0)},
     {},
     false,
     -1,
     "",
     "WARNING: GeoKey 3078 refers to double parameter 0 of only 0\n"
     "WARNING: GeoKey 3079 refers to double parameter 0 of only 0\n"
     "WARNING: GeoKey 3084 refers to double parameter 0 of only 0\n"
     "WARNING: GeoKey 3085 refers to double parameter 0 of only 0\n"
     "WARNING: GeoKey 3086 refers to double parameter 0 of only 0\n"
     "WARNING: GeoKey 3087 refers to double parameter 0 of only 0\n"},
};

void PrintTo(const KeyCase& c, std::ostream* os) {
  *os << c.name;
}

class GeoKeyDirectory : public testing::TestWithParam<KeyCase> {};

TEST_P(GeoKeyDirectory, SelectsItsProjection) {
  const KeyCase& c = GetParam();
  GeoProgramFolder tables(true);
  GeoProjectionConverter converter;
  converter.set_program_path(tables.program().c_str());
  std::string described;
  const std::string errors = stderr_of([&] {
    EXPECT_EQ(converter.set_projection_from_geo_keys(c.keys, "", c.doubles, &described, GeoSide::source),
              c.result);
  });
  EXPECT_EQ(errors, c.errors);
  EXPECT_EQ(described, c.described);
  const GeoProjectionParameters* p = converter.get_projection(GeoSide::source);
  EXPECT_EQ(p ? static_cast<int>(p->type) : -1, c.type);
}

INSTANTIATE_TEST_SUITE_P(Keys, GeoKeyDirectory, testing::ValuesIn(kCases),
                         [](const auto& test) { return case_name(test.param.name); });

TEST(GeoKeyParameters, FeetEastingAndTheMeridianRules) {
  GeoProjectionConverter converter;
  // Lambert in international feet with the meridian only as false origin longitude.
  const std::vector<GeoKeyEntry> lambert = {key(1024, 1),   key(2050, 6269), key(3075, 8),   key(3076, 9002),
                                            param(3078, 2), param(3079, 3),  param(3084, 1), param(3085, 0),
                                            param(3086, 4), param(3087, 5)};
  const std::vector<double> values = {41.75, -120.5, 43.0, 45.5, 1312335.958005249, 0.0};
  ASSERT_TRUE(converter.set_projection_from_geo_keys(lambert, "", values));
  const GeoProjectionParameters* p = converter.get_projection();
  EXPECT_NEAR(p->false_easting_meter, 400000.0, 1e-6);
  EXPECT_EQ(p->long_meridian_degree, -120.5);
  EXPECT_EQ(p->lat_origin_degree, 41.75);
  EXPECT_EQ(p->first_std_parallel_degree, 43.0);
  EXPECT_EQ(p->second_std_parallel_degree, 45.5);
  EXPECT_EQ(converter.get_coordinate_factor(GeoSide::source), 0.3048);

  // A zero CenterLong yields to a NatOriginLong that is present.
  const std::vector<GeoKeyEntry> zero_center = {key(3075, 8),   param(3078, 2), param(3079, 3),
                                                param(3088, 6), param(3080, 1), param(3081, 0),
                                                param(3082, 4), param(3083, 5)};
  const std::vector<double> with_zero = {39.5, -100.0, 43.0, 40.0, 500000, 0.0, 0.0};
  ASSERT_TRUE(converter.set_projection_from_geo_keys(zero_center, "", with_zero));
  EXPECT_EQ(converter.get_projection()->long_meridian_degree, -100.0);
  // The false easting follows the feet of the first directory: units stay until a key changes them.
  EXPECT_NEAR(converter.get_projection()->false_easting_meter, 500000 * 0.3048, 1e-6);

  // Hotine without a rectified grid angle uses the azimuth.
  const std::vector<GeoKeyEntry> hotine = {key(3076, 9001), key(3075, 3),   param(3082, 0), param(3083, 1),
                                           param(3088, 2),  param(3089, 3), param(3093, 4), param(3094, 5)};
  const std::vector<double> hom = {2546731.496, -4354009.816, -86, 45.309, 0.9996, 337.25556};
  ASSERT_TRUE(converter.set_projection_from_geo_keys(hotine, "", hom));
  EXPECT_EQ(converter.get_projection()->rectified_grid_angle_degree, 337.25556);
  EXPECT_EQ(converter.get_projection()->scale_factor, 0.9996);
  EXPECT_EQ(converter.get_projection()->lat_origin_degree, 45.309);
}

TEST(GeoKeyParameters, DatumUnitAndVerticalKeys) {
  GeoProjectionConverter converter;
  ASSERT_TRUE(converter.set_projection_from_geo_keys(
      std::vector<GeoKeyEntry>{key(1024, 2), key(2048, 4267), key(4096, 5103), key(4099, 9003)}, "", {}));
  EXPECT_EQ(converter.get_gcs_code(), 4267);
  EXPECT_EQ(converter.get_ellipsoid().id, 5);
  EXPECT_EQ(converter.get_vertical_code(), 5103);
  EXPECT_EQ(converter.get_elevation_factor(GeoSide::source), 0.3048006096012);

  // Ellipsoid-only codes change the ellipsoid, not the geographic CRS; the last key wins.
  ASSERT_TRUE(converter.set_projection_from_geo_keys(
      std::vector<GeoKeyEntry>{key(1024, 2), key(2048, 4022), key(2056, 7024)}, "", {}));
  EXPECT_EQ(converter.get_ellipsoid().id, 15);
  EXPECT_EQ(converter.get_gcs_code(), 4267);
  ASSERT_TRUE(converter.set_projection_from_geo_keys(std::vector<GeoKeyEntry>{key(1024, 2), key(2050, 6202)},
                                                     "", {}));
  EXPECT_EQ(converter.get_ellipsoid().id, 2);
  // A geographic CRS among the keys wins over an ellipsoid key.
  ASSERT_TRUE(converter.set_projection_from_geo_keys(
      std::vector<GeoKeyEntry>{key(1024, 2), key(2048, 6319), key(2056, 7001)}, "", {}));
  EXPECT_EQ(converter.get_gcs_code(), 6318);
  EXPECT_EQ(converter.get_ellipsoid().id, 11);

  ASSERT_TRUE(converter.set_projection_from_geo_keys(std::vector<GeoKeyEntry>{key(1024, 2), key(2052, 9003)},
                                                     "", {}));
  EXPECT_EQ(converter.get_coordinate_factor(GeoSide::source), 0.3048006096012);
}

TEST(GeoKeyParameters, TargetSide) {
  GeoProjectionConverter converter;
  std::string described;
  ASSERT_TRUE(converter.set_projection_from_geo_keys(std::vector<GeoKeyEntry>{key(3072, 32610)}, "", {},
                                                     &described, GeoSide::target));
  EXPECT_EQ(described, "WGS 84 / UTM 10N");
  EXPECT_FALSE(converter.has_projection(GeoSide::source));
  EXPECT_EQ(converter.get_projection(GeoSide::target)->utm_zone_number, 10);
}

}  // namespace
