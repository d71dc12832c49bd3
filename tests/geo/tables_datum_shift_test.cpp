// Choosing the datum shift to WGS 84 from towgs84.csv: the most accurate transformation whose area
// of use holds the place, areas across the antimeridian, and the answers for WGS 84 itself, a
// datum without transformations and a missing file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "geo/geo_datum_shift.h"

namespace {

class DatumShiftFile : public testing::Test {
 protected:
  void SetUp() override {
    path_ = testing::TempDir() + "cm_towgs84_test.csv";
    std::FILE* file = std::fopen(path_.c_str(), "w");
    ASSERT_NE(file, nullptr);
    // datum,code,"name",accuracy,tx,ty,tz,rx,ry,rz,scale,px,py,pz,south,north,west,east
    std::fputs(
        "9999,11,\"wide\",10.0,1,2,3,0,0,0,0,0,0,0,0,10,0,10\n"
        "9999,12,\"narrow and better\",2.0,4,5,6,0,0,0,0,0,0,0,0,5,0,5\n"
        "9999,13,\"everywhere, accuracy unknown\",,7,8,9,0,0,0,0,0,0,0,-90,90,-180,180\n"
        "9999,14,\"across the antimeridian\",1.0,0,0,1,0,0,0,0,0,0,0,-10,10,170,-170\n"
        "9999,10,\"same as 12 but a lower code\",2.0,4,5,6,0,0,0,0,0,0,0,0,5,0,5\n"
        "9999,not a line\n"
        "8888,21,\"only far away\",1.0,1,1,1,0,0,0,0,0,0,0,40,50,40,50\n",
        file);
    std::fclose(file);
  }
  void TearDown() override { std::remove(path_.c_str()); }

  int chosen(int datum, double lon, double lat, GeoShiftLookup expected) const {
    GeoDatumShift shift;
    EXPECT_EQ(geo_find_wgs84_shift(path_, datum, lon, lat, shift), expected) << lon << " " << lat;
    return shift.code;
  }

  std::string path_;
};

TEST_F(DatumShiftFile, MostAccurateTransformationWhoseAreaHoldsThePlace) {
  EXPECT_EQ(chosen(9999, 1, 1, GeoShiftLookup::found), 10);  // 2 m beats 10 m; equal ones by code
  EXPECT_EQ(chosen(9999, 7, 7, GeoShiftLookup::found), 11);  // a stated accuracy beats none
  EXPECT_EQ(chosen(9999, 50, 50, GeoShiftLookup::found), 13);
  EXPECT_EQ(chosen(9999, 175, 0, GeoShiftLookup::found), 14);
  EXPECT_EQ(chosen(9999, -175, 0, GeoShiftLookup::found), 14);
  GeoDatumShift shift;
  ASSERT_EQ(geo_find_wgs84_shift(path_, 9999, 1, 1, shift), GeoShiftLookup::found);
  EXPECT_EQ(shift.name, "same as 12 but a lower code");
  EXPECT_EQ(shift.accuracy, 2.0);
  EXPECT_EQ(shift.tz, 6.0);
}

TEST_F(DatumShiftFile, OtherAnswers) {
  EXPECT_EQ(chosen(6326, 1, 1, GeoShiftLookup::identity), 0);
  EXPECT_EQ(chosen(8888, 1, 1, GeoShiftLookup::not_covered), 0);
  EXPECT_EQ(chosen(7777, 1, 1, GeoShiftLookup::unknown), 0);
  GeoDatumShift shift;
  EXPECT_EQ(geo_find_wgs84_shift(path_ + ".missing", 9999, 1, 1, shift), GeoShiftLookup::missing_file);
  EXPECT_TRUE(shift.is_identity());
}

// A pure translation along z moves a point at the north pole's side by as much in latitude as
// the geometry says, and the identity moves nothing.
TEST(DatumShift, ApplyMovesByTheTranslation) {
  GeoEllipsoid wgs84;
  ASSERT_TRUE(geo_ellipsoid_of_id(23, wgs84));
  double lon = 10.0, lat = 45.0;
  GeoDatumShift().apply(wgs84, lon, lat);
  EXPECT_EQ(lon, 10.0);
  EXPECT_EQ(lat, 45.0);
  GeoDatumShift up;
  up.code = 1;
  up.tz = 100.0;  // 100 m along the axis: about 100 sin 45 m north on the ground
  up.apply(wgs84, lon, lat);
  EXPECT_NEAR(lon, 10.0, 1e-12);
  EXPECT_NEAR((lat - 45.0) * 111132.0, 100.0 * std::sqrt(0.5), 0.5);
}

}  // namespace
