// Tiled surveys end to end: spatial indices written by cm_laxindex and used by the area options,
// buffered tiles, stored and piped input, and seamless contours across tile edges.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "run_tool.h"
#include "wkt_reader.h"

namespace {

void generate(const TempDir& dir, const std::string& name, std::vector<std::string> extra = {}) {
  std::vector<std::string> args = {"--surface", "sample", "--points", "200000",
                                   "--size",    "300",    "--out",    name};
  args.insert(args.end(), extra.begin(), extra.end());
  const ToolRun gen = run_tool(CM_LASGEN_BIN, args, dir.path());
  ASSERT_EQ(gen.exit_code, 0) << gen.err;
}

ToolRun contours(const TempDir& dir, std::vector<std::string> args) {
  args.insert(args.end(), {"-owkt", "-stdout", "-iso_every", "1"});
  return run_tool(CM_CONTOURMILL_BIN, args, dir.path());
}

TEST(SpatialIndex, AreaQueriesWithALaxFileGiveTheSameContours) {
  TempDir dir("tiles_lax");
  generate(dir, "t.las");
  const std::vector<std::vector<std::string>> areas = {{"-inside", "500050", "4000100", "500200", "4000170"},
                                                       {"-inside_tile", "500100", "4000100", "100"},
                                                       {"-inside_circle", "500150", "4000150", "60"}};
  std::vector<std::string> without;
  for (const auto& area : areas) {
    std::vector<std::string> args = {"-i", "t.las"};
    args.insert(args.end(), area.begin(), area.end());
    const ToolRun run = contours(dir, args);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    without.push_back(run.out);
  }
  const ToolRun index = run_tool(CM_LAXINDEX_BIN, {"t.las"}, dir.path());
  ASSERT_EQ(index.exit_code, 0) << index.err;
  ASSERT_TRUE(std::filesystem::exists(dir / "t.lax"));
  for (size_t a = 0; a < areas.size(); a++) {
    std::vector<std::string> args = {"-i", "t.las"};
    args.insert(args.end(), areas[a].begin(), areas[a].end());
    const ToolRun run = contours(dir, args);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_FALSE(run.out.empty());
    EXPECT_EQ(run.out, without[a]) << areas[a][0];
  }
  // A damaged index is reported and ignored.
  std::filesystem::resize_file(dir / "t.lax", 70);
  std::vector<std::string> args = {"-i", "t.las"};
  args.insert(args.end(), areas[0].begin(), areas[0].end());
  const ToolRun damaged = contours(dir, args);
  ASSERT_EQ(damaged.exit_code, 0) << damaged.err;
  EXPECT_NE(damaged.err.find("ERROR (LASspatialIndex): cannot read 't.lax'"), std::string::npos)
      << damaged.err;
  EXPECT_EQ(damaged.out, without[0]);
}

}  // namespace
