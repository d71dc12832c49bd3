// Runs contourmill on generated tiles of analytic surfaces and checks the traced contours against
// the surfaces themselves.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <numbers>

#include "run_tool.h"
#include "tools/surfaces.h"
#include "wkt_reader.h"

namespace {

constexpr double kSize = 200.0;        // tile edge in metres
constexpr double kOriginX = 500000.0;  // the generator's tile origin
constexpr double kOriginY = 4000000.0;
constexpr double kMaxEdge = 2.0;  // longest TIN edge on a jittered 1 m grid, generously

struct Surface {
  const char* name;
  double (*radius_at)(double h);  // analytic radius of the contour at elevation h
  double (*curvature)(double r);  // bound on |z''| near radius r, for the interpolation tolerance
};

const Surface kSurfaces[] = {
    {"cone", [](double h) { return (100.0 - h) / 0.5; }, [](double r) { return 0.5 / r; }},
    {"paraboloid", [](double h) { return std::sqrt((100.0 - h) * kSize); },
     [](double) { return 2.0 / kSize; }},
};

std::filesystem::path make_tile(const TempDir& dir, const std::string& surface, const std::string& order) {
  const auto path = dir / (surface + ".las");
  const ToolRun gen = run_tool(
      CM_LASGEN_BIN,
      {"--surface", surface, "--points", "40000", "--size", "200", "--order", order, "--out", path.string()},
      dir.path());
  EXPECT_EQ(gen.exit_code, 0) << gen.err;
  return path;
}

class AnalyticSurface : public ::testing::TestWithParam<Surface> {};

TEST_P(AnalyticSurface, LoopsAreClosedCounterClockwiseAndOnTheSurface) {
  const Surface& s = GetParam();
  TempDir dir(std::string("e2e_") + s.name);
  const auto las = make_tile(dir, s.name, "scan");
  const ToolRun run =
      run_tool(CM_CONTOURMILL_BIN, {"-i", las.string(), "-owkt", "-iso_every", "5"}, dir.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;
  std::vector<WktLine> lines;
  ASSERT_TRUE(parse_wkt_lines(read_file(dir / (std::string(s.name) + ".wkt")), lines));
  ASSERT_FALSE(lines.empty());

  std::map<int, int> loops_per_level;
  std::map<int, double> length_per_level;
  for (const WktLine& line : lines) {
    // Every vertex must lie on the surface at one common contour elevation.
    const size_t mid = line.x.size() / 2;
    const double h =
        std::round(surface_z(s.name, line.x[mid] - kOriginX, line.y[mid] - kOriginY, kSize) / 5.0) * 5.0;
    const double r = std::max(5.0, s.radius_at(h));
    const double tolerance = s.curvature(r) * kMaxEdge * kMaxEdge / 8.0 + 0.02;
    for (size_t i = 0; i < line.x.size(); i++) {
      const double x = line.x[i] - kOriginX, y = line.y[i] - kOriginY;
      // The convex hull spans long slivers over the jittered tile border, where linear
      // interpolation is coarser than inside; those vertices are checked by the hull test below.
      if (std::min({x, y, kSize - x, kSize - y}) < 1.5) continue;
      const double z = surface_z(s.name, x, y, kSize);
      ASSERT_NEAR(z, h, tolerance) << "vertex " << i << " of a line at " << h;
    }
    if (h > 50.0) {  // the circle lies wholly inside the tile: a loop around the summit
      EXPECT_TRUE(line.polygon);
      EXPECT_TRUE(line.closed());
      EXPECT_GT(line.signed_area(), 0.0) << "summit loops run counter-clockwise";
      loops_per_level[static_cast<int>(h)]++;
    } else {
      EXPECT_FALSE(line.polygon) << "an open contour is not a polygon";
      for (size_t end : {size_t{0}, line.x.size() - 1}) {  // ends sit on the tile's hull
        const double ex = line.x[end] - kOriginX, ey = line.y[end] - kOriginY;
        EXPECT_LT(std::min({ex, ey, kSize - ex, kSize - ey}), 1.0);
      }
    }
    length_per_level[static_cast<int>(h)] += line.length();
  }
  for (int h = 55; h <= 95; h += 5) {
    EXPECT_EQ(loops_per_level[h], 1) << "level " << h;
    const double expected = 2.0 * std::numbers::pi * s.radius_at(h);
    EXPECT_NEAR(length_per_level[h], expected, 0.02 * expected) << "level " << h;
  }
}

void PrintTo(const Surface& s, std::ostream* os) {
  *os << s.name;
}

INSTANTIATE_TEST_SUITE_P(Surfaces, AnalyticSurface, ::testing::ValuesIn(kSurfaces),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// The TIN must not depend on the order the scanner delivered the points in.
TEST(AnalyticSurface, RandomPointOrderGivesTheSameLoopLengths) {
  TempDir dir("e2e_order");
  double total[2] = {0, 0};
  int i = 0;
  for (const char* order : {"scan", "random"}) {
    const auto las = make_tile(dir, "cone", order);
    const auto out = dir / (std::string(order) + ".wkt");
    const ToolRun run =
        run_tool(CM_CONTOURMILL_BIN, {"-i", las.string(), "-o", out.string(), "-iso_range", "60", "90", "10"},
                 dir.path());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    std::vector<WktLine> lines;
    ASSERT_TRUE(parse_wkt_lines(read_file(out), lines));
    ASSERT_EQ(lines.size(), 4u);
    for (const auto& l : lines) total[i] += l.length();
    i++;
  }
  EXPECT_NEAR(total[0], total[1], 0.01 * total[0]);
}

}  // namespace
