// The State Plane zone tables: their sizes, the rows that show the unit and rounding rules, the
// code pattern between the datums, and zone selection by name.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

#include "geo/geo_state_planes.h"
#include "options_args.h"

namespace {

TEST(StatePlanes, TablesHoldEveryZone) {
  EXPECT_EQ(state_planes_lcc(false).size(), 73u);
  EXPECT_EQ(state_planes_lcc(true).size(), 67u);
  EXPECT_EQ(state_planes_tm(false).size(), 54u);
  EXPECT_EQ(state_planes_tm(true).size(), 54u);
  for (const bool nad83 : {false, true}) {
    std::set<std::string> names;
    std::set<int> codes;
    for (const StatePlaneLcc& row : state_planes_lcc(nad83)) {
      names.insert(row.name);
      codes.insert(row.epsg_code);
    }
    for (const StatePlaneTm& row : state_planes_tm(nad83)) {
      names.insert(row.name);
      codes.insert(row.epsg_code);
    }
    const size_t rows = state_planes_lcc(nad83).size() + state_planes_tm(nad83).size();
    EXPECT_EQ(names.size(), rows) << "a zone name repeats";
    EXPECT_EQ(codes.size(), rows) << "an EPSG code repeats";
  }
}

void expect_row(const StatePlaneLcc& row, const StatePlaneLcc& expected) {
  EXPECT_STREQ(row.name, expected.name);
  EXPECT_EQ(row.epsg_code, expected.epsg_code) << expected.name;
  const double got[] = {row.false_easting_meter,       row.false_northing_meter,
                        row.lat_origin_degree,         row.long_meridian_degree,
                        row.first_std_parallel_degree, row.second_std_parallel_degree};
  const double want[] = {expected.false_easting_meter,       expected.false_northing_meter,
                         expected.lat_origin_degree,         expected.long_meridian_degree,
                         expected.first_std_parallel_degree, expected.second_std_parallel_degree};
  for (int i = 0; i < 6; i++) EXPECT_EQ(got[i], want[i]) << expected.name << " column " << i;
}

void expect_row(const StatePlaneTm& row, const StatePlaneTm& expected) {
  EXPECT_STREQ(row.name, expected.name);
  EXPECT_EQ(row.epsg_code, expected.epsg_code) << expected.name;
  const double got[] = {row.false_easting_meter, row.false_northing_meter, row.lat_origin_degree,
                        row.long_meridian_degree, row.scale_factor};
  const double want[] = {expected.false_easting_meter, expected.false_northing_meter,
                         expected.lat_origin_degree, expected.long_meridian_degree, expected.scale_factor};
  for (int i = 0; i < 5; i++) EXPECT_EQ(got[i], want[i]) << expected.name << " column " << i;
}

// NAD27 false eastings are 3000000 and 500000 US survey feet, in meters.
TEST(StatePlanes, TellingRowsInMeters) {
  expect_row(state_planes_lcc(false)[0],
             {26740, "AK_10", 914401.8288, 0, 51, -176, 51.83333333, 53.83333333});
  expect_row(state_planes_lcc(true)[3], {26941, "CA_I", 2000000, 500000, 39.333333, -122, 40, 41.666667});
  expect_row(state_planes_tm(false)[0], {26729, "AL_E", 152400.3048, 0, 30.5, -85.83333333, 0.99996});
  expect_row(state_planes_tm(true)[2], {26932, "AK_2", 500000, 0, 54, -142, 0.9999});
}

// NAD83 Lambert angles carry six decimals, all others eight; parallels are stored south first.
TEST(StatePlanes, AnglesRoundedAndParallelsOrdered) {
  const auto decimals_at_most = [](double angle, int digits) {
    const double scaled = angle * std::pow(10.0, digits);
    return std::fabs(scaled - std::round(scaled)) < 1e-3;  // an unrounded third is 0.33 off
  };
  for (const bool nad83 : {false, true}) {
    const int digits = nad83 ? 6 : 8;
    for (const StatePlaneLcc& row : state_planes_lcc(nad83)) {
      for (const double angle : {row.lat_origin_degree, row.long_meridian_degree,
                                 row.first_std_parallel_degree, row.second_std_parallel_degree}) {
        EXPECT_TRUE(decimals_at_most(angle, digits)) << row.name << " " << angle;
      }
      EXPECT_LT(row.first_std_parallel_degree, row.second_std_parallel_degree) << row.name;
    }
    for (const StatePlaneTm& row : state_planes_tm(nad83)) {
      EXPECT_TRUE(decimals_at_most(row.lat_origin_degree, 8)) << row.name;
      EXPECT_TRUE(decimals_at_most(row.long_meridian_degree, 8)) << row.name;
    }
  }
}

TEST(StatePlanes, Nad83TransverseMercatorZonesFollowTheNad27Ones) {
  const auto nad27 = state_planes_tm(false);
  const auto nad83 = state_planes_tm(true);
  ASSERT_EQ(nad27.size(), nad83.size());
  for (size_t i = 0; i < nad27.size(); i++) {
    EXPECT_STREQ(nad83[i].name, nad27[i].name);
    EXPECT_EQ(nad83[i].epsg_code, nad27[i].epsg_code + (nad27[i].epsg_code < 30000 ? 200 : 100))
        << nad27[i].name;
  }
}

TEST(StatePlanes, FoundByExactNameLambertFirst) {
  const StatePlaneMatch ca7 = find_state_plane("CA_VII", false);
  ASSERT_NE(ca7.lcc, nullptr);
  EXPECT_EQ(ca7.epsg_code(), 26747);
  EXPECT_EQ(find_state_plane("CA_VII", true).epsg_code(), 0);
  EXPECT_EQ(find_state_plane("ca_i", true).epsg_code(), 0);
  EXPECT_EQ(find_state_plane("CA_I ", true).epsg_code(), 0);
  const StatePlaneMatch vt = find_state_plane("VT", true);
  ASSERT_NE(vt.tm, nullptr);
  EXPECT_EQ(vt.lcc, nullptr);
  EXPECT_EQ(vt.epsg_code(), 32145);
  EXPECT_EQ(find_state_plane("St.Croix", false).epsg_code(), 32060);
}

// Every zone sets a projection of its family whose parameters are the row's, whether it comes
// through its EPSG code and the parameter files or, for the few unregistered codes, from the row.
TEST(StatePlanes, EveryZoneSetsItsProjection) {
  for (const bool nad83 : {false, true}) {
    const std::string option = nad83 ? "-sp83 " : "-sp27 ";
    for (const StatePlaneLcc& row : state_planes_lcc(nad83)) {
      Parsed parsed(option + row.name);
      ASSERT_TRUE(parsed.ok) << row.name;
      const GeoProjectionParameters* lcc = parsed.geo.get_projection(GeoSide::source);
      ASSERT_NE(lcc, nullptr);
      EXPECT_EQ(lcc->type, GEO_PROJECTION_LCC) << row.name;
      EXPECT_NEAR(lcc->false_easting_meter, row.false_easting_meter, 1e-3) << row.name;
      EXPECT_NEAR(lcc->false_northing_meter, row.false_northing_meter, 1e-3) << row.name;
      EXPECT_NEAR(lcc->lat_origin_degree, row.lat_origin_degree, 1e-6) << row.name;
      EXPECT_NEAR(lcc->long_meridian_degree, row.long_meridian_degree, 1e-6) << row.name;
      EXPECT_NEAR(std::min(lcc->first_std_parallel_degree, lcc->second_std_parallel_degree),
                  row.first_std_parallel_degree, 1e-6)
          << row.name;
      EXPECT_EQ(parsed.geo.get_gcs_code(), nad83 ? 4269 : 4267) << row.name;
      EXPECT_EQ(parsed.geo.get_unit_epsg(GeoSide::source), nad83 ? 9001 : 9003) << row.name;
    }
    for (const StatePlaneTm& row : state_planes_tm(nad83)) {
      Parsed parsed(option + row.name);
      ASSERT_TRUE(parsed.ok) << row.name;
      const GeoProjectionParameters* tm = parsed.geo.get_projection(GeoSide::source);
      ASSERT_NE(tm, nullptr);
      EXPECT_EQ(tm->type, GEO_PROJECTION_TM) << row.name;
      EXPECT_NEAR(tm->false_easting_meter, row.false_easting_meter, 1e-3) << row.name;
      EXPECT_NEAR(tm->lat_origin_degree, row.lat_origin_degree, 1e-6) << row.name;
      EXPECT_NEAR(tm->long_meridian_degree, row.long_meridian_degree, 1e-6) << row.name;
      EXPECT_NEAR(tm->scale_factor, row.scale_factor, 1e-9) << row.name;
    }
  }
}

}  // namespace
