// The map view's data: file boxes from headers, breaklines for the preview, point samples for VIEW.
// A file the preview cannot read is a warning, never a failure of the panel.
#include "gui/map_scene.h"

#include <gtest/gtest.h>

#include <fstream>

#include "app/run_tool.h"
#include "tools/las_writer.h"

namespace {

class MapScene : public ::testing::Test {
 protected:
  void write_tile(const std::string& name, double x0, double y0, int n) {
    std::vector<las_test::Point> points;
    for (int i = 0; i < n; i++) {
      for (int j = 0; j < n; j++) points.push_back({x0 + i, y0 + j, 100.0 + i});
    }
    ASSERT_TRUE(las_test::write_file((dir_ / name).string(), las_test::build({}, points)));
  }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  TempDir dir_{"gui_map"};
};

TEST_F(MapScene, BoxesComeFromTheHeadersOfEveryMatchingFile) {
  write_tile("a.las", 1000, 2000, 10);
  write_tile("b.las", 1009, 2000, 5);
  std::vector<std::string> warnings;
  const std::vector<MapBox> boxes = read_file_boxes({path("*.las"), path("missing.las")}, warnings);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_DOUBLE_EQ(boxes[0].min_x, 1000);
  EXPECT_DOUBLE_EQ(boxes[0].max_y, 2009);
  EXPECT_DOUBLE_EQ(boxes[1].max_x, 1013);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("missing.las"), std::string::npos) << warnings[0];
  EXPECT_EQ(warnings[0].rfind("WARNING: ", 0), 0u) << warnings[0];
}

TEST_F(MapScene, BreaklinesAreReadAsPolylinesAndBadFilesAreWarnings) {
  std::ofstream(path("lake.txt")) << "0 0 5\n10 0 5\n10 10 5\nEND\n20 20 1\n30 30 2\nEND\n";
  std::vector<std::string> warnings;
  const std::vector<MapPolyline> lines = read_breaklines(path("lake.txt"), "closed", warnings);
  EXPECT_TRUE(warnings.empty());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].points.size(), 3u);
  EXPECT_DOUBLE_EQ(lines[1].points[1].x, 30);

  // A name the readers do not know, a file that is not there, a Shapefile that is garbage.
  std::ofstream(path("broken.shp")) << "definitely not a shapefile";
  for (const std::string& name : {path("lake.dbf"), path("nothing.txt"), path("broken.shp")}) {
    SCOPED_TRACE(name);
    warnings.clear();
    EXPECT_TRUE(read_breaklines(name, "open", warnings).empty());
    ASSERT_FALSE(warnings.empty());
    for (const std::string& w : warnings) EXPECT_EQ(w.rfind("WARNING: ", 0), 0u) << w;
  }
  warnings.clear();
  read_breaklines(path("lake.dbf"), "open", warnings);
  EXPECT_EQ(warnings.at(0),
            "WARNING: open breakline file '" + path("lake.dbf") + "' has unknown extension ...");
}

TEST_F(MapScene, SampleIsSpreadOverEachFileWithinTheLimit) {
  write_tile("a.las", 0, 0, 100);  // 10,000 points, z 100 to 199 along x
  std::vector<std::string> warnings;
  const MapSample sample = read_point_sample({path("a.las")}, 1000, warnings);
  EXPECT_TRUE(warnings.empty());
  EXPECT_EQ(sample.xyz.size(), 3000u);
  // Spread, not the first thousand points: they reach the far end of the tile.
  EXPECT_GE(sample.max_z, 190.0);
  EXPECT_DOUBLE_EQ(sample.min_z, 100.0);
}

}  // namespace
