// to_lon_lat beyond plain agreement with PROJ: what happens without a projection, exact results
// at special points, units, a change of ellipsoid, and input that no survey produces.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "geo/geoprojectionconverter.h"

namespace {

void expect_unchanged(const double point[3], double x, double y, double z) {
  EXPECT_EQ(point[0], x);
  EXPECT_EQ(point[1], y);
  EXPECT_EQ(point[2], z);
}

TEST(GeoConversion, NothingToConvertFromLeavesThePointAsItIs) {
  GeoProjectionConverter converter;
  double point[3] = {1000.0, 2000.0, 30.0};
  EXPECT_FALSE(converter.to_lon_lat(point));
  expect_unchanged(point, 1000.0, 2000.0, 30.0);
  converter.set_tm(0, 0, 0, 9, 0.9996, GeoSide::target);  // the target side is never a source
  EXPECT_FALSE(converter.to_lon_lat(point));
  converter.set_no_projection();
  EXPECT_FALSE(converter.to_lon_lat(point));
  expect_unchanged(point, 1000.0, 2000.0, 30.0);
}

TEST(GeoConversion, GeographicInputIsCopiedOrSwappedAndElevationScaled) {
  GeoProjectionConverter converter;
  converter.set_elevation_in_feet();
  converter.set_coordinates_in_feet();  // degrees are no lengths
  converter.set_longlat();
  double point[3] = {-122.5, 47.25, 100.0};
  ASSERT_TRUE(converter.to_lon_lat(point));
  expect_unchanged(point, -122.5, 47.25, 30.48);
  converter.set_latlong();
  double swapped[3] = {47.25, -122.5, 100.0};
  ASSERT_TRUE(converter.to_lon_lat(swapped));
  expect_unchanged(swapped, -122.5, 47.25, 30.48);
}

// UTM zones are defined in meters: a foot unit scales elevations but not the zone coordinates.
TEST(GeoConversion, UtmCentralMeridianOnTheEquatorIsExactInAnyCoordinateUnit) {
  for (bool feet : {false, true}) {
    GeoProjectionConverter converter;
    if (feet) {
      converter.set_coordinates_in_feet();
      converter.set_elevation_in_feet();
    }
    converter.set_utm(32, 'U', true);
    double point[3] = {500000.0, 0.0, 100.0};
    ASSERT_TRUE(converter.to_lon_lat(point));
    expect_unchanged(point, 9.0, 0.0, feet ? 30.48 : 100.0);
  }
  GeoProjectionConverter south;
  south.set_utm(55, 'H', false);
  double point[3] = {500000.0, 10000000.0, 0.0};
  ASSERT_TRUE(south.to_lon_lat(point));
  expect_unchanged(point, 147.0, 0.0, 0.0);
}

// With the origin on the pole rho0 is 0; the false origin is then the pole of the cone's side.
TEST(GeoConversion, LambertAtItsPoleOriginIsExactlyThePoleOnTheCentralMeridian) {
  struct {
    double parallel1, parallel2, latitude;
  } const cases[] = {{60.0, 70.0, 90.0}, {-30.0, -40.0, -90.0}};
  for (const auto& c : cases) {
    GeoProjectionConverter converter;
    converter.set_lcc(1000.0, 2000.0, 90.0, 10.0, c.parallel1, c.parallel2);
    double point[3] = {1000.0, 2000.0, 5.0};
    ASSERT_TRUE(converter.to_lon_lat(point));
    expect_unchanged(point, 10.0, c.latitude, 5.0);
  }
}

// Small angles are kept: writing those below 2e-7 radians as zeros moved points near the equator
// or the central meridian by up to 1.3 m. A point half a meter off the origin comes back as the
// angle it is, which a forward projection by hand confirms.
TEST(GeoConversion, LambertKeepsTinyAngles) {
  GeoProjectionConverter converter;
  converter.set_lcc(0.0, 0.0, 0.0, 0.0, 20.0, 30.0);
  const double a = converter.get_ellipsoid().equatorial_radius;
  struct {
    double x, y;
  } const cases[] = {{0.0, 0.5}, {0.0, -0.5}, {0.5, 1000.0}, {1.0, 0.3}, {-1.0, -0.3}};
  for (const auto& c : cases) {
    double point[3] = {c.x, c.y, 0.0};
    ASSERT_TRUE(converter.to_lon_lat(point));
    // This cone's scale at the equator is about 1.08, so a meter of arc is about 0.92 m of grid.
    EXPECT_NE(point[1], 0.0) << c.x << " " << c.y;
    EXPECT_NEAR(point[1] * 3.141592653589793 / 180.0 * a, c.y * 0.92, 0.01 * std::fabs(c.y));
    EXPECT_EQ(std::signbit(point[1]), c.y < 0.0);
    if (c.x != 0.0) {
      EXPECT_EQ(std::signbit(point[0]), c.x < 0.0) << c.x;
    }
  }
}

// Longitudes come back on the globe, -180 to 180, however far east of its meridian a point lies.
TEST(GeoConversion, LongitudesAreNormalised) {
  GeoProjectionConverter converter;
  converter.set_tm(500000, 0, 0, 177, 0.9996);
  double east[3] = {1100000.0, 5000000.0, 0.0};  // about 8 degrees east of 177, across the antimeridian
  ASSERT_TRUE(converter.to_lon_lat(east));
  EXPECT_GE(east[0], -180.0);
  EXPECT_LT(east[0], -170.0);
  converter.set_lcc(0, 0, 50, 175, 45, 55);
  double across[3] = {800000.0, 0.0, 0.0};
  ASSERT_TRUE(converter.to_lon_lat(across));
  EXPECT_GE(across[0], -180.0);
  EXPECT_LE(across[0], 180.0);
  // Declared geographic input is passed through; it is checked where it is used.
  converter.set_longlat();
  double declared[3] = {190.0, 10.0, 0.0};
  ASSERT_TRUE(converter.to_lon_lat(declared));
  EXPECT_EQ(declared[0], 190.0);
}

// Parameters that describe no projection are refused and leave the side as it was.
TEST(GeoConversion, ParametersOutOfRangeAreRefused) {
  GeoProjectionConverter converter;
  ASSERT_TRUE(converter.set_utm(32, 'U', true));
  EXPECT_FALSE(converter.set_lcc(0, 0, 39, -100, 43, 180));      // a parallel past the pole
  EXPECT_FALSE(converter.set_lcc(0, 0, 0, 0, 30, -30));          // a cone of constant 0
  EXPECT_FALSE(converter.set_lcc(0, 0, 90, 0, 90, 90));          // a cone touching at the pole
  EXPECT_FALSE(converter.set_tm(0, 0, 95, 9, 1.0));              // latitude of origin 95
  EXPECT_FALSE(converter.set_tm(0, 0, 0, 9, 0.0));               // no scale
  EXPECT_FALSE(converter.set_tm(0, 0, 0, 9, std::nan("")));      // not a number
  EXPECT_FALSE(converter.set_aeac(0, 0, 23, -96, 30, -30));      // opposite parallels
  EXPECT_FALSE(converter.set_aeac(0, 0, 23, -96, 29.5, 145.5));  // a parallel past the pole
  const double polar_not_at_pole[] = {0, 0, 80, 0, 0.994};
  EXPECT_FALSE(converter.set_projection(GEO_PROJECTION_POLAR_STEREO_A, polar_not_at_pole));
  EXPECT_EQ(converter.get_projection()->type, GEO_PROJECTION_UTM);
  // The edges of the ranges still work: a pole as the origin of a cone.
  EXPECT_TRUE(converter.set_lcc(0, 0, 90, 10, 60, 70));
}

// The projected families, set with the parameters of a realistic zone and a point inside it.
struct Family {
  const char* name;
  std::function<void(GeoProjectionConverter&, GeoSide)> set;
  double x, y;
};

const Family kFamilies[] = {
    {"lcc", [](GeoProjectionConverter& c, GeoSide s) { c.set_lcc(700000, 6600000, 46.5, 3, 49, 44, s); },
     812345.0, 6512345.0},
    {"tm", [](GeoProjectionConverter& c, GeoSide s) { c.set_tm(600000, 200000, 46.95, 7.44, 1.0, s); },
     654321.0, 187654.0},
    {"aeac", [](GeoProjectionConverter& c, GeoSide s) { c.set_aeac(0, 0, 23, -96, 29.5, 45.5, s); },
     -1234567.0, 2345678.0},
    {"hom",
     [](GeoProjectionConverter& c, GeoSide s) {
       c.set_hom(0, 0, 4, 115, 53.3158204722, 53.1301023611, 0.99984, s);
     },
     590000.0, 440000.0},
    {"os",
     [](GeoProjectionConverter& c, GeoSide s) {
       c.set_os(155000, 463000, 52.15616055555555, 5.38763888888889, 0.9999079, s);
     },
     121000.0, 487000.0},
};

// A new ellipsoid moves the derived constants of both sides: afterwards the converter answers
// exactly what a converter set up on that ellipsoid from the start answers.
TEST(GeoConversion, NewEllipsoidRecomputesBothSides) {
  for (const Family& f : kFamilies) {
    SCOPED_TRACE(f.name);
    GeoProjectionConverter changed;
    f.set(changed, GeoSide::source);
    f.set(changed, GeoSide::target);
    double before[3] = {f.x, f.y, 0.0};
    ASSERT_TRUE(changed.to_lon_lat(before));
    ASSERT_TRUE(changed.set_ellipsoid(5));

    GeoProjectionConverter fresh;
    fresh.set_ellipsoid(5);
    f.set(fresh, GeoSide::source);
    for (GeoSide side : {GeoSide::source, GeoSide::target}) {
      for (int i = 0; i < 12; i++) {
        EXPECT_EQ(changed.get_projection(side)->derived[i], fresh.get_projection(GeoSide::source)->derived[i])
            << i;
      }
    }
    double after[3] = {f.x, f.y, 0.0};
    double expected[3] = {f.x, f.y, 0.0};
    ASSERT_TRUE(changed.to_lon_lat(after));
    ASSERT_TRUE(fresh.to_lon_lat(expected));
    expect_unchanged(after, expected[0], expected[1], expected[2]);
    // Clarke 1866 against WGS-84 moves a point by tens of meters.
    EXPECT_GT(std::hypot(after[0] - before[0], after[1] - before[1]), 1e-5);
  }
}

// Projected coordinates in feet are brought to meters before the inverse.
TEST(GeoConversion, FeetCoordinatesAreScaledForProjectedFamilies) {
  for (const Family& f : kFamilies) {
    SCOPED_TRACE(f.name);
    GeoProjectionConverter meters;
    GeoProjectionConverter feet;
    feet.set_coordinates_in_survey_feet();
    feet.set_elevation_in_feet();
    f.set(meters, GeoSide::source);
    f.set(feet, GeoSide::source);
    double in_meters[3] = {f.x, f.y, 30.48};
    double in_feet[3] = {f.x / 0.3048006096012, f.y / 0.3048006096012, 100.0};
    ASSERT_TRUE(meters.to_lon_lat(in_meters));
    ASSERT_TRUE(feet.to_lon_lat(in_feet));
    EXPECT_NEAR(in_feet[0], in_meters[0], 1e-11);
    EXPECT_NEAR(in_feet[1], in_meters[1], 1e-11);
    EXPECT_NEAR(in_feet[2], in_meters[2], 1e-12);
  }
}

TEST(GeoConversion, AlbersGivesUpFarFromItsOrigin) {
  GeoProjectionConverter converter;
  converter.set_aeac(500000, 0, 23, -96, 29.5, 45.5);
  for (const auto& xy : {std::pair{500000.0 + 40000001.0, 0.0}, std::pair{0.0, -40000001.0}}) {
    double point[3] = {xy.first, xy.second, 7.0};
    EXPECT_TRUE(converter.to_lon_lat(point));
    expect_unchanged(point, xy.first, xy.second, 7.0);
  }
}

// A northing past the pole comes back down the other side of it, half a turn of longitude away.
TEST(GeoConversion, TransverseMercatorFoldsOverThePole) {
  GeoProjectionConverter converter;
  converter.set_tm(0, 0, 0, 0, 1.0);
  double point[3] = {0.0, 10500000.0, 0.0};
  ASSERT_TRUE(converter.to_lon_lat(point));
  EXPECT_EQ(point[0], 180.0);
  EXPECT_GT(point[1], 85.0);
  EXPECT_LT(point[1], 86.0);
}

// Geocentric heights come out in meters; the elevation unit does not scale them a second time.
TEST(GeoConversion, EcefHeightIsMetersInAnyUnit) {
  const double x = 4462041.678730, y = 706717.973990, z = 4487419.119544;  // 9E 45N 100 m on WGS-84
  for (bool feet : {false, true}) {
    GeoProjectionConverter converter;
    const double unit = feet ? 0.3048 : 1.0;
    if (feet) {
      converter.set_coordinates_in_feet();
      converter.set_elevation_in_feet();
    }
    converter.set_ecef();
    double point[3] = {x / unit, y / unit, z / unit};
    ASSERT_TRUE(converter.to_lon_lat(point));
    EXPECT_NEAR(point[0], 9.0, 1e-9);
    EXPECT_NEAR(point[1], 45.0, 1e-9);
    EXPECT_NEAR(point[2], 100.0, 1e-5);
  }
  GeoProjectionConverter converter;
  converter.set_ecef();
  const double b = converter.get_ellipsoid().polar_radius;
  double pole[3] = {0.0, 0.0, -(b + 50.0)};
  ASSERT_TRUE(converter.to_lon_lat(pole));
  EXPECT_EQ(pole[1], -90.0);
  EXPECT_NEAR(pole[2], 50.0, 1e-6);
}

// Coordinates no survey produces must neither hang an iteration nor come out as NaN or beyond a pole.
TEST(GeoConversion, AbsurdInputEndsUnchangedOrFinite) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inputs[][2] = {{nan, 0.0},    {0.0, nan}, {inf, 0.0},  {0.0, -inf}, {1e300, 1e300},
                              {-1e300, 5.0}, {1e7, 1e8}, {0.0, -3e7}, {0.0, 1e20}};
  std::vector<std::function<void(GeoProjectionConverter&)>> setters;
  for (const Family& f : kFamilies)
    setters.push_back([&f](GeoProjectionConverter& c) { f.set(c, GeoSide::source); });
  setters.push_back([](GeoProjectionConverter& c) { c.set_utm(32, 'U', true); });
  setters.push_back([](GeoProjectionConverter& c) { c.set_ecef(); });
  for (size_t s = 0; s < setters.size(); s++) {
    GeoProjectionConverter converter;
    setters[s](converter);
    for (const auto& in : inputs) {
      double point[3] = {in[0], in[1], 1.0};
      ASSERT_TRUE(converter.to_lon_lat(point));
      const bool unchanged = (point[0] == in[0] || (std::isnan(point[0]) && std::isnan(in[0]))) &&
                             (point[1] == in[1] || (std::isnan(point[1]) && std::isnan(in[1])));
      EXPECT_TRUE(unchanged ||
                  (std::isfinite(point[0]) && std::isfinite(point[1]) && std::fabs(point[1]) <= 90.0))
          << "setter " << s << " input " << in[0] << " " << in[1] << " -> " << point[0] << " " << point[1];
    }
  }
}

}  // namespace
