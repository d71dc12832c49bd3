// End-to-end checks of what happens between triangulating and writing: the concave hull, killing
// long-edge triangles, and the simplification statistics against the lines actually written.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <set>
#include <sstream>
#include <utility>

#include "run_tool.h"
#include "wkt_reader.h"

namespace {

constexpr double kOriginX = 500000.0;  // the generator's tile origin
constexpr double kOriginY = 4000000.0;

// A cone tile of 400 m with points about 2 m apart, of which only those in the boxes (tile
// coordinates) are kept; the parts are merged on the command line.
std::vector<std::string> cone_parts(const TempDir& dir, const std::vector<std::array<double, 4>>& boxes) {
  std::vector<std::string> files;
  for (size_t i = 0; i < boxes.size(); i++) {
    const auto path = dir / ("part" + std::to_string(i) + ".las");
    std::vector<std::string> args = {"--surface", "cone",  "--points",    "40000", "--size",
                                     "400",       "--out", path.string(), "--clip"};
    for (int k = 0; k < 4; k++) {
      args.push_back(std::to_string(boxes[i][k] + (k % 2 == 0 ? kOriginX : kOriginY)));
    }
    const ToolRun gen = run_tool(CM_LASGEN_BIN, args, dir.path());
    EXPECT_EQ(gen.exit_code, 0) << gen.err;
    files.push_back(path.string());
  }
  return files;
}

std::vector<WktLine> contours_of(const TempDir& dir, const std::vector<std::string>& inputs,
                                 const std::vector<std::string>& options) {
  std::vector<std::string> args = {"-i"};
  args.insert(args.end(), inputs.begin(), inputs.end());
  args.insert(args.end(), {"-merged", "-o", "merged.wkt", "-iso_every", "5"});
  args.insert(args.end(), options.begin(), options.end());
  const ToolRun run = run_tool(CM_CONTOURMILL_BIN, args, dir.path());
  EXPECT_EQ(run.exit_code, 0) << run.err;
  std::vector<WktLine> lines;
  EXPECT_TRUE(parse_wkt_lines(read_file(dir / "merged.wkt"), lines));
  EXPECT_FALSE(lines.empty());
  return lines;
}

struct Box {
  double min_x, min_y, max_x, max_y;  // tile coordinates
  bool holds(double x, double y) const {
    x -= kOriginX;
    y -= kOriginY;
    return x > min_x && x < max_x && y > min_y && y < max_y;
  }
};

// The distinct contour vertices in the box.
std::set<std::pair<double, double>> vertices_inside(const std::vector<WktLine>& lines, const Box& box) {
  std::set<std::pair<double, double>> found;
  for (const WktLine& line : lines) {
    for (size_t i = 0; i < line.x.size(); i++) {
      if (box.holds(line.x[i], line.y[i])) found.insert({line.x[i], line.y[i]});
    }
  }
  return found;
}

// Segments whose midpoint lies in the box: a contour crossing the box on one long triangle has
// no vertex inside, but its segment does.
int segments_through(const std::vector<WktLine>& lines, const Box& box) {
  int count = 0;
  for (const WktLine& line : lines) {
    for (size_t i = 0; i + 1 < line.x.size(); i++) {
      count += box.holds(0.5 * (line.x[i] + line.x[i + 1]), 0.5 * (line.y[i] + line.y[i + 1]));
    }
  }
  return count;
}

// An L of points: the quadrant above and right of (200, 200) is empty, and the cone's peak sits at
// its corner, so every contour would cross the notch on the triangles the convex hull spans.
TEST(ConcaveHull, ContoursEndOnTheCarvedBoundaryInsteadOfCrossingTheNotch) {
  TempDir dir("terrain_notch");
  const auto parts = cone_parts(dir, {{0, 0, 400, 200}, {0, 200, 200, 400}});
  const auto convex = contours_of(dir, parts, {"-concavity", "0", "-kill", "0"});
  EXPECT_GT(segments_through(convex, {210, 210, 400, 400}), 10);
  // Carving stops at hull edges of at most 50 m, which near the notch's corner may still join its
  // two sides; beyond 50 m from the corner nothing of the notch is left.
  const auto carved = contours_of(dir, parts, {"-concavity", "50", "-kill", "0"});
  EXPECT_EQ(segments_through(carved, {252, 252, 400, 400}), 0);
  // Inside the arm the contours run through the same points, so carving removed only what spanned
  // the notch (and slivers along the outer boundary, where scan lines are not quite straight).
  const Box left_arm{3, 3, 197, 397};
  const auto kept = vertices_inside(carved, left_arm);
  const auto all = vertices_inside(convex, left_arm);
  std::vector<std::pair<double, double>> differ;
  std::set_symmetric_difference(kept.begin(), kept.end(), all.begin(), all.end(), std::back_inserter(differ));
  EXPECT_TRUE(differ.empty()) << differ.size() << " of " << all.size() << " vertices differ, e.g. "
                              << differ[0].first - kOriginX << " " << differ[0].second - kOriginY;
  int loops = 0;
  for (const WktLine& line : carved) loops += line.closed();
  EXPECT_LT(loops, 5) << "the loops around the peak should have been opened at the notch";
}

TEST(Kill, AGapWiderThanTheThresholdSplitsTheContours) {
  TempDir dir("terrain_gap");
  const auto parts = cone_parts(dir, {{0, 0, 150, 400}, {250, 0, 400, 400}});
  const Box gap{151, -1, 249, 401};
  const auto bridged = contours_of(dir, parts, {"-concavity", "0", "-kill", "0"});
  EXPECT_GT(segments_through(bridged, gap), 10);
  const auto split = contours_of(dir, parts, {"-concavity", "0", "-kill", "50"});
  EXPECT_EQ(segments_through(split, gap), 0);
  EXPECT_TRUE(vertices_inside(split, gap).empty());
  // Loops around the peak became two open lines each, ending at the gap.
  int loops = 0;
  for (const WktLine& line : split) loops += line.closed();
  EXPECT_EQ(loops, 0);
}

struct Totals {
  long long lines = -1, line_segments = -1, loops = -1, loop_segments = -1;
};

// The lines of a verbose run's messages that start with `prefix`, in order.
std::vector<std::string> lines_starting(const std::string& err, const std::string& prefix) {
  std::vector<std::string> found;
  std::istringstream in(err);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(prefix, 0) == 0) found.push_back(line + "\n");
  }
  return found;
}

// The "output ..." statistics lines of a verbose run, in order.
std::vector<Totals> output_statistics(const std::string& err) {
  std::vector<Totals> all;
  for (const std::string& line : lines_starting(err, "output ")) {
    Totals t;
    char end = 0;
    if (std::sscanf(line.c_str(), "output %lld lines with %lld segments and %lld loops with %lld segments%c",
                    &t.lines, &t.line_segments, &t.loops, &t.loop_segments, &end) == 5 &&
        end == '\n') {
      all.push_back(t);
    }
  }
  return all;
}

Totals count_written(const std::vector<WktLine>& lines) {
  Totals t{0, 0, 0, 0};
  for (const WktLine& line : lines) {
    if (line.closed()) {
      t.loops++;
      t.loop_segments += static_cast<long long>(line.x.size()) - 1;
    } else {
      t.lines++;
      t.line_segments += static_cast<long long>(line.x.size()) - 1;
    }
  }
  return t;
}

TEST(Statistics, CountsEqualTheLinesWrittenAndAddUpOverFiles) {
  TempDir dir("terrain_stats");
  for (const char* surface : {"sample", "cone"}) {
    const ToolRun gen = run_tool(CM_LASGEN_BIN,
                                 {"--surface", surface, "--points", "20000", "--size", "200", "--out",
                                  (dir / (std::string(surface) + ".las")).string()},
                                 dir.path());
    ASSERT_EQ(gen.exit_code, 0) << gen.err;
  }
  const ToolRun run = run_tool(CM_CONTOURMILL_BIN,
                               {"-i", "sample.las", "cone.las", "-owkt", "-v", "-iso_every", "2", "-simplify",
                                "1.5", "-simplify_area", "0.2", "-clean", "20"},
                               dir.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const std::vector<Totals> reported = output_statistics(run.err);
  ASSERT_EQ(reported.size(), 2u) << run.err;
  std::vector<WktLine> sample, cone;
  ASSERT_TRUE(parse_wkt_lines(read_file(dir / "sample.wkt"), sample));
  ASSERT_TRUE(parse_wkt_lines(read_file(dir / "cone.wkt"), cone));
  const Totals first = count_written(sample);
  const Totals second = count_written(cone);
  EXPECT_GT(first.lines, 0);
  EXPECT_GT(first.loops + second.loops, 0);
  const auto as_tuple = [](const Totals& t) {
    return std::make_tuple(t.lines, t.line_segments, t.loops, t.loop_segments);
  };
  EXPECT_EQ(as_tuple(reported[0]), as_tuple(first));
  EXPECT_EQ(as_tuple(reported[1]),
            std::make_tuple(first.lines + second.lines, first.line_segments + second.line_segments,
                            first.loops + second.loops, first.loop_segments + second.loop_segments));
  for (const char* line : {"simplified away ", "segments with '-simplify_area 0.2'\n", "lines and ",
                           "loops) with '-simplify 1.5'\n", "cleaned away ", "segments with '-clean 20'\n"}) {
    EXPECT_NE(run.err.find(line), std::string::npos) << line;
  }
  // Every line written is at least as long as the cleaning threshold.
  for (const auto* lines : {&sample, &cone}) {
    for (const WktLine& line : *lines) EXPECT_GE(line.length(), 20.0 - 1e-3);
  }
}

TEST(DefaultRun, CarvesTheHullAndKillsLongEdgesUnlessSwitchedOff) {
  TempDir dir("terrain_defaults");
  const ToolRun gen = run_tool(
      CM_LASGEN_BIN,
      {"--surface", "sample", "--points", "5000", "--size", "200", "--out", (dir / "tile.las").string()},
      dir.path());
  ASSERT_EQ(gen.exit_code, 0) << gen.err;
  const ToolRun defaults = run_tool(CM_CONTOURMILL_BIN, {"-i", "tile.las", "-owkt", "-v"}, dir.path());
  ASSERT_EQ(defaults.exit_code, 0) << defaults.err;
  EXPECT_NE(defaults.err.find("growing concave hull with concavity 50 took "), std::string::npos)
      << defaults.err;
  EXPECT_NE(defaults.err.find("killing triangles with edges longer than 500 units ... \n"),
            std::string::npos);
  const ToolRun off = run_tool(
      CM_CONTOURMILL_BIN, {"-i", "tile.las", "-owkt", "-v", "-concavity", "0", "-kill", "0"}, dir.path());
  ASSERT_EQ(off.exit_code, 0) << off.err;
  EXPECT_EQ(off.err.find("growing concave hull"), std::string::npos);
  EXPECT_EQ(off.err.find("killing triangles"), std::string::npos);
  const ToolRun smooth =
      run_tool(CM_CONTOURMILL_BIN, {"-i", "tile.las", "-owkt", "-v", "-smooth", "3"}, dir.path());
  ASSERT_EQ(smooth.exit_code, 0) << smooth.err;
  EXPECT_NE(smooth.err.find("smoothing terrain with 3 passes because of '-smooth 3'\nsmoothing took "),
            std::string::npos)
      << smooth.err;
}

TEST(Kill, KilledCountIsATotalOverFiles) {
  TempDir dir("terrain_killed");
  const auto parts = cone_parts(dir, {{0, 0, 400, 400}});
  // The same tile twice: the second file's message reports the triangles of both.
  const ToolRun run = run_tool(CM_CONTOURMILL_BIN,
                               {"-i", parts[0], parts[0], "-odir", dir.path().string(), "-odix", "_k",
                                "-owkt", "-concavity", "0", "-kill", "2.5", "-v"},
                               dir.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;
  std::vector<long long> reported;
  for (const std::string& line : lines_starting(run.err, "killed ")) {
    long long count = -1;
    int consumed = 0;
    if (std::sscanf(line.c_str(), "killed %lld triangles with '-kill 2.5'\n%n", &count, &consumed) == 1 &&
        consumed == static_cast<int>(line.size())) {
      reported.push_back(count);
    }
  }
  ASSERT_EQ(reported.size(), 2u) << run.err;
  EXPECT_GT(reported[0], 0);
  EXPECT_EQ(reported[1], 2 * reported[0]);
}

}  // namespace
