// The derived constants and inverse formulas of each projection family, shared by the converter's
// setters and its conversion to longitude/latitude. Internal to the geo module.
#pragma once

#include <numbers>

#include "geo/geoprojectionconverter.h"

namespace geo_math {

inline constexpr double kDegreeToRadian = std::numbers::pi / 180.0;
inline constexpr double kRadianToDegree = 180.0 / std::numbers::pi;

// Slots of GeoProjectionParameters::derived, per family.
enum LccDerived { kLccN = 0, kLccAF = 1, kLccRho0 = 2 };
enum TmDerived { kTmA = 0, kTmB = 1, kTmC = 2, kTmD = 3, kTmE = 4, kTmArcAtOrigin = 5 };
enum AeacDerived { kAeacN = 0, kAeacC = 1, kAeacRho0 = 2, kAeacPoleQ = 3 };
// kHomUc: the distance u_c along the initial line from the natural origin to the centre, signed
// like the centre's latitude; variant B adds it to u.
enum HomDerived { kHomB = 0, kHomA = 1, kHomE = 2, kHomGamma0 = 3, kHomLambda0 = 4, kHomUc = 5 };
enum OsDerived { kOsR = 0, kOsN = 1, kOsC = 2, kOsChi0 = 3, kOsG = 4, kOsH = 5 };
// kMercatorAK0: a k0 (for Pseudo-Mercator simply a).
enum MercatorDerived { kMercatorAK0 = 0 };
enum LaeaDerived { kLaeaQp = 0, kLaeaBeta0 = 1, kLaeaRq = 2, kLaeaD = 3 };
// kPolarRhoFactor: rho = kPolarRhoFactor * t; kPolarSouth: 1 for a south-pole origin, else 0.
enum PolarDerived { kPolarRhoFactor = 0, kPolarSouth = 1 };

// Fill `derived` from the record's parameters and the ellipsoid.
void lcc_constants(const GeoEllipsoid& ellipsoid, GeoProjectionParameters& p);
void tm_constants(const GeoEllipsoid& ellipsoid, GeoProjectionParameters& p);
void aeac_constants(const GeoEllipsoid& ellipsoid, GeoProjectionParameters& p);
void hom_constants(const GeoEllipsoid& ellipsoid, GeoProjectionParameters& p);
void os_constants(const GeoEllipsoid& ellipsoid, GeoProjectionParameters& p);
void mercator_constants(const GeoEllipsoid& ellipsoid, GeoProjectionParameters& p);
void laea_constants(const GeoEllipsoid& ellipsoid, GeoProjectionParameters& p);
void polar_constants(const GeoEllipsoid& ellipsoid, GeoProjectionParameters& p);

// Inverses: x, y in meters to longitude, latitude in degrees. An inverse that gives up answers
// false and leaves lon and lat untouched.
bool utm_inverse(const GeoEllipsoid& ellipsoid, const GeoProjectionParameters& p, double x, double y,
                 double& lon, double& lat);
bool lcc_inverse(const GeoEllipsoid& ellipsoid, const GeoProjectionParameters& p, double x, double y,
                 double& lon, double& lat);
bool tm_inverse(const GeoEllipsoid& ellipsoid, const GeoProjectionParameters& p, double x, double y,
                double& lon, double& lat);
bool aeac_inverse(const GeoEllipsoid& ellipsoid, const GeoProjectionParameters& p, double x, double y,
                  double& lon, double& lat);
bool hom_inverse(const GeoEllipsoid& ellipsoid, const GeoProjectionParameters& p, double x, double y,
                 double& lon, double& lat);
bool os_inverse(const GeoEllipsoid& ellipsoid, const GeoProjectionParameters& p, double x, double y,
                double& lon, double& lat);
bool mercator_inverse(const GeoEllipsoid& ellipsoid, const GeoProjectionParameters& p, double x, double y,
                      double& lon, double& lat);
bool laea_inverse(const GeoEllipsoid& ellipsoid, const GeoProjectionParameters& p, double x, double y,
                  double& lon, double& lat);
bool polar_inverse(const GeoEllipsoid& ellipsoid, const GeoProjectionParameters& p, double x, double y,
                   double& lon, double& lat);
// Geocentric x, y, z in meters to longitude, latitude (degrees) and ellipsoidal height (meters).
bool ecef_inverse(const GeoEllipsoid& ellipsoid, double x, double y, double z, double& lon, double& lat,
                  double& height);

}  // namespace geo_math
