// Triangulations checked against the invariants any Delaunay TIN must meet, in both insertion
// orders, plus the order itself, the duplicate rule and the bounds of the triangle buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "tin/delaunay.h"
#include "tin/predicates.h"
#include "tin/spatial_sort.h"

namespace {

struct Cloud {
  uint32_t stride = 3;
  std::vector<float> v;
  void add(double x, double y, double z = 0) {
    v.push_back(static_cast<float>(x));
    v.push_back(static_cast<float>(y));
    v.push_back(static_cast<float>(z));
    for (uint32_t k = 3; k < stride; k++) v.push_back(-1.0f);
  }
  uint32_t size() const { return static_cast<uint32_t>(v.size() / stride); }
  const float* at(uint32_t i) const { return v.data() + static_cast<size_t>(i) * stride; }
};

std::array<double, 2> xy(const float* p) {
  return {p[0], p[1]};
}

// Builds the TIN of all points of `cloud` in order; answers finish().
bool triangulate(TIN& tin, const Cloud& cloud, TINinsertion insertion = TINinsertion::kDelayed) {
  EXPECT_TRUE(tin.clean(cloud.size(), cloud.v.data(), cloud.stride, insertion));
  for (uint32_t i = 0; i < cloud.size(); i++) EXPECT_TRUE(tin.add_point(i));
  return tin.finish();
}

// The cloud in Hilbert order, as the program triangulates it by default.
Cloud hilbert_sorted(Cloud c) {
  hilbert_sort(c.v, c.stride, 0, c.size());
  return c;
}

// Every invariant of a Delaunay TIN over the distinct points of cloud[0 .. added). With
// `first_stays`, the vertex at each place must be the first point given there; otherwise which
// one it is follows the delay queue, whose random exchanges decouple it from the input order.
void check_triangulation(const TIN& tin, const Cloud& cloud, uint32_t added, bool first_stays = false) {
  TINpredicates pred;
  // Distinct xy -> the indices of the points there, in input order.
  std::map<std::pair<float, float>, std::vector<uint32_t>> at_xy;
  for (uint32_t i = 0; i < added; i++) at_xy[std::make_pair(cloud.at(i)[0], cloud.at(i)[1])].push_back(i);

  const TINtriangle* tri = tin.triangles();
  const int32_t count = tin.triangle_count();
  auto pt = [&](uint32_t v) { return xy(cloud.at(v)); };
  int64_t finite = 0, infinite = 0;
  double area2 = 0, hull_area2 = 0;
  std::set<uint32_t> vertices, hull_vertices;
  for (int32_t t = 0; t < count; t++) {
    const TINtriangle& T = tri[t];
    if (!tin_in_use(T)) continue;
    ASSERT_EQ(T.link_or_flags, TIN_IN_USE) << "fresh triangles carry no flags";
    for (int k = 0; k < 3; k++) {
      const int32_t code = T.N[k];
      ASSERT_GE(code, 0);
      ASSERT_LT(code / 3, count);
      const TINtriangle& U = tri[code / 3];
      const int j = code % 3;
      ASSERT_TRUE(tin_in_use(U)) << "triangle " << t << " edge " << k;
      ASSERT_EQ(U.N[j], 3 * t + k) << "triangle " << t << " edge " << k;
      // The shared edge runs the other way in the neighbour.
      ASSERT_EQ(T.V[(k + 1) % 3], U.V[(j + 2) % 3]);
      ASSERT_EQ(T.V[(k + 2) % 3], U.V[(j + 1) % 3]);
    }
    if (tin_is_infinite(T)) {
      infinite++;
      ASSERT_NE(T.V[1], TIN_NO_VERTEX);
      ASSERT_NE(T.V[2], TIN_NO_VERTEX);
      ASSERT_FALSE(tin_is_infinite(tri[T.N[0] / 3])) << "a hull edge borders a finite triangle";
      ASSERT_TRUE(tin_is_infinite(tri[T.N[1] / 3]));
      ASSERT_TRUE(tin_is_infinite(tri[T.N[2] / 3]));
      hull_vertices.insert(T.V[1]);
      // The hull turns clockwise (or runs straight) at V[2].
      const TINtriangle& next = tri[T.N[1] / 3];
      const auto a = pt(T.V[1]), b = pt(T.V[2]), c = pt(next.V[2]);
      ASSERT_EQ(next.V[1], T.V[2]);
      ASSERT_LE(pred.orient2d(a.data(), b.data(), c.data()), 0.0) << "hull not convex at " << T.V[2];
      hull_area2 -= a[0] * b[1] - a[1] * b[0];
      continue;
    }
    finite++;
    const auto a = pt(T.V[0]), b = pt(T.V[1]), c = pt(T.V[2]);
    ASSERT_GT(pred.orient2d(a.data(), b.data(), c.data()), 0.0) << "triangle " << t;
    area2 += (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]);
    for (int k = 0; k < 3; k++) {
      vertices.insert(T.V[k]);
      const TINtriangle& U = tri[T.N[k] / 3];
      if (tin_is_infinite(U)) continue;
      const auto d = pt(U.V[T.N[k] % 3]);
      ASSERT_LE(pred.incircle(a.data(), b.data(), c.data(), d.data()), 0.0)
          << "triangle " << t << " edge " << k;
    }
  }
  const int64_t n = static_cast<int64_t>(at_xy.size());
  const int64_t h = static_cast<int64_t>(hull_vertices.size());
  EXPECT_EQ(infinite, h);
  EXPECT_EQ(finite, 2 * n - h - 2);
  EXPECT_NEAR(area2, hull_area2, 1e-9 * std::fabs(hull_area2));
  size_t matched = 0;
  for (const auto& [p, indices] : at_xy) {
    const auto hits =
        std::count_if(indices.begin(), indices.end(), [&](uint32_t i) { return vertices.count(i); });
    EXPECT_EQ(hits, 1) << "point (" << p.first << ", " << p.second << ") must be exactly one vertex";
    if (first_stays) {
      EXPECT_TRUE(vertices.count(indices[0])) << "(" << p.first << ", " << p.second << ")";
    }
    matched += static_cast<size_t>(hits);
  }
  EXPECT_EQ(vertices.size(), matched) << "a vertex that is no added point";
}

// ---- point sets ------------------------------------------------------------------------------

Cloud grid(int nx, int ny, double step, double offset) {
  Cloud c;
  for (int j = 0; j < ny; j++) {
    for (int i = 0; i < nx; i++) c.add(offset + i * step, offset + j * step, i + j);
  }
  return c;
}

Cloud shuffled(Cloud c, unsigned seed) {
  std::vector<uint32_t> order(c.size());
  for (uint32_t i = 0; i < order.size(); i++) order[i] = i;
  std::shuffle(order.begin(), order.end(), std::mt19937(seed));
  Cloud s;
  s.stride = c.stride;
  for (uint32_t i : order) s.add(c.at(i)[0], c.at(i)[1], c.at(i)[2]);
  return s;
}

Cloud uniform(uint32_t n, double lo, double hi, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(lo, hi);
  Cloud c;
  for (uint32_t i = 0; i < n; i++) c.add(u(rng), u(rng));
  return c;
}

// Flight lines about 1 m apart, points in flight order, small jitter.
Cloud scan_lines(uint32_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> jitter(0.0, 0.05);
  Cloud c;
  const uint32_t per_line = 300;
  for (uint32_t i = 0; i < n; i++) {
    const uint32_t line = i / per_line, k = i % per_line;
    const double along = (line % 2 ? per_line - k : k) * 0.7;
    c.add(1000.0 + along + jitter(rng), 2000.0 + line * 1.0 + jitter(rng), 100.0);
  }
  return c;
}

// The three vertices of a triangle, then points marching away along the lines of two hull edges
// in both directions, then points on every edge midpoint of a square split by its diagonal.
Cloud collinear_with_hull() {
  Cloud c;
  c.add(0, 0);
  c.add(1, 0);
  c.add(0, 1);
  for (int k = 2; k < 40; k++) {
    c.add(k, 0);
    c.add(0, k);
    c.add(-k, 0);
    c.add(0, -k + 1 - 1.0 * (k > 30));
  }
  return c;
}

Cloud points_on_edges() {
  Cloud c;
  for (auto [x, y] : std::vector<std::pair<double, double>>{{0, 0}, {4, 0}, {4, 4}, {0, 4}}) c.add(x, y);
  c.add(2, 2);  // on the diagonal
  for (auto [x, y] : std::vector<std::pair<double, double>>{
           {2, 0}, {4, 2}, {2, 4}, {0, 2}, {1, 1}, {3, 3}, {1, 3}, {3, 1}, {1, 0}, {3, 0}, {0.5, 0.5}}) {
    c.add(x, y);
  }
  return c;
}

Cloud scaled(Cloud c, double factor) {
  for (size_t i = 0; i < c.v.size(); i += c.stride) {
    c.v[i] = static_cast<float>(static_cast<double>(c.v[i]) * factor);
    c.v[i + 1] = static_cast<float>(static_cast<double>(c.v[i + 1]) * factor);
  }
  return c;
}

Cloud with_duplicates(Cloud c, unsigned seed) {
  Cloud d = c;
  std::mt19937 rng(seed);
  for (uint32_t i = 0; i < c.size(); i += 3) d.add(c.at(i)[0], c.at(i)[1], c.at(i)[2] + 50.0f);
  return shuffled(d, seed);
}

struct Case {
  std::string name;
  std::function<Cloud()> make;
};

const std::vector<Case>& cases() {
  static const std::vector<Case> all = {
      {"GridRowOrder", [] { return grid(40, 40, 1.0, 0.0); }},
      {"GridShuffled", [] { return shuffled(grid(60, 50, 0.5, 3.0), 1); }},
      {"GridAtLargeOffsetInUlpSteps",
       [] { return shuffled(grid(30, 30, std::ldexp(1.0, -6), 131072.0), 2); }},
      {"GridWithDuplicates", [] { return with_duplicates(grid(30, 30, 1.0, 0.0), 3); }},
      {"IntegerPointsManyDuplicatesWrapBuffer",
       [] {
         Cloud c;
         std::mt19937 rng(4);
         for (int i = 0; i < 22000; i++)
           c.add(static_cast<int>(rng() % 120), static_cast<int>(rng() % 120), i);
         return c;
       }},
      {"CollinearWithHullEdges", collinear_with_hull},
      {"PointsOnEdges", points_on_edges},
      {"RandomTinyScale", [] { return uniform(5000, 0.0, 1e-3, 5); }},
      {"RandomUnitWrapsBuffer", [] { return uniform(25000, 0.0, 1.0, 6); }},
      {"RandomLargeScale", [] { return uniform(5000, 0.0, 1e6, 7); }},
      // Cocircular grids and random points at the far ends of the float range's useful scales.
      {"GridScaledDown", [] { return shuffled(scaled(grid(40, 30, 1.0, 7.0), 1e-9), 20); }},
      {"GridScaledUp", [] { return shuffled(scaled(grid(40, 30, 1.0, 7.0), 1e9), 21); }},
      {"RandomAtNanoScale", [] { return uniform(5000, 0.0, 1e-9, 22); }},
      {"RandomAtGigaScale", [] { return uniform(5000, -1e9, 1e9, 23); }},
      {"ScanLines", [] { return scan_lines(30000, 8); }},
      {"ThinStrip", [] { return uniform(3000, 0.0, 1e-4, 9); }},
      // Scattered points first, then flight lines over the same area: the walk-ahead used for
      // scattered input has to hand over to plain walks from the newest triangle mid-run.
      {"RandomThenScanLines",
       [] {
         const Cloud lines = scan_lines(40000, 11);
         std::mt19937 rng(10);
         std::uniform_real_distribution<double> x(1000.0, 1210.0), y(2000.0, 2133.0);
         Cloud c;
         for (int i = 0; i < 20000; i++) c.add(x(rng), y(rng));
         for (uint32_t i = 0; i < lines.size(); i++) c.add(lines.at(i)[0], lines.at(i)[1]);
         return c;
       }},
  };
  return all;
}

class Triangulation : public ::testing::TestWithParam<std::tuple<size_t, TINinsertion>> {};

TEST_P(Triangulation, MeetsDelaunayInvariants) {
  const auto [index, insertion] = GetParam();
  const bool sorted = insertion == TINinsertion::kImmediate;
  const Cloud cloud = sorted ? hilbert_sorted(cases()[index].make()) : cases()[index].make();
  TIN tin;
  ASSERT_TRUE(triangulate(tin, cloud, insertion));
  check_triangulation(tin, cloud, cloud.size(), sorted);
}

std::string order_and_case_name(const ::testing::TestParamInfo<std::tuple<size_t, TINinsertion>>& info) {
  const bool sorted = std::get<1>(info.param) == TINinsertion::kImmediate;
  return (sorted ? "Sorted" : "Arrival") + cases()[std::get<0>(info.param)].name;
}

INSTANTIATE_TEST_SUITE_P(Cases, Triangulation,
                         ::testing::Combine(::testing::Range<size_t>(0, cases().size()),
                                            ::testing::Values(TINinsertion::kImmediate,
                                                              TINinsertion::kDelayed)),
                         order_and_case_name);

// ---- canonical order ---------------------------------------------------------------------------

// The program's default: the same points in any order give the very same triangle records.
class CanonicalTriangulation : public ::testing::TestWithParam<size_t> {};

TEST_P(CanonicalTriangulation, SamePointsInAnotherOrderGiveTheSameTriangles) {
  const Cloud cloud = cases()[GetParam()].make();
  const Cloud a = hilbert_sorted(cloud);
  const Cloud b = hilbert_sorted(shuffled(cloud, 30));
  for (uint32_t i = 0; i < a.size(); i++) {
    ASSERT_TRUE(a.at(i)[0] == b.at(i)[0] && a.at(i)[1] == b.at(i)[1]) << "sorted point " << i;
  }
  TIN ta, tb;
  ASSERT_TRUE(triangulate(ta, a, TINinsertion::kImmediate));
  ASSERT_TRUE(triangulate(tb, b, TINinsertion::kImmediate));
  ASSERT_EQ(ta.triangle_count(), tb.triangle_count());
  for (int32_t t = 0; t < ta.triangle_count(); t++) {
    const TINtriangle& A = ta.triangles()[t];
    const TINtriangle& B = tb.triangles()[t];
    ASSERT_EQ(tin_in_use(A), tin_in_use(B)) << t;
    if (!tin_in_use(A)) continue;
    ASSERT_TRUE(std::equal(A.V, A.V + 3, B.V) && std::equal(A.N, A.N + 3, B.N)) << "triangle " << t;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, CanonicalTriangulation, ::testing::Range<size_t>(0, cases().size()),
                         [](const auto& param_info) { return cases()[param_info.param].name; });

// Sorted set of triangles, each as its three corners' coordinates in sorted order.
std::set<std::array<float, 6>> triangle_set(const TIN& tin, const Cloud& cloud) {
  std::set<std::array<float, 6>> set;
  for (int32_t t = 0; t < tin.triangle_count(); t++) {
    const TINtriangle& T = tin.triangles()[t];
    if (!tin_in_use(T) || tin_is_infinite(T)) continue;
    std::array<std::pair<float, float>, 3> corners;
    for (int k = 0; k < 3; k++) corners[k] = {cloud.at(T.V[k])[0], cloud.at(T.V[k])[1]};
    std::sort(corners.begin(), corners.end());
    set.insert({corners[0].first, corners[0].second, corners[1].first, corners[1].second, corners[2].first,
                corners[2].second});
  }
  return set;
}

TEST(TinOrder, SortedAndArrivalOrderAgreeInGeneralPosition) {
  // Without four cocircular points the Delaunay triangulation is unique, whatever the order.
  for (const Cloud& cloud :
       {uniform(20000, 0.0, 300.0, 31), scan_lines(30000, 32), uniform(3000, -1e6, 1e6, 33)}) {
    const Cloud sorted = hilbert_sorted(cloud);
    TIN arrival, immediate;
    ASSERT_TRUE(triangulate(arrival, cloud, TINinsertion::kDelayed));
    ASSERT_TRUE(triangulate(immediate, sorted, TINinsertion::kImmediate));
    const auto a = triangle_set(arrival, cloud), b = triangle_set(immediate, sorted);
    EXPECT_TRUE(a == b) << a.size() << " against " << b.size() << " triangles";
  }
}

// ---- insertion order ---------------------------------------------------------------------------

int32_t in_use(const TIN& tin) {
  int32_t used = 0;
  for (int32_t t = 0; t < tin.triangle_count(); t++) used += tin_in_use(tin.triangles()[t]);
  return used;
}

TEST(TinOrder, CollinearStartTakesFirstTriangleFromLastThree) {
  Cloud c;
  c.add(0, 0);
  c.add(1, 0);
  c.add(2, 0);
  c.add(1, 1);
  c.add(3, 3);
  TIN tin;
  ASSERT_TRUE(tin.clean(c.size(), c.v.data(), 3));
  for (uint32_t i = 0; i < 4; i++) ASSERT_TRUE(tin.add_point(i));
  ASSERT_EQ(tin.triangle_count(), 4);
  const TINtriangle& first = tin.triangles()[0];
  EXPECT_EQ(std::set<uint32_t>(first.V, first.V + 3), (std::set<uint32_t>{1, 2, 3}));
  ASSERT_TRUE(tin.add_point(4));
  EXPECT_EQ(in_use(tin), 4) << "later points wait in the insertion buffer";
  ASSERT_TRUE(tin.finish());
  check_triangulation(tin, c, c.size());
}

TEST(TinOrder, PointsWaitForTenThousandLaterOnes) {
  const Cloud c = uniform(10010, 0.0, 100.0, 12);
  TIN tin;
  ASSERT_TRUE(tin.clean(c.size(), c.v.data(), 3));
  for (uint32_t i = 0; i < 10003; i++) ASSERT_TRUE(tin.add_point(i));
  EXPECT_EQ(in_use(tin), 4);
  ASSERT_TRUE(tin.add_point(10003));
  EXPECT_EQ(in_use(tin), 6) << "exactly one point inserted once the buffer is full";
  for (uint32_t i = 10004; i < c.size(); i++) ASSERT_TRUE(tin.add_point(i));
  ASSERT_TRUE(tin.finish());
  check_triangulation(tin, c, c.size());
}

TEST(TinOrder, DuplicateKeepsFirstZ) {
  Cloud c;
  c.add(0, 0, 1);
  c.add(5, 0, 1);
  c.add(0, 5, 1);
  c.add(1, 1, 10);
  c.add(1, 1, 20);  // same place, other z
  c.add(5, 0, 30);  // duplicate of a first-triangle vertex
  TIN tin;
  ASSERT_TRUE(triangulate(tin, c));
  check_triangulation(tin, c, c.size());
  std::set<uint32_t> used;
  for (int32_t t = 0; t < tin.triangle_count(); t++) {
    const TINtriangle& T = tin.triangles()[t];
    if (tin_in_use(T)) used.insert(T.V, T.V + 3);
  }
  EXPECT_TRUE(used.count(3));
  EXPECT_FALSE(used.count(4));
  EXPECT_FALSE(used.count(5));
}

TEST(TinOrder, FewerThanThreeOrOnlyCollinearPointsGiveNoTin) {
  for (uint32_t n : {0u, 1u, 2u, 500u}) {
    Cloud c;
    for (uint32_t i = 0; i < n; i++) c.add(i * 0.5, i * 0.25);
    TIN tin;
    ASSERT_TRUE(tin.clean(n, c.v.data(), 3));
    for (uint32_t i = 0; i < n; i++) ASSERT_TRUE(tin.add_point(i));
    EXPECT_FALSE(tin.finish()) << n;
  }
}

TEST(TinOrder, ImmediateInsertionWaitsOutAnyStraightStart) {
  // Sorted input can start with a long straight row; the arrival order's 10000-point limit must
  // not make that fatal.
  Cloud c;
  for (int i = 0; i < 15000; i++) c.add(i, 0.5 * i);
  c.add(7000.25, 10);
  for (int i = 0; i < 3000; i++) c.add(i * 2.5, 3 + (i % 7));
  TIN tin;
  ASSERT_TRUE(triangulate(tin, c, TINinsertion::kImmediate));
  check_triangulation(tin, c, c.size(), true);
  Cloud line;
  for (int i = 0; i < 12000; i++) line.add(i, 0.5 * i);
  EXPECT_FALSE(triangulate(tin, line, TINinsertion::kImmediate));
}

TEST(TinOrder, TenThousandCollinearPointsAreFatal) {
  Cloud c;
  for (int i = 0; i < 10001; i++) c.add(i, 2 * i);
  TIN tin;
  ASSERT_TRUE(tin.clean(c.size(), c.v.data(), 3));
  for (uint32_t i = 0; i < 9999; i++) ASSERT_TRUE(tin.add_point(i));
  try {
    tin.add_point(9999);
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "ERROR: cannot find triangle in first 10000 points.");
  }
}

// ---- bounds and reuse --------------------------------------------------------------------------

TEST(TinBounds, MorePointsThanAnnouncedAreRefused) {
  const Cloud c = uniform(40000, 0.0, 10.0, 13);
  for (uint32_t n : {3u, 100u, 20000u}) {
    TIN tin;
    ASSERT_TRUE(tin.clean(n, c.v.data(), 3));
    for (uint32_t i = 0; i < n; i++) ASSERT_TRUE(tin.add_point(i));
    EXPECT_FALSE(tin.add_point(0)) << "the n+1-th point, even a known index";
    EXPECT_FALSE(tin.add_point(n - 1));
    ASSERT_TRUE(tin.finish());
    check_triangulation(tin, c, n);
  }
  TIN tin;
  ASSERT_TRUE(tin.clean(10, c.v.data(), 3));
  EXPECT_FALSE(tin.add_point(10)) << "a vertex index beyond the announced points";
  EXPECT_FALSE(tin.add_point(UINT32_MAX));
}

TEST(TinBounds, NonFiniteCoordinatesAreRefused) {
  Cloud c = uniform(10, 0.0, 1.0, 14);
  c.add(std::nan(""), 0.5);
  c.add(0.5, INFINITY);
  TIN tin;
  ASSERT_TRUE(tin.clean(c.size(), c.v.data(), 3));
  for (uint32_t i = 0; i < 10; i++) ASSERT_TRUE(tin.add_point(i));
  EXPECT_FALSE(tin.add_point(10));
  EXPECT_FALSE(tin.add_point(11));
  ASSERT_TRUE(tin.finish());
  check_triangulation(tin, c, 10);
}

TEST(TinBounds, CountTooLargeForNeighbourCodesIsRefused) {
  TIN tin;
  testing::internal::CaptureStderr();
  const float dummy[3] = {0, 0, 0};
  EXPECT_FALSE(tin.clean(400000000u, dummy, 3));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR (TINclean): failed malloc for 800000000 TINtriangles.\n");
  EXPECT_FALSE(tin.add_point(0));
}

TEST(TinBounds, ReusedLargerBufferHoldsNoStaleTriangles) {
  const Cloud big = uniform(30000, 0.0, 100.0, 15);
  const Cloud small = shuffled(grid(20, 20, 1.0, 500.0), 16);
  TIN tin;
  ASSERT_TRUE(triangulate(tin, big));
  ASSERT_TRUE(triangulate(tin, small));
  check_triangulation(tin, small, small.size());
  const float outside[2] = {-1000.0f, -1000.0f};
  const int32_t t = tin.brute_locate(outside);
  ASSERT_GE(t, 0);
  EXPECT_TRUE(tin_is_infinite(tin.triangles()[t]));
  tin.release();
  EXPECT_EQ(tin.triangles(), nullptr);
  ASSERT_TRUE(triangulate(tin, small));
  check_triangulation(tin, small, small.size());
}

TEST(TinBounds, FourFloatStride) {
  Cloud c;
  c.stride = 4;
  std::mt19937 rng(17);
  for (int i = 0; i < 3000; i++)
    c.add(static_cast<double>(rng() % 1000) * 0.01, static_cast<double>(rng() % 1000) * 0.01, i);
  TIN tin;
  ASSERT_TRUE(triangulate(tin, c));
  EXPECT_EQ(tin.stride(), 4u);
  EXPECT_EQ(tin.points(), c.v.data());
  check_triangulation(tin, c, c.size());
}

// ---- locate and segment tests -------------------------------------------------------------------

TEST(TinLocate, BruteLocateFindsContainingTriangleOrVertex) {
  const Cloud c = uniform(2000, 0.0, 10.0, 18);
  TIN tin;
  ASSERT_TRUE(triangulate(tin, c));
  TINpredicates pred;
  std::mt19937 rng(19);
  std::uniform_real_distribution<float> u(-2.0f, 12.0f);
  for (int k = 0; k < 300; k++) {
    const float p[2] = {u(rng), u(rng)};
    const int32_t t = tin.brute_locate(p);
    ASSERT_GE(t, 0);
    const TINtriangle& T = tin.triangles()[t];
    const auto q = xy(p);
    if (tin_is_infinite(T)) {
      const auto a = xy(c.at(T.V[1])), b = xy(c.at(T.V[2]));
      EXPECT_GE(pred.orient2d(a.data(), b.data(), q.data()), 0.0);
      continue;
    }
    for (int e = 0; e < 3; e++) {
      const auto a = xy(c.at(T.V[(e + 1) % 3])), b = xy(c.at(T.V[(e + 2) % 3]));
      EXPECT_GE(pred.orient2d(a.data(), b.data(), q.data()), 0.0);
    }
  }
  EXPECT_EQ(tin.brute_locate(c.at(77)), -1);
}

TEST(TinSegment, InsegmentAndOnsegment) {
  struct Row {
    float a[2], b[2], p[2];
    int in;
  };
  const Row rows[] = {
      {{0, 0}, {4, 2}, {-2, -1}, 0}, {{0, 0}, {4, 2}, {0, 0}, 1}, {{0, 0}, {4, 2}, {4, 2}, 2},
      {{0, 0}, {4, 2}, {2, 1}, 3},   {{4, 2}, {0, 0}, {2, 1}, 3}, {{4, 2}, {0, 0}, {6, 3}, 0},
      {{1, 0}, {1, 5}, {1, 5}, 2},   {{1, 5}, {1, 0}, {1, 2}, 3}, {{1, 5}, {1, 0}, {1, -1}, 0},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(TINinsegment(r.a, r.b, r.p), r.in);
    EXPECT_EQ(TINonsegment(r.a, r.b, r.p), r.in != 0);
  }
  const float a[2] = {3, 3};
  try {
    TINinsegment(a, a, a);
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "ERROR: identical endpoints in TINinsegment() test.");
  }
  try {
    TINonsegment(a, a, a);
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "ERROR: identical endpoints in TINonsegment() test.");
  }
}

}  // namespace
