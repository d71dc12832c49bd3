// OGC WKT: reading the coordinate-system text of point files, and writing .prj text checked byte
// for byte and, as an independent reader, through GDAL's gdalsrsinfo.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "geo/geoprojectionconverter.h"
#include "tables_fixture.h"

namespace {

constexpr const char* kGeogcsNad83 =
    "GEOGCS[\"NAD83\",DATUM[\"North_American_Datum_1983\",SPHEROID[\"GRS 1980\",6378137,298.257222101],"
    "AUTHORITY[\"EPSG\",\"6269\"]],PRIMEM[\"Greenwich\",0],UNIT[\"degree\",0.0174532925199433],"
    "AUTHORITY[\"EPSG\",\"4269\"]],";

struct ReadCase {
  const char* name;
  std::string wkt;
  bool result;
  int type;  // -1: no source projection
  double easting, northing, lat, lon;
  int geokey;
  double coordinate_factor;
};

const ReadCase kReads[] = {
    {"authority code wins over the parameters",
     std::string("PROJCS[\"NAD83 / UTM zone 10N\",") + kGeogcsNad83 +
         "PROJECTION[\"Transverse_Mercator\"],PARAMETER[\"latitude_of_origin\",7],PARAMETER[\"central_"
         "meridian\",7],"
         "PARAMETER[\"scale_factor\",7],PARAMETER[\"false_easting\",7],PARAMETER[\"false_northing\",7],"
         "UNIT[\"metre\",1],AUTHORITY[\"EPSG\",\"26910\"]]",
     true, GEO_PROJECTION_UTM, 0, 0, 0, 0, 26910, 1.0},
    {"lambert in US survey feet",
     std::string("PROJCS[\"NAD83 / Nebraska (ftUS)\",") + kGeogcsNad83 +
         "PROJECTION[\"Lambert_Conformal_Conic_2SP\"],PARAMETER[\"standard_parallel_1\",43],"
         "PARAMETER[\"standard_parallel_2\",40],PARAMETER[\"latitude_of_origin\",39.8333333333333],"
         "PARAMETER[\"central_meridian\",-100],PARAMETER[\"false_easting\",1640416.667],"
         "PARAMETER[\"false_northing\",0],UNIT[\"US survey foot\",0.3048006096012192]]",
     true, GEO_PROJECTION_LCC, 500000, 0, 39.8333333333333, -100, 0, 0.3048006096012},
    {"transverse mercator with capitalised names",
     std::string("PROJCS[\"TM\",") + kGeogcsNad83 +
         "PROJECTION[\"Transverse_Mercator\"],PARAMETER[\"False_Easting\",400000],PARAMETER[\"False_"
         "Northing\","
         "-100000],PARAMETER[\"Central_Meridian\",-2],PARAMETER[\"Scale_Factor\",0.9996012717],"
         "PARAMETER[\"Latitude_Of_Origin\",49],UNIT[\"Meter\",1]]",
     true, GEO_PROJECTION_TM, 400000, -100000, 49, -2, 0, 1.0},
    {"albers in feet",
     std::string("PROJCS[\"Albers\",") + kGeogcsNad83 +
         "PROJECTION[\"Albers_Conic_Equal_Area\"],PARAMETER[\"standard_parallel_1\",29.5],"
         "PARAMETER[\"standard_parallel_2\",45.5],PARAMETER[\"latitude_of_center\",23],"
         "PARAMETER[\"longitude_of_center\",-96],PARAMETER[\"false_easting\",1000],PARAMETER[\"false_"
         "northing\",2000],"
         "UNIT[\"foot\",0.3048]]",
     true, GEO_PROJECTION_AEAC, 304.8, 609.6, 23, -96, 0, 0.3048},
    {"unsupported projection",
     std::string("PROJCS[\"Merc\",") + kGeogcsNad83 +
         "PROJECTION[\"Cassini_Soldner\"],PARAMETER[\"central_meridian\",0],PARAMETER[\"scale_factor\",1],"
         "PARAMETER[\"false_easting\",0],PARAMETER[\"false_northing\",0],UNIT[\"metre\",1]]",
     false, -1, 0, 0, 0, 0, 0, 1.0},
    {"missing parameter",
     std::string("PROJCS[\"TM\",") + kGeogcsNad83 +
         "PROJECTION[\"Transverse_Mercator\"],PARAMETER[\"latitude_of_origin\",0],PARAMETER[\"central_"
         "meridian\",9],"
         "PARAMETER[\"false_easting\",500000],PARAMETER[\"false_northing\",0],UNIT[\"metre\",1]]",
     false, -1, 0, 0, 0, 0, 0, 1.0},
    {"parameter without a value",
     std::string("PROJCS[\"TM\",") + kGeogcsNad83 +
         "PROJECTION[\"Transverse_Mercator\"],PARAMETER[\"latitude_of_origin\"],PARAMETER[\"central_"
         "meridian\",9],"
         "PARAMETER[\"scale_factor\",1],PARAMETER[\"false_easting\",500000],PARAMETER[\"false_northing\",0]]",
     false, -1, 0, 0, 0, 0, 0, 1.0},
    {"lambert with one parallel and a scale",
     std::string("PROJCS[\"NAD27 / Cuba Norte\",") + kGeogcsNad83 +
         "PROJECTION[\"Lambert_Conformal_Conic_1SP\"],PARAMETER[\"latitude_of_origin\",22.35],"
         "PARAMETER[\"central_meridian\",-81],PARAMETER[\"scale_factor\",0.99993602],"
         "PARAMETER[\"false_easting\",500000],PARAMETER[\"false_northing\",280296.016],UNIT[\"metre\",1]]",
     true, GEO_PROJECTION_LCC_1SP, 500000, 280296.016, 22.35, -81, 0, 1.0},
    {"lambert azimuthal equal area",
     std::string("PROJCS[\"LAEA\",") + kGeogcsNad83 +
         "PROJECTION[\"Lambert_Azimuthal_Equal_Area\"],PARAMETER[\"latitude_of_center\",52],"
         "PARAMETER[\"longitude_of_center\",10],PARAMETER[\"false_easting\",4321000],"
         "PARAMETER[\"false_northing\",3210000],UNIT[\"metre\",1]]",
     true, GEO_PROJECTION_LAEA, 4321000, 3210000, 52, 10, 0, 1.0},
    {"polar stereographic with a pole: variant A",
     std::string("PROJCS[\"UPS North\",") + kGeogcsNad83 +
         "PROJECTION[\"Polar_Stereographic\"],PARAMETER[\"latitude_of_origin\",90],"
         "PARAMETER[\"central_meridian\",0],PARAMETER[\"scale_factor\",0.994],"
         "PARAMETER[\"false_easting\",2000000],PARAMETER[\"false_northing\",2000000],UNIT[\"metre\",1]]",
     true, GEO_PROJECTION_POLAR_STEREO_A, 2000000, 2000000, 90, 0, 0, 1.0},
    {"polar stereographic with a parallel: variant B",
     std::string("PROJCS[\"Antarctic\",") + kGeogcsNad83 +
         "PROJECTION[\"Polar_Stereographic\"],PARAMETER[\"latitude_of_origin\",-71],"
         "PARAMETER[\"central_meridian\",0],PARAMETER[\"false_easting\",0],"
         "PARAMETER[\"false_northing\",0],UNIT[\"metre\",1]]",
     true, GEO_PROJECTION_POLAR_STEREO_B, 0, 0, 0, 0, 0, 1.0},
    // Parameters that describe no projection are refused rather than turned into garbage.
    {"parallel of 180 degrees",
     std::string("PROJCS[\"LCC\",") + kGeogcsNad83 +
         "PROJECTION[\"Lambert_Conformal_Conic_2SP\"],PARAMETER[\"standard_parallel_1\",43],"
         "PARAMETER[\"standard_parallel_2\",180],PARAMETER[\"latitude_of_origin\",39],"
         "PARAMETER[\"central_meridian\",-100],PARAMETER[\"false_easting\",0],PARAMETER[\"false_northing\",0]"
         "]",
     false, -1, 0, 0, 0, 0, 0, 1.0},
    {"latitude of origin 95",
     std::string("PROJCS[\"TM\",") + kGeogcsNad83 +
         "PROJECTION[\"Transverse_Mercator\"],PARAMETER[\"latitude_of_origin\",95],PARAMETER[\"central_"
         "meridian\",9],PARAMETER[\"scale_factor\",1],PARAMETER[\"false_easting\",0],"
         "PARAMETER[\"false_northing\",0]]",
     false, -1, 0, 0, 0, 0, 0, 1.0},
    {"opposite lambert parallels",
     std::string("PROJCS[\"LCC\",") + kGeogcsNad83 +
         "PROJECTION[\"Lambert_Conformal_Conic_2SP\"],PARAMETER[\"standard_parallel_1\",30],"
         "PARAMETER[\"standard_parallel_2\",-30],PARAMETER[\"latitude_of_origin\",0],"
         "PARAMETER[\"central_meridian\",0],PARAMETER[\"false_easting\",0],PARAMETER[\"false_northing\",0]]",
     false, -1, 0, 0, 0, 0, 0, 1.0},
    {"geographic only", std::string(kGeogcsNad83), false, -1, 0, 0, 0, 0, 0, 1.0},
    {"empty", "", false, -1, 0, 0, 0, 0, 0, 1.0},
};

void PrintTo(const ReadCase& c, std::ostream* os) {
  *os << c.name;
}

class WktReading : public testing::TestWithParam<ReadCase> {};

TEST_P(WktReading, SetsTheSourceProjection) {
  const ReadCase& c = GetParam();
  GeoProgramFolder tables(true);
  GeoProjectionConverter converter;
  converter.set_program_path(tables.program().c_str());
  EXPECT_EQ(converter.set_projection_from_ogc_wkt(c.wkt), c.result);
  const GeoProjectionParameters* p = converter.get_projection(GeoSide::source);
  ASSERT_EQ(p ? static_cast<int>(p->type) : -1, c.type);
  EXPECT_EQ(converter.get_coordinate_factor(GeoSide::source), c.coordinate_factor);
  if (!p) return;
  EXPECT_EQ(p->geokey, c.geokey);
  if (c.type == GEO_PROJECTION_UTM) return;
  EXPECT_NEAR(p->false_easting_meter, c.easting, 0.001);
  EXPECT_NEAR(p->false_northing_meter, c.northing, 0.001);
  EXPECT_DOUBLE_EQ(p->lat_origin_degree, c.lat);
  EXPECT_DOUBLE_EQ(p->long_meridian_degree, c.lon);
}

INSTANTIATE_TEST_SUITE_P(Wkt, WktReading, testing::ValuesIn(kReads),
                         [](const auto& test) { return case_name(test.param.name); });

TEST(WktReadingVertical, DatumCodeAndElevationUnit) {
  GeoProjectionConverter converter;
  const std::string vertical =
      "VERT_CS[\"NAVD88 height (ftUS)\",VERT_DATUM[\"North American Vertical Datum 1988\",2005,"
      "AUTHORITY[\"EPSG\",\"5103\"]],UNIT[\"US survey foot\",0.304800609601219],AXIS[\"Up\",UP],"
      "AUTHORITY[\"EPSG\",\"6360\"]]";
  // Without a PROJCS the call fails, but the vertical datum and unit are taken.
  EXPECT_FALSE(converter.set_projection_from_ogc_wkt(vertical));
  EXPECT_EQ(converter.get_vertical_code(), 5103);
  EXPECT_EQ(converter.get_elevation_factor(GeoSide::source), 0.3048006096012);

  // A datum without authority clears the code; a unit other than meter and survey foot is feet.
  EXPECT_FALSE(converter.set_projection_from_ogc_wkt(
      "COMPD_CS[\"x\",VERT_CS[\"h\",VERT_DATUM[\"d\",2005],UNIT[\"foot\",0.3048]]]"));
  EXPECT_EQ(converter.get_vertical_code(), 0);
  EXPECT_EQ(converter.get_elevation_factor(GeoSide::source), 0.3048);
  EXPECT_FALSE(
      converter.set_projection_from_ogc_wkt("VERT_CS[\"h\",VERT_DATUM[\"d\",2005],UNIT[\"m\",1.0]]"));
  EXPECT_EQ(converter.get_elevation_factor(GeoSide::source), 1.0);
}

// Every prefix of a real text, and the text with its brackets and quotes broken, must read without
// touching memory outside it.
TEST(WktReadingHostile, TruncatedAndBrokenTexts) {
  const std::string full =
      kReads[1].wkt +
      "VERT_CS[\"NAVD88\",VERT_DATUM[\"North American Vertical Datum 1988\",2005,AUTHORITY["
      "\"EPSG\",\"5103\"]],UNIT[\"US survey foot\",0.3048006096012192]]";
  GeoProjectionConverter converter;
  for (size_t length = 0; length <= full.size(); length++) {
    // A heap copy of exactly this length lets the sanitizer see any read past the end.
    auto copy = std::make_unique<char[]>(length);
    std::copy(full.begin(), full.begin() + length, copy.get());
    converter.set_projection_from_ogc_wkt(std::string_view(copy.get(), length));
  }
  std::string broken = full;
  for (char& ch : broken) {
    if (ch == ']' || ch == '"') ch = '[';
  }
  EXPECT_FALSE(converter.set_projection_from_ogc_wkt(broken));
  EXPECT_TRUE(converter.set_projection_from_ogc_wkt(full));
}

struct WriteCase {
  const char* name;
  int epsg;
  GeoSide side;
  const char* expected;
};

const WriteCase kWrites[] = {
    {"utm 32 north", 32632, GeoSide::source,
     "PROJCS[\"WGS 84 / UTM 32N\",GEOGCS[\"GCS_WGS_1984\",DATUM[\"D_WGS_1984\",SPHEROID[\"WGS "
     "84\",6378137,298."
     "257223563]],PRIMEM[\"Greenwich\",0],UNIT[\"Degree\",0.017453292519943295]],PROJECTION[\"Transverse_"
     "Mercator\"],"
     "PARAMETER[\"latitude_of_origin\",0],PARAMETER[\"central_meridian\",9],PARAMETER[\"scale_factor\",0."
     "9996],"
     "PARAMETER[\"false_easting\",500000],PARAMETER[\"false_northing\",0],UNIT[\"Meter\",1]]"},
    {"nad27 south target", 32755, GeoSide::target,
     "PROJCS[\"WGS 84 / UTM 55S\",GEOGCS[\"GCS_WGS_1984\",DATUM[\"D_WGS_1984\",SPHEROID[\"WGS "
     "84\",6378137,298."
     "257223563]],PRIMEM[\"Greenwich\",0],UNIT[\"Degree\",0.017453292519943295]],PROJECTION[\"Transverse_"
     "Mercator\"],"
     "PARAMETER[\"latitude_of_origin\",0],PARAMETER[\"central_meridian\",147],PARAMETER[\"scale_factor\",0."
     "9996],"
     "PARAMETER[\"false_easting\",500000],PARAMETER[\"false_northing\",10000000],UNIT[\"Meter\",1]]"},
    // The datum by the name .prj readers know (ESRI's), so GDAL reads the same CRS.
    {"nad27 clarke spheroid", 26710, GeoSide::source,
     "PROJCS[\"NAD27 / UTM 10N\",GEOGCS[\"NAD27\",DATUM[\"D_North_American_1927\",SPHEROID[\"Clarke "
     "1866\","
     "6378206.4,294.9786982139006]],PRIMEM[\"Greenwich\",0],UNIT[\"Degree\",0.017453292519943295]],"
     "PROJECTION["
     "\"Transverse_Mercator\"],PARAMETER[\"latitude_of_origin\",0],PARAMETER[\"central_meridian\",-123],"
     "PARAMETER["
     "\"scale_factor\",0.9996],PARAMETER[\"false_easting\",500000],PARAMETER[\"false_northing\",0],UNIT["
     "\"Meter\","
     "1]]"},
    {"longitude latitude", 4326, GeoSide::source,
     "GEOGCS[\"GCS_WGS_1984\",DATUM[\"D_WGS_1984\",SPHEROID[\"WGS "
     "84\",6378137,298.257223563]],PRIMEM[\"Greenwich\","
     "0],UNIT[\"Degree\",0.017453292519943295],AXIS[\"Longitude\",EAST],AXIS[\"Latitude\",NORTH]]"},
    {"earth centered", 4978, GeoSide::source,
     "GEOCCS[\"WGS 84\",DATUM[\"World Geodetic System 1984\",SPHEROID[\"WGS "
     "84\",6378137.0,298.257223563,AUTHORITY["
     "\"EPSG\",\"7030\"]],AUTHORITY[\"EPSG\",\"6326\"]],PRIMEM[\"Greenwich\",0.0,AUTHORITY[\"EPSG\",\"8901\"]"
     "],UNIT["
     "\"m\",1.0],AXIS[\"Geocentric X\",OTHER],AXIS[\"Geocentric Y\",EAST],AXIS[\"Geocentric "
     "Z\",NORTH],AUTHORITY["
     "\"EPSG\",\"4978\"]]"},
    // A height system makes a compound system of both, so readers see one CRS.
    {"harn lambert in feet with navd88", 2994, GeoSide::source,
     "COMPD_CS[\"NAD83(HARN) / Oregon GIC Lambert (ft) + NAVD88\",PROJCS[\"NAD83(HARN) / Oregon GIC Lambert "
     "(ft)\",GEOGCS[\"NAD83(HARN)\",DATUM[\"D_North_American_1983_HARN\","
     "SPHEROID[\"GRS "
     "1980\",6378137,298.257222101]],PRIMEM[\"Greenwich\",0],UNIT[\"Degree\",0.017453292519943295]],"
     "PROJECTION[\"Lambert_Conformal_Conic_2SP\"],PARAMETER[\"standard_parallel_1\",43],PARAMETER["
     "\"standard_parallel_2\",45.5],PARAMETER[\"latitude_of_origin\",41.75],PARAMETER[\"central_meridian\",-"
     "120.5],"
     "PARAMETER[\"false_easting\",1312335.958],PARAMETER[\"false_northing\",0],UNIT[\"foot\",0.3048]],"
     "VERT_CS[\"NAVD88\",VERT_DATUM[\"North American Vertical Datum "
     "1988\",2005,AUTHORITY[\"EPSG\",\"5103\"]],UNIT["
     "\"foot\",0.3048],AXIS[\"Gravity-related height\",UP],AUTHORITY[\"EPSG\",\"6360\"]]]"},
};

void PrintTo(const WriteCase& c, std::ostream* os) {
  *os << c.name;
}

class WktWriting : public testing::TestWithParam<WriteCase> {};

TEST_P(WktWriting, ByteExactTemplates) {
  const WriteCase& c = GetParam();
  GeoProgramFolder tables(true);
  GeoProjectionConverter converter;
  converter.set_program_path(tables.program().c_str());
  ASSERT_TRUE(converter.set_epsg_code(c.epsg, nullptr, c.side));
  if (c.epsg == 2994) {
    ASSERT_TRUE(converter.set_VerticalCSTypeGeoKey(5103));
    converter.set_elevation_in_feet(GeoSide::source);
  }
  std::string wkt;
  ASSERT_TRUE(converter.get_ogc_wkt(wkt, c.side));
  EXPECT_EQ(wkt, c.expected);
  EXPECT_FALSE(converter.get_ogc_wkt(wkt, other_side(c.side)));
  EXPECT_EQ(wkt, "");
}

INSTANTIATE_TEST_SUITE_P(Wkt, WktWriting, testing::ValuesIn(kWrites),
                         [](const auto& test) { return case_name(test.param.name); });

TEST(WktWritingEdges, NoProjectionAndTheNameFromPcs) {
  GeoProgramFolder tables(true);
  GeoProjectionConverter converter;
  converter.set_program_path(tables.program().c_str());
  std::string wkt;
  EXPECT_FALSE(converter.get_ogc_wkt(wkt));
  converter.set_no_projection(GeoSide::source);
  EXPECT_FALSE(converter.get_ogc_wkt(wkt));

  // A projection set without a description takes the name of its EPSG code.
  ASSERT_TRUE(converter.set_epsg_code(32104));
  converter.set_tm(0, 0, 0, 9, 1, GeoSide::source, "");
  std::string plain;
  ASSERT_TRUE(converter.get_ogc_wkt(plain));
  EXPECT_EQ(plain.rfind("PROJCS[\"unnamed\",", 0), 0u) << plain;

  // A datum whose spheroid has no template still gets a complete SPHEROID from the ellipsoid.
  ASSERT_TRUE(converter.set_epsg_code(28404));  // Pulkovo 1942: Krassowsky is not in the templates
  ASSERT_TRUE(converter.get_ogc_wkt(wkt));
  EXPECT_NE(
      wkt.find("GEOGCS[\"Pulkovo 1942\",DATUM[\"D_Pulkovo_1942\",SPHEROID[\"Krassovsky\",6378245,298.3]],"),
      std::string::npos)
      << wkt;
}

// ---- GDAL as an independent reader of the written text ----

struct GdalCase {
  int epsg;
  const char* expected;  // the PROJ terms of the EPSG definition
  const char* absent;    // a term that must not be there, or ""
  double relative;       // tolerance of the numbers, relative to their size
};

const GdalCase kGdal[] = {
    {32632, "+proj=utm +zone=32 +datum=WGS84 +units=m", "", 1e-9},
    {2204,
     "+proj=lcc +lat_0=34.6666666666667 +lon_0=-86 +lat_1=35.25 +lat_2=36.4166666666667 "
     "+x_0=609601.219202438 "
     "+y_0=30480.0609601219 +datum=NAD27 +units=us-ft",
     "", 1e-9},
    {3005, "+proj=aea +lat_0=45 +lon_0=-126 +lat_1=50 +lat_2=58.5 +x_0=1000000 +y_0=0 +datum=NAD83 +units=m",
     "", 1e-9},
    {3078,
     "+proj=omerc +no_uoff +lat_0=45.3091666666667 +lonc=-86 +alpha=337.25556 +gamma=337.25556 +k=0.9996 "
     "+x_0=2546731.496 +y_0=-4354009.816 +datum=NAD83 +units=m",
     "", 1e-9},
    // Hotine variant B: GDAL, like PROJ's own definitions, takes the east-west Swiss and Hungarian
    // grids as Swiss oblique Mercator; false easting and northing stay those of the centre.
    {2056,
     "+proj=somerc +lat_0=46.9524055555556 +lon_0=7.43958333333333 +k_0=1 +x_0=2600000 +y_0=1200000 "
     "+ellps=bessel +units=m",
     "", 1e-9},
    {21781,
     "+proj=somerc +lat_0=46.9524055555556 +lon_0=7.43958333333333 +k_0=1 +x_0=600000 +y_0=200000 "
     "+ellps=bessel +units=m",
     "", 1e-9},
    {23700,
     "+proj=somerc +lat_0=47.1443937222222 +lon_0=19.0485717777778 +k_0=0.99993 +x_0=650000 +y_0=200000 "
     "+ellps=GRS67 +units=m",
     "", 1e-9},
    // A grid turned by other than the azimuth. pcs.csv gives its angles to 0.0001 arc seconds, the
    // sexagesimal unit reads them to 0.001 (1.4e-7 degrees at most), and Timbalai's Everest 1967
    // ellipsoid is written as the converter's Everest 1830.
    {29873,
     "+proj=omerc +lat_0=4 +lonc=115 +alpha=53.3158204722222 +gamma=53.1301023611111 +k=0.99984 "
     "+x_0=590476.87 +y_0=442857.65 +units=m",
     "no_uoff", 3e-9},
    {28992,
     "+proj=sterea +lat_0=52.1561605555556 +lon_0=5.38763888888889 +k=0.9999079 +x_0=155000 +y_0=463000 "
     "+ellps=bessel +units=m",
     "", 1e-9},
    {27700, "+proj=tmerc +lat_0=49 +lon_0=-2 +k=0.9996012717 +x_0=400000 +y_0=-100000 +ellps=airy +units=m",
     "", 1e-9},
    {4326, "+proj=longlat +datum=WGS84", "", 1e-9},
    {4978, "+proj=geocent +datum=WGS84 +units=m", "", 1e-9},
};

TEST(WktWritingGdal, GdalReadsTheSameCoordinateSystem) {
  if (!has_gdalsrsinfo()) GTEST_SKIP() << "gdalsrsinfo is not installed";
  GeoProgramFolder tables(true);
  for (const GdalCase& c : kGdal) {
    SCOPED_TRACE(c.epsg);
    GeoProjectionConverter converter;
    converter.set_program_path(tables.program().c_str());
    ASSERT_TRUE(converter.set_epsg_code(c.epsg));
    std::string wkt;
    ASSERT_TRUE(converter.get_ogc_wkt(wkt));
    SCOPED_TRACE(wkt);
    tables.write("out.prj", wkt);
    const std::map<std::string, std::string> got =
        proj4_terms(gdalsrsinfo("proj4", tables.folder() + "/out.prj"));
    expect_proj4_terms(got, c.expected, c.relative);
    if (*c.absent) {
      EXPECT_EQ(got.count(c.absent), 0u);
    }
  }
}

// ---- the geographic CRS of a WKT text ----

std::string projcs_with(const std::string& geogcs) {
  return "PROJCS[\"TM\"," + geogcs +
         ",PROJECTION[\"Transverse_Mercator\"],PARAMETER[\"latitude_of_origin\",0],"
         "PARAMETER[\"central_meridian\",9],PARAMETER[\"scale_factor\",0.9996],PARAMETER[\"false_easting\","
         "500000],PARAMETER[\"false_northing\",0],UNIT[\"metre\",1]]";
}

// A GEOGCS with the given datum authority (none for "") and the given tail inside GEOGCS.
std::string geogcs_with(const std::string& datum_authority, const std::string& tail = "",
                        const std::string& datum_name = "some datum") {
  std::string text = "GEOGCS[\"some\",DATUM[\"" + datum_name +
                     "\",SPHEROID[\"GRS 1980\",6378137,298.257222101,"
                     "AUTHORITY[\"EPSG\",\"7019\"]]";
  if (!datum_authority.empty()) text += ",AUTHORITY[" + datum_authority + "]";
  return text + "],PRIMEM[\"Greenwich\",0,AUTHORITY[\"EPSG\",\"8901\"]],UNIT[\"degree\",0.0174532925199433]" +
         tail + "]";
}

struct DatumCase {
  const char* name;
  std::string wkt;
  bool with_tables;
  int gcs;        // the geographic CRS afterwards
  int ellipsoid;  // the converter's ellipsoid id afterwards
};

const DatumCase kDatums[] = {
    {"geogcs authority", projcs_with(geogcs_with("", ",AUTHORITY[\"EPSG\",\"4269\"]")), true, 4269, 11},
    {"geogcs authority from gcs file", projcs_with(geogcs_with("", ",AUTHORITY[\"EPSG\",\"4289\"]")), true,
     4289, 3},
    {"datum in the built in table", projcs_with(geogcs_with("\"EPSG\",\"6152\"")), false, 4152, 11},
    {"datum in the gcs file", projcs_with(geogcs_with("\"EPSG\",\"6289\"")), true, 4289, 3},
    {"unknown geogcs code falls back to the datum",
     projcs_with(geogcs_with("\"EPSG\",\"6269\"", ",AUTHORITY[\"EPSG\",\"99\"]")), true, 4269, 11},
    // What the converter cannot take leaves WGS 84, without a word.
    {"datum nobody knows", projcs_with(geogcs_with("\"EPSG\",\"6999\"")), true, 4326, 23},
    {"datum of an unsupported ellipsoid", projcs_with(geogcs_with("\"EPSG\",\"1025\"")), true, 4326, 23},
    {"datum only in a missing gcs file", projcs_with(geogcs_with("\"EPSG\",\"6289\"")), false, 4326, 23},
    {"other authority", projcs_with(geogcs_with("\"ESRI\",\"6152\"")), true, 4326, 23},
    // The spheroid's and the prime meridian's authorities name no datum.
    {"no datum authority", projcs_with(geogcs_with("")), true, 4326, 23},
    // A datum named by text alone is recognised by its name or an alias, in any spelling.
    {"datum by its ESRI name", projcs_with(geogcs_with("", "", "D_ETRS_1989")), true, 4258, 11},
    {"datum by its EPSG name", projcs_with(geogcs_with("", "", "North_American_Datum_1927")), true, 4267, 5},
    {"datum by an alias in capitals",
     projcs_with(geogcs_with("", "", "D_NAD83_NATIONAL_SPATIAL_REFERENCE_SYSTEM_2011")), true, 6318, 11},
    {"datum name without the tables", projcs_with(geogcs_with("", "", "D_ETRS_1989")), false, 4326, 23},
};

void PrintTo(const DatumCase& c, std::ostream* os) {
  *os << c.name;
}

class WktReadingDatum : public testing::TestWithParam<DatumCase> {};

TEST_P(WktReadingDatum, TakesTheGeographicCrsItCanSet) {
  const DatumCase& c = GetParam();
  GeoProgramFolder folder(c.with_tables);
  GeoProjectionConverter converter;
  converter.set_program_path(folder.program().c_str());
  const std::string errors = stderr_of([&] { EXPECT_TRUE(converter.set_projection_from_ogc_wkt(c.wkt)); });
  EXPECT_EQ(errors, "");
  EXPECT_EQ(converter.get_gcs_code(), c.gcs);
  EXPECT_EQ(converter.get_ellipsoid().id, c.ellipsoid);
  const GeoProjectionParameters* p = converter.get_projection(GeoSide::source);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->gcs, c.gcs);
  // The projection's constants follow the new ellipsoid: the origin comes back as itself.
  double origin[3] = {500000, 0, 0};
  ASSERT_TRUE(converter.to_lon_lat(origin));
  EXPECT_NEAR(origin[0], 9, 1e-9);
  EXPECT_NEAR(origin[1], 0, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(Wkt, WktReadingDatum, testing::ValuesIn(kDatums),
                         [](const auto& test) { return case_name(test.param.name); });

TEST(WktReadingDatumEdges, FailedReadsKeepTheGeographicCrs) {
  GeoProgramFolder tables(true);
  GeoProjectionConverter converter;
  converter.set_program_path(tables.program().c_str());
  const std::string harn = geogcs_with("\"EPSG\",\"6152\"");
  // An unsupported projection or a missing parameter takes nothing.
  EXPECT_FALSE(converter.set_projection_from_ogc_wkt(
      "PROJCS[\"Merc\"," + harn +
      ",PROJECTION[\"Cassini_Soldner\"],PARAMETER[\"central_meridian\",0],PARAMETER[\"scale_factor\",1],"
      "PARAMETER[\"false_easting\",0],PARAMETER[\"false_northing\",0],UNIT[\"metre\",1]]"));
  EXPECT_EQ(converter.get_gcs_code(), 4326);
  // A GEOGCS on its own is no projected system; nor is a GEOGCS outside the PROJCS its datum.
  EXPECT_FALSE(converter.set_projection_from_ogc_wkt(harn));
  EXPECT_EQ(converter.get_gcs_code(), 4326);
  // A PROJCS authority still decides everything, its geographic CRS included.
  EXPECT_TRUE(converter.set_projection_from_ogc_wkt("PROJCS[\"x\"," + harn +
                                                    ",PROJECTION[\"Transverse_Mercator\"],AUTHORITY[\"EPSG\","
                                                    "\"32632\"]]"));
  EXPECT_EQ(converter.get_gcs_code(), 4326);
  EXPECT_EQ(converter.get_projection()->geokey, 32632);
}

}  // namespace

namespace {

// What the writer writes, the reader reads back as the same projection, for every family the
// reader knows by its PROJECTION name.
TEST(WktRoundTrip, WrittenProjectionsReadBack) {
  struct Case {
    GeoProjectionType type;
    std::vector<double> values;
  };
  const Case cases[] = {
      {GEO_PROJECTION_LCC, {700000, 6600000, 46.5, 3, 49, 44}},
      {GEO_PROJECTION_TM, {500000, 0, 0, 9, 0.9996}},
      {GEO_PROJECTION_AEAC, {0, 0, 23, -96, 29.5, 45.5}},
      {GEO_PROJECTION_LCC_1SP, {600000, 2200000, 46.8, 2.337229167, 0.99987742}},
      {GEO_PROJECTION_MERCATOR_A, {3900000, 900000, 110, 0.997}},
      {GEO_PROJECTION_MERCATOR_B, {0, 0, 42, 51}},
      {GEO_PROJECTION_PSEUDO_MERCATOR, {0, 0, 0}},
      {GEO_PROJECTION_LAEA, {4321000, 3210000, 52, 10}},
      {GEO_PROJECTION_POLAR_STEREO_A, {2000000, 2000000, -90, 0, 0.994}},
      {GEO_PROJECTION_POLAR_STEREO_B, {0, 0, -71, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.type));
    GeoProjectionConverter writer;
    ASSERT_TRUE(writer.set_projection(c.type, c.values));
    std::string wkt;
    ASSERT_TRUE(writer.get_ogc_wkt(wkt));
    GeoProjectionConverter reader;
    ASSERT_TRUE(reader.set_projection_from_ogc_wkt(wkt)) << wkt;
    const GeoProjectionParameters* written = writer.get_projection();
    const GeoProjectionParameters* read = reader.get_projection();
    EXPECT_EQ(read->type, written->type) << wkt;
    EXPECT_EQ(read->false_easting_meter, written->false_easting_meter);
    EXPECT_EQ(read->false_northing_meter, written->false_northing_meter);
    EXPECT_EQ(read->lat_origin_degree, written->lat_origin_degree);
    EXPECT_EQ(read->long_meridian_degree, written->long_meridian_degree);
    EXPECT_EQ(read->first_std_parallel_degree, written->first_std_parallel_degree);
    EXPECT_EQ(read->scale_factor, written->scale_factor);
  }
}

}  // namespace
