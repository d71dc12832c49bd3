// Derived constants and inverse formulas of the projection families.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "geo/geo_projection_math.h"

namespace geo_math {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kHalfPi = std::numbers::pi / 2.0;
// About 0.003 mm on the ground: below the resolution of any survey.
constexpr double kAngleTolerance = 4.85e-10;

bool all_finite(double a, double b) {
  return std::isfinite(a) && std::isfinite(b);
}

// Writes a result in degrees; an inverse that ran into a non-finite value gives up instead.
bool write_degrees(double phi, double lambda, double& lon, double& lat) {
  if (!all_finite(phi, lambda)) return false;
  lat = phi * kRadianToDegree;
  lon = lambda * kRadianToDegree;
  return true;
}

// Snyder's t: the conformal latitude function of conic and oblique Mercator projections.
double conformal_t(double phi, double e) {
  const double es = e * std::sin(phi);
  return std::tan(kPi / 4.0 - phi / 2.0) / std::pow((1.0 - es) / (1.0 + es), e / 2.0);
}

// The latitude whose conformal t is the given one: phi = pi/2 - 2 atan(t ((1 - e sin phi) /
// (1 + e sin phi))^(e/2)), a contraction by about e per step.
double latitude_of_t(double t, double e) {
  double phi = kHalfPi - 2.0 * std::atan(t);
  for (int step = 0; step < 100; step++) {
    const double es = e * std::sin(phi);
    const double next = kHalfPi - 2.0 * std::atan(t * std::pow((1.0 - es) / (1.0 + es), e / 2.0));
    const double change = std::fabs(next - phi);
    phi = next;
    if (change <= 1e-14) break;
  }
  return phi;
}

// Snyder's m: the radius of the parallel divided by a.
double parallel_m(double phi, double e2) {
  const double s = std::sin(phi);
  return std::cos(phi) / std::sqrt(1.0 - e2 * s * s);
}

// Snyder's q of the authalic latitude.
double authalic_q(double phi, double e, double e2) {
  const double s = std::sin(phi);
  const double es = e * s;
  return (1.0 - e2) * (s / (1.0 - es * es) - std::log((1.0 - es) / (1.0 + es)) / (2.0 * e));
}

// Radius of curvature in the meridian.
double meridian_rho(double a, double e2, double phi) {
  const double s = std::sin(phi);
  return a * (1.0 - e2) / std::pow(1.0 - e2 * s * s, 1.5);
}

// Meridian arc length from the equator (Helmert's series in the third flattening).
double meridian_arc(const double* d, double phi) {
  return d[kTmA] * phi - d[kTmB] * std::sin(2.0 * phi) + d[kTmC] * std::sin(4.0 * phi) -
         d[kTmD] * std::sin(6.0 * phi) + d[kTmE] * std::sin(8.0 * phi);
}

// A Lambert latitude past a pole is held at it; a longitude past the antimeridian goes on around
// the globe instead, since zones such as Alaska's Aleutian one reach across it. Small angles are
// kept as they are: writing those below 2e-7 radians as zeros moved points by up to 1.3 m.
double lcc_latitude(double phi) {
  if (phi >= kHalfPi) return 90.0;
  if (phi <= -kHalfPi) return -90.0;
  return phi * kRadianToDegree;
}

double lcc_longitude(double lambda) {
  if (std::fabs(lambda) > kPi) lambda = std::remainder(lambda, 2.0 * kPi);
  return lambda * kRadianToDegree;
}

}  // namespace

// ---- UTM (Snyder's series, k0 0.9996) ----

bool utm_inverse(const GeoEllipsoid& ellipsoid, const GeoProjectionParameters& p, double x, double y,
                 double& lon, double& lat) {
  const double a = ellipsoid.equatorial_radius;
  const double e2 = ellipsoid.eccentricity_squared;
  const double ep2 = ellipsoid.eccentricity_prime_squared;
  const double e1 = ellipsoid.eccentricity_e1;
  const double y_prime = p.utm_northern_hemisphere ? y : y - 10000000.0;
  const double m = y_prime * 1.0004001600640255;
  const double mu = m / (a * (1.0 - e2 / 4.0 - 3.0 * e2 * e2 / 64.0 - 5.0 * e2 * e2 * e2 / 256.0));
  const double phi1 = mu + (3.0 * e1 / 2.0 - 27.0 * e1 * e1 * e1 / 32.0) * std::sin(2.0 * mu) +
                      (21.0 * e1 * e1 / 16.0 - 55.0 * e1 * e1 * e1 * e1 / 32.0) * std::sin(4.0 * mu) +
                      (151.0 * e1 * e1 * e1 / 96.0) * std::sin(6.0 * mu);
  const double s = std::sin(phi1);
  const double c = std::cos(phi1);
  const double n1 = a / std::sqrt(1.0 - e2 * s * s);
  const double t1 = std::tan(phi1) * std::tan(phi1);
  const double c1 = ep2 * c * c;
  const double r1 = a * (1.0 - e2) / std::pow(1.0 - e2 * s * s, 1.5);
  const double d = (x - 500000.0) / (n1 * 0.9996);
  const double d2 = d * d;
  const double phi =
      phi1 - (n1 * std::tan(phi1) / r1) *
                 (d2 / 2.0 - (5.0 + 3.0 * t1 + 10.0 * c1 - 4.0 * c1 * c1 - 9.0 * ep2) * d2 * d2 / 24.0 +
                  (61.0 + 90.0 * t1 + 298.0 * c1 + 45.0 * t1 * t1 - 252.0 * ep2 - 3.0 * c1 * c1) * d2 * d2 *
                      d2 / 720.0);
  const double lambda =
      (d - (1.0 + 2.0 * t1 + c1) * d2 * d / 6.0 +
       (5.0 - 2.0 * c1 + 28.0 * t1 - 3.0 * c1 * c1 + 8.0 * ep2 + 24.0 * t1 * t1) * d2 * d2 * d / 120.0) /
      c;
  // A northing past the pole has no place in a zone; the series would answer any angle.
  if (!all_finite(phi, lambda) || std::fabs(phi) > kHalfPi) return false;
  lat = phi * kRadianToDegree;
  lon = lambda * kRadianToDegree + p.utm_long_origin;
  return true;
}

// ---- Lambert Conformal Conic (Snyder) ----

void lcc_constants(const GeoEllipsoid& ellipsoid, GeoProjectionParameters& p) {
  const double e = ellipsoid.eccentricity;
  const double e2 = ellipsoid.eccentricity_squared;
  const double phi1 = p.first_std_parallel_radian;
  const double phi2 = p.second_std_parallel_radian;
  const double m1 = parallel_m(phi1, e2);
  const double t1 = conformal_t(phi1, e);
  const double t0 = conformal_t(p.lat_origin_radian, e);
  // One standard parallel: the cone touches there, and the ratio below would be 0/0.
  const double n = std::fabs(phi1 - phi2) <= 1e-10
                       ? std::sin(phi1)
                       : std::log(m1 / parallel_m(phi2, e2)) / std::log(t1 / conformal_t(phi2, e));
  // One standard parallel with a scale (1SP) shrinks the whole cone by that scale.
  const double k0 = p.type == GEO_PROJECTION_LCC_1SP ? p.scale_factor : 1.0;
  const double af = ellipsoid.equatorial_radius * k0 * m1 / (n * std::pow(t1, n));
  p.derived[kLccN] = n;
  p.derived[kLccAF] = af;
  p.derived[kLccRho0] = (t0 == 0.0 && n < 0.0) ? 0.0 : af * std::pow(t0, n);
}

bool lcc_inverse(const GeoEllipsoid& ellipsoid, const GeoProjectionParameters& p, double x, double y,
                 double& lon, double& lat) {
  if (!all_finite(x, y)) return false;
  const double e = ellipsoid.eccentricity;
  const double n = p.derived[kLccN];
  const double af = p.derived[kLccAF];
  double dx = x - p.false_easting_meter;
  double dy = p.derived[kLccRho0] - (y - p.false_northing_meter);
  double rho = std::sqrt(dx * dx + dy * dy);
  if (n < 0.0) {
    rho = -rho;
    dx = -dx;
    dy = -dy;
  }
  if (rho == 0.0) {
    lat = n > 0.0 ? 90.0 : -90.0;
    lon = p.long_meridian_degree;
    return true;
  }
  const double theta = std::atan2(dx, dy);
  const double t = std::pow(rho / af, 1.0 / n);
  double phi = kHalfPi - 2.0 * std::atan(t);
  if (std::fabs(phi) > kAngleTolerance) {
    // A contraction by about e per step, so it converges for any finite t; the cap only guards
    // against values no finite input produces.
    for (int step = 0; step < 100; step++) {
      const double es = e * std::sin(phi);
      const double next = kHalfPi - 2.0 * std::atan(t * std::pow((1.0 - es) / (1.0 + es), e / 2.0));
      const double change = std::fabs(next - phi);
      phi = next;
      if (change <= kAngleTolerance) break;
    }
  }
  const double lambda = theta / n + p.long_meridian_radian;
  if (!all_finite(phi, lambda)) return false;
  lat = lcc_latitude(phi);
  lon = lcc_longitude(lambda);
  return true;
}

// ---- Transverse Mercator (the DMA/NGA series to the eighth order) ----

void tm_constants(const GeoEllipsoid& ellipsoid, GeoProjectionParameters& p) {
  const double a = ellipsoid.equatorial_radius;
  const double b = ellipsoid.polar_radius;
  const double n = (a - b) / (a + b);
  const double n2 = n * n;
  const double n3 = n2 * n;
  const double n4 = n3 * n;
  const double n5 = n4 * n;
  p.derived[kTmA] = a * (1.0 - n + 5.0 / 4.0 * (n2 - n3) + 81.0 / 64.0 * (n4 - n5));
  p.derived[kTmB] = 3.0 / 2.0 * a * (n - n2 + 7.0 / 8.0 * (n3 - n4) + 55.0 / 64.0 * n5);
  p.derived[kTmC] = 15.0 / 16.0 * a * (n2 - n3 + 3.0 / 4.0 * (n4 - n5));
  p.derived[kTmD] = 35.0 / 48.0 * a * (n3 - n4 + 11.0 / 16.0 * n5);
  p.derived[kTmE] = 315.0 / 512.0 * a * (n4 - n5);
  p.derived[kTmArcAtOrigin] = meridian_arc(p.derived, p.lat_origin_radian);
}

namespace {

// Brings a latitude that ran past a pole back onto the globe, on the other side of it.
void fold_over_poles(double& phi, double& lambda) {
  // Two crossings are a full turn of latitude and leave the longitude as it was; removing whole
  // turns first keeps the loops below to one pass even for absurd input.
  if (std::fabs(phi) > 2.0 * kPi) phi = std::remainder(phi, 2.0 * kPi);
  while (phi > kHalfPi) {
    phi = kPi - phi;
    lambda += kPi;
    if (lambda > kPi) lambda -= 2.0 * kPi;
  }
  while (phi < -kHalfPi) {
    phi = -(phi + kPi);
    lambda += kPi;
    if (lambda > kPi) lambda -= 2.0 * kPi;
  }
  if (lambda > 2.0 * kPi) lambda -= 2.0 * kPi;
  if (lambda < -kPi) lambda += 2.0 * kPi;
}

}  // namespace

bool tm_inverse(const GeoEllipsoid& ellipsoid, const GeoProjectionParameters& p, double x, double y,
                double& lon, double& lat) {
  if (!all_finite(x, y)) return false;
  const double a = ellipsoid.equatorial_radius;
  const double e2 = ellipsoid.eccentricity_squared;
  const double k0 = p.scale_factor;
  const double m = p.derived[kTmArcAtOrigin] + (y - p.false_northing_meter) / k0;
  double fp = m / (a * (1.0 - e2));
  for (int i = 0; i < 5; i++) fp += (m - meridian_arc(p.derived, fp)) / meridian_rho(a, e2, fp);
  double dx = x - p.false_easting_meter;
  if (std::fabs(dx) < 0.0001) dx = 0.0;

  const double s = std::sin(fp);
  const double c = std::cos(fp);
  const double t = std::tan(fp);
  const double t2 = t * t;
  const double t4 = t2 * t2;
  const double t6 = t4 * t2;
  const double eta2 = ellipsoid.eccentricity_prime_squared * c * c;
  const double eta4 = eta2 * eta2;
  const double eta6 = eta4 * eta2;
  const double eta8 = eta4 * eta4;
  const double rho = meridian_rho(a, e2, fp);
  const double nu = a / std::sqrt(1.0 - e2 * s * s);
  // u = dx / (nu k0): every term is a power of it.
  const double u = dx / (nu * k0);
  const double u2 = u * u;
  const double u3 = u2 * u;
  const double u4 = u2 * u2;
  const double u5 = u4 * u;
  const double u6 = u4 * u2;
  const double u7 = u6 * u;
  const double u8 = u4 * u4;
  const double nu_rho = t * nu / rho;  // t dx^2 / (rho nu k0^2) = nu_rho * u^2

  const double phi = fp - nu_rho * u2 / 2.0 +
                     nu_rho * u4 / 24.0 * (5.0 + 3.0 * t2 + eta2 - 4.0 * eta4 - 9.0 * eta2 * t2) -
                     nu_rho * u6 / 720.0 *
                         (61.0 + 90.0 * t2 + 46.0 * eta2 + 45.0 * t4 - 252.0 * t2 * eta2 - 3.0 * eta4 +
                          100.0 * eta6 - 66.0 * t2 * eta4 - 90.0 * t4 * eta2 + 88.0 * eta8 +
                          225.0 * t4 * eta4 + 84.0 * t2 * eta6 - 192.0 * t2 * eta8) +
                     nu_rho * u8 / 40320.0 * (1385.0 + 3633.0 * t2 + 4095.0 * t4 + 1575.0 * t6);
  double lambda = p.long_meridian_radian + u / c - u3 / (6.0 * c) * (1.0 + 2.0 * t2 + eta2) +
                  u5 / (120.0 * c) *
                      (5.0 + 6.0 * eta2 + 28.0 * t2 - 3.0 * eta4 + 8.0 * t2 * eta2 + 24.0 * t4 - 4.0 * eta6 +
                       4.0 * t2 * eta4 + 24.0 * t2 * eta6) -
                  u7 / (5040.0 * c) * (61.0 + 662.0 * t2 + 1320.0 * t4 + 720.0 * t6);
  double phi_folded = phi;
  if (!all_finite(phi_folded, lambda)) return false;
  fold_over_poles(phi_folded, lambda);
  return write_degrees(phi_folded, lambda, lon, lat);
}

// ---- Albers Equal Area Conic (Snyder) ----

void aeac_constants(const GeoEllipsoid& ellipsoid, GeoProjectionParameters& p) {
  const double e = ellipsoid.eccentricity;
  const double e2 = ellipsoid.eccentricity_squared;
  const double phi1 = p.first_std_parallel_radian;
  const double phi2 = p.second_std_parallel_radian;
  const double m1 = parallel_m(phi1, e2);
  const double m2 = parallel_m(phi2, e2);
  const double q1 = authalic_q(phi1, e, e2);
  const double q2 = authalic_q(phi2, e, e2);
  // With one standard parallel the ratio is 0/0; its limit is sin(phi1), as for the Lambert cone.
  const double n = std::fabs(phi1 - phi2) <= 1e-10 ? std::sin(phi1) : (m1 * m1 - m2 * m2) / (q2 - q1);
  const double c = m1 * m1 + n * q1;
  p.derived[kAeacN] = n;
  p.derived[kAeacC] = c;
  p.derived[kAeacRho0] =
      ellipsoid.equatorial_radius * std::sqrt(c - n * authalic_q(p.lat_origin_radian, e, e2)) / n;
  p.derived[kAeacPoleQ] = std::fabs(1.0 - (1.0 - e2) / (2.0 * e) * std::log((1.0 - e) / (1.0 + e)));
}

namespace {

// The latitude whose authalic q is the given one, by Snyder's iteration; false when it does not
// settle within 30 steps.
bool aeac_latitude(double q, double e, double e2, double& phi) {
  phi = std::asin(q / 2.0);
  if (e < 1e-10) return true;
  for (int step = 0; step < 30; step++) {
    const double s = std::sin(phi);
    const double es2 = e2 * s * s;
    const double delta =
        (1.0 - es2) * (1.0 - es2) / (2.0 * std::cos(phi)) *
        (q / (1.0 - e2) - s / (1.0 - es2) + std::log((1.0 - e * s) / (1.0 + e * s)) / (2.0 * e));
    phi += delta;
    if (std::fabs(delta) < kAngleTolerance) return true;
  }
  return false;
}

}  // namespace

bool aeac_inverse(const GeoEllipsoid& ellipsoid, const GeoProjectionParameters& p, double x, double y,
                  double& lon, double& lat) {
  const double dx0 = x - p.false_easting_meter;
  const double dy0 = y - p.false_northing_meter;
  // Also rejects NaN: no comparison with it holds.
  if (!(std::fabs(dx0) <= 40000000.0 && std::fabs(dy0) <= 40000000.0)) return false;
  const double a = ellipsoid.equatorial_radius;
  const double e = ellipsoid.eccentricity;
  const double e2 = ellipsoid.eccentricity_squared;
  const double n = p.derived[kAeacN];
  double dx = dx0;
  double dy = p.derived[kAeacRho0] - dy0;
  double rho = std::sqrt(dx * dx + dy * dy);
  if (n < 0.0) {
    rho = -rho;
    dx = -dx;
    dy = -dy;
  }
  const double theta = rho == 0.0 ? 0.0 : std::atan2(dx, dy);
  const double q = (p.derived[kAeacC] - rho * rho * n * n / (a * a)) / n;
  double phi;
  if (std::fabs(p.derived[kAeacPoleQ] - std::fabs(q)) <= 1e-6) {
    phi = q >= 0.0 ? kHalfPi : -kHalfPi;
  } else if (std::fabs(q / 2.0) > 1.0) {
    phi = q > 0.0 ? kHalfPi : -kHalfPi;
  } else if (!aeac_latitude(q, e, e2, phi)) {
    return false;
  }
  double lambda = theta / n + p.long_meridian_radian;
  if (lambda > kPi) lambda -= 2.0 * kPi;
  if (lambda < -kPi) lambda += 2.0 * kPi;
  return write_degrees(phi, lambda, lon, lat);
}

// ---- Hotine Oblique Mercator (EPSG methods 9812 and 9815, variants A and B) ----

void hom_constants(const GeoEllipsoid& ellipsoid, GeoProjectionParameters& p) {
  const double a = ellipsoid.equatorial_radius;
  const double e = ellipsoid.eccentricity;
  const double e2 = ellipsoid.eccentricity_squared;
  const double phic = p.lat_origin_radian;
  const double sin_phic = std::sin(phic);
  const double cos_phic = std::cos(phic);
  const double cos2 = cos_phic * cos_phic;
  const double b = std::sqrt(1.0 + e2 * cos2 * cos2 / (1.0 - e2));
  const double big_a = a * b * p.scale_factor * std::sqrt(1.0 - e2) / (1.0 - e2 * sin_phic * sin_phic);
  const double d = b * std::sqrt(1.0 - e2) / (cos_phic * std::sqrt(1.0 - e2 * sin_phic * sin_phic));
  // D < 1 only by rounding near the equator, where the root would be of a tiny negative number.
  const double f = d < 1.0 ? d : d + std::copysign(std::sqrt(d * d - 1.0), phic);
  const double big_e = f * std::pow(conformal_t(phic, e), b);
  const double g = (f - 1.0 / f) / 2.0;
  const double gamma0 = std::asin(std::sin(p.azimuth_radian) / d);
  double g_tan = g * std::tan(gamma0);
  if (std::fabs(g_tan - 1.0) <= 1e-10) g_tan = 1.0;
  p.derived[kHomB] = b;
  p.derived[kHomA] = big_a;
  p.derived[kHomE] = big_e;
  p.derived[kHomGamma0] = gamma0;
  p.derived[kHomLambda0] = p.long_meridian_radian - std::asin(g_tan) / b;
  // An initial line running east-west at the centre (alpha_c 90 degrees, the Swiss and Hungarian
  // grids) would take the arctangent of x/0; its limit is A (lambda_c - lambda_0).
  const double uc =
      std::fabs(std::cos(p.azimuth_radian)) < 1e-12
          ? big_a * (p.long_meridian_radian - p.derived[kHomLambda0])
          : big_a / b * std::atan(std::sqrt(std::max(d * d - 1.0, 0.0)) / std::cos(p.azimuth_radian));
  p.derived[kHomUc] = std::copysign(std::fabs(uc), phic);
}

bool hom_inverse(const GeoEllipsoid& ellipsoid, const GeoProjectionParameters& p, double x, double y,
                 double& lon, double& lat) {
  const double b = p.derived[kHomB];
  const double big_a = p.derived[kHomA];
  const double gamma0 = p.derived[kHomGamma0];
  const double gc = p.rectified_grid_angle_radian;
  const double dx = x - p.false_easting_meter;
  const double dy = y - p.false_northing_meter;
  const double v = dx * std::cos(gc) - dy * std::sin(gc);
  const double u = dy * std::cos(gc) + dx * std::sin(gc) + (p.hom_variant_b ? p.derived[kHomUc] : 0.0);
  const double q = std::exp(-b * v / big_a);
  const double s = (q - 1.0 / q) / 2.0;
  const double t = (q + 1.0 / q) / 2.0;
  const double vv = std::sin(b * u / big_a);
  const double uu = (vv * std::cos(gamma0) + s * std::sin(gamma0)) / t;
  const double tt = std::pow(p.derived[kHomE] / std::sqrt((1.0 + uu) / (1.0 - uu)), 1.0 / b);
  const double chi = kHalfPi - 2.0 * std::atan(tt);
  const double lambda = p.derived[kHomLambda0] -
                        std::atan2(s * std::cos(gamma0) - vv * std::sin(gamma0), std::cos(b * u / big_a)) / b;
  const double e2 = ellipsoid.eccentricity_squared;
  const double e4 = e2 * e2;
  const double e6 = e4 * e2;
  const double e8 = e4 * e4;
  const double phi = chi +
                     std::sin(2.0 * chi) * (e2 / 2.0 + 5.0 * e4 / 24.0 + e6 / 12.0 + 13.0 * e8 / 360.0) +
                     std::sin(4.0 * chi) * (7.0 * e4 / 48.0 + 29.0 * e6 / 240.0 + 811.0 * e8 / 11520.0) +
                     std::sin(6.0 * chi) * (7.0 * e6 / 120.0 + 81.0 * e8 / 1120.0) +
                     std::sin(8.0 * chi) * (4279.0 * e8 / 161280.0);
  return write_degrees(phi, lambda, lon, lat);
}

// ---- Oblique Stereographic (EPSG method 9809, through the conformal sphere) ----

void os_constants(const GeoEllipsoid& ellipsoid, GeoProjectionParameters& p) {
  const double a = ellipsoid.equatorial_radius;
  const double e = ellipsoid.eccentricity;
  const double e2 = ellipsoid.eccentricity_squared;
  const double phi0 = p.lat_origin_radian;
  const double s0 = std::sin(phi0);
  const double c0 = std::cos(phi0);
  const double rho0 = a * (1.0 - e2) / std::pow(1.0 - e2 * s0 * s0, 1.5);
  const double nu0 = a / std::sqrt(1.0 - e2 * s0 * s0);
  const double r = std::sqrt(rho0 * nu0);
  const double n = std::sqrt(1.0 + e2 * c0 * c0 * c0 * c0 / (1.0 - e2));
  const double s1 = (1.0 + s0) / (1.0 - s0);
  const double s2 = (1.0 - e * s0) / (1.0 + e * s0);
  const double w1 = std::pow(s1 * std::pow(s2, e), n);
  const double sin_chi = (w1 - 1.0) / (w1 + 1.0);
  const double c = (n + s0) * (1.0 - sin_chi) / ((n - s0) * (1.0 + sin_chi));
  const double w2 = c * w1;
  const double chi0 = std::asin((w2 - 1.0) / (w2 + 1.0));
  const double g = 2.0 * r * p.scale_factor * std::tan(kPi / 4.0 - chi0 / 2.0);
  p.derived[kOsR] = r;
  p.derived[kOsN] = n;
  p.derived[kOsC] = c;
  p.derived[kOsChi0] = chi0;
  p.derived[kOsG] = g;
  p.derived[kOsH] = 4.0 * r * p.scale_factor * std::tan(chi0) + g;
}

namespace {

// The geodetic latitude of an isometric latitude psi, refined from its spherical value; false when
// 16 evaluations do not settle it to 1e-14.
bool latitude_of_isometric(double psi, double e, double e2, double& phi) {
  phi = 2.0 * std::atan(std::exp(psi)) - kHalfPi;
  for (int i = 0; i < 16; i++) {
    const double es = e * std::sin(phi);
    const double psi_i =
        std::log(std::tan(phi / 2.0 + kPi / 4.0) * std::pow((1.0 - es) / (1.0 + es), e / 2.0));
    const double next = phi - (psi_i - psi) * std::cos(phi) * (1.0 - es * es) / (1.0 - e2);
    const double change = std::fabs(next - phi);
    phi = next;
    if (change < 1e-14) return true;
  }
  return false;
}

}  // namespace

bool os_inverse(const GeoEllipsoid& ellipsoid, const GeoProjectionParameters& p, double x, double y,
                double& lon, double& lat) {
  const double dx = x - p.false_easting_meter;
  const double dy = y - p.false_northing_meter;
  if (!all_finite(dx, dy)) return false;
  // The formulas are regular at the origin; the snap only spares the iteration a needless start.
  if (std::hypot(dx, dy) / p.scale_factor < 1e-6) {
    lat = p.lat_origin_degree;
    lon = p.long_meridian_degree;
    return true;
  }
  const double r = p.derived[kOsR];
  const double n = p.derived[kOsN];
  const double chi0 = p.derived[kOsChi0];
  const double i = std::atan(dx / (p.derived[kOsH] + dy));
  const double j = std::atan(dx / (p.derived[kOsG] - dy)) - i;
  const double chi = chi0 + 2.0 * std::atan((dy - dx * std::tan(j / 2.0)) / (2.0 * r * p.scale_factor));
  const double big_lambda = j + 2.0 * i + p.long_meridian_radian;
  const double lambda = (big_lambda - p.long_meridian_radian) / n + p.long_meridian_radian;
  const double sin_chi = std::sin(chi);
  const double psi = 0.5 * std::log((1.0 + sin_chi) / (p.derived[kOsC] * (1.0 - sin_chi))) / n;
  double phi;
  if (!latitude_of_isometric(psi, ellipsoid.eccentricity, ellipsoid.eccentricity_squared, phi)) return false;
  return write_degrees(phi, lambda, lon, lat);
}

// ---- Earth-centered earth-fixed (Borkowski's closed form, 1989) ----

bool ecef_inverse(const GeoEllipsoid& ellipsoid, double x, double y, double z, double& lon, double& lat,
                  double& height) {
  if (!all_finite(x, y) || !std::isfinite(z)) return false;
  const double a = ellipsoid.equatorial_radius;
  const double b = std::copysign(ellipsoid.polar_radius, z);
  const double r = std::sqrt(x * x + y * y);
  if (r == 0.0) {
    // On the axis the closed form divides by r; the point is a pole.
    lat = z < 0.0 ? -90.0 : 90.0;
    lon = std::atan2(y, x) * kRadianToDegree;
    height = std::fabs(z) - std::fabs(b);
    return true;
  }
  const double big_e = (b * z - (a * a - b * b)) / (a * r);
  const double big_f = (b * z + (a * a - b * b)) / (a * r);
  const double big_p = 4.0 / 3.0 * (big_e * big_f + 1.0);
  const double big_q = 2.0 * (big_e * big_e - big_f * big_f);
  const double big_d = big_p * big_p * big_p + big_q * big_q;
  double v;
  if (big_d >= 0.0) {
    const double root = std::sqrt(big_d);
    v = std::cbrt(root - big_q) - std::cbrt(root + big_q);
  } else {
    const double root = std::sqrt(-big_p);
    v = 2.0 * root * std::cos(std::acos(big_q / (big_p * root)) / 3.0);
  }
  if (v * v < std::fabs(big_p)) v = -(v * v * v + 2.0 * big_q) / (3.0 * big_p);
  const double g = (std::sqrt(big_e * big_e + v) + big_e) / 2.0;
  const double t = std::sqrt(g * g + (big_f - v * g) / (2.0 * g - big_e)) - g;
  const double phi = std::atan(a * (1.0 - t * t) / (2.0 * b * t));
  const double h = (r - a * t) * std::cos(phi) + (z - b) * std::sin(phi);
  if (!all_finite(phi, h)) return false;
  lat = phi * kRadianToDegree;
  lon = std::atan2(y, x) * kRadianToDegree;
  height = h;
  return true;
}

// ---- Mercator (EPSG methods 9804, 9805) and Pseudo-Mercator (1024) ----

void mercator_constants(const GeoEllipsoid& ellipsoid, GeoProjectionParameters& p) {
  const double a = ellipsoid.equatorial_radius;
  double k0 = p.scale_factor;
  if (p.type == GEO_PROJECTION_MERCATOR_B) {
    k0 = parallel_m(p.first_std_parallel_radian, ellipsoid.eccentricity_squared);
  } else if (p.type == GEO_PROJECTION_PSEUDO_MERCATOR) {
    k0 = 1.0;
  }
  p.derived[kMercatorAK0] = a * k0;
}

bool mercator_inverse(const GeoEllipsoid& ellipsoid, const GeoProjectionParameters& p, double x, double y,
                      double& lon, double& lat) {
  if (!all_finite(x, y)) return false;
  const double ak0 = p.derived[kMercatorAK0];
  const double t = std::exp((p.false_northing_meter - y) / ak0);
  // Pseudo-Mercator takes the ellipsoid's coordinates as if they lay on a sphere.
  const double e = p.type == GEO_PROJECTION_PSEUDO_MERCATOR ? 0.0 : ellipsoid.eccentricity;
  const double phi = latitude_of_t(t, e);
  const double lambda = (x - p.false_easting_meter) / ak0 + p.long_meridian_radian;
  return write_degrees(phi, lambda, lon, lat);
}

// ---- Lambert Azimuthal Equal Area (EPSG method 9820) ----

void laea_constants(const GeoEllipsoid& ellipsoid, GeoProjectionParameters& p) {
  const double a = ellipsoid.equatorial_radius;
  const double e = ellipsoid.eccentricity;
  const double e2 = ellipsoid.eccentricity_squared;
  const double phi0 = p.lat_origin_radian;
  const double qp = authalic_q(kHalfPi, e, e2);
  const double beta0 = std::asin(std::clamp(authalic_q(phi0, e, e2) / qp, -1.0, 1.0));
  const double rq = a * std::sqrt(qp / 2.0);
  const double s0 = std::sin(phi0);
  p.derived[kLaeaQp] = qp;
  p.derived[kLaeaBeta0] = beta0;
  p.derived[kLaeaRq] = rq;
  p.derived[kLaeaD] = a * (std::cos(phi0) / std::sqrt(1.0 - e2 * s0 * s0)) / (rq * std::cos(beta0));
}

bool laea_inverse(const GeoEllipsoid& ellipsoid, const GeoProjectionParameters& p, double x, double y,
                  double& lon, double& lat) {
  if (!all_finite(x, y)) return false;
  const double e = ellipsoid.eccentricity;
  const double e2 = ellipsoid.eccentricity_squared;
  const double qp = p.derived[kLaeaQp];
  const double rq = p.derived[kLaeaRq];
  const double dx = x - p.false_easting_meter;
  const double dy = y - p.false_northing_meter;
  double q;
  double lambda;
  if (std::fabs(std::fabs(p.lat_origin_degree) - 90.0) < 1e-10) {
    // Polar aspect: q falls with the square of the distance from the pole.
    const double a = ellipsoid.equatorial_radius;
    const double rho2 = dx * dx + dy * dy;
    const bool north = p.lat_origin_degree > 0.0;
    q = (qp - rho2 / (a * a)) * (north ? 1.0 : -1.0);
    lambda = p.long_meridian_radian + (north ? std::atan2(dx, -dy) : std::atan2(dx, dy));
  } else {
    const double d = p.derived[kLaeaD];
    const double beta0 = p.derived[kLaeaBeta0];
    const double rho = std::hypot(dx / d, d * dy);
    if (rho == 0.0) {
      lat = p.lat_origin_degree;
      lon = p.long_meridian_degree;
      return true;
    }
    const double ratio = rho / (2.0 * rq);
    if (ratio > 1.0) return false;  // beyond the antipode of the origin
    const double c = 2.0 * std::asin(ratio);
    const double sin_beta =
        std::clamp(std::cos(c) * std::sin(beta0) + d * dy * std::sin(c) * std::cos(beta0) / rho, -1.0, 1.0);
    q = qp * sin_beta;
    lambda = p.long_meridian_radian +
             std::atan2(dx * std::sin(c),
                        d * rho * std::cos(beta0) * std::cos(c) - d * d * dy * std::sin(beta0) * std::sin(c));
  }
  // The authalic q of a pole is qp; the iteration below would divide by its zero cosine.
  double phi;
  if (std::fabs(std::fabs(q) - qp) <= 1e-15) {
    phi = std::copysign(kHalfPi, q);
  } else if (!aeac_latitude(q, e, e2, phi)) {
    return false;
  }
  return write_degrees(phi, lambda, lon, lat);
}

// ---- Polar Stereographic (EPSG methods 9810 and 9829) ----

void polar_constants(const GeoEllipsoid& ellipsoid, GeoProjectionParameters& p) {
  const double a = ellipsoid.equatorial_radius;
  const double e = ellipsoid.eccentricity;
  const double root = std::sqrt(std::pow(1.0 + e, 1.0 + e) * std::pow(1.0 - e, 1.0 - e));
  bool south;
  double k0;
  if (p.type == GEO_PROJECTION_POLAR_STEREO_B) {
    // The scale at the pole that makes the standard parallel true to scale.
    const double phic = p.first_std_parallel_radian;
    south = phic < 0.0;
    const double phi = std::fabs(phic);
    const double tf = conformal_t(phi, e);
    k0 = parallel_m(phi, ellipsoid.eccentricity_squared) * root / (2.0 * tf);
  } else {
    south = p.lat_origin_degree < 0.0;
    k0 = p.scale_factor;
  }
  p.derived[kPolarRhoFactor] = 2.0 * a * k0 / root;
  p.derived[kPolarSouth] = south ? 1.0 : 0.0;
}

bool polar_inverse(const GeoEllipsoid& ellipsoid, const GeoProjectionParameters& p, double x, double y,
                   double& lon, double& lat) {
  if (!all_finite(x, y)) return false;
  const double dx = x - p.false_easting_meter;
  const double dy = y - p.false_northing_meter;
  const bool south = p.derived[kPolarSouth] != 0.0;
  const double t = std::hypot(dx, dy) / p.derived[kPolarRhoFactor];
  // The southern aspect mirrors the northern one: same t, latitude of the opposite sign.
  const double phi = latitude_of_t(t, ellipsoid.eccentricity);
  const double lambda = p.long_meridian_radian + (south ? std::atan2(dx, dy) : std::atan2(dx, -dy));
  return write_degrees(south ? -phi : phi, lambda, lon, lat);
}

}  // namespace geo_math
