#include "contour/terrain.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "contour/contour_tracer.h"
#include "surfaces.h"
#include "tin/delaunay.h"

namespace {

constexpr int kSide = 20;  // lattices span [0, 20] x [0, 20] with unit spacing

// Points and the TIN built from them with the project's triangulation (the TIN keeps a pointer
// to the points, so both live together and never move).
struct TerrainTin {
  std::vector<float> points;
  uint32_t stride = 3;
  TIN tin;

  uint32_t size() const { return static_cast<uint32_t>(points.size() / stride); }
  const float* vertex(uint32_t v) const { return points.data() + size_t{v} * stride; }
  float z(uint32_t v) const { return vertex(v)[2]; }
  TINtriangle* triangles() { return tin.triangles(); }
  const TINtriangle& triangle(int32_t t) const { return tin.triangles()[t]; }
  int32_t count() const { return tin.triangle_count(); }
  bool finite(int32_t t) const { return tin_in_use(triangle(t)) && !tin_is_infinite(triangle(t)); }
  void carve(float concavity_sq) {
    carve_concave_hull(TinView{triangles(), count(), points.data(), stride}, concavity_sq);
  }
  int32_t kill(float kill_sq) {
    return kill_long_edge_triangles(TinView{triangles(), count(), points.data(), stride}, kill_sq);
  }
  void smooth(int passes, bool honour_lock = false) {
    smooth_terrain(TinView{triangles(), count(), points.data(), stride}, passes, honour_lock);
  }
};

// The lattice points (i, j), 0 <= i, j <= kSide, that `keep` accepts, at elevation z(x, y), in
// row order; with stride 4 the fourth word is 0.
std::vector<float> lattice_points(const std::function<bool(int, int)>& keep,
                                  const std::function<float(float, float)>& z, uint32_t stride = 3) {
  std::vector<float> points;
  for (int j = 0; j <= kSide; j++) {
    for (int i = 0; i <= kSide; i++) {
      if (!keep(i, j)) continue;
      const float x = static_cast<float>(i), y = static_cast<float>(j);
      points.insert(points.end(), {x, y, z(x, y)});
      if (stride == 4) points.push_back(0.0f);
    }
  }
  return points;
}

std::unique_ptr<TerrainTin> triangulate(std::vector<float> points, uint32_t stride = 3) {
  auto t = std::make_unique<TerrainTin>();
  t->points = std::move(points);
  t->stride = stride;
  EXPECT_TRUE(t->tin.clean(t->size(), t->points.data(), stride));
  for (uint32_t v = 0; v < t->size(); v++) EXPECT_TRUE(t->tin.add_point(v));
  EXPECT_TRUE(t->tin.finish());
  return t;
}

std::unique_ptr<TerrainTin> lattice(const std::function<bool(int, int)>& keep,
                                    const std::function<float(float, float)>& z) {
  return triangulate(lattice_points(keep, z));
}

double signed_area(const float* a, const float* b, const float* c) {
  return 0.5 * ((double{b[0]} - double{a[0]}) * (double{c[1]} - double{a[1]}) -
                (double{b[1]} - double{a[1]}) * (double{c[0]} - double{a[0]}));
}

// Every neighbour code points back and names the same two vertices, finite triangles turn
// counter-clockwise, and the infinite triangles chain through their edges 1 and 2 into one ring
// along the hull.
void expect_consistent(const TerrainTin& t) {
  int32_t infinite = 0, first_infinite = -1;
  for (int32_t i = 0; i < t.count(); i++) {
    const TINtriangle& tri = t.triangle(i);
    if (!tin_in_use(tri)) continue;
    for (int k = 0; k < 3; k++) {
      const int32_t n = tri.N[k];
      ASSERT_TRUE(n >= 0 && n / 3 < t.count()) << "triangle " << i << " edge " << k;
      const TINtriangle& other = t.triangle(n / 3);
      const int j = n % 3;
      ASSERT_TRUE(tin_in_use(other));
      EXPECT_EQ(other.N[j], 3 * i + k) << "triangle " << i << " edge " << k;
      EXPECT_EQ(tri.V[(k + 1) % 3], other.V[(j + 2) % 3]);
      EXPECT_EQ(tri.V[(k + 2) % 3], other.V[(j + 1) % 3]);
    }
    if (tin_is_infinite(tri)) {
      infinite++;
      if (first_infinite < 0) first_infinite = i;
    } else {
      EXPECT_GT(signed_area(t.vertex(tri.V[0]), t.vertex(tri.V[1]), t.vertex(tri.V[2])), 0) << i;
    }
  }
  int32_t ring = 0;
  int32_t g = first_infinite;
  do {
    const TINtriangle& tri = t.triangle(g);
    ASSERT_TRUE(tin_is_infinite(tri)) << "the hull ring leaves the infinite triangles at " << g;
    ASSERT_EQ(tri.N[1] % 3, 2);
    g = tri.N[1] / 3;
    EXPECT_EQ(tri.V[2], t.triangle(g).V[1]) << "hull edges do not chain";
  } while (++ring <= infinite && g != first_infinite);
  EXPECT_EQ(ring, infinite) << "the hull ring does not close over all infinite triangles";
}

std::vector<RecordedLine> trace(const TerrainTin& t, const std::vector<float>& iso) {
  ContourTracer tracer;
  RecordingWriter writer;
  EXPECT_TRUE(tracer.extract(ConstTinView{t.tin.triangles(), t.count(), t.points.data(), t.stride}, iso,
                             writer, false));
  return writer.lines;
}

// ---- concave hull ---------------------------------------------------------------------------

// A notch is the open box (x0, x1) x (y0, y1): the lattice points strictly inside it are missing.
// The shape left is a lattice polygon whose boundary edges are all 1 long, while every triangle
// the convex hull spans over the notch has an edge of at least sqrt(2). A concavity of 1.2 must
// therefore carve exactly the notch.
struct Notch {
  const char* name;
  float x0, x1, y0, y1;
  bool contains(double x, double y) const {
    return double{x0} < x && x < double{x1} && double{y0} < y && y < double{y1};
  }
  double area() const {  // of the notch inside the tile
    return (std::fmin(x1, kSide) - std::fmax(x0, 0)) * (std::fmin(y1, kSide) - std::fmax(y0, 0));
  }
  // On the boundary of the tile without the notch.
  bool on_boundary(float x, float y) const {
    const bool on_tile = (x == 0 || x == kSide || y == 0 || y == kSide) && !contains(x, y);
    const bool on_notch_side = ((x == x0 || x == x1) && y0 <= y && y <= y1) ||  //
                               ((y == y0 || y == y1) && x0 <= x && x <= x1);
    return on_tile || on_notch_side;
  }
};

class ConcaveHull : public testing::TestWithParam<Notch> {
 protected:
  std::unique_ptr<TerrainTin> build() const {
    const Notch n = GetParam();
    return lattice([n](int i, int j) { return !n.contains(i, j); },
                   [](float x, float y) { return y + 0.3f * x; });
  }
};

double finite_area(const TerrainTin& t) {
  double area = 0;
  for (int32_t i = 0; i < t.count(); i++) {
    if (!t.finite(i)) continue;
    const TINtriangle& tri = t.triangle(i);
    area += signed_area(t.vertex(tri.V[0]), t.vertex(tri.V[1]), t.vertex(tri.V[2]));
  }
  return area;
}

// Segments whose midpoint lies in the notch.
int segments_in_notch(const std::vector<RecordedLine>& lines, const Notch& notch) {
  int inside = 0;
  for (const RecordedLine& line : lines) {
    for (size_t i = 0; i + 1 < line.vertices.size(); i++) {
      const auto& p = line.vertices[i];
      const auto& q = line.vertices[i + 1];
      inside += notch.contains(0.5 * (double{p[0]} + double{q[0]}), 0.5 * (double{p[1]} + double{q[1]}));
    }
  }
  return inside;
}

TEST_P(ConcaveHull, CarvesExactlyTheNotchAndContoursEndAtIt) {
  const Notch notch = GetParam();
  auto t = build();
  const std::vector<float> iso = {2.5f, 6.5f, 10.5f, 14.5f, 18.5f, 22.5f};
  ASSERT_GT(finite_area(*t), kSide * kSide - notch.area())
      << "the convex hull spans the notch before carving";
  ASSERT_GT(segments_in_notch(trace(*t, iso), notch), 0) << "the fixture must have contours across the notch";

  t->carve(1.2f * 1.2f);
  expect_consistent(*t);
  EXPECT_EQ(finite_area(*t), kSide * kSide - notch.area());
  for (int32_t i = 0; i < t->count(); i++) {
    if (!t->finite(i)) continue;
    const TINtriangle& tri = t->triangle(i);
    double cx = 0, cy = 0;
    for (uint32_t v : tri.V) {
      cx += double{t->vertex(v)[0]} / 3.0;
      cy += double{t->vertex(v)[1]} / 3.0;
    }
    EXPECT_FALSE(notch.contains(cx, cy)) << "triangle " << i << " in the notch survived";
  }
  const auto lines = trace(*t, iso);
  EXPECT_EQ(segments_in_notch(lines, notch), 0);
  for (const RecordedLine& line : lines) {
    const auto& a = line.vertices.front();
    const auto& b = line.vertices.back();
    if (a == b) continue;  // a loop
    EXPECT_TRUE(notch.on_boundary(a[0], a[1])) << a[0] << " " << a[1];
    EXPECT_TRUE(notch.on_boundary(b[0], b[1])) << b[0] << " " << b[1];
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, ConcaveHull,
                         testing::Values(Notch{"C", 5, 21, 7, 13}, Notch{"L", 10, 21, 10, 21},
                                         Notch{"Bay", 8, 12, -1, 10}),
                         [](const testing::TestParamInfo<Notch>& shape) {
                           return std::string(shape.param.name);
                         });

TEST(ConcaveHullThreshold, CarvesOnlyHullEdgesStrictlyLongerThanTheConcavity) {
  // The C's only hull edge longer than 1 is its mouth, exactly 6 long.
  const Notch c{"C", 5, 21, 7, 13};
  struct Case {
    float concavity_sq;
    bool carves;
  } cases[] = {{0.0f, false},
               {-1.0f, false},
               {std::numeric_limits<float>::quiet_NaN(), false},
               {36.0f, false},
               {std::nextafter(36.0f, 0.0f), true}};
  for (const Case& k : cases) {
    auto t = lattice([c](int i, int j) { return !c.contains(i, j); }, [](float, float) { return 0.0f; });
    const std::vector<TINtriangle> before(t->triangles(), t->triangles() + t->count());
    t->carve(k.concavity_sq);
    const bool changed = std::memcmp(before.data(), t->triangles(), before.size() * sizeof(TINtriangle)) != 0;
    EXPECT_EQ(changed, k.carves) << "concavity_sq " << k.concavity_sq;
    expect_consistent(*t);
  }
}

TEST(ConcaveHullThreshold, CarvesThinShapesAwayCompletely) {
  // Every triangle here has two hull edges when its turn comes, so the carving meets hull
  // triangles on the far sides and must leave the records whole with no finite triangle left.
  const std::vector<std::vector<float>> shapes = {
      {0, 0, 0, 30, 0, 0, 15, 20, 0},            // a lone triangle
      {0, 0, 0, 10, 0, 0, 10, 1, 0, 0, 1, 0},    // a 10 x 1 rectangle
      {0, 0, 0, 10, 0, 0, 20, 1, 0, 30, 0, 0}};  // a flat fan
  for (const auto& points : shapes) {
    auto t = triangulate(points);
    t->carve(0.5f);
    expect_consistent(*t);
    EXPECT_EQ(finite_area(*t), 0.0) << points.size() / 3 << " points";
  }
}

// ---- killing --------------------------------------------------------------------------------

// Columns 9 to 11 are missing: the gap from x = 8 to 12 is bridged by 4 x 1 rectangles, each cut
// by a diagonal sqrt(17) long, the longest edge anywhere.
bool gap_column(int i) {
  return 8 < i && i < 12;
}

bool spans_gap(const TerrainTin& t, const TINtriangle& tri) {
  bool left = false, right = false;
  for (uint32_t v : tri.V) {
    left |= t.vertex(v)[0] == 8;
    right |= t.vertex(v)[0] == 12;
  }
  return left && right;
}

TEST(Kill, FlagsTrianglesWithAnEdgeAtLeastTheThresholdAndContoursEndThere) {
  struct Case {
    float kill_sq;
    bool kills_gap;
  } cases[] = {{17.0f, true}, {16.0f, true}, {std::nextafter(17.0f, 100.0f), false}, {0.0f, false}};
  const std::vector<float> iso = {2.5f, 7.5f, 12.5f, 17.5f};
  for (const Case& k : cases) {
    auto t = lattice([](int i, int) { return !gap_column(i); }, [](float, float y) { return y; });
    int32_t gap_triangles = 0;
    for (int32_t i = 0; i < t->count(); i++) gap_triangles += t->finite(i) && spans_gap(*t, t->triangle(i));
    ASSERT_EQ(gap_triangles, 2 * kSide);

    EXPECT_EQ(t->kill(k.kill_sq), k.kills_gap ? gap_triangles : 0) << "kill_sq " << k.kill_sq;
    for (int32_t i = 0; i < t->count(); i++) {
      const bool killed = (t->triangle(i).link_or_flags & TIN_KILLED) != 0;
      EXPECT_EQ(killed, k.kills_gap && t->finite(i) && spans_gap(*t, t->triangle(i))) << "triangle " << i;
    }
    EXPECT_EQ(t->kill(k.kill_sq), 0) << "flagged triangles are not counted again";

    // Each horizontal contour is one line across the tile, or two that end at the gap.
    const auto lines = trace(*t, iso);
    EXPECT_EQ(lines.size(), (k.kills_gap ? 2 : 1) * iso.size());
    std::multiset<float> ends;
    for (const RecordedLine& line : lines) {
      ends.insert(std::fmin(line.vertices.front()[0], line.vertices.back()[0]));
      ends.insert(std::fmax(line.vertices.front()[0], line.vertices.back()[0]));
    }
    const std::multiset<float> expected =
        k.kills_gap ? std::multiset<float>{0, 0, 0, 0, 8, 8, 8, 8, 12, 12, 12, 12, 20, 20, 20, 20}
                    : std::multiset<float>{0, 0, 0, 0, 20, 20, 20, 20};
    EXPECT_EQ(ends, expected);
  }
}

// ---- smoothing ------------------------------------------------------------------------------

TEST(Smooth, ReadsAllThreeElevationsBeforeWriting) {
  // 0.9f * 10 and 0.05f * 10 round to 9 and 0.5 in single precision. Had V1 seen the new V0 it
  // would get 0.45. The hand-built buffer also holds infinite triangles and a free record with
  // garbage vertex references, which must be skipped.
  HandTin tin = build_tin({0, 0, 10, 4, 0, 0, 0, 4, 0}, {{0, 1, 2}});
  smooth_terrain(TinView{tin.triangles.data(), tin.count(), tin.points.data(), HandTin::STRIDE}, 1, false);
  EXPECT_EQ(tin.points[2], 9.0f);
  EXPECT_EQ(tin.points[5], 0.5f);
  EXPECT_EQ(tin.points[8], 0.5f);
}

TEST(Smooth, LevelSurfaceStaysBitForBit) {
  // The weights sum to 0.9f + 2 * 0.05f = 1 - 2.2e-8, less than half a unit in the last place of
  // any normal float (at least 2^-25 = 2.98e-8 of its value), so every store rounds back to the
  // level it read: no tolerance is needed.
  for (float level : {0.0f, 1.0f, 64.0f, 127.99999f, -35.7f, 1234.567f, 8388607.0f, 1e-30f}) {
    auto t = lattice([](int, int) { return true; }, [level](float, float) { return level; });
    t->smooth(3);
    for (uint32_t v = 0; v < t->size(); v++) ASSERT_EQ(t->z(v), level) << "vertex " << v;
  }
}

double rms_from_plane(const TerrainTin& t, const std::function<double(double, double)>& plane) {
  double sum = 0;
  for (uint32_t v = 0; v < t.size(); v++) {
    const double d = double{t.z(v)} - plane(t.vertex(v)[0], t.vertex(v)[1]);
    sum += d * d;
  }
  return std::sqrt(sum / t.size());
}

TEST(Smooth, NoisyPlaneFlattensWithEveryPass) {
  const auto plane = [](double x, double y) { return 50.0 + 0.02 * x - 0.01 * y; };
  std::mt19937 random(4242);
  std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
  auto t = lattice([](int, int) { return true; },
                   [&](float x, float y) { return static_cast<float>(plane(x, y)) + noise(random); });
  std::vector<float> at_once = t->points;
  smooth_terrain(TinView{t->triangles(), t->count(), at_once.data(), t->stride}, 3, false);
  double previous = rms_from_plane(*t, plane);
  for (int pass = 1; pass <= 3; pass++) {
    t->smooth(1);
    const double rms = rms_from_plane(*t, plane);
    EXPECT_LT(rms, previous) << "pass " << pass;
    previous = rms;
  }
  EXPECT_EQ(t->points, at_once) << "three passes at once differ from three single passes";
}

TEST(Smooth, LaterTrianglesSeeEarlierWritesAndSharedVerticesMoveOncePerTriangle) {
  // A square of two triangles, t0 = (0, 1, 2) and t1 = (0, 2, 3), with a 20 m corner at vertex 2.
  // Worked by hand with the single-precision weights 0.9f and 0.05f, every store rounded to float:
  //   t0: v0 = v1 = 0.05f * 20 = 1.0000000149 -> 1, v2 = 0.9f * 20 = 17.9999995 -> 18
  //   t1 sees v0 = 1 and v2 = 18:
  //       v0 = 0.9f * 1 + 0.05f * 18 = 1.79999999 -> 1.8f
  //       v2 = 0.9f * 18 + 0.05f * 1 = 16.2499996 -> 16.25
  //       v3 = 0.05f * (1 + 18) = 0.950000014 -> 0.95f
  // Had t1 read the elevations as they were before the pass, v3 would be 1.
  HandTin tin = build_tin({0, 0, 0, 4, 0, 0, 4, 4, 20, 0, 4, 0}, {{0, 1, 2}, {0, 2, 3}});
  ASSERT_EQ(tin.find(0, 1, 2), 0);
  ASSERT_EQ(tin.find(0, 2, 3), 1);
  smooth_terrain(TinView{tin.triangles.data(), tin.count(), tin.points.data(), HandTin::STRIDE}, 1, false);
  EXPECT_EQ(tin.points[2], 1.8f);
  EXPECT_EQ(tin.points[5], 1.0f);
  EXPECT_EQ(tin.points[8], 16.25f);
  EXPECT_EQ(tin.points[11], 0.95f);
}

TEST(Smooth, LockKeepsAnElevationThatIsStillRead) {
  // The spike is vertex 0 so that the driver's helper can lock it.
  struct Case {
    bool lock;
    bool honour_lock;
    bool keeps;
  } cases[] = {{true, true, true}, {true, false, false}, {false, true, false}};
  for (const Case& k : cases) {
    std::vector<float> points = {10.0f, 10.0f, 10.0f, 1.0f};  // a fourth word that is not the lock
    const auto rest = lattice_points([](int i, int j) { return !(i == 10 && j == 10); },
                                     [](float, float) { return 0.0f; }, 4);
    points.insert(points.end(), rest.begin(), rest.end());
    if (k.lock) lock_vertex_elevations(points.data(), 4, 1);
    auto t = triangulate(std::move(points), 4);
    EXPECT_EQ(is_elevation_locked(t->vertex(0)), k.lock);

    t->smooth(2, k.honour_lock);
    EXPECT_EQ(t->z(0) == 10.0f, k.keeps);
    const float neighbour = t->z(1 + 9 * (kSide + 1) + 10);  // (10, 9), one row below the spike
    EXPECT_GT(neighbour, 0.0f) << "the spike's elevation is read either way";
  }
}

}  // namespace
