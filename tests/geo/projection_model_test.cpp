// The converter's state: the ellipsoid table, the projection records and their texts, the unit
// factors, and the unit conversions of EPSG parameter values.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "geo/geo_units.h"
#include "geo/geoprojectionconverter.h"

namespace {

TEST(GeoConverterModel, StartsOnWgs84WithoutProjectionsInMeters) {
  GeoProjectionConverter converter;
  EXPECT_EQ(converter.get_ellipsoid().id, 23);
  EXPECT_EQ(converter.get_gcs_code(), 4326);
  EXPECT_EQ(converter.get_vertical_code(), 0);
  for (GeoSide side : {GeoSide::source, GeoSide::target}) {
    EXPECT_FALSE(converter.has_projection(side));
    EXPECT_EQ(converter.get_projection(side), nullptr);
    EXPECT_EQ(converter.get_coordinate_factor(side), 1.0);
    EXPECT_EQ(converter.get_elevation_factor(side), 1.0);
    EXPECT_FALSE(converter.has_coordinate_unit(side));
    EXPECT_FALSE(converter.has_elevation_unit(side));
    EXPECT_EQ(converter.get_unit_epsg(side), 9001);
  }
}

struct EllipsoidCase {
  int id;
  const char* name;
  double a, e2, inverse_flattening;
  const char* described;
};

TEST(GeoConverterModel, EllipsoidTableKeepsTabledConstantsAndNames) {
  const EllipsoidCase cases[] = {
      {1, "Airy", 6377563.396, 0.00667054, 299.3249646, " 1 - Airy (6.37756e+06 0.00667054)"},
      {4, "Bessel 1841 (Namibia) ", 6377483.865, 0.006674372, 299.1528128,
       " 4 - Bessel 1841 (Namibia)  (6.37748e+06 0.00667437)"},
      {8, "Fischer 1960 (Mercury) ", 6378166.0, 0.006693422, 298.3,
       " 8 - Fischer 1960 (Mercury)  (6.37817e+06 0.00669342)"},
      {11, "GRS 1980", 6378137.0, 0.0066943800229, 298.257222101, "11 - GRS 1980 (6.37814e+06 0.00669438)"},
      {23, "WGS-84", 6378137.0, 0.00669437999013, 298.257223563, "23 - WGS-84 (6.37814e+06 0.00669438)"},
      {24, "Indonesian National 1974", 6378160.0, 0.0066946091071419115, 298.2469988070381,
       "24 - Indonesian National 1974 (6.37816e+06 0.00669461)"},
  };
  GeoProjectionConverter converter;
  for (const EllipsoidCase& c : cases) {
    std::string described;
    ASSERT_TRUE(converter.set_ellipsoid(c.id, &described));
    const GeoEllipsoid& e = converter.get_ellipsoid();
    EXPECT_EQ(e.id, c.id);
    EXPECT_STREQ(e.name, c.name);
    EXPECT_EQ(e.equatorial_radius, c.a);
    EXPECT_EQ(e.eccentricity_squared, c.e2);
    EXPECT_EQ(e.inverse_flattening, c.inverse_flattening);
    EXPECT_EQ(described, c.described);
  }
  // WGS-84's semi-minor axis and second eccentricity from the tabled e^2.
  ASSERT_TRUE(converter.set_ellipsoid(23));
  EXPECT_NEAR(converter.get_ellipsoid().polar_radius, 6356752.3142, 1e-4);
  EXPECT_NEAR(converter.get_ellipsoid().eccentricity_prime_squared, 0.00673949674227, 1e-13);
  EXPECT_NEAR(converter.get_ellipsoid().eccentricity_e1, 0.00167922038638, 1e-13);
}

TEST(GeoConverterModel, EllipsoidOutsideTheTableIsRefusedAndChangesNothing) {
  GeoProjectionConverter converter;
  ASSERT_TRUE(converter.set_ellipsoid(5));
  for (int id : {-1, 0, 25, 1000}) {
    std::string described = "untouched";
    EXPECT_FALSE(converter.set_ellipsoid(id, &described));
    EXPECT_EQ(described, "untouched");
    EXPECT_EQ(converter.get_ellipsoid().id, 5);
  }
}

struct SetterCase {
  const char* name;
  std::function<bool(GeoProjectionConverter&, GeoSide, const char*, std::string*)> set;
  GeoProjectionType type;
  const char* description;
  const char* described;
};

const SetterCase kSetterCases[] = {
    {"utm_north",
     [](auto& c, GeoSide s, const char* d, std::string* o) { return c.set_utm(32, 'U', true, s, d, o); },
     GEO_PROJECTION_UTM, "UTM zone 32N", "UTM zone 32N"},
    {"utm_south",
     [](auto& c, GeoSide s, const char* d, std::string* o) { return c.set_utm(55, 'L', false, s, d, o); },
     GEO_PROJECTION_UTM, "UTM zone 55S", "UTM zone 55S"},
    {"lcc",
     [](auto& c, GeoSide s, const char* d, std::string* o) {
       return c.set_lcc(609601.22, 0, 33.75, -79, 34.33333, 36.16666, s, d, o);
     },
     GEO_PROJECTION_LCC, "Lambert Conformal Conic",
     "false east/north: 609601/0 [m], origin lat/ meridian long: 33.75/-79, parallel 1st/2nd: "
     "34.3333/36.1667"},
    {"tm",
     [](auto& c, GeoSide s, const char* d, std::string* o) {
       return c.set_tm(457200, 0, 47, -120.833333, 0.99996, s, d, o);
     },
     GEO_PROJECTION_TM, "Transverse Mercator",
     "false east/north: 457200/0 [m], origin lat/meridian long: 47/-120.833, scale: 0.99996"},
    {"aeac",
     [](auto& c, GeoSide s, const char* d, std::string* o) {
       return c.set_aeac(0, 0, 23, -96, 29.5, 45.5, s, d, o);
     },
     GEO_PROJECTION_AEAC, "Albers Equal Area Conic",
     "false east/north: 0/0 [m], center lat/long: 23/-96, parallel 1st/2nd: 29.5/45.5"},
    {"hom",
     [](auto& c, GeoSide s, const char* d, std::string* o) {
       return c.set_hom(0, 0, 4, 115, 53.31582047, 53.13010236, 0.99984, s, d, o);
     },
     GEO_PROJECTION_HOM, "Hotine Oblique Mercator",
     "false east/north: 0/0 [m], center lat/long: 4/115, azimuth: 53.3158 angle: 53.1301 scale: 0.99984"},
    {"os",
     [](auto& c, GeoSide s, const char* d, std::string* o) {
       return c.set_os(155000, 463000, 52.15616055555555, 5.38763888888889, 0.9999079, s, d, o);
     },
     GEO_PROJECTION_OS, "Oblique Stereographic",
     "false east/north: 155000/463000 [m], origin lat/meridian long: 52.1562/5.38764, scale: 0.999908"},
    {"longlat", [](auto& c, GeoSide s, const char* d, std::string* o) { return c.set_longlat(s, d, o); },
     GEO_PROJECTION_LONG_LAT, "longitude/latitude", "longitude/latitude"},
    {"latlong", [](auto& c, GeoSide s, const char* d, std::string* o) { return c.set_latlong(s, d, o); },
     GEO_PROJECTION_LAT_LONG, "latitude/longitude", "latitude/longitude"},
    {"ecef", [](auto& c, GeoSide s, const char* d, std::string* o) { return c.set_ecef(s, d, o); },
     GEO_PROJECTION_ECEF, "earth-centered earth-fixed", "earth-centered earth-fixed"},
    {"none", [](auto& c, GeoSide s, const char* d, std::string* o) { return c.set_no_projection(s, d, o); },
     GEO_PROJECTION_NONE, "intentionally no projection", "intentionally no projection"},
};

// Every setter fills only its own side, describes itself byte for byte, replaces what the side
// held before, and takes a caller's description cut to 255 characters.
TEST(GeoConverterModel, SettersFillOneSideWithTheirTexts) {
  const std::string long_name(300, 'x');
  for (const SetterCase& c : kSetterCases) {
    SCOPED_TRACE(c.name);
    for (GeoSide side : {GeoSide::source, GeoSide::target}) {
      GeoProjectionConverter converter;
      ASSERT_TRUE(converter.set_ecef(other_side(side)));
      ASSERT_TRUE(converter.set_longlat(side));  // replaced below
      std::string described;
      ASSERT_TRUE(c.set(converter, side, nullptr, &described));
      EXPECT_EQ(described, c.described);
      const GeoProjectionParameters* record = converter.get_projection(side);
      ASSERT_NE(record, nullptr);
      EXPECT_EQ(record->type, c.type);
      EXPECT_EQ(record->description, c.description);
      EXPECT_EQ(record->geokey, 0);
      ASSERT_TRUE(converter.has_projection(other_side(side)));
      EXPECT_EQ(converter.get_projection(other_side(side))->type, GEO_PROJECTION_ECEF);

      ASSERT_TRUE(c.set(converter, side, long_name.c_str(), nullptr));
      EXPECT_EQ(converter.get_projection(side)->description, long_name.substr(0, 255));
      converter.reset_projection(side);
      EXPECT_FALSE(converter.has_projection(side));
      EXPECT_TRUE(converter.has_projection(other_side(side)));
    }
  }
}

TEST(GeoConverterModel, UtmRecordCarriesZoneAndCentralMeridian) {
  GeoProjectionConverter converter;
  ASSERT_TRUE(converter.set_utm(55, 'H', false));
  const GeoProjectionParameters* utm = converter.get_projection();
  EXPECT_EQ(utm->utm_zone_number, 55);
  EXPECT_EQ(utm->utm_zone_letter, 'H');
  EXPECT_FALSE(utm->utm_northern_hemisphere);
  EXPECT_EQ(utm->utm_long_origin, 147);
  // A zone off the globe has no central meridian; the side keeps what it had.
  for (int zone : {0, 61, -3}) EXPECT_FALSE(converter.set_utm(zone, 'U', true));
  EXPECT_EQ(converter.get_projection()->utm_zone_number, 55);
}

struct UnitCase {
  const char* name;
  void (GeoProjectionConverter::*set)(GeoSide);
  bool coordinates;
  double source_factor, target_factor;
  int epsg;  // for coordinate units
};

TEST(GeoConverterModel, UnitSettersUseExactFactorsPerSide) {
  const UnitCase cases[] = {
      {"meter", &GeoProjectionConverter::set_coordinates_in_meter, true, 1.0, 1.0, 9001},
      {"feet", &GeoProjectionConverter::set_coordinates_in_feet, true, 0.3048, 3.280839895013123, 9002},
      {"survey_feet", &GeoProjectionConverter::set_coordinates_in_survey_feet, true, 0.3048006096012,
       3.28083333333354, 9003},
      {"elevation_meter", &GeoProjectionConverter::set_elevation_in_meter, false, 1.0, 1.0, 9001},
      {"elevation_feet", &GeoProjectionConverter::set_elevation_in_feet, false, 0.3048, 3.280839895013123,
       9001},
      {"elevation_survey_feet", &GeoProjectionConverter::set_elevation_in_survey_feet, false, 0.3048006096012,
       3.28083333333354, 9001},
  };
  for (const UnitCase& c : cases) {
    SCOPED_TRACE(c.name);
    for (GeoSide side : {GeoSide::source, GeoSide::target}) {
      GeoProjectionConverter converter;
      (converter.*c.set)(side);
      const double expected = side == GeoSide::source ? c.source_factor : c.target_factor;
      EXPECT_EQ(c.coordinates ? converter.get_coordinate_factor(side) : converter.get_elevation_factor(side),
                expected);
      EXPECT_EQ(c.coordinates ? converter.has_coordinate_unit(side) : converter.has_elevation_unit(side),
                true);
      EXPECT_EQ(c.coordinates ? converter.has_elevation_unit(side) : converter.has_coordinate_unit(side),
                false);
      EXPECT_FALSE(converter.has_coordinate_unit(other_side(side)) ||
                   converter.has_elevation_unit(other_side(side)));
      EXPECT_EQ(converter.get_unit_epsg(side), c.epsg);
      // Geographic coordinates are in degrees whatever the length unit.
      converter.set_latlong(side);
      EXPECT_EQ(converter.get_unit_epsg(side), 9000);
      converter.set_longlat(side);
      EXPECT_EQ(converter.get_unit_epsg(side), 9000);
      converter.set_tm(0, 0, 0, 0, 1, side);
      EXPECT_EQ(converter.get_unit_epsg(side), c.epsg);
    }
  }
}

TEST(GeoUnits, AnglesByEpsgUnitCode) {
  struct {
    double value;
    int unit;
    double degrees;
  } const cases[] = {
      {12.5, 9102, 12.5},
      {100.0, 9105, 90.0},
      {-50.0, 9105, -45.0},
      {52.0930, 9110, 52.0 + 9.0 / 60.0 + 30.0 / 3600.0},
      {4.0312345, 9110, 4.0 + 3.0 / 60.0 + 12.345 / 3600.0},
      {-5.3045, 9110, -(5.0 + 30.0 / 60.0 + 45.0 / 3600.0)},
      {-0.3, 9110, -0.5},
      {7.0, 9110, 7.0},
  };
  for (const auto& c : cases) EXPECT_NEAR(geo_angle_from_unit(c.value, c.unit), c.degrees, 1e-12) << c.value;
}

TEST(GeoUnits, LengthsByEpsgUnitCode) {
  EXPECT_EQ(geo_length_from_unit(1000.0, 9001), 1000.0);
  EXPECT_EQ(geo_length_from_unit(1000.0, 9002), 1000.0 * 0.3048);
  EXPECT_EQ(geo_length_from_unit(1000.0, 9003), 1000.0 * 0.3048006096012);
}

TEST(GeoUnits, UnknownUnitAnswersZeroWithOneErrorLine) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(geo_angle_from_unit(45.0, 9101), 0.0);
  EXPECT_EQ(geo_length_from_unit(45.0, 9036), 0.0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: unit 9101 not known\nERROR: unit 9036 not known\n");
}

}  // namespace
