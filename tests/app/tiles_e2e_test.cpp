// Tiled surveys end to end: spatial indices written by cm_laxindex and used by the area options,
// buffered tiles, stored and piped input, and seamless contours across tile edges.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>

#include "../pointio/independent_las.h"
#include "pointio/lasreaderlas.h"
#include "pointio/laswriterlas.h"
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
  // The points each area delivers, passed on as LAS, and its contours.
  const auto points_inside = [&](const std::vector<std::string>& area) {
    std::vector<std::string> args = {"-i", "t.las", "-pipe_on", "-owkt", "-o", "piped.wkt"};
    args.insert(args.end(), area.begin(), area.end());
    const ToolRun run = run_tool(CM_CONTOURMILL_BIN, args, dir.path());
    EXPECT_EQ(run.exit_code, 0) << run.err;
    return independent_las::parse(std::vector<uint8_t>(run.out.begin(), run.out.end()));
  };
  std::vector<std::string> without;
  std::vector<independent_las::File> points_without;
  for (const auto& area : areas) {
    std::vector<std::string> args = {"-i", "t.las"};
    args.insert(args.end(), area.begin(), area.end());
    const ToolRun run = contours(dir, args);
    ASSERT_EQ(run.exit_code, 0) << run.err;
    without.push_back(run.out);
    points_without.push_back(points_inside(area));
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
    // The same points in the same order, though the index skipped most of the file.
    const independent_las::File with = points_inside(areas[a]);
    ASSERT_EQ(with.error, "") << areas[a][0];
    ASSERT_GT(with.records.size(), 1000u) << areas[a][0];
    ASSERT_EQ(with.records.size(), points_without[a].records.size()) << areas[a][0];
    for (size_t i = 0; i < with.records.size(); i++)
      ASSERT_EQ(with.records[i].bytes, points_without[a].records[i].bytes) << areas[a][0] << " " << i;
  }
  // Through a pipe the header cannot be corrected; the records are all there all the same.
  const std::string command = shell_quote(CM_CONTOURMILL_BIN) + " -i t.las -pipe_on -owkt -o piped.wkt " +
                              "-inside 500050 4000100 500200 4000170 | cat > piped.las";
  const ToolRun piped = run_tool("/bin/sh", {"-c", command}, dir.path());
  ASSERT_EQ(piped.exit_code, 0) << piped.err;
  const size_t kept = points_without[0].records.size();
  EXPECT_NE(piped.err.find("cannot update header from 200000 to " + std::to_string(kept) + " points"),
            std::string::npos)
      << piped.err;
  EXPECT_EQ(std::filesystem::file_size(dir / "piped.las"), 227 + 20 * kept);
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

TEST(SpatialIndex, MergedFilesUseTheirOwnIndices) {
  TempDir dir("tiles_lax_merged");
  generate(dir, "a.las", {"--clip", "500000", "4000000", "500150", "4000300"});
  generate(dir, "b.las", {"--clip", "500150", "4000000", "500300", "4000300"});
  const std::vector<std::string> args = {"-i",     "a.las",   "b.las",  "-merged", "-inside",
                                         "500100", "4000100", "500200", "4000200"};
  const ToolRun without = contours(dir, args);
  ASSERT_EQ(without.exit_code, 0) << without.err;
  const ToolRun index = run_tool(CM_LAXINDEX_BIN, {"a.las", "b.las"}, dir.path());
  ASSERT_EQ(index.exit_code, 0) << index.err;
  const ToolRun with = contours(dir, args);
  ASSERT_EQ(with.exit_code, 0) << with.err;
  EXPECT_FALSE(with.out.empty());
  EXPECT_EQ(with.out, without.out);
  std::filesystem::resize_file(dir / "b.lax", 50);
  const ToolRun damaged = contours(dir, args);
  EXPECT_EQ(damaged.out, without.out);
  EXPECT_NE(damaged.err.find("ERROR (LASspatialIndex): cannot read 'b.lax'"), std::string::npos)
      << damaged.err;
}

TEST(PipeOnAndStored, PointsPassedOnEqualTheInputAndStoredPassesGiveTheSameContours) {
  TempDir dir("tiles_pipe");
  generate(dir, "t.las");
  const ToolRun plain = contours(dir, {"-i", "t.las"});
  ASSERT_EQ(plain.exit_code, 0) << plain.err;

  const ToolRun piped =
      run_tool(CM_CONTOURMILL_BIN, {"-i", "t.las", "-pipe_on", "-owkt", "-o", "lines.wkt", "-iso_every", "1"},
               dir.path());
  ASSERT_EQ(piped.exit_code, 0) << piped.err;
  const auto as_bytes = [](const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); };
  const independent_las::File out = independent_las::parse(as_bytes(piped.out));
  const independent_las::File in = independent_las::parse(as_bytes(read_file(dir / "t.las")));
  ASSERT_EQ(out.error, "");
  ASSERT_EQ(out.records.size(), in.records.size());
  for (size_t i = 0; i < in.records.size(); i++) ASSERT_EQ(out.records[i].bytes, in.records[i].bytes) << i;
  EXPECT_EQ(read_file(dir / "lines.wkt"), plain.out);

  const ToolRun both = contours(dir, {"-i", "t.las", "-pipe_on"});
  EXPECT_EQ(both.exit_code, 1);
  EXPECT_NE(both.err.find("ERROR: '-pipe_on' and '-stdout'"), std::string::npos) << both.err;
  EXPECT_EQ(both.out, "");

  // The extra pass of a stored input reads memory, and counts what the first pass kept.
  const ToolRun stored = contours(dir, {"-i", "t.las", "-stored", "-extra_pass", "-keep_class", "2", "-v"});
  const ToolRun direct = contours(dir, {"-i", "t.las", "-extra_pass", "-keep_class", "2"});
  ASSERT_EQ(stored.exit_code, 0) << stored.err;
  EXPECT_EQ(stored.out, direct.out);
}

TEST(Buffered, AMergedOrNeighbourFileCutShortStopsTheRunWithItsName) {
  TempDir dir("tiles_cut");
  generate(dir, "a.las", {"--clip", "500000", "4000000", "500150", "4000300"});
  generate(dir, "b.las", {"--clip", "500150", "4000000", "500300", "4000300"});
  std::filesystem::resize_file(dir / "b.las", std::filesystem::file_size(dir / "b.las") - 2000);
  const ToolRun run = contours(dir, {"-i", "a.las", "-neighbors", "b.las", "-buffered", "30"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("ERROR: neighbor 'b.las' could not be read to its end"), std::string::npos)
      << run.err;
  const ToolRun merged = contours(dir, {"-i", "a.las", "b.las", "-merged"});
  EXPECT_EQ(merged.exit_code, 1);
  EXPECT_NE(merged.err.find("ERROR: merged file 'b.las' could not be read to its end"), std::string::npos)
      << merged.err;
}

// Rewrites a LAS file with another version, point type, offset or compression.
void convert(const std::filesystem::path& from, const std::filesystem::path& to, uint8_t version_minor,
             uint8_t point_type, double x_offset, uint32_t compressor) {
  LASreaderLAS reader;
  ASSERT_TRUE(reader.open(from.c_str()));
  LASheader h = reader.header;
  h.version_minor = version_minor;
  h.point_data_format = point_type;
  h.point_data_record_length = point_type == 6 ? 30 : (point_type == 1 ? 28 : 20);
  h.x_offset = x_offset;
  LASwriterLAS writer;
  ASSERT_TRUE(writer.open(to.c_str(), &h, compressor));
  LASpoint& p = reader.point;
  while (reader.read_point()) {
    const double x = p.get_x();
    p.X = static_cast<int32_t>(std::lround((x - x_offset) / h.x_scale_factor));
    ASSERT_TRUE(writer.write_point(p));
  }
  writer.update_header(&h, true);
  ASSERT_GT(writer.close(), 0);
}

TEST(Merged, ALasAnRkpAndALas14FileGiveTheContoursOfOneFileOfAllTheirPoints) {
  TempDir dir("tiles_merged");
  generate(dir, "all.las");
  for (int k = 0; k < 3; k++) {
    generate(dir, "part" + std::to_string(k) + ".las", {"--part", std::to_string(k) + "/3"});
  }
  convert(dir / "part1.las", dir / "part1.rkp", 2, 1, 0.0, LASwriterLAS::CHUNKED);
  convert(dir / "part2.las", dir / "part2_14.las", 4, 6, 500000.0, LASwriterLAS::NONE);
  const ToolRun whole = contours(dir, {"-i", "all.las"});
  ASSERT_EQ(whole.exit_code, 0) << whole.err;
  const ToolRun merged = contours(dir, {"-i", "part0.las", "part1.rkp", "part2_14.las", "-merged"});
  ASSERT_EQ(merged.exit_code, 0) << merged.err;
  EXPECT_FALSE(whole.out.empty());
  EXPECT_EQ(merged.out, whole.out);
  EXPECT_NE(merged.err.find("WARNING: files have different point types: 0 vs 6"), std::string::npos)
      << merged.err;
}

TEST(Merged, TheFirstFileFixesTheKindAndOthersAreSkipped) {
  TempDir dir("tiles_mix");
  generate(dir, "a.las");
  std::ofstream(dir / "points.txt") << "500010 4000010 100\n500020 4000010 101\n500010 4000020 102\n";
  const ToolRun alone = contours(dir, {"-i", "a.las"});
  const ToolRun mixed = contours(dir, {"-i", "a.las", "points.txt", "-merged"});
  // The contours leave the skipped file out, so the run does not report success.
  EXPECT_EQ(mixed.exit_code, 1) << mixed.err;
  EXPECT_NE(mixed.err.find("ERROR: cannot mix TXT with LAS. skipping 'points.txt' ..."), std::string::npos)
      << mixed.err;
  EXPECT_EQ(mixed.out, alone.out);
}

TEST(Merged, FilesFarApartWidenTheOffsetAndScale) {
  TempDir dir("tiles_far");
  generate(dir, "near.las");
  // At 0.01 m, 30,000 km apart fit 32-bit integers around the centre; 60,000 km need 0.1 m.
  const struct {
    double east;
    const char* message;
  } cases[] = {
      {30000000.0,
       "WARNING: i changed x_offset from 500000 to 1.52502e+07 to accommodate enlarged bounding box"},
      {60000000.0,
       "WARNING: i changed x_scale_factor from 0.01 to 0.1 to accommodate enlarged bounding box"}};
  for (const auto& c : cases) {
    LASreaderLAS reader;
    ASSERT_TRUE(reader.open((dir / "near.las").c_str()));
    LASheader h = reader.header;
    h.x_offset = c.east;
    LASwriterLAS writer;
    ASSERT_TRUE(writer.open((dir / "far.las").c_str(), &h));
    while (reader.read_point()) ASSERT_TRUE(writer.write_point(reader.point));
    writer.update_header(&h, true);
    ASSERT_GT(writer.close(), 0);
    const ToolRun run = contours(dir, {"-i", "near.las", "far.las", "-merged"});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
}

// Contour lines of a PolyLineZ Shapefile, read from the bytes: x, y and the level of each.
struct ShapeLine {
  std::vector<std::array<double, 2>> xy;
  double z = 0;
  double length() const {
    double l = 0;
    for (size_t i = 1; i < xy.size(); i++) l += std::hypot(xy[i][0] - xy[i - 1][0], xy[i][1] - xy[i - 1][1]);
    return l;
  }
};

std::vector<ShapeLine> read_shapefile(const std::filesystem::path& path) {
  const std::string s = read_file(path);
  const auto* b = reinterpret_cast<const uint8_t*>(s.data());
  auto le32 = [&](size_t at) {
    int32_t v;
    std::memcpy(&v, b + at, 4);
    return v;
  };
  auto be32 = [&](size_t at) {
    return int32_t(uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3]);
  };
  auto f64 = [&](size_t at) {
    double v;
    std::memcpy(&v, b + at, 8);
    return v;
  };
  std::vector<ShapeLine> lines;
  size_t at = 100;
  while (at + 8 <= s.size()) {
    const size_t content = size_t(be32(at + 4)) * 2, rec = at + 8;
    EXPECT_EQ(le32(rec), 13);
    const size_t parts = size_t(le32(rec + 36)), points = size_t(le32(rec + 40));
    const size_t xy = rec + 44 + 4 * parts, z = xy + 16 * points + 16;
    ShapeLine line;
    for (size_t i = 0; i < points; i++) line.xy.push_back({f64(xy + 16 * i), f64(xy + 16 * i + 8)});
    line.z = points ? f64(z) : 0;
    lines.push_back(line);
    at = rec + content;
  }
  return lines;
}

// A generated terrain of 500 m by 500 m cut into a 5 by 5 tiling of 100 m squares: the inner
// 3 by 3 are compared, the ring around them gives them neighbours on every side.
class SeamlessTiles : public testing::Test {
 protected:
  static constexpr double kOrigin = 500000, kNorth = 4000000, kTile = 100;

  void SetUp() override {
    const ToolRun gen = run_tool(
        CM_LASGEN_BIN, {"--surface", "sample", "--points", "250000", "--size", "500", "--out", "all.las"},
        dir_.path());
    ASSERT_EQ(gen.exit_code, 0) << gen.err;
    LASreaderLAS reader;
    ASSERT_TRUE(reader.open((dir_ / "all.las").c_str()));
    std::vector<std::unique_ptr<LASwriterLAS>> writers(25);
    for (int t = 0; t < 25; t++) {
      writers[size_t(t)] = std::make_unique<LASwriterLAS>();
      ASSERT_TRUE(writers[size_t(t)]->open((dir_ / tile_name(t % 5, t / 5, ".las")).c_str(), &reader.header));
    }
    // The untiled file knows the square of the inner tiles as its tiling record.
    LASheader with_tile = reader.header;
    with_tile.vlr_gridpatch = LASvlrGridpatch{0,
                                              0,
                                              0,
                                              float(kOrigin + kTile),
                                              float(kOrigin + 4 * kTile),
                                              float(kNorth + kTile),
                                              float(kNorth + 4 * kTile)};
    LASwriterLAS whole;
    ASSERT_TRUE(whole.open((dir_ / "whole.las").c_str(), &with_tile));
    while (reader.read_point()) {
      const int i = std::clamp(int((reader.point.get_x() - kOrigin) / kTile), 0, 4);
      const int j = std::clamp(int((reader.point.get_y() - kNorth) / kTile), 0, 4);
      ASSERT_TRUE(writers[size_t(j * 5 + i)]->write_point(reader.point));
      ASSERT_TRUE(whole.write_point(reader.point));
    }
    for (auto& w : writers) {
      w->update_header(&reader.header, true);
      ASSERT_GT(w->close(), 0);
    }
    ASSERT_GT(whole.close(), 0);
  }

  static std::string tile_name(int i, int j, const char* ending) {
    return "t_" + std::to_string(i) + "_" + std::to_string(j) + ending;
  }

  TempDir dir_{"seamless"};
};

TEST_F(SeamlessTiles, BufferedTilesJoinIntoTheContoursOfTheWholeArea) {
  std::vector<std::string> args = {"-i"};
  for (int t = 0; t < 25; t++) args.push_back(tile_name(t % 5, t / 5, ".las"));
  args.insert(args.end(), {"-buffered", "30", "-trim_to_tile", "100", "-iso_every", "0.5"});
  const ToolRun tiled = run_tool(CM_CONTOURMILL_BIN, args, dir_.path());
  ASSERT_EQ(tiled.exit_code, 0) << tiled.err;
  const ToolRun whole =
      run_tool(CM_CONTOURMILL_BIN, {"-i", "whole.las", "-trim_to_tile", "-iso_every", "0.5"}, dir_.path());
  ASSERT_EQ(whole.exit_code, 0) << whole.err;

  std::map<double, double> tiled_length, whole_length;
  for (const ShapeLine& l : read_shapefile(dir_ / "whole.shp")) whole_length[l.z] += l.length();
  struct End {
    int tile;
    double x, y, z;
  };
  std::vector<End> ends;
  for (int i = 1; i <= 3; i++) {
    for (int j = 1; j <= 3; j++) {
      for (const ShapeLine& l : read_shapefile(dir_ / tile_name(i, j, ".shp"))) {
        tiled_length[l.z] += l.length();
        const bool loop = l.xy.size() > 2 && l.xy.front() == l.xy.back();
        if (loop) continue;
        for (const auto& p : {l.xy.front(), l.xy.back()}) ends.push_back(End{i * 5 + j, p[0], p[1], l.z});
      }
    }
  }
  ASSERT_GT(whole_length.size(), 20u);
  ASSERT_EQ(tiled_length.size(), whole_length.size());
  for (const auto& [z, length] : whole_length) {
    EXPECT_NEAR(tiled_length[z], length, 1e-6 * length) << "level " << z;
  }
  // Every end inside the square meets an end of the same level in a neighbouring tile.
  const double lo_x = kOrigin + kTile, hi_x = kOrigin + 4 * kTile, lo_y = kNorth + kTile,
               hi_y = kNorth + 4 * kTile;
  size_t inner_ends = 0;
  for (const End& e : ends) {
    if (std::abs(e.x - lo_x) < 1e-4 || std::abs(e.x - hi_x) < 1e-4 || std::abs(e.y - lo_y) < 1e-4 ||
        std::abs(e.y - hi_y) < 1e-4)
      continue;
    inner_ends++;
    double nearest = 1e300;
    for (const End& f : ends) {
      if (f.tile != e.tile && f.z == e.z) nearest = std::min(nearest, std::hypot(f.x - e.x, f.y - e.y));
    }
    EXPECT_LT(nearest, 1e-3) << "end at " << e.x << " " << e.y << " level " << e.z;
  }
  EXPECT_GT(inner_ends, 50u);
}

}  // namespace
