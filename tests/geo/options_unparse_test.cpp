// The option text a converter writes back parses into the same state, so a run handed on to
// another process sees what this one saw.
#include <gtest/gtest.h>

#include <string>

#include "options_args.h"

namespace {

void expect_same_projection(const GeoProjectionParameters* a, const GeoProjectionParameters* b,
                            const char* side) {
  ASSERT_EQ(a == nullptr, b == nullptr) << side;
  if (!a) return;
  EXPECT_EQ(a->type, b->type) << side;
  EXPECT_EQ(a->geokey, b->geokey) << side;
  EXPECT_EQ(a->utm_zone_number, b->utm_zone_number) << side;
  EXPECT_EQ(a->utm_northern_hemisphere, b->utm_northern_hemisphere) << side;
  // Written with six decimals.
  EXPECT_NEAR(a->false_easting_meter, b->false_easting_meter, 1e-6) << side;
  EXPECT_NEAR(a->false_northing_meter, b->false_northing_meter, 1e-6) << side;
  EXPECT_NEAR(a->lat_origin_degree, b->lat_origin_degree, 1e-6) << side;
  EXPECT_NEAR(a->long_meridian_degree, b->long_meridian_degree, 1e-6) << side;
  EXPECT_NEAR(a->first_std_parallel_degree, b->first_std_parallel_degree, 1e-6) << side;
  EXPECT_NEAR(a->second_std_parallel_degree, b->second_std_parallel_degree, 1e-6) << side;
  EXPECT_NEAR(a->scale_factor, b->scale_factor, 1e-6) << side;
}

class UnparseRoundTrip : public testing::TestWithParam<const char*> {};

TEST_P(UnparseRoundTrip, ParsesBackIntoTheSameState) {
  Parsed first(GetParam());
  ASSERT_TRUE(first.ok);
  const std::string text = first.unparsed();
  std::string written;
  EXPECT_EQ(first.geo.unparse(written), static_cast<int>(text.size()));
  Parsed second(text);
  ASSERT_TRUE(second.ok) << text;
  EXPECT_EQ(second.args.left(), "") << text;
  EXPECT_EQ(second.unparsed(), text);
  const GeoProjectionConverter& a = first.geo;
  const GeoProjectionConverter& b = second.geo;
  expect_same_projection(a.get_projection(GeoSide::source), b.get_projection(GeoSide::source), "source");
  expect_same_projection(a.get_projection(GeoSide::target), b.get_projection(GeoSide::target), "target");
  EXPECT_EQ(a.get_ellipsoid().id, b.get_ellipsoid().id) << text;
  if (a.has_projection(GeoSide::source)) {
    EXPECT_EQ(a.get_gcs_code(), b.get_gcs_code()) << text;
  }
  EXPECT_EQ(a.get_vertical_code(), b.get_vertical_code()) << text;
  for (const GeoSide side : {GeoSide::source, GeoSide::target}) {
    EXPECT_EQ(a.get_coordinate_factor(side), b.get_coordinate_factor(side)) << text;
    EXPECT_EQ(a.get_elevation_factor(side), b.get_elevation_factor(side)) << text;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Geo, UnparseRoundTrip,
    testing::Values("-utm 32S -vertical_navd88_geoid09", "-nad83 -utm 10s -feet -elevation_feet",
                    "-epsg 26916 -vertical_nn2000", "-sp27 CA_VII -target_sp83 CA_VI", "-sp27 St.Croix",
                    "-ellipsoid 14 -lcc 1640416.666667 0 survey_feet 47 -120.833333 47.5 48.733333",
                    "-grs80 -aeac 1 2 ft 23 -96 29.5 45.5 -elevation_survey_feet",
                    "-osgb1936 -tm 400000 -100000 m 49 -2 0.9996012717 -vertical_epsg 5703",
                    "-gda2020 -ecef -target_longlat -target_elevation_precision 0.01",
                    "-nad83_csrs -latlong -target_utm 19n -target_surveyfeet -target_precision 0.001",
                    "-wgs72 -longlat -target_utm auto -target_elevation_feet",
                    "-target_lcc 1500000 0 feet 47 -120.833333 47.5 48.733333 -vertical_dhhn92",
                    "-target_tm 500000 0 m 0 -93 0.99996 -target_ecef",
                    "-target_aeac 0 0 m 23 -96 29.5 45.5"));

}  // namespace
