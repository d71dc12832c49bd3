// The predicates against an exact big-integer evaluation on inputs where the plain floating-point
// determinant is unreliable.
#include "tin/predicates.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>

#include "exact_reference.h"

namespace {

int sign(double v) {
  return (v > 0) - (v < 0);
}

// Nearly collinear points: a moves over a 64 x 64 grid of single-ulp steps around (0.5, 0.5),
// which lies on the line through b and c. The differences to c are inexact, so every stage of the
// adaptive evaluation is reached.
TEST(Predicates, Orient2dNearCollinearSweepMatchesExactSigns) {
  TINpredicates pred;
  const double b[2] = {12.0, 12.0}, c[2] = {24.0, 24.0};
  const double ulp = std::ldexp(1.0, -53);
  int positive = 0, negative = 0, zero = 0;
  for (int i = 0; i < 64; i++) {
    for (int j = 0; j < 64; j++) {
      const double a[2] = {0.5 + i * ulp, 0.5 + j * ulp};
      const int expected = exact_orient_sign(a, b, c);
      ASSERT_EQ(sign(pred.orient2d(a, b, c)), expected) << i << " " << j;
      ASSERT_EQ(sign(pred.orient2d(b, c, a)), expected) << i << " " << j;
      ASSERT_EQ(sign(pred.orient2d(b, a, c)), -expected) << i << " " << j;
      positive += expected > 0, negative += expected < 0, zero += expected == 0;
    }
  }
  EXPECT_EQ(zero, 64);  // the diagonal i == j
  EXPECT_GT(positive, 0);
  EXPECT_GT(negative, 0);
}

// Single-precision points rounded from one line, plus edge midpoints as the walk forms them.
TEST(Predicates, Orient2dRoundedFloatLinesMatchExactSigns) {
  TINpredicates pred;
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> t(-1000.0, 1000.0);
  for (int k = 0; k < 20000; k++) {
    auto on_line = [&](double s) {
      return std::array<double, 2>{static_cast<float>(1234.5 + 0.37 * s),
                                   static_cast<float>(-17.25 + 0.61 * s)};
    };
    const auto a = on_line(t(rng)), b = on_line(t(rng)), c0 = on_line(t(rng)), c1 = on_line(t(rng));
    const double m[2] = {(c0[0] + c1[0]) * 0.5, (c0[1] + c1[1]) * 0.5};
    ASSERT_EQ(sign(pred.orient2d(a.data(), b.data(), c0.data())),
              exact_orient_sign(a.data(), b.data(), c0.data()));
    ASSERT_EQ(sign(pred.orient2d(a.data(), m, b.data())), exact_orient_sign(a.data(), m, b.data()));
  }
}

// Exactly cocircular integer points answer exactly zero, in every rotation, and points of a
// grid that are not cocircular answer the exact sign.
TEST(Predicates, IncircleCocircularGridIsZero) {
  TINpredicates pred;
  const double square[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  EXPECT_EQ(pred.incircle(square[0], square[1], square[2], square[3]), 0.0);
  EXPECT_EQ(pred.incircle(square[1], square[2], square[3], square[0]), 0.0);
  const double pythagorean[8][2] = {{5, 0}, {4, 3}, {3, 4}, {0, 5}, {-3, 4}, {-4, -3}, {0, -5}, {3, -4}};
  for (double offset : {0.0, 1000.0, 65536.0}) {
    for (int i = 0; i < 8; i++) {
      for (int j = i + 1; j < 8; j++) {
        for (int k = j + 1; k < 8; k++) {
          for (int l = 0; l < 8; l++) {
            auto at = [&](int n) {
              return std::array<double, 2>{pythagorean[n][0] + offset, pythagorean[n][1] + offset};
            };
            const auto a = at(i), b = at(j), c = at(k), d = at(l);
            ASSERT_EQ(pred.incircle(a.data(), b.data(), c.data(), d.data()), 0.0) << i << j << k << l;
          }
        }
      }
    }
  }
  for (int x = -3; x <= 3; x++) {
    for (int y = -3; y <= 3; y++) {
      const double a[2] = {-2, 0}, b[2] = {2, 0}, c[2] = {0, 2},
                   d[2] = {static_cast<double>(x), static_cast<double>(y)};
      ASSERT_EQ(sign(pred.incircle(a, b, c, d)), sign(4.0 - x * x - y * y)) << x << " " << y;
    }
  }
}

// d near the top of a circle of radius 2^26: the in/out decision hinges on the last bits, and
// the tiny x offset makes the differences inexact in double.
TEST(Predicates, IncircleNearCocircularSweepMatchesExactSigns) {
  TINpredicates pred;
  const double r = std::ldexp(1.0, 26);
  const double a[2] = {-r, 0}, b[2] = {r, 0}, c[2] = {0, r};
  int inside = 0, outside = 0;
  for (int i = -12; i <= 12; i++) {
    for (int j = -80; j <= 80; j++) {
      for (double tiny : {0.0, std::ldexp(1.0, -40)}) {
        const double d[2] = {i + tiny, r + j * std::ldexp(1.0, -26)};
        const int expected = exact_incircle_sign(a, b, c, d);
        ASSERT_EQ(sign(pred.incircle(a, b, c, d)), expected) << i << " " << j << " " << tiny;
        ASSERT_EQ(sign(pred.incircle(b, c, a, d)), expected) << i << " " << j << " " << tiny;
        inside += expected > 0, outside += expected < 0;
      }
    }
  }
  EXPECT_GT(inside, 100);
  EXPECT_GT(outside, 100);
}

// Four single-precision points rounded from one circle, far from the origin.
TEST(Predicates, IncircleRoundedFloatCirclesMatchExactSigns) {
  TINpredicates pred;
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> angle(0.0, 6.283185307179586);
  int nonzero = 0;
  for (int k = 0; k < 20000; k++) {
    auto on_circle = [&] {
      const double t = angle(rng);
      return std::array<double, 2>{static_cast<float>(30000.0 + 3.0 * std::cos(t)),
                                   static_cast<float>(-8000.0 + 3.0 * std::sin(t))};
    };
    auto a = on_circle(), b = on_circle(), c = on_circle();
    const auto d = on_circle();
    const int o = exact_orient_sign(a.data(), b.data(), c.data());
    if (o == 0) continue;
    if (o < 0) std::swap(a, b);
    const int expected = exact_incircle_sign(a.data(), b.data(), c.data(), d.data());
    ASSERT_EQ(sign(pred.incircle(a.data(), b.data(), c.data(), d.data())), expected) << k;
    nonzero += expected != 0;
  }
  EXPECT_GT(nonzero, 1000);
}

}  // namespace
