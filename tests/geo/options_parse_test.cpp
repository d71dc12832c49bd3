// The converter's command-line options: what they consume, the state they leave (seen through the
// option text it writes back and through the projection records), their messages and failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "geo/geoprojectionconverter.h"
#include "options_args.h"

namespace {

struct ConsumeCase {
  const char* line;
  const char* left;      // words the converter leaves for later parsers
  const char* unparsed;  // its state written back
};

class OptionLines : public testing::TestWithParam<ConsumeCase> {};

TEST_P(OptionLines, ConsumeTheirWordsAndSetTheState) {
  const ConsumeCase& c = GetParam();
  Parsed parsed(c.line);
  EXPECT_TRUE(parsed.ok);
  EXPECT_EQ(parsed.args.left(), c.left);
  EXPECT_EQ(parsed.unparsed(), c.unparsed);
}

INSTANTIATE_TEST_SUITE_P(
    Geo, OptionLines,
    testing::Values(
        ConsumeCase{"-i in.las -utm 32n -o out.shp", "-i in.las -o out.shp", "-wgs84 -utm 32n "},
        ConsumeCase{"-utm 32S", "", "-wgs84 -utm 32n "},  // band S lies north of the equator
        ConsumeCase{"-utm 32s", "", "-wgs84 -utm 32s "}, ConsumeCase{"-utm 55south", "", "-wgs84 -utm 55s "},
        ConsumeCase{"-utm 5n", "", "-wgs84 -utm 5n "}, ConsumeCase{"-nad83 -utm 17U", "", "-nad83 -utm 17n "},
        ConsumeCase{"-utm 49L -etrs89", "", "-etrs89 -utm 49s "},
        ConsumeCase{"-epsg 32632", "", "-epsg 32632 "},
        ConsumeCase{"-target_epsg 32633 -keep_class 2", "-keep_class 2", "-target_epsg 32633 "},
        ConsumeCase{"-sp83 CA_I", "", "-epsg 26941 -meter "},
        ConsumeCase{"-target_sp27 AL_E", "", "-target_epsg 26729 -target_surveyfeet "},
        // Codes that left the EPSG register are set from the zone table and written as parameters.
        ConsumeCase{
            "-sp27 MI_N", "",
            "-nad27 -lcc 609601.219200 0.000000 m 44.783333 -87.000000 45.483333 47.083333 -surveyfeet "},
        ConsumeCase{"-ellipsoid 5 -tm 500000 0 meter 0 -93 0.99996", "",
                    "-ellipsoid 5 -tm 500000.000000 0.000000 m 0.000000 -93.000000 0.999960 -meter "},
        ConsumeCase{"-ellipsoid 11", "", ""}, ConsumeCase{"-grs80 -longlat", "", "-grs80 -longlat "},
        ConsumeCase{"-wgs72 -latlong -elevation_feet", "", "-wgs72 -latlong -elevation_feet "},
        ConsumeCase{"-nad83_csrs -ecef -vertical_navd88_geoid12b", "",
                    "-nad83_csrs -ecef -vertical_navd88_geoid12b "},
        ConsumeCase{"-nad83_2011 -longlat", "", "-nad83_2011 -longlat "},
        ConsumeCase{"-nad83_harn -nad83_pa11 -latlong", "", "-nad83_pa11 -latlong "},
        ConsumeCase{"-gda94 -ecef", "", "-gda94 -ecef "},
        ConsumeCase{"-gda2020 -osgb1936 -utm 30n", "", "-osgb1936 -utm 30n "},
        ConsumeCase{"-nad27 -utm 14n -nad83 -wgs84", "", "-wgs84 -utm 14n "},
        ConsumeCase{"-vertical_navd29", "", "-vertical_ngvd29 "},
        ConsumeCase{"-vertical_navd88_geoid12", "", "-vertical_navd88_geoid12 "},
        ConsumeCase{"-vertical_navd88_geoid12b -vertical_dhhn2016", "", "-vertical_dhhn2016 "},
        ConsumeCase{"-vertical_foo -vertical_epsg 5703", "-vertical_foo",
                    "-elevation_meter -vertical_epsg 5703 "},
        ConsumeCase{"-vertical_epsg 5215", "", "-vertical_evrf2007 "},
        ConsumeCase{
            "-lcc 1640416.666667 0 survey_feet 47 -120.833333 47.5 48.733333", "",
            "-wgs84 -lcc 500000.000000 0.000000 m 47.000000 -120.833333 47.500000 48.733333 -surveyfeet "},
        ConsumeCase{"-aeac 0 0 m 23 -96 29.5 45.5", "",
                    "-wgs84 -aeac 0.000000 0.000000 m 23.000000 -96.000000 29.500000 45.500000 -meter "},
        ConsumeCase{"-transverse_mercator 500000 0 m 0 9 0.9996", "",
                    "-wgs84 -tm 500000.000000 0.000000 m 0.000000 9.000000 0.999600 -meter "},
        ConsumeCase{"-target_transverse_mercator 1 2", "-target_transverse_mercator 1 2", ""},
        ConsumeCase{"-target_tm 1500000 0 feet 47 -120.833333 0.99996", "",
                    "-target_tm 457200.000000 0.000000 m 47.000000 -120.833333 0.999960 -target_feet "},
        ConsumeCase{
            "-target_lcc 609601.22 0 meter 33.75 -79 34.33333 36.16666", "",
            "-target_lcc 609601.220000 0.000000 m 33.750000 -79.000000 34.333330 36.166660 -target_meter "},
        ConsumeCase{"-target_aeac 1 2 ft 3 4 5 6", "",
                    "-target_aeac 0.304800 0.609600 m 3.000000 4.000000 5.000000 6.000000 -target_feet "},
        ConsumeCase{"-target_utm auto -target_precision 0.01 -target_elevation_precision 0.001", "",
                    "-target_utm auto -target_precision 0.010000 -target_elevation_precision 0.001000 "},
        ConsumeCase{"-target_utm auto -target_latlong", "", "-target_latlong "},
        ConsumeCase{"-target_longlat -target_utm auto", "", "-target_utm auto "},
        ConsumeCase{"-target_utm 10s -target_feet -target_elevation_surveyfeet", "",
                    "-target_utm 10K -target_feet -target_elevation_surveyfeet "},
        ConsumeCase{"-target_ecef -target_elevation_feet -target_survey_feet", "",
                    "-target_ecef -target_surveyfeet -target_elevation_feet "},
        ConsumeCase{"-feet -elevation_survey_feet", "", "-feet -elevation_surveyfeet "},
        ConsumeCase{"-surveyfeet -meter -elevation_feet -elevation_meter -target_survey_feet -target_meter",
                    "", "-meter -elevation_meter -target_meter "},
        ConsumeCase{"-v -utm 32n", "-v", "-wgs84 -utm 32n "}, ConsumeCase{"-h -utm 32n", "-h -utm 32n", ""}));

struct UtmCase {
  const char* zone_text;
  int zone;
  char letter;
  bool northern;
};

class UtmZoneText : public testing::TestWithParam<UtmCase> {};

TEST_P(UtmZoneText, NamesZoneBandAndHemisphere) {
  const UtmCase& c = GetParam();
  Parsed parsed(std::string("-utm ") + c.zone_text);
  ASSERT_TRUE(parsed.ok);
  const GeoProjectionParameters* utm = parsed.geo.get_projection(GeoSide::source);
  ASSERT_NE(utm, nullptr);
  EXPECT_EQ(utm->type, GEO_PROJECTION_UTM);
  EXPECT_EQ(utm->utm_zone_number, c.zone);
  EXPECT_EQ(utm->utm_zone_letter, c.letter);
  EXPECT_EQ(utm->utm_northern_hemisphere, c.northern);
  EXPECT_EQ(utm->utm_long_origin, c.zone * 6 - 183);
}

INSTANTIATE_TEST_SUITE_P(Geo, UtmZoneText,
                         testing::Values(UtmCase{"32S", 32, 'S', true}, UtmCase{"32s", 32, 'L', false},
                                         UtmCase{"32north", 32, 'U', true},
                                         UtmCase{"55south", 55, 'L', false}, UtmCase{"5n", 5, 'U', true},
                                         UtmCase{"5s", 5, 'L', false}, UtmCase{"17U", 17, 'U', true},
                                         UtmCase{"49L", 49, 'L', false}, UtmCase{"10N", 10, 'N', true},
                                         UtmCase{"10M", 10, 'M', false}, UtmCase{"60X", 60, 'X', true},
                                         UtmCase{"1C", 1, 'C', false}));

TEST(GeoOptions, LambertInSurveyFeetStoresMetersAndTheUnit) {
  Parsed parsed("-lcc 1640416.666667 0 survey_feet 47 -120.833333 47.5 48.733333");
  ASSERT_TRUE(parsed.ok);
  const GeoProjectionParameters* lcc = parsed.geo.get_projection(GeoSide::source);
  ASSERT_NE(lcc, nullptr);
  EXPECT_EQ(lcc->type, GEO_PROJECTION_LCC);
  EXPECT_DOUBLE_EQ(lcc->false_easting_meter, 1640416.666667 * 0.3048006096012);
  EXPECT_NEAR(lcc->false_easting_meter, 500000.0, 1e-3);
  EXPECT_EQ(lcc->false_northing_meter, 0.0);
  EXPECT_EQ(lcc->lat_origin_degree, 47.0);
  EXPECT_EQ(lcc->long_meridian_degree, -120.833333);
  EXPECT_EQ(lcc->first_std_parallel_degree, 47.5);
  EXPECT_EQ(lcc->second_std_parallel_degree, 48.733333);
  EXPECT_TRUE(parsed.geo.has_coordinate_unit(GeoSide::source));
  EXPECT_EQ(parsed.geo.get_coordinate_factor(GeoSide::source), 0.3048006096012);
  EXPECT_EQ(parsed.geo.get_unit_epsg(GeoSide::source), 9003);
}

TEST(GeoOptions, TargetSettingsLeaveTheSourceAlone) {
  Parsed parsed("-target_tm 1500000 0 feet 47 -120.833333 0.99996 -target_elevation_feet");
  ASSERT_TRUE(parsed.ok);
  EXPECT_FALSE(parsed.geo.has_projection(GeoSide::source));
  EXPECT_FALSE(parsed.geo.has_coordinate_unit(GeoSide::source));
  EXPECT_EQ(parsed.geo.get_coordinate_factor(GeoSide::source), 1.0);
  ASSERT_TRUE(parsed.geo.has_projection(GeoSide::target));
  EXPECT_EQ(parsed.geo.get_projection(GeoSide::target)->false_easting_meter, 1500000 * 0.3048);
  EXPECT_EQ(parsed.geo.get_coordinate_factor(GeoSide::target), 3.280839895013123);
  EXPECT_EQ(parsed.geo.get_elevation_factor(GeoSide::target), 3.280839895013123);
}

TEST(GeoOptions, DatumOptionsSetTheGeographicSystemAndEllipsoid) {
  struct DatumCase {
    const char* option;
    int gcs;
    int ellipsoid;
  };
  for (const DatumCase& c :
       {DatumCase{"-wgs72", 4322, 22}, DatumCase{"-nad27", 4267, 5}, DatumCase{"-nad83_2011", 6318, 11},
        DatumCase{"-osgb1936", 4277, 1}, DatumCase{"-wgs84", 4326, 23}}) {
    Parsed parsed(std::string("-nad83 ") + c.option);
    ASSERT_TRUE(parsed.ok) << c.option;
    EXPECT_EQ(parsed.geo.get_gcs_code(), c.gcs) << c.option;
    EXPECT_EQ(parsed.geo.get_ellipsoid().id, c.ellipsoid) << c.option;
  }
  Parsed grs80("-grs80");
  EXPECT_EQ(grs80.geo.get_ellipsoid().id, 11);
}

TEST(GeoOptions, VerticalDatumOptionsSetTheCode) {
  Parsed parsed("-vertical_navd88_geoid12b");
  ASSERT_TRUE(parsed.ok);
  EXPECT_EQ(parsed.geo.get_vertical_code(), 5103);
  EXPECT_EQ(parsed.unparsed(), "-vertical_navd88_geoid12b ");  // the geoid value 1145103 is kept
  for (const char* option : {"-vertical_nn54", "-vertical_cgvd28", "-vertical_dvr90", "-vertical_nzvd2016"}) {
    Parsed other(option);
    EXPECT_EQ(other.unparsed(), std::string(option) + " ");
  }
}

// ---- messages ----

struct MessageCase {
  const char* line;
  bool ok;
  const char* message;  // all of standard error
};

class OptionMessages : public testing::TestWithParam<MessageCase> {};

TEST_P(OptionMessages, AreExact) {
  const MessageCase& c = GetParam();
  testing::internal::CaptureStderr();
  Parsed parsed(c.line);
  const std::string message = testing::internal::GetCapturedStderr();
  EXPECT_EQ(parsed.ok, c.ok);
  EXPECT_EQ(message, c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Verbose, OptionMessages,
    testing::Values(
        MessageCase{"-v -utm 32n", true, "using projection UTM 'UTM zone 32N'\n"},
        MessageCase{"-v -target_utm 56s", true, "using target projection UTM 'UTM zone 56S'\n"},
        MessageCase{"-v -target_utm auto", true, "using target projection UTM 'auto select'\n"},
        MessageCase{"-utm 32n -v", true, ""},  // verbose from its word on
        MessageCase{"-verbose -ellipsoid 5", true,
                    "using ellipsoid ' 5 - Clarke 1866 (6.37821e+06 0.00676866)'\n"},
        MessageCase{"-v -grs80", true, "using ellipsoid '11 - GRS 1980 (6.37814e+06 0.00669438)'\n"},
        MessageCase{"-v -wgs72", true, "using ellipsoid '22 - WGS-72 (6.37814e+06 0.00669432)'\n"},
        MessageCase{"-v -nad83", true, "using datum 'North_American_Datum_1983' with ellipsoid 'GRS 1980'\n"},
        MessageCase{"-v -wgs84", true, "using datum 'World_Geodetic_System_1984' with ellipsoid 'WGS-84'\n"},
        MessageCase{"-v -epsg 32632", true, "using projection EPSG code 32632\n"},
        MessageCase{"-v -target_epsg 32601", true, "using target projection EPSG code 32601\n"},
        MessageCase{"-v -target_longlat", true, "using target projection 'longitude/latitude'\n"},
        MessageCase{"-v -ecef", true, "using projection 'earth-centered earth-fixed'\n"},
        MessageCase{
            "-v -lcc 609601.22 0 meter 33.75 -79 34.33333 36.16666", true,
            "using LCC projection 'false east/north: 609601/0 [m], origin lat/ meridian long: 33.75/-79, "
            "parallel 1st/2nd: 34.3333/36.1667'\n"},
        MessageCase{
            "-v -target_tm 500000 0 m 0 -93 0.99996", true,
            "using TM target projection 'false east/north: 500000/0 [m], origin lat/meridian long: 0/-93, "
            "scale: 0.99996'\n"},
        MessageCase{
            "-v -aeac 0 0 m 23 -96 29.5 45.5", true,
            "using AEAC projection 'false east/north: 0/0 [m], center lat/long: 23/-96, parallel 1st/2nd: "
            "29.5/45.5'\n"},
        MessageCase{"-v -sp83 CA_I", true,
                    "using state plane 'CA_I' (NAD83 LCC) 'NAD83 / California zone 1'\n"},
        MessageCase{"-v -target_sp27 AL_E", true,
                    "using target state plane 'AL_E' (NAD27 TM) 'NAD27 / Alabama East'\n"},
        MessageCase{"-v -vertical_epsg 5703", true, "using vertical EPSG code 5703\n"},
        MessageCase{"-v -vertical_navd88 -meter -elevation_feet -target_precision 1", true, ""},
        MessageCase{"-vertical_navd88_geoid77", true,
                    "WARNING: unknown specialization of NAVD88 '_geoid77'\n"}));

INSTANTIATE_TEST_SUITE_P(
    Errors, OptionMessages,
    testing::Values(
        MessageCase{
            "-utm 32", false,
            "ERROR: utm zone '32' is unknown. use '32north', '55south', '10n', '56s', '17U', or '49L'\n"},
        MessageCase{
            "-target_utm 61n", false,
            "ERROR: utm zone '61n' is unknown. use '32north', '55south', '10n', '56s', '17U', or '49L'\n"},
        MessageCase{
            "-utm 32A", false,
            "ERROR: utm zone '32A' is unknown. use '32north', '55south', '10n', '56s', '17U', or '49L'\n"},
        MessageCase{
            "-utm north", false,
            "ERROR: utm zone 'north' is unknown. use '32north', '55south', '10n', '56s', '17U', or '49L'\n"},
        MessageCase{"-nad83_foo", false, "ERROR: unknown datum '-nad83_foo'.\n"},
        MessageCase{"-epsg abc", false,
                    "ERROR: '-epsg' needs 1 argument: EPSG code but 'abc' is not a valid code\n"},
        MessageCase{"-target_epsg 40000", false,
                    "ERROR: '-target_epsg' needs 1 argument: EPSG code but 40000 is not a valid code\n"},
        MessageCase{"-vertical_epsg x5703", false,
                    "ERROR: '-vertical_epsg' needs 1 argument: EPSG code but 'x5703' is not a valid code\n"},
        MessageCase{"-epsg 99999999999", false,
                    "ERROR: '-epsg' needs 1 argument: EPSG code but 99999999999 is not a valid code\n"},
        MessageCase{"-epsg -5", false,
                    "ERROR: '-epsg' needs 1 argument: EPSG code but '-5' is not a valid code\n"},
        MessageCase{"-vertical_epsg 99999", false,
                    "ERROR: '-vertical_epsg' needs 1 argument: EPSG code but 99999 is not a valid code\n"},
        MessageCase{"-lcc 1 2 yards 3 4 5 6", false,
                    "ERROR: wrong options for '-lcc'. use like shown in these examples:\n"
                    "  -lcc 609601.22 0 meter 33.75 -79 34.33333 36.16666\n"
                    "  -lcc 1640416.666667 0 survey_feet 47.000000 -120.833333 47.5 48.733333\n"
                    "  -lcc 1500000 0 feet 47.000000 -120.833333 47.5 48.733333\n"},
        MessageCase{"-target_aeac 1 2 3 4 5 6 7", false,
                    "ERROR: wrong options for '-aeac'. use like shown in these examples:\n"
                    "  -target_aeac 609601.22 0 meter 33.75 -79 34.33333 36.16666\n"
                    "  -target_aeac 1640416.666667 0 survey_feet 47.000000 -120.833333 47.5 48.733333\n"
                    "  -target_aeac 1500000 0 feet 47.000000 -120.833333 47.5 48.733333\n"},
        MessageCase{"-transverse_mercator 1 2 Meter 3 4 5", false,
                    "ERROR: wrong options for '-transverse_mercator'. use like shown in these examples:\n"
                    "  -transverse_mercator 500000 0 meter 0 -93 0.99996\n"
                    "  -transverse_mercator 1500000 0 feet 47 -120.833333 0.99996\n"
                    "  -transverse_mercator 1640416.666667 0 survey_feet 47 -120.833333 0.99996\n"},
        MessageCase{"-lcc 1 2 m 3 north 5 6", false, "ERROR: '-lcc' needs a number, not 'north'\n"},
        MessageCase{"-tm 1 2 m 3 4 nan", false, "ERROR: '-tm' needs a number, not 'nan'\n"},
        MessageCase{"-aeac 1e400 2 m 3 4 5 6", false, "ERROR: '-aeac' needs a number, not '1e400'\n"},
        MessageCase{"-target_precision fine", false,
                    "ERROR: '-target_precision' needs a number, not 'fine'\n"},
        MessageCase{"-target_precision -1", false,
                    "ERROR: '-target_precision' needs a non-negative number, not '-1'\n"},
        MessageCase{"-ellipsoid 5x", false, "ERROR: '-ellipsoid' needs a whole number, not '5x'\n"},
        MessageCase{"-epsg 32632abc", false,
                    "ERROR: '-epsg' needs 1 argument: EPSG code but '32632abc' is not a valid code\n"},
        MessageCase{"-epsg 0", false,
                    "ERROR: '-epsg' needs 1 argument: EPSG code but 0 is not a valid code\n"},
        MessageCase{
            "-utm 32Ufoo", false,
            "ERROR: utm zone '32Ufoo' is unknown. use '32north', '55south', '10n', '56s', '17U', or '49L'\n"},
        MessageCase{
            "-utm 0U", false,
            "ERROR: utm zone '0U' is unknown. use '32north', '55south', '10n', '56s', '17U', or '49L'\n"}));

// A fixed number of arguments that runs past the end of the line is reported, never read.
INSTANTIATE_TEST_SUITE_P(
    MissingArguments, OptionMessages,
    testing::Values(
        MessageCase{"-ellipsoid", false, "ERROR: '-ellipsoid' needs 1 argument: ellipsoid_id\n"},
        MessageCase{"-vertical_epsg", false, "ERROR: '-vertical_epsg' needs 1 argument: EPSG code\n"},
        MessageCase{"-epsg", false, "ERROR: '-epsg' needs 1 argument: EPSG code\n"},
        MessageCase{"-target_epsg", false, "ERROR: '-target_epsg' needs 1 argument: EPSG code\n"},
        MessageCase{"-utm", false, "ERROR: '-utm' needs 1 argument: zone\n"},
        MessageCase{"-target_utm", false, "ERROR: '-target_utm' needs 1 argument: zone\n"},
        MessageCase{"-sp83", false, "ERROR: '-sp83' needs 1 argument: state plane zone\n"},
        MessageCase{"-target_sp27", false, "ERROR: '-target_sp27' needs 1 argument: state plane zone\n"},
        MessageCase{
            "-lcc 1 2 m 3 4 5", false,
            "ERROR: '-lcc' needs 7 arguments: false_easting false_northing unit lat_origin central_meridian "
            "std_parallel_1 std_parallel_2\n"},
        MessageCase{"-target_tm 1 2 m 3 4", false,
                    "ERROR: '-target_tm' needs 6 arguments: false_easting false_northing unit lat_origin "
                    "central_meridian scale_factor\n"},
        MessageCase{
            "-aeac 1", false,
            "ERROR: '-aeac' needs 7 arguments: false_easting false_northing unit lat_center long_center "
            "std_parallel_1 std_parallel_2\n"},
        MessageCase{"-target_precision", false, "ERROR: '-target_precision' needs 1 argument: precision\n"},
        MessageCase{"-target_elevation_precision", false,
                    "ERROR: '-target_elevation_precision' needs 1 argument: precision\n"}));

TEST(GeoOptions, UnknownCodesNameTheOption) {
  struct CodeCase {
    const char* line;
    const char* last_line;
  };
  for (const CodeCase& c :
       {CodeCase{"-epsg 1", "ERROR: unknown EPSG code in '-epsg 1'.\n"},
        CodeCase{"-vertical_epsg 1", "ERROR: unknown vertical EPSG code in '-vertical_epsg 1'.\n"}}) {
    testing::internal::CaptureStderr();
    Parsed parsed(c.line);
    const std::string message = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(parsed.ok) << c.line;
    ASSERT_GE(message.size(), std::string(c.last_line).size()) << message;
    EXPECT_EQ(message.substr(message.size() - std::string(c.last_line).size()), c.last_line);
  }
}

TEST(GeoOptions, UnknownEllipsoidListsTheValidOnes) {
  testing::internal::CaptureStderr();
  Parsed parsed("-ellipsoid 25");
  const std::string message = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(parsed.ok);
  EXPECT_EQ(message.substr(0, message.find('\n') + 1),
            "ERROR: ellipsoid with id 25 is unknown. use one of those: \n");
  EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 25);
  EXPECT_NE(message.find("\n   1 - Airy (6.37756e+06 0.00667054)\n"), std::string::npos);
  EXPECT_NE(message.find("\n  24 - Indonesian National 1974 (6.37816e+06 0.00669461)\n"), std::string::npos);
  EXPECT_EQ(parsed.geo.get_ellipsoid().id, 23);
}

TEST(GeoOptions, UnknownStatePlaneListsTheZonesOfItsDatum) {
  testing::internal::CaptureStderr();
  Parsed parsed("-sp83 CA_VII");  // CA_VII exists only among the NAD27 Lambert zones
  const std::string message = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(parsed.ok);
  EXPECT_FALSE(parsed.geo.has_projection(GeoSide::source));
  EXPECT_EQ(message.substr(0, message.find('\n') + 1), "ERROR: bad state code in '-sp83 CA_VII'.\n");
  EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1 + 67 + 54);
  EXPECT_NE(
      message.find("\nCA_I - false east/north: 2e+06/500000 [m], origin lat/meridian long: 39.3333/-122, "
                   "parallel 1st/2nd: 40/41.6667\n"),
      std::string::npos);
  EXPECT_NE(message.find("\nAK_2 - false east/north: 500000/0 [m], origin lat/meridian long: 54/-142, "
                         "scale factor: 0.9999\n"),
            std::string::npos);
  EXPECT_EQ(message.find("CA_VII -"), std::string::npos);
}

TEST(GeoOptions, OptionsBeforeAnErrorKeepTheirEffect) {
  testing::internal::CaptureStderr();
  Parsed parsed("-nad27 -utm 14n -feet -utm 99n -meter");
  testing::internal::GetCapturedStderr();
  EXPECT_FALSE(parsed.ok);
  EXPECT_EQ(parsed.unparsed(), "-nad27 -utm 14n -feet ");
}

}  // namespace
