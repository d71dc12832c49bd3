#include "contour/contour_tracer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "surfaces.h"
#include "tin/delaunay.h"

namespace {

using Point = std::pair<float, float>;

std::vector<RecordedLine> trace(ContourTracer& tracer, const HandTin& tin, const std::vector<float>& iso,
                                bool loops_only = false) {
  RecordingWriter writer;
  EXPECT_TRUE(
      tracer.extract(ConstTinView{tin.triangles.data(), tin.count(), tin.points.data(), HandTin::STRIDE}, iso,
                     writer, loops_only));
  EXPECT_TRUE(writer.current.vertices.empty()) << "a line was left without end_line";
  return writer.lines;
}

std::vector<RecordedLine> trace(const HandTin& tin, const std::vector<float>& iso, bool loops_only = false) {
  ContourTracer tracer;
  return trace(tracer, tin, iso, loops_only);
}

bool is_closed(const RecordedLine& line) {
  return line.vertices.size() > 2 && line.vertices.front() == line.vertices.back();
}

double signed_area(const RecordedLine& line) {
  double area = 0;
  for (size_t i = 0; i + 1 < line.vertices.size(); i++) {
    const auto& p = line.vertices[i];
    const auto& q = line.vertices[i + 1];
    area += double{p[0]} * double{q[1]} - double{q[0]} * double{p[1]};
  }
  return 0.5 * area;
}

// Every vertex at the line's elevation, and no position repeated except a loop's closing point.
void expect_simple(const RecordedLine& line, float h) {
  ASSERT_GE(line.vertices.size(), 2u);
  std::set<Point> seen;
  const size_t distinct = line.vertices.size() - (is_closed(line) ? 1 : 0);
  for (size_t i = 0; i < distinct; i++) {
    EXPECT_EQ(line.vertices[i][2], h);
    EXPECT_TRUE(seen.insert({line.vertices[i][0], line.vertices[i][1]}).second)
        << "repeated vertex " << line.vertices[i][0] << " " << line.vertices[i][1];
  }
}

// ---- single triangles ----------------------------------------------------------------------

HandTin one_triangle(float z0, float z1, float z2) {
  return build_tin({0, 0, z0, 4, 0, z1, 0, 4, z2}, {{0, 1, 2}});
}

// A triangle is cut only by a level with a vertex below it and a vertex at or above it.
TEST(SingleTriangle, LevelsThatDoNotCutGiveNothing) {
  struct Case {
    const char* name;
    float z[3];
    std::vector<float> iso;
  };
  const Case cases[] = {
      {"vertex at the level, the others above", {5, 7, 9}, {5}},
      {"flat surface at the level", {3, 3, 3}, {3}},
      {"levels below and above the triangle", {3, 4, 5}, {1, 2, 6}},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(trace(one_triangle(c.z[0], c.z[1], c.z[2]), c.iso).empty()) << c.name;
  }
}

TEST(SingleTriangle, VertexAtIsoValueBetweenBelowAndAboveStartsTheSegmentThere) {
  // V0 = (0,0) at h, V1 = (4,0) below, V2 = (0,4) above
  const auto lines = trace(one_triangle(5, 1, 9), {5});
  ASSERT_EQ(lines.size(), 1u);
  ASSERT_EQ(lines[0].vertices.size(), 2u);
  const auto& v = lines[0].vertices;
  const bool at_vertex = (v[0][0] == 0 && v[0][1] == 0) || (v[1][0] == 0 && v[1][1] == 0);
  EXPECT_TRUE(at_vertex);
  // the other end on edge V1-V2 at s = (5 - 1) / (9 - 1)
  const auto& other = (v[0][0] == 0 && v[0][1] == 0) ? v[1] : v[0];
  EXPECT_FLOAT_EQ(other[0], 2.0f);
  EXPECT_FLOAT_EQ(other[1], 2.0f);
}

TEST(SingleTriangle, OneCrossingIsAnOpenLineWithTheLowerGroundOnItsLeft) {
  // each vertex in turn the low one, and each pair of vertices the low pair
  const float zs[][3] = {{0, 10, 10}, {10, 0, 10}, {10, 10, 0}, {0, 0, 10}, {0, 10, 0}, {10, 0, 0}};
  for (const auto& z : zs) {
    const HandTin tin = one_triangle(z[0], z[1], z[2]);
    const auto lines = trace(tin, {4});
    ASSERT_EQ(lines.size(), 1u);
    const auto& v = lines[0].vertices;
    ASSERT_EQ(v.size(), 2u);
    expect_simple(lines[0], 4);
    for (uint32_t k = 0; k < 3; k++) {
      const float* p = tin.point(k);
      const double cross = (double{v[1][0]} - double{v[0][0]}) * (double{p[1]} - double{v[0][1]}) -
                           (double{v[1][1]} - double{v[0][1]}) * (double{p[0]} - double{v[0][0]});
      if (p[2] < 4) {
        EXPECT_GT(cross, 0) << "low vertex " << k << " not on the left";
      } else {
        EXPECT_LT(cross, 0) << "high vertex " << k << " not on the right";
      }
    }
  }
}

TEST(SingleTriangle, DuplicateIsoValuesGiveDuplicateLines) {
  const auto lines = trace(one_triangle(0, 10, 10), {4, 4});
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].vertices, lines[1].vertices);
}

// ---- grids ---------------------------------------------------------------------------------

std::vector<float> iso_from(float first, float step, int n) {
  std::vector<float> iso;
  for (int i = 0; i < n; i++) iso.push_back(first + step * static_cast<float>(i));
  return iso;
}

// Cone with its peak 10 at the centre of a 40 x 40 square; the highest hull vertex is at 0.
Grid cone(float sign, bool shuffle) {
  return build_grid(
      41, 41, 1.0f,
      [sign](float x, float y) { return sign * (10.0f - 0.5f * std::hypot(x - 20.0f, y - 20.0f)); }, shuffle);
}

void expect_one_loop_per_value(const std::vector<RecordedLine>& lines, const std::vector<float>& iso,
                               float orientation, float radius_at_zero, float slope,
                               float tolerance = 0.25f) {
  ASSERT_EQ(lines.size(), iso.size());
  std::multiset<float> elevations;
  for (const RecordedLine& line : lines) {
    ASSERT_TRUE(is_closed(line)) << "open line at " << line.vertices[0][2];
    const float h = line.vertices[0][2];
    elevations.insert(h);
    expect_simple(line, h);
    EXPECT_GT(double{orientation} * signed_area(line), 0) << "wrong orientation at " << h;
    const float r = radius_at_zero - std::fabs(h) / slope;
    for (const auto& v : line.vertices) {
      // a chord of at most a cell diagonal sags less than a quarter cell inside the circle
      EXPECT_NEAR(std::hypot(v[0] - 20.0f, v[1] - 20.0f), r, tolerance) << "h " << h;
    }
  }
  EXPECT_EQ(elevations, std::multiset<float>(iso.begin(), iso.end()));
}

TEST(Grid, ConeGivesOneCounterClockwiseLoopPerIsoValue) {
  const std::vector<float> iso = iso_from(0.3f, 1.0f, 10);  // 0.3 .. 9.3, between hull and peak
  for (bool shuffle : {false, true}) {
    expect_one_loop_per_value(trace(cone(1, shuffle).tin, iso), iso, 1, 20, 0.5f);
  }
}

TEST(Grid, PitGivesOneClockwiseLoopPerIsoValue) {
  const std::vector<float> iso = iso_from(-9.3f, 1.0f, 10);  // -9.3 .. -0.3
  expect_one_loop_per_value(trace(cone(-1, true).tin, iso), iso, -1, 20, 0.5f);
}

bool on_hull(const std::array<float, 3>& v, float extent) {
  auto near = [](float a, float b) { return std::fabs(a - b) < 1e-4f; };
  return near(v[0], 0) || near(v[1], 0) || near(v[0], extent) || near(v[1], extent);
}

TEST(Grid, TiltedPlaneGivesOneOpenLinePerIsoValueEndingOnTheHull) {
  const Grid grid = build_grid(
      21, 21, 1.0f, [](float x, float y) { return x + 0.3f * y + 0.1f; }, true);
  const std::vector<float> iso = iso_from(1.05f, 2.0f, 13);  // 1.05 .. 25.05, inside 0.1 .. 26.1
  const auto lines = trace(grid.tin, iso);
  ASSERT_EQ(lines.size(), iso.size());
  for (const RecordedLine& line : lines) {
    const float h = line.vertices[0][2];
    EXPECT_FALSE(is_closed(line));
    expect_simple(line, h);
    EXPECT_TRUE(on_hull(line.vertices.front(), 20));
    EXPECT_TRUE(on_hull(line.vertices.back(), 20));
    for (size_t i = 1; i + 1 < line.vertices.size(); i++) EXPECT_FALSE(on_hull(line.vertices[i], 20));
    for (const auto& v : line.vertices) EXPECT_NEAR(v[0] + 0.3f * v[1] + 0.1f, h, 1e-4f);
  }
}

TEST(Grid, KilledTriangleEndsLinesOnItsEdges) {
  const Grid base = build_grid(
      11, 11, 1.0f, [](float x, float) { return x; }, false);
  Grid grid = base;
  // cell (5, 5) is split by its diagonal; the line x = 5.5 crosses both halves
  const int32_t t = grid.tin.find(grid.grid_vertex(5, 5), grid.grid_vertex(6, 5), grid.grid_vertex(6, 6));
  ASSERT_GE(t, 0);
  grid.tin.kill(t);
  const auto lines = trace(grid.tin, {2.5f, 5.5f});
  std::vector<const RecordedLine*> at_55;
  for (const RecordedLine& line : lines) {
    if (line.vertices[0][2] == 5.5f) at_55.push_back(&line);
  }
  EXPECT_EQ(lines.size() - at_55.size(), 1u);  // 2.5 stays one line
  ASSERT_EQ(at_55.size(), 2u);
  std::set<Point> ends;
  for (const RecordedLine* line : at_55) {
    ends.insert({line->vertices.front()[0], line->vertices.front()[1]});
    ends.insert({line->vertices.back()[0], line->vertices.back()[1]});
  }
  // bottom edge and diagonal of the killed triangle, and the two hull crossings
  EXPECT_EQ(ends, (std::set<Point>{{5.5f, 0}, {5.5f, 5}, {5.5f, 5.5f}, {5.5f, 10}}));
}

// ---- chaining invariants on an irregular surface --------------------------------------------

float bumpy(float x, float y) {
  return 3.0f * std::sin(0.7f * x) * std::cos(0.5f * y) + 0.37f * std::sin(1.9f * x + 2.3f * y) + 0.011f;
}

struct Segment {
  Point p, q;
  bool operator<(const Segment& o) const { return std::tie(p, q) < std::tie(o.p, o.q); }
  bool operator==(const Segment& o) const { return p == o.p && q == o.q; }
};
Segment make_segment(Point a, Point b) {
  return a < b ? Segment{a, b} : Segment{b, a};
}

// The crossings of every alive triangle, found edge by edge without the tracer's tables.
std::map<float, std::vector<Segment>> expected_segments(const HandTin& tin, const std::vector<float>& iso) {
  std::map<float, std::vector<Segment>> out;
  for (const TINtriangle& tri : tin.triangles) {
    if (!tin_in_use(tri) || tin_is_infinite(tri) || (tri.link_or_flags & TIN_KILLED)) continue;
    for (float h : iso) {
      std::vector<Point> crossings;
      for (int k = 0; k < 3; k++) {
        const uint32_t u = std::max(tri.V[(k + 1) % 3], tri.V[(k + 2) % 3]);
        const uint32_t w = std::min(tri.V[(k + 1) % 3], tri.V[(k + 2) % 3]);
        const float* a = tin.point(u);
        const float* b = tin.point(w);
        if ((a[2] < h) == (b[2] < h)) continue;
        const double s = (double{h} - double{a[2]}) / (double{b[2]} - double{a[2]});
        crossings.push_back({static_cast<float>(s * double{b[0]} + (1 - s) * double{a[0]}),
                             static_cast<float>((1 - s) * double{a[1]} + s * double{b[1]})});
      }
      if (crossings.size() == 2) out[h].push_back(make_segment(crossings[0], crossings[1]));
    }
  }
  for (auto& [h, segments] : out) std::sort(segments.begin(), segments.end());
  return out;
}

std::map<float, std::vector<Segment>> written_segments(const std::vector<RecordedLine>& lines) {
  std::map<float, std::vector<Segment>> out;
  for (const RecordedLine& line : lines) {
    for (size_t i = 0; i + 1 < line.vertices.size(); i++) {
      const auto& p = line.vertices[i];
      const auto& q = line.vertices[i + 1];
      out[p[2]].push_back(make_segment({p[0], p[1]}, {q[0], q[1]}));
    }
  }
  for (auto& [h, segments] : out) std::sort(segments.begin(), segments.end());
  return out;
}

// The end points of the open lines traced at these iso values.
std::set<std::pair<float, Point>> open_line_ends(const HandTin& tin, const std::vector<float>& iso) {
  std::set<std::pair<float, Point>> out;
  for (const RecordedLine& line : trace(tin, iso)) {
    if (is_closed(line)) continue;
    for (const auto* v : {&line.vertices.front(), &line.vertices.back()})
      out.insert({(*v)[2], {(*v)[0], (*v)[1]}});
  }
  return out;
}

Grid bumpy_grid_with_holes() {
  Grid grid = build_grid(31, 27, 0.75f, bumpy, true, 0.2f);
  for (int32_t t : {100, 101, 417, 418, 419, 800, 1203}) grid.tin.kill(t);
  return grid;
}

TEST(Chaining, EveryCrossingIsWrittenOnceAndLinesAreSimple) {
  const Grid grid = bumpy_grid_with_holes();
  const std::vector<float> iso = iso_from(-3.1f, 0.25f, 26);
  for (float z : grid.tin.points) ASSERT_EQ(std::count(iso.begin(), iso.end(), z), 0);
  const auto lines = trace(grid.tin, iso);
  EXPECT_EQ(written_segments(lines), expected_segments(grid.tin, iso));

  int loops = 0;
  std::set<std::pair<float, Point>> positions;  // no crossing in two lines
  for (const RecordedLine& line : lines) {
    const float h = line.vertices[0][2];
    expect_simple(line, h);
    loops += is_closed(line);
    const size_t distinct = line.vertices.size() - (is_closed(line) ? 1 : 0);
    for (size_t i = 0; i < distinct; i++) {
      EXPECT_TRUE(positions.insert({h, {line.vertices[i][0], line.vertices[i][1]}}).second);
    }
  }
  EXPECT_GT(loops, 0);
  EXPECT_GT(static_cast<int>(lines.size()), loops);
}

TEST(Chaining, OpenLinesEndOnlyOnBoundaryEdges) {
  const Grid grid = bumpy_grid_with_holes();
  const std::vector<float> iso = iso_from(-3.1f, 0.25f, 26);
  // boundary edges: hull edges and edges of killed triangles, seen from alive triangles
  std::set<std::pair<uint32_t, uint32_t>> boundary;
  const auto& tris = grid.tin.triangles;
  for (const TINtriangle& tri : tris) {
    if (!tin_in_use(tri) || tin_is_infinite(tri) || (tri.link_or_flags & TIN_KILLED)) continue;
    for (int k = 0; k < 3; k++) {
      const TINtriangle& other = tris[tri.N[k] / 3];
      if (tin_is_infinite(other) || (other.link_or_flags & TIN_KILLED)) {
        boundary.insert(std::minmax(tri.V[(k + 1) % 3], tri.V[(k + 2) % 3]));
      }
    }
  }
  std::set<std::pair<float, Point>> allowed;
  for (float h : iso) {
    for (const auto& [w, u] : boundary) {
      const float* a = grid.tin.point(u);
      const float* b = grid.tin.point(w);
      if ((a[2] < h) == (b[2] < h)) continue;
      const double s = (double{h} - double{a[2]}) / (double{b[2]} - double{a[2]});
      allowed.insert({h,
                      {static_cast<float>(s * double{b[0]} + (1 - s) * double{a[0]}),
                       static_cast<float>((1 - s) * double{a[1]} + s * double{b[1]})}});
    }
  }
  const auto ends = open_line_ends(grid.tin, iso);
  EXPECT_FALSE(ends.empty());
  for (const auto& end : ends) EXPECT_TRUE(allowed.count(end)) << "end inside at " << end.first;
  // and every boundary crossing is the end of some line
  EXPECT_EQ(ends.size(), allowed.size());
}

// ---- a real Delaunay triangulation ----------------------------------------------------------

TEST(DelaunayTin, RandomConeGivesLoopsAboveTheHullAndEveryCrossingOnce) {
  std::mt19937 random(4242);
  std::uniform_real_distribution<float> coordinate(0.0f, 40.0f);
  auto height = [](float x, float y) { return 10.0f - 0.5f * std::hypot(x - 20.0f, y - 20.0f); };
  std::vector<float> points = {20.0f, 20.0f, 10.0f};  // the peak itself is a vertex
  for (int i = 0; i < 3000; i++) {
    const float x = coordinate(random), y = coordinate(random);
    points.insert(points.end(), {x, y, height(x, y)});
  }
  const uint32_t n = static_cast<uint32_t>(points.size() / 3);
  TIN tin;
  ASSERT_TRUE(tin.clean(n, points.data(), 3));
  for (uint32_t v = 0; v < n; v++) ASSERT_TRUE(tin.add_point(v));
  ASSERT_TRUE(tin.finish());
  HandTin view;
  view.points = points;
  view.triangles.assign(tin.triangles(), tin.triangles() + tin.triangle_count());
  float hull_top = -1e30f;
  for (const TINtriangle& t : view.triangles) {
    if (tin_in_use(t) && tin_is_infinite(t))
      hull_top = std::max({hull_top, view.point(t.V[1])[2], view.point(t.V[2])[2]});
  }
  ASSERT_LT(hull_top, 8.0f);
  std::vector<float> iso;
  for (float h = std::ceil(hull_top) + 0.3f; h < 8.5f; h += 0.5f) iso.push_back(h);
  ASSERT_GE(iso.size(), 2u);
  const auto lines = trace(view, iso);
  EXPECT_EQ(written_segments(lines), expected_segments(view, iso));
  expect_one_loop_per_value(lines, iso, 1, 20, 0.5f, 0.5f);
}

// ---- options, counts, failures and reuse ----------------------------------------------------

TEST(Tracer, LoopsOnlyReleasesOpenLinesButCountsThem) {
  const Grid grid = bumpy_grid_with_holes();
  const std::vector<float> iso = iso_from(-3.1f, 0.25f, 26);
  ContourTracer all_tracer;
  const auto all = trace(all_tracer, grid.tin, iso);
  ContourTracer loops_tracer;
  const auto loops = trace(loops_tracer, grid.tin, iso, true);
  std::vector<RecordedLine> expected;
  int64_t line_segments = 0, loop_segments = 0;
  for (const RecordedLine& line : all) {
    if (is_closed(line)) {
      expected.push_back(line);
      loop_segments += static_cast<int64_t>(line.vertices.size()) - 1;
    } else {
      line_segments += static_cast<int64_t>(line.vertices.size()) - 1;
    }
  }
  ASSERT_EQ(loops.size(), expected.size());
  for (size_t i = 0; i < loops.size(); i++) EXPECT_EQ(loops[i].vertices, expected[i].vertices);
  const ContourStatistics& c = loops_tracer.counts();
  EXPECT_EQ(c.lines, static_cast<int64_t>(all.size() - expected.size()));
  EXPECT_EQ(c.line_segments, line_segments);
  EXPECT_EQ(c.loops, static_cast<int64_t>(expected.size()));
  EXPECT_EQ(c.loop_segments, loop_segments);
  EXPECT_EQ(all_tracer.counts().lines, c.lines);
}

TEST(Tracer, WriterFailureIsReportedAndTheTracerStaysUsable) {
  const Grid grid = cone(1, true);
  const std::vector<float> iso = iso_from(0.3f, 1.0f, 10);
  ContourTracer tracer;
  RecordingWriter failing;
  failing.fail_after = 30;
  EXPECT_FALSE(tracer.extract(
      ConstTinView{grid.tin.triangles.data(), grid.tin.count(), grid.tin.points.data(), HandTin::STRIDE}, iso,
      failing, false));
  tracer.release_pools();
  // the next file starts clean: same output as a fresh tracer, twice in a row
  const auto first = trace(tracer, grid.tin, iso);
  tracer.release_pools();
  const auto second = trace(tracer, grid.tin, iso);
  const auto fresh = trace(grid.tin, iso);
  ASSERT_EQ(first.size(), fresh.size());
  for (size_t i = 0; i < fresh.size(); i++) {
    EXPECT_EQ(first[i].vertices, fresh[i].vertices);
    EXPECT_EQ(second[i].vertices, fresh[i].vertices);
  }
}

TEST(Tracer, PoolLimitStopsWithTheBufferMessage) {
  const Grid grid = cone(1, false);
  const std::vector<float> iso = iso_from(0.3f, 1.0f, 10);
  ContourTracer tracer(1, 2);  // blocks of 1 and 2 records, the third (4) is refused
  RecordingWriter writer;
  try {
    tracer.extract(
        ConstTinView{grid.tin.triangles.data(), grid.tin.count(), grid.tin.points.data(), HandTin::STRIDE},
        iso, writer, false);
    FAIL() << "the pool limit was not enforced";
  } catch (const std::runtime_error& e) {
    const std::string message = e.what();
    EXPECT_TRUE(message.starts_with("ERROR: malloc for vertex buffer 4 failed: ") ||
                message.starts_with("ERROR: malloc for component buffer 4 failed: "))
        << message;
  }
  tracer.release_pools();
  const HandTin small = one_triangle(0, 10, 10);
  EXPECT_EQ(trace(tracer, small, {4}).size(), 1u);
}

// One contour along a strip of 40000 cells has some 80000 vertices, all held until the line
// reaches the far end. From a first block of one record, 16 blocks hold only 65535: the pool must
// grow past them, as the production pool must past its 16th block on dense contours of a large
// tile.
TEST(Tracer, APoolGrowsPastSixteenBlocksForALongContour) {
  constexpr int kCells = 40000;
  const Grid strip = build_grid(
      kCells + 1, 2, 1.0f, [](float, float y) { return y; }, false);
  ContourTracer tracer(1);
  const auto lines = trace(tracer, strip.tin, {0.5f});
  ASSERT_EQ(lines.size(), 1u);
  const auto& v = lines[0].vertices;
  EXPECT_GT(v.size(), size_t{65535});
  EXPECT_FALSE(is_closed(lines[0]));
  for (const auto& p : v) ASSERT_FLOAT_EQ(p[1], 0.5f);
  // The line runs from one end of the strip to the other.
  const float low = std::min(v.front()[0], v.back()[0]), high = std::max(v.front()[0], v.back()[0]);
  EXPECT_EQ(low, 0.0f);
  EXPECT_EQ(high, float{kCells});
}

TEST(Tracer, UnsortedIsoValuesAreRefused) {
  ContourTracer tracer;
  RecordingWriter writer;
  const HandTin tin = one_triangle(0, 10, 10);
  EXPECT_THROW(
      tracer.extract(ConstTinView{tin.triangles.data(), tin.count(), tin.points.data(), HandTin::STRIDE},
                     std::vector<float>{5, 4}, writer, false),
      std::runtime_error);
}

// ---- simplification and cleaning ------------------------------------------------------------

// What thinning a written line should give, computed on plain vectors: the line as written
// without simplification, a loop's repeated start dropped.
struct Polyline {
  std::vector<Point> points;
  bool loop = false;
};

Polyline polyline_of(const RecordedLine& line) {
  Polyline p;
  p.loop = is_closed(line);
  for (size_t i = 0; i < line.vertices.size() - (p.loop ? 1 : 0); i++) {
    p.points.push_back({line.vertices[i][0], line.vertices[i][1]});
  }
  return p;
}

double doubled_area(Point a, Point b, Point c) {
  return std::fabs((double{b.second} - double{c.second}) * (double{a.first} - double{b.first}) -
                   (double{a.second} - double{b.second}) * (double{b.first} - double{c.first}));
}

int64_t reference_area_thinning(Polyline& line, double threshold) {
  const size_t n = line.points.size();
  const size_t last = line.loop ? n : n - 1;  // vertices 1 .. last-1 are tested
  const int64_t removable = line.loop ? static_cast<int64_t>(n) - 3 : INT64_MAX;
  std::vector<Point> kept{line.points[0]};
  int64_t removed = 0;
  for (size_t i = 1; i < last; i++) {
    const Point next = line.points[(i + 1) % n];
    if (removed < removable && doubled_area(line.points[i - 1], line.points[i], next) < threshold) {
      removed++;
    } else {
      kept.push_back(line.points[i]);
    }
  }
  if (!line.loop && n > 1) kept.push_back(line.points[n - 1]);
  line.points = kept;
  return removed;
}

int64_t reference_distance_thinning(Polyline& line, double threshold) {
  std::vector<Point> kept{line.points[0]};
  for (size_t i = 1; i < line.points.size(); i++) {
    const double dx = double{line.points[i].first} - double{kept.back().first};
    const double dy = double{line.points[i].second} - double{kept.back().second};
    if (std::sqrt(dx * dx + dy * dy) >= threshold) kept.push_back(line.points[i]);
  }
  const int64_t removed = static_cast<int64_t>(line.points.size() - kept.size());
  line.points = kept;
  return removed;
}

double reference_length(const Polyline& line) {
  double length = 0;
  const size_t n = line.points.size();
  for (size_t i = 0; i + (line.loop ? 0 : 1) < n; i++) {
    const Point p = line.points[i];
    const Point q = line.points[(i + 1) % n];
    const float dx = q.first - p.first;
    const float dy = q.second - p.second;
    length += std::sqrt(double{dx} * double{dx} + double{dy} * double{dy});
  }
  return length;
}

RecordedLine recorded(const Polyline& line, float h) {
  RecordedLine r;
  for (const Point& p : line.points) r.vertices.push_back({p.first, p.second, h});
  if (line.loop) r.vertices.push_back(r.vertices.front());
  return r;
}

TEST(Simplification, TracerMatchesThinningOfTheUnsimplifiedLines) {
  const Grid grid = bumpy_grid_with_holes();
  const std::vector<float> iso = iso_from(-3.1f, 0.25f, 26);
  const auto plain = trace(grid.tin, iso);
  const LineSimplification settings[] = {
      {0.05f, 0.0f, 0.0f}, {0.0f, 0.6f, 0.0f}, {0.0f, 0.0f, 4.0f}, {0.08f, 0.5f, 3.0f}, {0.0f, 30.0f, 0.0f}};
  for (const LineSimplification& s : settings) {
    SCOPED_TRACE(testing::Message() << "area " << s.simplify_area << " length " << s.simplify_length
                                    << " clean " << s.clean);
    ContourStatistics expected;
    std::vector<RecordedLine> expected_lines;
    for (const RecordedLine& line : plain) {
      Polyline p = polyline_of(line);
      const float h = line.vertices[0][2];
      if (s.simplify_area != 0) expected.area_removed += reference_area_thinning(p, s.simplify_area);
      if (s.simplify_length != 0) {
        expected.length_removed += reference_distance_thinning(p, s.simplify_length);
        if (p.points.size() == 1) {
          (p.loop ? expected.loops_vanished : expected.lines_vanished)++;
          continue;
        }
      }
      const int64_t segments = static_cast<int64_t>(p.points.size()) - (p.loop ? 0 : 1);
      const bool cleaned = s.clean != 0 && reference_length(p) < double{s.clean};
      if (cleaned) {
        (p.loop ? expected.loops_cleaned : expected.lines_cleaned)++;
        (p.loop ? expected.loop_segments_cleaned : expected.line_segments_cleaned) += segments;
        continue;
      }
      (p.loop ? expected.loops : expected.lines)++;
      (p.loop ? expected.loop_segments : expected.line_segments) += segments;
      expected_lines.push_back(recorded(p, h));
    }
    ContourTracer tracer;
    tracer.set_simplification(s);
    const auto lines = trace(tracer, grid.tin, iso);
    ASSERT_EQ(lines.size(), expected_lines.size());
    for (size_t i = 0; i < lines.size(); i++) EXPECT_EQ(lines[i].vertices, expected_lines[i].vertices) << i;
    const ContourStatistics& c = tracer.counts();
    const auto as_tuple = [](const ContourStatistics& x) {
      return std::make_tuple(x.area_removed, x.length_removed, x.lines_vanished, x.loops_vanished,
                             x.lines_cleaned, x.line_segments_cleaned, x.loops_cleaned,
                             x.loop_segments_cleaned, x.lines, x.line_segments, x.loops, x.loop_segments);
    };
    EXPECT_EQ(as_tuple(c), as_tuple(expected));
    EXPECT_GT(c.area_removed + c.length_removed + c.lines_cleaned + c.loops_cleaned, 0)
        << "nothing simplified";
  }
}

// A pyramid over a 4 x 4 square: the loop at half height runs through (+-1, +-1), 8 long exactly.
TEST(Simplification, CleanRemovesOnlyLoopsStrictlyShorter) {
  const HandTin tin = build_tin({0, 0, 1, -2, -2, 0, 2, -2, 0, 2, 2, 0, -2, 2, 0},
                                {{0, 1, 2}, {0, 2, 3}, {0, 3, 4}, {0, 4, 1}});
  for (const float clean : {8.0f, 8.001f}) {
    ContourTracer tracer;
    tracer.set_simplification({0.0f, 0.0f, clean});
    const auto lines = trace(tracer, tin, {0.5f});
    const bool kept = clean == 8.0f;
    EXPECT_EQ(lines.size(), kept ? 1u : 0u) << clean;
    EXPECT_EQ(tracer.counts().loops, kept ? 1 : 0);
    EXPECT_EQ(tracer.counts().loops_cleaned, kept ? 0 : 1);
    EXPECT_EQ(tracer.counts().loop_segments_cleaned, kept ? 0 : 4);
  }
}

TEST(Simplification, StatisticsAddUpOverFilesAndOpenLinesCountUnderLoopsOnly) {
  const Grid grid = bumpy_grid_with_holes();
  const std::vector<float> iso = iso_from(-3.1f, 0.25f, 26);
  ContourTracer once;
  once.set_simplification({0.05f, 0.5f, 2.0f});
  trace(once, grid.tin, iso, true);
  ContourTracer twice;
  twice.set_simplification({0.05f, 0.5f, 2.0f});
  trace(twice, grid.tin, iso, true);
  twice.release_pools();
  const auto second = trace(twice, grid.tin, iso, true);
  for (const RecordedLine& line : second) EXPECT_TRUE(is_closed(line));
  EXPECT_GT(once.counts().lines, 0);
  EXPECT_EQ(twice.counts().lines, 2 * once.counts().lines);
  EXPECT_EQ(twice.counts().loop_segments, 2 * once.counts().loop_segments);
  EXPECT_EQ(twice.counts().length_removed, 2 * once.counts().length_removed);
  EXPECT_EQ(twice.counts().area_removed, 2 * once.counts().area_removed);
}

}  // namespace
