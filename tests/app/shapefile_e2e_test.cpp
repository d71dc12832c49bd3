// The default Shapefile output, read back with GDAL's ogrinfo, must hold exactly the contours
// the WKT and text writers produce for the same input.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "run_tool.h"
#include "wkt_reader.h"

namespace {

struct OgrLayer {
  std::string geometry;
  long feature_count = -1;
  double extent[4] = {0, 0, 0, 0};
  std::vector<double> z_attribute;
  std::vector<std::vector<double>> xyz;  // per feature: x, y, z triples
};

bool parse_ogrinfo(const std::string& text, OgrLayer& layer) {
  std::istringstream in(text);
  std::string row;
  while (std::getline(in, row)) {
    if (row.rfind("Geometry: ", 0) == 0)
      layer.geometry = row.substr(10);
    else if (row.rfind("Feature Count: ", 0) == 0)
      layer.feature_count = std::stol(row.substr(15));
    else if (row.rfind("Extent: ", 0) == 0) {
      if (std::sscanf(row.c_str(), "Extent: (%lf, %lf) - (%lf, %lf)", &layer.extent[0], &layer.extent[1],
                      &layer.extent[2], &layer.extent[3]) != 4)
        return false;
    } else if (row.rfind("  z (Real) = ", 0) == 0) {
      layer.z_attribute.push_back(std::stod(row.substr(13)));
    } else if (row.rfind("  LINESTRING Z (", 0) == 0) {
      std::vector<double> v;
      const char* p = row.c_str() + 16;
      while (*p && *p != ')') {
        char* e;
        v.push_back(std::strtod(p, &e));
        if (e == p) return false;
        p = e;
        while (*p == ' ' || *p == ',') p++;
      }
      layer.xyz.push_back(std::move(v));
    }
  }
  return true;
}

TEST(Shapefile, GdalReadsTheSameContoursAsTheWktWriterWrites) {
  TempDir dir("shp_gdal");
  if (std::system("command -v ogrinfo > /dev/null 2>&1") != 0) GTEST_SKIP() << "ogrinfo is not installed";
  const ToolRun gen =
      run_tool(CM_LASGEN_BIN, {"--surface", "sample", "--points", "10000", "--size", "100", "--out", "t.las"},
               dir.path());
  ASSERT_EQ(gen.exit_code, 0) << gen.err;
  for (const char* format : {"-owkt", "-otxt"}) {
    const ToolRun run = run_tool(CM_CONTOURMILL_BIN, {"-i", "t.las", format, "-iso_every", "2"}, dir.path());
    ASSERT_EQ(run.exit_code, 0) << run.err;
  }
  const ToolRun shp = run_tool(CM_CONTOURMILL_BIN, {"-i", "t.las", "-odbf", "-iso_every", "2"}, dir.path());
  ASSERT_EQ(shp.exit_code, 0) << shp.err;
  for (const char* ext : {".shp", ".shx", ".dbf"})
    EXPECT_TRUE(std::filesystem::exists(dir / (std::string("t") + ext)));

  const ToolRun info = run_tool("ogrinfo", {"-ro", "-al", "t.shp"}, dir.path());
  ASSERT_EQ(info.exit_code, 0) << info.err;
  EXPECT_EQ(info.err, "") << "GDAL warned about the Shapefile";
  OgrLayer layer;
  ASSERT_TRUE(parse_ogrinfo(info.out, layer));

  std::vector<WktLine> lines;
  ASSERT_TRUE(parse_wkt_lines(read_file(dir / "t.wkt"), lines));
  EXPECT_EQ(layer.geometry, "3D Line String");
  ASSERT_EQ(layer.feature_count, static_cast<long>(lines.size()));
  ASSERT_EQ(layer.xyz.size(), lines.size());
  ASSERT_EQ(layer.z_attribute.size(), lines.size());

  // The text output carries each line's elevation: one "x,y,z" row per vertex, "#" after a line.
  std::vector<double> txt_z;
  std::istringstream txt(read_file(dir / "t.txt"));
  std::string row, last;
  while (std::getline(txt, row)) {
    if (row == "#") txt_z.push_back(std::stod(last.substr(last.rfind(',') + 1)));
    last = row;
  }
  ASSERT_EQ(txt_z.size(), lines.size());

  double box[4] = {1e300, 1e300, -1e300, -1e300};
  for (size_t f = 0; f < lines.size(); f++) {
    const auto& v = layer.xyz[f];
    ASSERT_EQ(v.size(), 3 * lines[f].x.size()) << "feature " << f;
    for (size_t i = 0; i < lines[f].x.size(); i++) {
      EXPECT_NEAR(v[3 * i], lines[f].x[i], 1e-6);
      EXPECT_NEAR(v[3 * i + 1], lines[f].y[i], 1e-6);
      EXPECT_EQ(v[3 * i + 2], txt_z[f]);
      box[0] = std::min(box[0], lines[f].x[i]), box[1] = std::min(box[1], lines[f].y[i]);
      box[2] = std::max(box[2], lines[f].x[i]), box[3] = std::max(box[3], lines[f].y[i]);
    }
    EXPECT_NEAR(layer.z_attribute[f], txt_z[f], 5e-4);
  }
  for (int k = 0; k < 4; k++) EXPECT_NEAR(layer.extent[k], box[k], 1e-5);
}

}  // namespace
