// Inline floating-point filters of the orientation and in-circle tests. Almost every call is
// decided here; the rare undecided one goes out of line to the adaptive exact stages.
#pragma once

#include <cmath>

#include "tin/predicates.h"

inline double TINpredicates::orient2d_inline(double ax, double ay, double bx, double by, double cx,
                                             double cy) const {
  const double detleft = (ax - cx) * (by - cy);
  const double detright = (ay - cy) * (bx - cx);
  const double det = detleft - detright;
  // With opposite signs (or a zero term) |det| is detsum itself, far above the bound, so one test
  // serves every case; the walk's signs are too random for branches on them to be predicted.
  const double detsum = std::fabs(detleft) + std::fabs(detright);
  const double errbound = ccwerrboundA_ * detsum;
  if (std::fabs(det) >= errbound) [[likely]]
    return det;
  const double pa[2] = {ax, ay}, pb[2] = {bx, by}, pc[2] = {cx, cy};
  return orient2dadapt(pa, pb, pc, detsum);
}

inline double TINpredicates::incircle_inline(double ax, double ay, double bx, double by, double cx, double cy,
                                             double dx, double dy) const {
  const double adx = ax - dx, ady = ay - dy;
  const double bdx = bx - dx, bdy = by - dy;
  const double cdx = cx - dx, cdy = cy - dy;

  const double bdxcdy = bdx * cdy;
  const double cdxbdy = cdx * bdy;
  const double alift = adx * adx + ady * ady;
  const double cdxady = cdx * ady;
  const double adxcdy = adx * cdy;
  const double blift = bdx * bdx + bdy * bdy;
  const double adxbdy = adx * bdy;
  const double bdxady = bdx * ady;
  const double clift = cdx * cdx + cdy * cdy;

  const double det = alift * (bdxcdy - cdxbdy) + blift * (cdxady - adxcdy) + clift * (adxbdy - bdxady);
  const double permanent = (std::fabs(bdxcdy) + std::fabs(cdxbdy)) * alift +
                           (std::fabs(cdxady) + std::fabs(adxcdy)) * blift +
                           (std::fabs(adxbdy) + std::fabs(bdxady)) * clift;
  const double errbound = iccerrboundA_ * permanent;
  if (det > errbound || -det > errbound) [[likely]]
    return det;
  const double pa[2] = {ax, ay}, pb[2] = {bx, by}, pc[2] = {cx, cy}, pd[2] = {dx, dy};
  return incircleadapt(pa, pb, pc, pd, permanent);
}
