// Raster and Shapefile inputs written by GDAL, independently of this program: the ASC and BIL
// grids of one generated raster (gdal_translate) and point and multipoint Shapefiles (ogr2ogr)
// give the same contours as the same cell centres or points given as text.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "run_tool.h"

namespace {

bool have_gdal() {
  return std::system("gdal_translate --version > /dev/null 2>&1") == 0 &&
         std::system("ogr2ogr --version > /dev/null 2>&1") == 0;
}

ToolRun gdal(const TempDir& dir, const std::string& program, const std::vector<std::string>& args) {
  return run_tool(program, args, dir.path());
}

const std::vector<std::string> kQuantization = {"-rescale",  "0.01",   "0.01",    "0.01",
                                                "-reoffset", "600000", "5000000", "0"};

ToolRun contours(const TempDir& dir, std::vector<std::string> args) {
  args.insert(args.end(), kQuantization.begin(), kQuantization.end());
  args.insert(args.end(), {"-owkt", "-stdout", "-iso_every", "1"});
  return run_tool(CM_CONTOURMILL_BIN, args, dir.path());
}

// A 60 x 45 raster of a smooth hill, in quarter metres so every value is exact in a float, with a
// few cells of no data inside (its border holds data, so the grid and its points share bounds).
struct Raster {
  static constexpr int kCols = 60, kRows = 45;
  static constexpr double kCell = 2.0, kWest = 600100.0, kSouth = 5000200.0, kNoData = -9999.0;
  static double value(int col, int row) {  // row 0 is the northernmost
    if (col > 20 && col < 24 && row > 10 && row < 13) return kNoData;
    const double dx = col - 31.5, dy = row - 20.25;
    return std::round(4.0 * (30.0 - 0.01 * (dx * dx + 1.3 * dy * dy) + 0.5 * std::sin(0.3 * col))) / 4.0;
  }
  // An ASCII grid written by this test, the source GDAL converts.
  static std::string source() {
    std::ostringstream s;
    s << "ncols " << kCols << "\nnrows " << kRows << "\nxllcorner " << kWest << "\nyllcorner " << kSouth
      << "\ncellsize " << kCell << "\nNODATA_value " << kNoData << "\n";
    for (int r = 0; r < kRows; r++) {
      for (int c = 0; c < kCols; c++) s << value(c, r) << (c + 1 < kCols ? " " : "\n");
    }
    return s.str();
  }
  // The cell centres that hold data, as "x y z" text.
  static std::string centres() {
    std::string t;
    char line[96];
    for (int r = 0; r < kRows; r++) {
      for (int c = 0; c < kCols; c++) {
        if (value(c, r) == kNoData) continue;
        std::snprintf(line, sizeof line, "%.2f %.2f %.2f\n", kWest + (c + 0.5) * kCell,
                      kSouth + (kRows - 1 - r + 0.5) * kCell, value(c, r));
        t += line;
      }
    }
    return t;
  }
};

TEST(GdalFixtures, AscAndBilGridsGiveTheContoursOfTheirCellCentres) {
  if (!have_gdal()) GTEST_SKIP() << "gdal_translate and ogr2ogr (Debian gdal-bin) are not installed";
  TempDir dir("gdal_grids");
  std::ofstream(dir / "source.asc") << Raster::source();
  std::ofstream(dir / "centres.txt") << Raster::centres();
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"-q", "-of", "AAIGrid", "source.asc", "grid.asc"},
           {"-q", "-of", "EHdr", "-ot", "Float32", "source.asc", "grid.bil"},
           {"-q", "-of", "EHdr", "-ot", "Int16", "source.asc", "whole.bil"},
       }) {
    const ToolRun t = gdal(dir, "gdal_translate", args);
    ASSERT_EQ(t.exit_code, 0) << t.err;
  }
  const ToolRun text = contours(dir, {"-i", "centres.txt"});
  ASSERT_EQ(text.exit_code, 0) << text.err;
  ASSERT_GT(text.out.size(), 2000u);
  const ToolRun asc = contours(dir, {"-i", "grid.asc"});
  EXPECT_EQ(asc.exit_code, 0) << asc.err;
  EXPECT_TRUE(asc.out == text.out) << "the GDAL ASC grid gives other contours than its cell centres";
  const ToolRun bil = contours(dir, {"-i", "grid.bil"});
  EXPECT_EQ(bil.exit_code, 0) << bil.err;
  EXPECT_TRUE(bil.out == text.out) << "the GDAL BIL grid gives other contours than its cell centres";

  // A world file written from what GDAL reports of the grid places it as well as the header did.
  const ToolRun info = gdal(dir, "gdalinfo", {"grid.bil"});
  ASSERT_EQ(info.exit_code, 0) << info.err;
  double ox = 0, oy = 0, dx = 0, dy = 0;
  const size_t o = info.out.find("Origin = ("), p = info.out.find("Pixel Size = (");
  ASSERT_TRUE(o != std::string::npos && p != std::string::npos) << info.out;
  ASSERT_EQ(std::sscanf(info.out.c_str() + o, "Origin = (%lf,%lf)", &ox, &oy), 2);
  ASSERT_EQ(std::sscanf(info.out.c_str() + p, "Pixel Size = (%lf,%lf)", &dx, &dy), 2);
  char world[256];
  std::snprintf(world, sizeof world, "%.10f\n0\n0\n%.10f\n%.10f\n%.10f\n", dx, dy, ox + dx / 2, oy + dy / 2);
  std::ofstream(dir / "grid.blw") << world;
  std::string hdr = read_file(dir / "grid.hdr");
  for (const char* key : {"ULXMAP", "ULYMAP"}) hdr.replace(hdr.find(key), 6, "REMARK");
  std::ofstream(dir / "grid.hdr") << hdr;
  const ToolRun placed = contours(dir, {"-i", "grid.bil"});
  EXPECT_EQ(placed.exit_code, 0) << placed.err;
  EXPECT_TRUE(placed.out == text.out) << "the BIL grid placed by its world file gives other contours";

  // Whole-metre signed 16-bit cells (GDAL rounds the quarter metres to the nearest metre).
  std::string whole_centres;
  {
    std::istringstream in(Raster::centres());
    std::string line;
    char rounded[96];
    while (std::getline(in, line)) {
      double x, y, z;
      std::sscanf(line.c_str(), "%lf %lf %lf", &x, &y, &z);
      std::snprintf(rounded, sizeof rounded, "%.2f %.2f %d\n", x, y, static_cast<int>(std::floor(z + 0.5)));
      whole_centres += rounded;
    }
  }
  std::ofstream(dir / "whole.txt") << whole_centres;
  const ToolRun whole_text = contours(dir, {"-i", "whole.txt"});
  const ToolRun whole_bil = contours(dir, {"-i", "whole.bil"});
  EXPECT_EQ(whole_bil.exit_code, 0) << whole_bil.err;
  EXPECT_TRUE(whole_bil.out == whole_text.out) << "the Int16 BIL grid gives other contours than its centres";
}

TEST(GdalFixtures, PointAndMultipointShapefilesGiveTheContoursOfTheirPoints) {
  if (!have_gdal()) GTEST_SKIP() << "gdal_translate and ogr2ogr (Debian gdal-bin) are not installed";
  TempDir dir("gdal_points");
  const std::string text = Raster::centres();
  std::ofstream(dir / "points.txt") << text;
  std::ostringstream csv, wkt;
  csv << "x,y,z\n";
  wkt << "WKT,id\n";
  std::istringstream in(text);
  std::string line, group;
  int n = 0;
  while (std::getline(in, line)) {
    double x, y, z;
    std::sscanf(line.c_str(), "%lf %lf %lf", &x, &y, &z);
    char p[96];
    std::snprintf(p, sizeof p, "%.2f,%.2f,%.2f\n", x, y, z);
    csv << p;
    std::snprintf(p, sizeof p, "%s(%.2f %.2f %.2f)", group.empty() ? "" : ",", x, y, z);
    group += p;
    if (++n % 37 == 0) {
      wkt << "\"MULTIPOINT Z (" << group << ")\"," << n << "\n";
      group.clear();
    }
  }
  if (!group.empty()) wkt << "\"MULTIPOINT Z (" << group << ")\"," << n << "\n";
  std::ofstream(dir / "points.csv") << csv.str();
  std::ofstream(dir / "groups.csv") << wkt.str();
  const ToolRun point = gdal(dir, "ogr2ogr",
                             {"-f", "ESRI Shapefile", "point.shp", "points.csv", "-oo", "X_POSSIBLE_NAMES=x",
                              "-oo", "Y_POSSIBLE_NAMES=y", "-oo", "Z_POSSIBLE_NAMES=z"});
  ASSERT_EQ(point.exit_code, 0) << point.err;
  const ToolRun multi =
      gdal(dir, "ogr2ogr", {"-f", "ESRI Shapefile", "multi.shp", "groups.csv", "-nlt", "MULTIPOINTZ"});
  ASSERT_EQ(multi.exit_code, 0) << multi.err;

  const ToolRun reference = contours(dir, {"-i", "points.txt"});
  ASSERT_EQ(reference.exit_code, 0) << reference.err;
  for (const std::string name : {"point.shp", "multi.shp"}) {
    const ToolRun run = contours(dir, {"-i", name});
    EXPECT_EQ(run.exit_code, 0) << name << ": " << run.err;
    EXPECT_TRUE(run.out == reference.out) << name << " gives other contours than its points as text";
  }
}

}  // namespace
