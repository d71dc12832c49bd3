// The Hilbert curve and the canonical point order built on it.
#include "tin/spatial_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <tuple>
#include <vector>

namespace {

TEST(HilbertIndex, FirstCellsFillASquareOneNeighbourAtATime) {
  // The first 4^k positions cover the 2^k x 2^k cells at the origin, each once, and every step
  // moves to a cell sharing an edge.
  constexpr uint32_t kSide = 256;
  std::vector<std::pair<uint32_t, uint32_t>> cell_at(kSide * kSide, {kSide, kSide});
  for (uint32_t x = 0; x < kSide; x++) {
    for (uint32_t y = 0; y < kSide; y++) {
      const uint32_t d = hilbert_index(x, y);
      ASSERT_LT(d, kSide * kSide) << x << " " << y;
      ASSERT_EQ(cell_at[d].first, kSide) << "position " << d << " taken twice";
      cell_at[d] = {x, y};
    }
  }
  for (uint32_t d = 1; d < kSide * kSide; d++) {
    const auto [x0, y0] = cell_at[d - 1];
    const auto [x1, y1] = cell_at[d];
    ASSERT_EQ(std::abs(static_cast<int>(x0) - static_cast<int>(x1)) +
                  std::abs(static_cast<int>(y0) - static_cast<int>(y1)),
              1)
        << "step " << d;
  }
}

TEST(HilbertIndex, FullGridStepsToANeighbourAndEndsAtTheOtherCorner) {
  EXPECT_EQ(hilbert_index(0, 0), 0u);
  EXPECT_EQ(hilbert_index(65535, 0), UINT32_MAX);
  // Anywhere on the full grid, the next position is one of the four neighbours.
  std::mt19937 rng(1);
  for (int k = 0; k < 20000; k++) {
    const uint32_t x = rng() % 65536, y = rng() % 65536;
    const uint32_t d = hilbert_index(x, y);
    if (d == UINT32_MAX) continue;
    int found = 0;
    for (auto [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
      const int64_t nx = static_cast<int64_t>(x) + dx, ny = static_cast<int64_t>(y) + dy;
      if (nx < 0 || ny < 0 || nx > 65535 || ny > 65535) continue;
      found += hilbert_index(static_cast<uint32_t>(nx), static_cast<uint32_t>(ny)) == d + 1;
    }
    ASSERT_EQ(found, 1) << x << " " << y;
  }
}

struct Point {
  float x, y, z;
};

std::vector<float> flatten(const std::vector<Point>& points, uint32_t stride) {
  std::vector<float> v;
  for (const Point& p : points) {
    v.insert(v.end(), {p.x, p.y, p.z});
    for (uint32_t k = 3; k < stride; k++) v.push_back(-7.0f);
  }
  return v;
}

std::vector<Point> unflatten(const std::vector<float>& v, uint32_t stride) {
  std::vector<Point> points;
  for (size_t i = 0; i + stride <= v.size(); i += stride) points.push_back({v[i], v[i + 1], v[i + 2]});
  return points;
}

std::vector<Point> sorted(const std::vector<Point>& points) {
  std::vector<float> v = flatten(points, 3);
  hilbert_sort(v, 3, 0, static_cast<uint32_t>(points.size()));
  return unflatten(v, 3);
}

bool same_xy(const std::vector<Point>& a, const std::vector<Point>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); i++) {
    if (a[i].x != b[i].x || a[i].y != b[i].y) return false;
  }
  return true;
}

std::vector<Point> random_points(size_t n, double lo, double hi, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(lo, hi);
  std::vector<Point> points;
  for (size_t i = 0; i < n; i++) {
    points.push_back({static_cast<float>(u(rng)), static_cast<float>(u(rng)), static_cast<float>(i)});
  }
  return points;
}

// Point sets whose order must not depend on the order they come in: sizes on both sides of
// where the counting sort takes over, grids full of ties and equal coordinates, many scales.
std::vector<std::vector<Point>> canonical_cases() {
  std::vector<std::vector<Point>> cases;
  cases.push_back(random_points(3000, 0.0, 100.0, 1));
  cases.push_back(random_points(50000, -1e9, 1e9, 2));
  cases.push_back(random_points(20000, 0.0, 1e-9, 3));
  std::vector<Point> grid;
  for (int i = 0; i < 120; i++) {
    for (int j = 0; j < 90; j++)
      grid.push_back({0.5f * static_cast<float>(i), 0.5f * static_cast<float>(j), 0.0f});
  }
  cases.push_back(grid);
  std::vector<Point> clustered = random_points(6000, 0.0, 1e-3, 4);  // one cell at the top level
  clustered.push_back({1e6f, 1e6f, 0.0f});
  clustered.push_back({-0.0f, 0.0f, 1.0f});  // the two zeros are the same place
  clustered.push_back({0.0f, -0.0f, 2.0f});
  cases.push_back(clustered);
  return cases;
}

TEST(HilbertSort, OrderDependsOnlyOnThePoints) {
  for (const auto& points : canonical_cases()) {
    const std::vector<Point> reference = sorted(points);
    for (unsigned seed : {5u, 6u}) {
      std::vector<Point> shuffled = points;
      std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(seed));
      ASSERT_TRUE(same_xy(sorted(shuffled), reference)) << points.size() << " points, seed " << seed;
    }
    // Nothing lost, nothing made up.
    std::multiset<std::tuple<float, float, float>> in, out;
    for (const Point& p : points) in.insert({p.x, p.y, p.z});
    for (const Point& p : reference) out.insert({p.x, p.y, p.z});
    ASSERT_EQ(in, out);
  }
}

TEST(HilbertSort, EqualPlacesKeepTheirOrderAndStayTogether) {
  // Every place three times, with z telling the order of arrival.
  std::vector<Point> points;
  const std::vector<Point> places = random_points(5000, 0.0, 10.0, 7);
  for (int copy = 0; copy < 3; copy++) {
    for (const Point& p : places) points.push_back({p.x, p.y, static_cast<float>(copy)});
  }
  std::shuffle(points.begin(), points.end(), std::mt19937(8));
  std::map<std::pair<float, float>, std::vector<float>> arrival;
  for (const Point& p : points) arrival[{p.x, p.y}].push_back(p.z);
  const std::vector<Point> out = sorted(points);
  for (size_t i = 0; i < out.size(); i += 3) {
    ASSERT_TRUE(out[i].x == out[i + 2].x && out[i].y == out[i + 2].y) << "copies apart at " << i;
    const std::vector<float>& zs = arrival[{out[i].x, out[i].y}];
    ASSERT_EQ((std::vector<float>{out[i].z, out[i + 1].z, out[i + 2].z}), zs);
  }
}

TEST(HilbertSort, ConsecutivePointsLieCloseEvenInsideOneCell) {
  // A cluster far smaller than one cell of the curve over the whole box is ordered along a finer
  // curve of its own, so neighbours in the order are near each other there too.
  std::vector<Point> points = random_points(4000, 5.0, 5.0 + 1e-4, 9);
  points.push_back({-1e5f, 3e5f, 0.0f});
  std::vector<Point> out = sorted(points);
  out.erase(std::find_if(out.begin(), out.end(), [](const Point& p) { return p.x < 0; }));
  double total = 0;
  for (size_t i = 1; i < out.size(); i++) {
    total += static_cast<double>(std::hypot(out[i].x - out[i - 1].x, out[i].y - out[i - 1].y));
  }
  // Kept in arrival (random) order, a step would be about half the cluster's width.
  EXPECT_LT(total / static_cast<double>(out.size()), 0.05 * 1e-4);
}

TEST(HilbertSort, LeavesTheLeadingVerticesAndOtherWordsAlone) {
  constexpr uint32_t kStride = 4;
  std::vector<Point> points = random_points(9000, 0.0, 50.0, 10);
  std::vector<float> v = flatten(points, kStride);
  for (size_t i = 0; i < v.size(); i += kStride) v[i + 3] = v[i + 2] + 0.5f;  // moves with its point
  const std::vector<float> before = v;
  constexpr uint32_t kFirst = 100;
  hilbert_sort(v, kStride, kFirst, 9000 - kFirst);
  ASSERT_EQ(v.size(), before.size());
  EXPECT_TRUE(std::equal(v.begin(), v.begin() + kFirst * kStride, before.begin()));
  for (size_t i = 0; i < v.size(); i += kStride) ASSERT_EQ(v[i + 3], v[i + 2] + 0.5f) << i;
  std::vector<Point> rest(points.begin() + kFirst, points.end());
  EXPECT_TRUE(
      same_xy(unflatten(std::vector<float>(v.begin() + kFirst * kStride, v.end()), kStride), sorted(rest)));
}

TEST(HilbertSort, FewPointsAndOnePlace) {
  for (uint32_t n : {0u, 1u, 2u, 5u}) {
    std::vector<float> v = flatten(random_points(n, 0.0, 1.0, 11), 3);
    const std::vector<float> before = v;
    hilbert_sort(v, 3, 0, n);
    std::vector<float> a = before, b = v;
    EXPECT_EQ(std::multiset<float>(a.begin(), a.end()), std::multiset<float>(b.begin(), b.end()));
  }
  std::vector<Point> same(7000, Point{3.0f, 4.0f, 0.0f});
  for (size_t i = 0; i < same.size(); i++) same[i].z = static_cast<float>(i);
  const std::vector<Point> out = sorted(same);
  for (size_t i = 0; i < out.size(); i++) ASSERT_EQ(out[i].z, static_cast<float>(i));
}

}  // namespace
