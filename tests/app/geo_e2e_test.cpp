// End-to-end checks of georeferencing: projections taken from the command line and from point
// files, the .prj files beside Shapefiles as GDAL reads them, KML placed on the earth as PROJ
// converts the same vertices, and thresholds switched to feet.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "run_tool.h"
#include "shared_data.h"
#include "tools/las_writer.h"
#include "wkt_reader.h"

namespace {

const std::string kData = CM_SHARED_DATA_DIR;

std::string make_tile(const TempDir& dir, const std::string& name = "tile.las") {
  const ToolRun gen =
      run_tool(CM_LASGEN_BIN,
               {"--surface", "sample", "--points", "5000", "--size", "200", "--out", (dir / name).string()},
               dir.path());
  EXPECT_EQ(gen.exit_code, 0) << gen.err;
  return (dir / name).string();
}

// The coordinates of every <coordinates> element of a KML document, one vector per LineString.
std::vector<std::vector<std::array<double, 3>>> kml_lines(const std::string& text) {
  std::vector<std::vector<std::array<double, 3>>> lines;
  size_t pos = 0;
  while ((pos = text.find("<coordinates>\n", pos)) != std::string::npos) {
    pos += 14;
    const size_t end = text.find("</coordinates>", pos);
    std::istringstream rows(text.substr(pos, end - pos));
    std::vector<std::array<double, 3>> line;
    std::string row;
    while (std::getline(rows, row)) {
      std::array<double, 3> p{};
      if (std::sscanf(row.c_str(), "%lf,%lf,%lf", &p[0], &p[1], &p[2]) == 3) line.push_back(p);
    }
    lines.push_back(line);
    pos = end;
  }
  return lines;
}

// PROJ's conversion of projected points to longitude/latitude.
std::vector<std::array<double, 2>> proj_to_lon_lat(const TempDir& dir, const std::vector<std::string>& crs,
                                                   const std::vector<std::array<double, 2>>& points) {
  {
    std::ofstream in(dir / "proj.in");
    in.precision(17);
    for (const auto& p : points) in << p[0] << ' ' << p[1] << '\n';
  }
  std::vector<std::string> args = {"-f", "%.12f"};
  args.insert(args.end(), crs.begin(), crs.end());
  args.insert(args.end(), {"+to", "+proj=longlat", "+datum=WGS84"});
  const ToolRun run = run_tool("cs2cs", args, dir.path(), (dir / "proj.in").string());
  EXPECT_EQ(run.exit_code, 0) << "cs2cs (Debian package proj-bin) is needed: " << run.err;
  std::vector<std::array<double, 2>> out;
  std::istringstream rows(run.out);
  std::string row;
  while (std::getline(rows, row)) {
    std::array<double, 2> q{};
    if (std::sscanf(row.c_str(), "%lf %lf", &q[0], &q[1]) == 2) out.push_back(q);
  }
  return out;
}

TEST(Kml, VerticesAreWherePROJPutsTheProjectedContours) {
  CM_SKIP_WITHOUT_SHARED_DATA();
  TempDir dir("geo_kml");
  const std::string las = kData + "/hexbin-crop.las";  // UTM zone 42 north in its GeoKeys
  ASSERT_EQ(run_tool(CM_CONTOURMILL_BIN, {"-i", las, "-o", "hx.wkt"}, dir.path()).exit_code, 0);
  const ToolRun kml = run_tool(CM_CONTOURMILL_BIN, {"-i", las, "-o", "hx.kml"}, dir.path());
  ASSERT_EQ(kml.exit_code, 0) << kml.err;
  std::vector<WktLine> projected;
  ASSERT_TRUE(parse_wkt_lines(read_file(dir / "hx.wkt"), projected));
  const auto placed = kml_lines(read_file(dir / "hx.kml"));
  ASSERT_EQ(placed.size(), projected.size());
  ASSERT_GT(placed.size(), 10u);

  std::vector<std::array<double, 2>> points;
  for (const WktLine& line : projected) {
    for (size_t i = 0; i < line.x.size(); i++) points.push_back({line.x[i], line.y[i]});
  }
  const auto expected = proj_to_lon_lat(dir, {"+proj=utm", "+zone=42", "+datum=WGS84"}, points);
  ASSERT_EQ(expected.size(), points.size());
  double worst = 0;
  size_t k = 0;
  for (size_t l = 0; l < placed.size(); l++) {
    ASSERT_EQ(placed[l].size(), projected[l].x.size()) << "line " << l;
    for (const auto& p : placed[l]) {
      worst = std::max({worst, std::abs(p[0] - expected[k][0]), std::abs(p[1] - expected[k][1])});
      k++;
    }
  }
  EXPECT_LT(worst, 1e-7) << "degrees";
  std::printf("KML vertices vs PROJ: worst difference %.3g degrees over %zu vertices\n", worst, k);

  // GDAL sees one placemark whose multi-geometry holds every contour.
  const ToolRun info = run_tool("ogrinfo", {"-al", "-ro", "hx.kml"}, dir.path());
  ASSERT_EQ(info.exit_code, 0) << "ogrinfo (Debian package gdal-bin) is needed: " << info.err;
  EXPECT_NE(info.out.find("Feature Count: 1\n"), std::string::npos) << info.out;
  const size_t geometry = info.out.find("MULTILINESTRING");
  ASSERT_NE(geometry, std::string::npos) << info.out;
  size_t strings = 1;
  for (size_t at = geometry; (at = info.out.find("),(", at)) != std::string::npos; at += 3) strings++;
  EXPECT_EQ(strings, placed.size());
}

// Points stored in degrees: without any georeferencing the bounds tell which axis is which.
TEST(Kml, GeographicCoordinatesAreGuessedFromTheBounds) {
  TempDir dir("geo_guess");
  for (const bool swapped : {false, true}) {
    las_test::Options o;
    o.scale[0] = o.scale[1] = 1e-7;
    o.offset[0] = swapped ? 40 : -100;
    o.offset[1] = swapped ? -100 : 40;
    std::vector<las_test::Point> points;
    for (int i = 0; i <= 20; i++) {
      for (int j = 0; j <= 20; j++) {
        const double lon = -100 + 0.0005 * i, lat = 40 + 0.0005 * j;
        const double z = 100 - 5000 * std::hypot(lon + 99.995, lat - 40.005);
        points.push_back(swapped ? las_test::Point{lat, lon, z} : las_test::Point{lon, lat, z});
      }
    }
    las_test::write_file((dir / "deg.las").string(), las_test::build(o, points));
    const ToolRun run =
        run_tool(CM_CONTOURMILL_BIN, {"-i", "deg.las", "-okml", "-iso_every", "5"}, dir.path());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.err.find(swapped ? "WARNING: assuming latitude/longitude projection for georeferencing\n"
                                   : "WARNING: assuming longitude/latitude projection for georeferencing\n"),
              std::string::npos)
        << run.err;
    const auto lines = kml_lines(read_file(dir / "deg.kml"));
    ASSERT_FALSE(lines.empty());
    for (const auto& line : lines) {
      for (const auto& p : line) {
        // Longitude first whichever way the file stored them; each contour circles the peak.
        EXPECT_NEAR(std::hypot(p[0] + 99.995, p[1] - 40.005), (100 - p[2]) / 5000, 2e-4);
      }
    }
  }
}

TEST(Kml, ProjectionFromOneFileIsNotUsedForTheNext) {
  CM_SKIP_WITHOUT_SHARED_DATA();
  TempDir dir("geo_forget");
  make_tile(dir);
  const ToolRun run = run_tool(
      CM_CONTOURMILL_BIN,
      {"-i", kData + "/hexbin-crop.las", "tile.las", "-okml", "-odir", dir.path().string()}, dir.path());
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("ERROR: cannot parse or guess georeferencing from LAS header for KML output\n"),
            std::string::npos)
      << run.err;
  EXPECT_TRUE(std::filesystem::exists(dir / "hexbin-crop.kml"));
}

struct PrjCase {
  std::string name;
  std::vector<std::string> args;  // besides -i and -o
  bool own_tile;                  // the generated tile instead of a real file
  std::string expected;           // what `gdalsrsinfo -o proj4` must print
};

TEST(Prj, GdalReadsTheCoordinateSystemItWasGiven) {
  const std::vector<PrjCase> cases = {
      {"utm option", {"-utm", "14S"}, true, "+proj=utm +zone=14 +datum=WGS84 +units=m +no_defs"},
      {"epsg option", {"-epsg", "32733"}, true, "+proj=utm +zone=33 +south +datum=WGS84 +units=m +no_defs"},
      {"state plane",
       {"-sp83", "CA_I"},
       true,
       "+proj=lcc +lat_0=39.3333333333333 +lon_0=-122 +lat_1=41.6666666666667 +lat_2=40 +x_0=2000000 "
       "+y_0=500000 +datum=NAD83 +units=m +no_defs"},
      {"GeoKeys of a UTM file",
       {kData + "/hexbin-crop.las"},
       false,
       "+proj=utm +zone=42 +datum=WGS84 +units=m +no_defs"},
      {"WKT of a Lambert file in feet",
       {kData + "/autzen-trim.las"},
       false,
       "+proj=lcc +lat_0=41.75 +lon_0=-120.5 +lat_1=43 +lat_2=45.5 +x_0=400000 +y_0=0"},
  };
  for (const PrjCase& c : cases) {
    SCOPED_TRACE(c.name);
    // The real files' cases need the shared data folder; the generated tile's run without it.
    if (!c.own_tile && !std::filesystem::exists(c.args[0])) continue;
    TempDir dir("geo_prj");
    std::vector<std::string> args = {"-i"};
    if (c.own_tile) {
      args.push_back(make_tile(dir));
      args.insert(args.end(), c.args.begin(), c.args.end());
    } else {
      args.push_back(c.args[0]);
    }
    args.insert(args.end(), {"-o", "out.shp"});
    const ToolRun run = run_tool(CM_CONTOURMILL_BIN, args, dir.path());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    const ToolRun info = run_tool("gdalsrsinfo", {"-o", "proj4", "out.prj"}, dir.path());
    ASSERT_EQ(info.exit_code, 0) << "gdalsrsinfo (Debian package gdal-bin) is needed: " << info.err;
    EXPECT_NE(info.out.find(c.expected), std::string::npos) << info.out;
  }
  // Without any georeferencing there is nothing to describe, and no .prj is written.
  TempDir dir("geo_noprj");
  ASSERT_EQ(run_tool(CM_CONTOURMILL_BIN, {"-i", make_tile(dir), "-o", "out.shp"}, dir.path()).exit_code, 0);
  EXPECT_FALSE(std::filesystem::exists(dir / "out.prj"));
}

TEST(Feet, ThresholdsFollowTheUnitOfTheFileOrTheCommandLine) {
  CM_SKIP_WITHOUT_SHARED_DATA();
  TempDir dir("geo_feet");
  const std::string autzen = kData + "/autzen-trim.las";  // Lambert conformal conic in feet
  ToolRun run =
      run_tool(CM_CONTOURMILL_BIN, {"-i", autzen, "-owkt", "-odir", dir.path().string(), "-v"}, dir.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.err.find("switching kill from 500 meters to 1640 feet\n"
                         "switching concavity from 50 meters to 164 feet\n"),
            std::string::npos)
      << run.err;
  // The squares grow by 10.764: sqrt(50^2 * 10.764) = 164.043
  EXPECT_NE(run.err.find("growing concave hull with concavity 164.043 took "), std::string::npos);
  EXPECT_NE(run.err.find("killing triangles with edges longer than 1640.43 units"), std::string::npos);

  // Units stated on the command line hold for every file, without the switching messages.
  make_tile(dir);
  run = run_tool(CM_CONTOURMILL_BIN, {"-i", "tile.las", "-owkt", "-feet", "-v"}, dir.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.err.find("switching"), std::string::npos);
  EXPECT_NE(run.err.find("growing concave hull with concavity 164.043 took "), std::string::npos) << run.err;
  run = run_tool(CM_CONTOURMILL_BIN, {"-i", "tile.las", "-owkt", "-v"}, dir.path());
  EXPECT_NE(run.err.find("growing concave hull with concavity 50 took "), std::string::npos) << run.err;

  // A unit on the command line also overrides the file's own: its .prj then speaks of meters.
  run = run_tool(CM_CONTOURMILL_BIN, {"-i", autzen, "-o", "meters.shp", "-meter", "-v"}, dir.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.err.find("growing concave hull with concavity 50 took "), std::string::npos) << run.err;
  EXPECT_NE(read_file(dir / "meters.prj").find("UNIT[\"Meter\",1]"), std::string::npos);
  run = run_tool(CM_CONTOURMILL_BIN, {"-i", autzen, "-o", "feet.shp"}, dir.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(read_file(dir / "feet.prj").find("UNIT[\"foot\",0.3048]"), std::string::npos);
}

TEST(Options, BadProjectionOptionsStopTheRun) {
  TempDir dir("geo_bad");
  const std::string tile = make_tile(dir);
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"-utm", "32"}, "ERROR: utm zone '32' is unknown."},
      {{"-epsg", "99999"}, "ERROR: '-epsg' needs 1 argument: EPSG code but 99999 is not a valid code\n"},
      {{"-sp83", "CA_VII"}, "ERROR: bad state code in '-sp83 CA_VII'.\n"},
      {{"-nad83_foo"}, "ERROR: unknown datum '-nad83_foo'.\n"},
  };
  for (const auto& [options, message] : cases) {
    std::vector<std::string> args = {"-i", tile, "-owkt"};
    args.insert(args.end(), options.begin(), options.end());
    const ToolRun run = run_tool(CM_CONTOURMILL_BIN, args, dir.path());
    EXPECT_EQ(run.exit_code, 1) << options[0];
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "tile.wkt")) << options[0];
  }
}

// A GeoKey directory that claims more keys than its record holds: the keys that are there count.
TEST(Files, GeoKeyDirectoryLongerThanItsRecordUsesTheKeysItHas) {
  TempDir dir("geo_keys_lie");
  std::vector<uint8_t> keys;
  for (const int word : {1, 1, 0, 500,  // directory: version 1.1.0, 500 keys claimed
                         1024, 0, 1, 1, 3072, 0, 1, 32614, 3076, 0, 1, 9001}) {
    keys.push_back(static_cast<uint8_t>(word & 0xff));
    keys.push_back(static_cast<uint8_t>(word >> 8));
  }
  las_test::Options o;
  o.vlrs.push_back({"LASF_Projection", 34735, keys});
  std::vector<las_test::Point> points;
  for (int i = 0; i < 30; i++) {
    for (int j = 0; j < 30; j++) points.push_back({500000.0 + 2 * i, 4000000.0 + 2 * j, 0.1 * (i + j)});
  }
  las_test::write_file((dir / "lying.las").string(), las_test::build(o, points));
  const ToolRun run = run_tool(CM_CONTOURMILL_BIN, {"-i", "lying.las", "-o", "lying.shp", "-v"}, dir.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const ToolRun info = run_tool("gdalsrsinfo", {"-o", "proj4", "lying.prj"}, dir.path());
  EXPECT_NE(info.out.find("+proj=utm +zone=14 +datum=WGS84"), std::string::npos) << info.out << info.err;
}

// The EPSG tables travel with the program; a copy without them says so instead of guessing.
TEST(Files, MissingParameterFilesAreReported) {
  TempDir dir("geo_no_tables");
  make_tile(dir);
  std::filesystem::copy_file(CM_CONTOURMILL_BIN, dir / "contourmill");
  const ToolRun run =
      run_tool((dir / "contourmill").string(), {"-i", "tile.las", "-epsg", "2994"}, dir.path());
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("ERROR: cannot open 'pcs.csv' file. maybe your Quorvane distribution\n"
                         "       has no pcs.csv in any of these folders:\n"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("ERROR: unknown EPSG code in '-epsg 2994'.\n"), std::string::npos);
  // The program beside its tables knows the code.
  EXPECT_EQ(run_tool(CM_CONTOURMILL_BIN, {"-i", "tile.las", "-epsg", "2994"}, dir.path()).exit_code, 0);
}

}  // namespace

namespace {

// A cone of points around (cx, cy) in some projected system, spacing `step` in its unit.
std::string write_cone(const TempDir& dir, const std::string& name, double cx, double cy, double step) {
  las_test::Options o;
  o.offset[0] = cx;
  o.offset[1] = cy;
  std::vector<las_test::Point> points;
  for (int i = -20; i <= 20; i++) {
    for (int j = -20; j <= 20; j++) {
      const double r = std::hypot(i, j);
      points.push_back({cx + i * step, cy + j * step, 100.0 - 2.0 * r});
    }
  }
  las_test::write_file((dir / name).string(), las_test::build(o, points));
  return name;
}

// cs2cs from an EPSG projected CRS (axes in the order given) to EPSG:4326, answered as
// longitude, latitude. PROJ picks the datum transformation it thinks best for the CRS's area.
std::vector<std::array<double, 2>> proj_to_wgs84(const TempDir& dir, int code, bool northing_first,
                                                 const std::vector<std::array<double, 2>>& points) {
  {
    std::ofstream in(dir / "proj.in");
    in.precision(17);
    for (const auto& p : points)
      in << (northing_first ? p[1] : p[0]) << ' ' << (northing_first ? p[0] : p[1]) << '\n';
  }
  const ToolRun run = run_tool("cs2cs", {"-f", "%.12f", "EPSG:" + std::to_string(code), "EPSG:4326"},
                               dir.path(), (dir / "proj.in").string());
  EXPECT_EQ(run.exit_code, 0) << "cs2cs (Debian package proj-bin) is needed: " << run.err;
  std::vector<std::array<double, 2>> out;
  std::istringstream rows(run.out);
  std::string row;
  while (std::getline(rows, row)) {
    double lat = 0, lon = 0;
    if (std::sscanf(row.c_str(), "%lf %lf", &lat, &lon) == 2) out.push_back({lon, lat});
  }
  return out;
}

struct DatumCase {
  const char* name;
  std::vector<std::string> options;
  int epsg;  // the same system for cs2cs
  bool northing_first;
  double cx, cy, step;
  const char* transformation;  // what -v names
};

// KML coordinates are WGS 84: the contours of a tile in a national grid land where PROJ puts
// them in WGS 84, within the 2 m the issue allows. Before the datum shift they stayed in the grid's
// datum, 50 to 165 m away.
TEST(Kml, IsInWgs84ThroughTheDatumsHelmertTransformation) {
  const DatumCase cases[] = {
      {"rd_new", {"-epsg", "28992"}, 28992, false, 155000, 463000, 25, "Amersfoort to WGS 84"},
      {"lv95", {"-epsg", "2056"}, 2056, false, 2600000, 1200000, 25, "CH1903+ to WGS 84 (1)"},
      {"british_national_grid", {"-epsg", "27700"}, 27700, false, 400000, 300000, 25, "OSGB36 to WGS 84 (6)"},
      {"nad27_california_1", {"-sp27", "CA_I"}, 26741, false, 1900000, 400000, 80, "NAD27 to WGS 84"},
  };
  for (const DatumCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir(std::string("geo_datum_") + c.name);
    const std::string las = write_cone(dir, "cone.las", c.cx, c.cy, c.step);
    std::vector<std::string> wkt_args = {"-i", las, "-o", "cone.wkt", "-iso_every", "10"};
    std::vector<std::string> kml_args = {"-i", las, "-o", "cone.kml", "-iso_every", "10", "-v"};
    wkt_args.insert(wkt_args.end(), c.options.begin(), c.options.end());
    kml_args.insert(kml_args.end(), c.options.begin(), c.options.end());
    ASSERT_EQ(run_tool(CM_CONTOURMILL_BIN, wkt_args, dir.path()).exit_code, 0);
    const ToolRun kml = run_tool(CM_CONTOURMILL_BIN, kml_args, dir.path());
    ASSERT_EQ(kml.exit_code, 0) << kml.err;
    EXPECT_NE(kml.err.find(std::string("' through '") + c.transformation), std::string::npos) << kml.err;
    EXPECT_NE(kml.err.find(" m)\n"), std::string::npos) << "the accuracy is named: " << kml.err;

    std::vector<WktLine> projected;
    ASSERT_TRUE(parse_wkt_lines(read_file(dir / "cone.wkt"), projected));
    const auto placed = kml_lines(read_file(dir / "cone.kml"));
    ASSERT_EQ(placed.size(), projected.size());
    ASSERT_GT(placed.size(), 3u);
    std::vector<std::array<double, 2>> points;
    for (const WktLine& line : projected) {
      for (size_t i = 0; i < line.x.size(); i++) points.push_back({line.x[i], line.y[i]});
    }
    const auto expected = proj_to_wgs84(dir, c.epsg, c.northing_first, points);
    ASSERT_EQ(expected.size(), points.size());
    double worst = 0;
    size_t k = 0;
    for (const auto& line : placed) {
      for (const auto& p : line) {
        const double north = (p[1] - expected[k][1]) * 111320.0;
        const double east = (p[0] - expected[k][0]) * 111320.0 * std::cos(p[1] * 3.141592653589793 / 180.0);
        worst = std::max(worst, std::hypot(north, east));
        k++;
      }
    }
    EXPECT_LT(worst, 2.0) << "meters from PROJ's WGS 84";
    std::printf("KML %s vs PROJ in WGS 84: worst %.3f m over %zu vertices\n", c.name, worst, k);
  }
}

// A datum without a known way to WGS 84 is named in a warning; the KML is still written.
TEST(Kml, UnknownDatumIsNamedInAWarning) {
  TempDir dir("geo_datum_unknown");
  const std::string las = write_cone(dir, "cone.las", 500000, 4500000, 25);
  const ToolRun run = run_tool(
      CM_CONTOURMILL_BIN, {"-i", las, "-o", "cone.kml", "-iso_every", "10", "-ellipsoid", "5", "-utm", "10n"},
      dir.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(
      run.err.find("WARNING: no transformation from datum 'unknown datum on ellipsoid Clarke 1866' to WGS 84 "
                   "is known. KML coordinates stay in that datum\n"),
      std::string::npos)
      << run.err;
  EXPECT_FALSE(kml_lines(read_file(dir / "cone.kml")).empty());
}

// When the points cannot be placed on the globe the run stops before the KML file is opened, so
// an existing output stays as it was.
TEST(Kml, UnplaceablePointsStopTheRunBeforeTheOutput) {
  TempDir dir("geo_kml_unplaceable");
  const std::string las = write_cone(dir, "cone.las", 500000, 4500000, 25);
  {
    std::ofstream old(dir / "cone.kml");
    old << "keep me";
  }
  const ToolRun run =
      run_tool(CM_CONTOURMILL_BIN, {"-i", las, "-o", "cone.kml", "-iso_every", "10"}, dir.path());
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("ERROR: cannot parse or guess georeferencing from LAS header for KML output\n"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(read_file(dir / "cone.kml"), "keep me");
}

std::vector<uint8_t> geo_key_payload(std::initializer_list<uint16_t> entries) {
  std::vector<uint8_t> bytes;
  const uint16_t count = static_cast<uint16_t>(entries.size() / 4);
  for (const uint16_t word : {uint16_t(1), uint16_t(1), uint16_t(0), count}) {
    bytes.push_back(static_cast<uint8_t>(word & 0xff));
    bytes.push_back(static_cast<uint8_t>(word >> 8));
  }
  for (const uint16_t word : entries) {
    bytes.push_back(static_cast<uint8_t>(word & 0xff));
    bytes.push_back(static_cast<uint8_t>(word >> 8));
  }
  return bytes;
}

std::string write_georeferenced(const TempDir& dir, const std::string& name, const std::vector<uint8_t>& keys,
                                const std::string& wkt) {
  las_test::Options o;
  if (!keys.empty()) o.vlrs.push_back({"LASF_Projection", 34735, keys});
  if (!wkt.empty()) o.vlrs.push_back({"LASF_Projection", 2112, std::vector<uint8_t>(wkt.begin(), wkt.end())});
  std::vector<las_test::Point> points;
  for (int i = 0; i < 30; i++) {
    for (int j = 0; j < 30; j++) points.push_back({500000.0 + 2 * i, 4000000.0 + 2 * j, 0.1 * (i + j)});
  }
  las_test::write_file((dir / name).string(), las_test::build(o, points));
  return name;
}

// A WKT that does not parse (here one whose parallel is 180 degrees) is set aside with a warning
// and the GeoKeys beside it place the points; before, the fall-back happened without a word.
TEST(Files, UnusableWktFallsBackToTheGeoKeysWithAWarning) {
  TempDir dir("geo_wkt_fallback");
  const std::string bad_wkt =
      "PROJCS[\"bad\",GEOGCS[\"WGS 84\",DATUM[\"WGS_1984\",SPHEROID[\"WGS 84\",6378137,298.257223563]],"
      "PRIMEM[\"Greenwich\",0],UNIT[\"degree\",0.0174532925199433]],PROJECTION[\"Lambert_Conformal_Conic_"
      "2SP\"],"
      "PARAMETER[\"standard_parallel_1\",43],PARAMETER[\"standard_parallel_2\",180],"
      "PARAMETER[\"latitude_of_origin\",39],PARAMETER[\"central_meridian\",-100],"
      "PARAMETER[\"false_easting\",0],PARAMETER[\"false_northing\",0],UNIT[\"metre\",1]]";
  write_georeferenced(dir, "both.las", geo_key_payload({1024, 0, 1, 1, 3072, 0, 1, 32614}), bad_wkt);
  const ToolRun run = run_tool(CM_CONTOURMILL_BIN, {"-i", "both.las", "-o", "both.shp"}, dir.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.err.find("WARNING: cannot use the OGC WKT of 'both.las'. using its GeoKeys instead\n"),
            std::string::npos)
      << run.err;
  const ToolRun info = run_tool("gdalsrsinfo", {"-o", "proj4", "both.prj"}, dir.path());
  EXPECT_NE(info.out.find("+proj=utm +zone=14 +datum=WGS84"), std::string::npos) << info.out << info.err;
}

// Georeferencing the program cannot use is never dropped without a word: a Shapefile run warns
// that it writes no .prj.
TEST(Files, UnusableGeoreferencingWarnsThatNoPrjIsWritten) {
  TempDir dir("geo_no_prj");
  // EPSG 2099, Qatar Grid, is a Cassini-Soldner projection.
  write_georeferenced(dir, "cassini.las", geo_key_payload({1024, 0, 1, 1, 3072, 0, 1, 2099}), "");
  const ToolRun run = run_tool(CM_CONTOURMILL_BIN, {"-i", "cassini.las", "-o", "cassini.shp"}, dir.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(
      run.err.find("WARNING: cannot use the georeferencing of 'cassini.las'. no .prj file is written\n"),
      std::string::npos)
      << run.err;
  EXPECT_TRUE(std::filesystem::exists(dir / "cassini.shp"));
  EXPECT_FALSE(std::filesystem::exists(dir / "cassini.prj"));
}

// GDAL, as the Shapefile reader it is, reads each .prj as the EPSG system it was written for: the
// datum by the name GDAL knows (6341 wrote D_North_American_1983_2011), the projections added since
// (3035, 3031, 3857), a compound system with a height. The check runs GDAL's own IsSame.
TEST(Prj, GdalTakesEachPrjForItsEpsgSystem) {
  TempDir dir("geo_prj_same");
  const std::string tile = make_tile(dir);
  const std::vector<std::pair<std::vector<std::string>, int>> cases = {
      {{"-epsg", "6341"}, 6341}, {{"-epsg", "2193"}, 2193},   {{"-epsg", "3035"}, 3035},
      {{"-epsg", "3031"}, 3031}, {{"-epsg", "3857"}, 3857},   {{"-epsg", "28992"}, 28992},
      {{"-epsg", "2056"}, 2056}, {{"-epsg", "27700"}, 27700}, {{"-sp27", "CA_I"}, 26741},
      {{"-epsg", "2081"}, 2081}, {{"-epsg", "3034"}, 3034},   {{"-epsg", "3006"}, 3006},
  };
  std::vector<std::string> checks = {CM_PRJ_IS_SAME_SCRIPT};
  for (const auto& [options, code] : cases) {
    const std::string name = "out" + std::to_string(code);
    std::vector<std::string> args = {"-i", tile, "-o", name + ".shp"};
    args.insert(args.end(), options.begin(), options.end());
    const ToolRun run = run_tool(CM_CONTOURMILL_BIN, args, dir.path());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    checks.push_back(name + ".prj=" + std::to_string(code));
  }
  const ToolRun gdal = run_tool("/usr/bin/python3", checks, dir.path());
  if (gdal.exit_code == 2) GTEST_SKIP() << "GDAL's Python bindings (Debian package python3-gdal) are needed";
  ASSERT_EQ(gdal.exit_code, 0) << gdal.out << gdal.err;
  std::istringstream lines(gdal.out);
  std::string line;
  int same = 0;
  while (std::getline(lines, line)) {
    EXPECT_NE(line.find(" same"), std::string::npos) << line;
    same += line.find(" same") != std::string::npos;
  }
  EXPECT_EQ(same, static_cast<int>(checks.size()) - 1) << gdal.out;

  // A height system makes one compound system of both; a VERT_CS after the PROJCS was ignored.
  ASSERT_EQ(run_tool(CM_CONTOURMILL_BIN, {"-i", tile, "-o", "h.shp", "-epsg", "6341", "-vertical_navd88"},
                     dir.path())
                .exit_code,
            0);
  const ToolRun compound = run_tool("gdalsrsinfo", {"-o", "wkt1", "h.prj"}, dir.path());
  ASSERT_EQ(compound.exit_code, 0) << compound.err;
  EXPECT_NE(compound.out.find("COMPD_CS[\"NAD83(2011) / UTM zone 12N + NAVD88\","), std::string::npos)
      << compound.out;
  EXPECT_NE(compound.out.find("VERT_DATUM[\"North American Vertical Datum 1988\""), std::string::npos)
      << compound.out;
}

}  // namespace
