// The georeferencing records of real point files, read through the LAS reader and interpreted the
// way the driver does: the WKT text first, the GeoKey directory when that sets no projection.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "geo/geoprojectionconverter.h"
#include "pointio/lasreaderlas.h"
#include "shared_data.h"
#include "tables_fixture.h"

namespace {

std::vector<GeoKeyEntry> geo_keys_of(const LASheader& header) {
  std::vector<GeoKeyEntry> keys;
  for (const LASvlrKeyEntry& entry : header.vlr_geo_key_entries()) {
    keys.push_back({entry.key_id, entry.tiff_tag_location, entry.count, entry.value_offset});
  }
  return keys;
}

struct FileCase {
  const char* file;
  bool from_wkt;  // the WKT text alone sets the projection
  GeoProjectionType type;
  const char* description;
  int geokey;
  double easting;  // meters
  double coordinate_factor;
  double elevation_factor;
  int vertical;
  int gcs;
};

constexpr double kSurveyFoot = 0.3048006096012;

const FileCase kFiles[] = {
    // An EPSG authority inside PROJCS: looked up in pcs.csv, the PROJECTION ignored.
    {"autzen-core.las", true, GEO_PROJECTION_LCC, "NAD83 / Oregon LCC (m)", 2991, 400000, 1.0, kSurveyFoot, 0,
     4269},
    {"evlr-1.4-fmt6.las", true, GEO_PROJECTION_TM, "NAD83(HARN) / New Mexico Central (ftUS)", 2903,
     1640416.667 * kSurveyFoot, kSurveyFoot, 1.0, 0, 4152},
    {"hexbin-crop.las", true, GEO_PROJECTION_UTM, "WGS 84 / UTM 42N", 32642, 0, 1.0, 1.0, 0, 4326},
    {"example-1.3-fmt3.las", true, GEO_PROJECTION_UTM, "GDA2020 / MGA 54S", 7854, 0, 1.0, 1.0, 0, 7844},
    // No PROJCS authority: the Lambert parameters, false easting in feet; the datum's authority
    // (6152) names NAD83(HARN).
    {"autzen-trim.las", true, GEO_PROJECTION_LCC, "Lambert Conformal Conic", 0, 400000, 0.3048, 1.0, 0, 4152},
    // A datum named without an authority ("D_NAD83_NATIONAL_SPATIAL_REFERENCE_SYSTEM_2011") is
    // recognised by its name; it was taken for WGS 84.
    {"wkt-and-geokeys-fmt6.las", true, GEO_PROJECTION_LCC, "Lambert Conformal Conic", 0, 500000, kSurveyFoot,
     1.0, 0, 6318},
    // Only GeoKeys.
    {"simple-1.4-fmt7.las", false, GEO_PROJECTION_LONG_LAT, "longitude/latitude", 0, 0, 1.0, 1.0, 0, 4326},
};

TEST(RealFiles, WktFirstThenGeoKeys) {
  CM_SKIP_WITHOUT_SHARED_DATA();
  GeoProgramFolder tables(true);
  for (const FileCase& c : kFiles) {
    SCOPED_TRACE(c.file);
    LASreaderLAS reader;
    ASSERT_TRUE(reader.open((std::string(CM_SHARED_DATA_DIR) + "/" + c.file).c_str()));
    const LASheader& header = reader.header;
    GeoProjectionConverter converter;
    converter.set_program_path(tables.program().c_str());
    const bool from_wkt = converter.set_projection_from_ogc_wkt(header.vlr_geo_ogc_wkt());
    EXPECT_EQ(from_wkt, c.from_wkt);
    if (!converter.has_projection(GeoSide::source) && header.vlr_geo_keys()) {
      converter.set_projection_from_geo_keys(geo_keys_of(header), header.vlr_geo_ascii_params(),
                                             header.vlr_geo_double_params());
    }
    const GeoProjectionParameters* p = converter.get_projection(GeoSide::source);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->type, c.type);
    EXPECT_EQ(p->description, c.description);
    EXPECT_EQ(p->geokey, c.geokey);
    if (c.type != GEO_PROJECTION_UTM && c.type != GEO_PROJECTION_LONG_LAT) {
      EXPECT_NEAR(p->false_easting_meter, c.easting, 0.001);
    }
    EXPECT_EQ(converter.get_coordinate_factor(GeoSide::source), c.coordinate_factor);
    EXPECT_EQ(converter.get_elevation_factor(GeoSide::source), c.elevation_factor);
    EXPECT_EQ(converter.get_vertical_code(), c.vertical);
    EXPECT_EQ(converter.get_gcs_code(), c.gcs);
    EXPECT_EQ(p->gcs, c.gcs);
  }
}

// The datum a file's WKT names reaches the written .prj: GDAL reads it back as the same projection
// on NAD83(HARN) (EPSG datum 6152), not on WGS 84.
TEST(RealFiles, WktDatumReachesThePrj) {
  CM_SKIP_WITHOUT_SHARED_DATA();
  GeoProgramFolder tables(true);
  LASreaderLAS reader;
  ASSERT_TRUE(reader.open((std::string(CM_SHARED_DATA_DIR) + "/autzen-trim.las").c_str()));
  GeoProjectionConverter converter;
  converter.set_program_path(tables.program().c_str());
  ASSERT_TRUE(converter.set_projection_from_ogc_wkt(reader.header.vlr_geo_ogc_wkt()));
  EXPECT_EQ(converter.get_gcs_code(), 4152);
  EXPECT_EQ(converter.get_ellipsoid().id, 11);
  std::string wkt;
  ASSERT_TRUE(converter.get_ogc_wkt(wkt));
  EXPECT_NE(wkt.find("GEOGCS[\"NAD83(HARN)\",DATUM[\"D_North_American_1983_HARN\""), std::string::npos)
      << wkt;
  if (!has_gdalsrsinfo()) GTEST_SKIP() << "gdalsrsinfo is not installed";
  tables.write("autzen.prj", wkt);
  const std::string prj = tables.folder() + "/autzen.prj";
  const std::map<std::string, std::string> got = proj4_terms(gdalsrsinfo("proj4", prj));
  // EPSG 2994, NAD83(HARN) / Oregon GIC Lambert (ft), is this system.
  expect_proj4_terms(
      got,
      "+proj=lcc +lat_0=41.75 +lon_0=-120.5 +lat_1=43 +lat_2=45.5 +x_0=400000 +y_0=0 +ellps=GRS80 "
      "+units=ft");
  EXPECT_EQ(got.count("datum"), 0u) << "read as another datum";
  const std::string wkt1 = gdalsrsinfo("wkt1", prj);
  const size_t datum = wkt1.find("DATUM[");
  ASSERT_NE(datum, std::string::npos) << wkt1;
  const size_t primem = wkt1.find("PRIMEM[", datum);
  EXPECT_NE(wkt1.substr(datum, primem - datum).find("AUTHORITY[\"EPSG\",\"6152\"]"), std::string::npos)
      << wkt1;
}

struct KeysCase {
  const char* file;
  bool result;
  int type;  // -1: none
  const char* described;
  double easting;
  double coordinate_factor;
  int gcs;
  int vertical;
  const char* errors;
};

// The GeoKey directories on their own, whatever the WKT says.
const KeysCase kKeys[] = {
    // Lambert from the false-origin keys, feet; datum 6152 (HARN) has no look-up.
    {"autzen-trim.las", true, GEO_PROJECTION_LCC, "generic lambert conformal conic", 400000, 0.3048, 4326, 0,
     "GeogGeodeticDatumGeoKey: look-up for 6152 not implemented\n"},
    // Transverse Mercator with its meridian only in NatOriginLong: no projection, though the
    // user-defined CRS key answers success.
    {"example-1.3-fmt3.las", true, -1, "user-defined", 0, 1.0, 4326, 0, ""},
    // A metric CRS code followed by a survey foot unit key: the later key sets the unit.
    {"wkt-and-geokeys-fmt6.las", true, GEO_PROJECTION_LCC, "NAD83 / Nebraska", 500000, kSurveyFoot, 6318, 0,
     ""},
    {"hexbin-crop.las", true, GEO_PROJECTION_UTM, "WGS 84 / UTM 42N", 0, 1.0, 4326, 0, ""},
    // A unit key that holds a CRS code, and the WGS 84 ellipsoid as vertical datum.
    {"simple-1.3-fmt4.las", false, -1, "", 0, 1.0, 4326, 5030,
     "set_ProjLinearUnitsGeoKey: look-up for 32632 not implemented\n"},
};

TEST(RealFiles, GeoKeyDirectories) {
  CM_SKIP_WITHOUT_SHARED_DATA();
  GeoProgramFolder tables(true);
  for (const KeysCase& c : kKeys) {
    SCOPED_TRACE(c.file);
    LASreaderLAS reader;
    ASSERT_TRUE(reader.open((std::string(CM_SHARED_DATA_DIR) + "/" + c.file).c_str()));
    const LASheader& header = reader.header;
    ASSERT_TRUE(header.vlr_geo_keys());
    GeoProjectionConverter converter;
    converter.set_program_path(tables.program().c_str());
    std::string described;
    const std::string errors = stderr_of([&] {
      EXPECT_EQ(converter.set_projection_from_geo_keys(geo_keys_of(header), header.vlr_geo_ascii_params(),
                                                       header.vlr_geo_double_params(), &described),
                c.result);
    });
    EXPECT_EQ(errors, c.errors);
    EXPECT_EQ(described, c.described);
    const GeoProjectionParameters* p = converter.get_projection(GeoSide::source);
    ASSERT_EQ(p ? static_cast<int>(p->type) : -1, c.type);
    if (p && p->type != GEO_PROJECTION_UTM) {
      EXPECT_NEAR(p->false_easting_meter, c.easting, 0.001);
    }
    EXPECT_EQ(converter.get_coordinate_factor(GeoSide::source), c.coordinate_factor);
    EXPECT_EQ(converter.get_gcs_code(), c.gcs);
    EXPECT_EQ(converter.get_vertical_code(), c.vertical);
  }
}

}  // namespace
