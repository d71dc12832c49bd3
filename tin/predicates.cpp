// Expansion arithmetic: a value is held exactly as a sum of non-overlapping doubles ordered by
// increasing magnitude. Every primitive below is exact only if the compiler neither reorders nor
// fuses the operations, which is why this library is built with -ffp-contract=off.
#include "tin/predicates.h"

#include <cmath>

#include "tin/predicates_inline.h"

namespace {

// x + y == a + b exactly, x = fl(a + b). Needs |a| >= |b|.
inline void fast_two_sum(double a, double b, double& x, double& y) {
  x = a + b;
  const double bvirt = x - a;
  y = b - bvirt;
}

inline void two_sum(double a, double b, double& x, double& y) {
  x = a + b;
  const double bvirt = x - a;
  const double avirt = x - bvirt;
  const double bround = b - bvirt;
  const double around = a - avirt;
  y = around + bround;
}

// Roundoff of x = fl(a - b).
inline double two_diff_tail(double a, double b, double x) {
  const double bvirt = a - x;
  const double avirt = x + bvirt;
  const double bround = bvirt - b;
  const double around = a - avirt;
  return around + bround;
}

inline void two_diff(double a, double b, double& x, double& y) {
  x = a - b;
  y = two_diff_tail(a, b, x);
}

// Splits a into two halves of at most 26 significant bits each, so their products are exact.
inline void split(double a, double splitter, double& hi, double& lo) {
  const double c = splitter * a;
  const double abig = c - a;
  hi = c - abig;
  lo = a - hi;
}

inline void two_product_presplit(double a, double b, double bhi, double blo, double splitter, double& x,
                                 double& y) {
  x = a * b;
  double ahi, alo;
  split(a, splitter, ahi, alo);
  const double err1 = x - (ahi * bhi);
  const double err2 = err1 - (alo * bhi);
  const double err3 = err2 - (ahi * blo);
  y = (alo * blo) - err3;
}

inline void two_product(double a, double b, double splitter, double& x, double& y) {
  double bhi, blo;
  split(b, splitter, bhi, blo);
  two_product_presplit(a, b, bhi, blo, splitter, x, y);
}

// (a1 + a0) - b as the three-term expansion x2 + x1 + x0.
inline void two_one_diff(double a1, double a0, double b, double& x2, double& x1, double& x0) {
  double i;
  two_diff(a0, b, i, x0);
  two_sum(a1, i, x2, x1);
}

// (a1 + a0) - (b1 + b0) as the four-term expansion x[3..0].
inline void two_two_diff(double a1, double a0, double b1, double b0, double* x) {
  double j, zero;
  two_one_diff(a1, a0, b0, j, zero, x[0]);
  two_one_diff(j, zero, b1, x[3], x[2], x[1]);
}

// a*d - b*c of four doubles, exactly, as a four-term expansion.
inline void cross_expansion(double a, double d, double b, double c, double splitter, double* x) {
  double ad1, ad0, bc1, bc0;
  two_product(a, d, splitter, ad1, ad0);
  two_product(b, c, splitter, bc1, bc0);
  two_two_diff(ad1, ad0, bc1, bc0, x);
}

// h = e + f, zero components dropped. h needs room for elen + flen components.
int fast_expansion_sum_zeroelim(int elen, const double* e, int flen, const double* f, double* h) {
  int eindex = 0, findex = 0, hindex = 0;
  double enow = e[0], fnow = f[0];
  double q, qnew, hh;
  // Guarded reads: the published loop reads one element past each input's end.
  auto next_e = [&] { enow = (++eindex < elen) ? e[eindex] : 0.0; };
  auto next_f = [&] { fnow = (++findex < flen) ? f[findex] : 0.0; };
  if ((fnow > enow) == (fnow > -enow)) {
    q = enow;
    next_e();
  } else {
    q = fnow;
    next_f();
  }
  if (eindex < elen && findex < flen) {
    if ((fnow > enow) == (fnow > -enow)) {
      fast_two_sum(enow, q, qnew, hh);
      next_e();
    } else {
      fast_two_sum(fnow, q, qnew, hh);
      next_f();
    }
    q = qnew;
    if (hh != 0.0) h[hindex++] = hh;
    while (eindex < elen && findex < flen) {
      if ((fnow > enow) == (fnow > -enow)) {
        two_sum(q, enow, qnew, hh);
        next_e();
      } else {
        two_sum(q, fnow, qnew, hh);
        next_f();
      }
      q = qnew;
      if (hh != 0.0) h[hindex++] = hh;
    }
  }
  while (eindex < elen) {
    two_sum(q, enow, qnew, hh);
    next_e();
    q = qnew;
    if (hh != 0.0) h[hindex++] = hh;
  }
  while (findex < flen) {
    two_sum(q, fnow, qnew, hh);
    next_f();
    q = qnew;
    if (hh != 0.0) h[hindex++] = hh;
  }
  if (q != 0.0 || hindex == 0) h[hindex++] = q;
  return hindex;
}

// h = b * e, zero components dropped. h needs room for 2 * elen components.
int scale_expansion_zeroelim(int elen, const double* e, double b, double splitter, double* h) {
  double bhi, blo;
  split(b, splitter, bhi, blo);
  double q, hh;
  two_product_presplit(e[0], b, bhi, blo, splitter, q, hh);
  int hindex = 0;
  if (hh != 0.0) h[hindex++] = hh;
  for (int eindex = 1; eindex < elen; eindex++) {
    double product1, product0, sum;
    two_product_presplit(e[eindex], b, bhi, blo, splitter, product1, product0);
    two_sum(q, product0, sum, hh);
    if (hh != 0.0) h[hindex++] = hh;
    fast_two_sum(product1, sum, q, hh);
    if (hh != 0.0) h[hindex++] = hh;
  }
  if (q != 0.0 || hindex == 0) h[hindex++] = q;
  return hindex;
}

// One-double approximation of an expansion.
double estimate(int elen, const double* e) {
  double q = e[0];
  for (int i = 1; i < elen; i++) q += e[i];
  return q;
}

// lift * (det) with lift = x^2 + y^2, exactly: h needs room for 8 * detlen components.
int lifted_expansion(int detlen, const double* det, double x, double y, double sign, double splitter,
                     double* h) {
  double tx[96], txx[192], ty[96], tyy[192];
  const int xlen = scale_expansion_zeroelim(detlen, det, x, splitter, tx);
  const int xxlen = scale_expansion_zeroelim(xlen, tx, sign * x, splitter, txx);
  const int ylen = scale_expansion_zeroelim(detlen, det, y, splitter, ty);
  const int yylen = scale_expansion_zeroelim(ylen, ty, sign * y, splitter, tyy);
  return fast_expansion_sum_zeroelim(xxlen, txx, yylen, tyy, h);
}

}  // namespace

void TINpredicates::exactinit() {
  bool every_other = true;
  const double half = 0.5;
  double check = 1.0, lastcheck;
  epsilon_ = 1.0;
  splitter_ = 1.0;
  // Halve until 1 + epsilon rounds to 1; the splitter gets half the mantissa bits.
  do {
    lastcheck = check;
    epsilon_ *= half;
    if (every_other) splitter_ *= 2.0;
    every_other = !every_other;
    check = 1.0 + epsilon_;
  } while (check != 1.0 && check != lastcheck);
  splitter_ += 1.0;

  resulterrbound_ = (3.0 + 8.0 * epsilon_) * epsilon_;
  ccwerrboundA_ = (3.0 + 16.0 * epsilon_) * epsilon_;
  ccwerrboundB_ = (2.0 + 12.0 * epsilon_) * epsilon_;
  ccwerrboundC_ = (9.0 + 64.0 * epsilon_) * epsilon_ * epsilon_;
  iccerrboundA_ = (10.0 + 96.0 * epsilon_) * epsilon_;
  iccerrboundB_ = (4.0 + 48.0 * epsilon_) * epsilon_;
  iccerrboundC_ = (44.0 + 576.0 * epsilon_) * epsilon_ * epsilon_;
}

double TINpredicates::orient2d(const double* pa, const double* pb, const double* pc) const {
  return orient2d_inline(pa[0], pa[1], pb[0], pb[1], pc[0], pc[1]);
}

double TINpredicates::orient2dadapt(const double* pa, const double* pb, const double* pc,
                                    double detsum) const {
  const double acx = pa[0] - pc[0];
  const double bcx = pb[0] - pc[0];
  const double acy = pa[1] - pc[1];
  const double bcy = pb[1] - pc[1];

  // Stage B: the products exact, the differences still rounded.
  double b[4];
  cross_expansion(acx, bcy, acy, bcx, splitter_, b);
  double det = estimate(4, b);
  double errbound = ccwerrboundB_ * detsum;
  if (det >= errbound || -det >= errbound) return det;

  const double acxtail = two_diff_tail(pa[0], pc[0], acx);
  const double bcxtail = two_diff_tail(pb[0], pc[0], bcx);
  const double acytail = two_diff_tail(pa[1], pc[1], acy);
  const double bcytail = two_diff_tail(pb[1], pc[1], bcy);
  if (acxtail == 0.0 && acytail == 0.0 && bcxtail == 0.0 && bcytail == 0.0) return det;

  // Stage C: first-order correction from the roundoff of the differences.
  errbound = ccwerrboundC_ * detsum + resulterrbound_ * std::fabs(det);
  det += (acx * bcytail + bcy * acxtail) - (acy * bcxtail + bcx * acytail);
  if (det >= errbound || -det >= errbound) return det;

  // Stage D: every remaining term exactly.
  double u[4], c1[8], c2[12], d[16];
  cross_expansion(acxtail, bcy, acytail, bcx, splitter_, u);
  const int c1length = fast_expansion_sum_zeroelim(4, b, 4, u, c1);
  cross_expansion(acx, bcytail, acy, bcxtail, splitter_, u);
  const int c2length = fast_expansion_sum_zeroelim(c1length, c1, 4, u, c2);
  cross_expansion(acxtail, bcytail, acytail, bcxtail, splitter_, u);
  const int dlength = fast_expansion_sum_zeroelim(c2length, c2, 4, u, d);
  return d[dlength - 1];
}

double TINpredicates::incircle(const double* pa, const double* pb, const double* pc, const double* pd) const {
  return incircle_inline(pa[0], pa[1], pb[0], pb[1], pc[0], pc[1], pd[0], pd[1]);
}

double TINpredicates::incircleadapt(const double* pa, const double* pb, const double* pc, const double* pd,
                                    double permanent) const {
  const double adx = pa[0] - pd[0];
  const double bdx = pb[0] - pd[0];
  const double cdx = pc[0] - pd[0];
  const double ady = pa[1] - pd[1];
  const double bdy = pb[1] - pd[1];
  const double cdy = pc[1] - pd[1];

  // Stage B: exact determinant of the rounded differences.
  double bc[4], ca[4], ab[4];
  cross_expansion(bdx, cdy, cdx, bdy, splitter_, bc);
  cross_expansion(cdx, ady, adx, cdy, splitter_, ca);
  cross_expansion(adx, bdy, bdx, ady, splitter_, ab);
  double adet[32], bdet[32], cdet[32], abdet[64], fin[96];
  const int alen = lifted_expansion(4, bc, adx, ady, 1.0, splitter_, adet);
  const int blen = lifted_expansion(4, ca, bdx, bdy, 1.0, splitter_, bdet);
  const int clen = lifted_expansion(4, ab, cdx, cdy, 1.0, splitter_, cdet);
  const int ablen = fast_expansion_sum_zeroelim(alen, adet, blen, bdet, abdet);
  const int finlength = fast_expansion_sum_zeroelim(ablen, abdet, clen, cdet, fin);

  double det = estimate(finlength, fin);
  double errbound = iccerrboundB_ * permanent;
  if (det >= errbound || -det >= errbound) return det;

  const double adxtail = two_diff_tail(pa[0], pd[0], adx);
  const double adytail = two_diff_tail(pa[1], pd[1], ady);
  const double bdxtail = two_diff_tail(pb[0], pd[0], bdx);
  const double bdytail = two_diff_tail(pb[1], pd[1], bdy);
  const double cdxtail = two_diff_tail(pc[0], pd[0], cdx);
  const double cdytail = two_diff_tail(pc[1], pd[1], cdy);
  if (adxtail == 0.0 && bdxtail == 0.0 && cdxtail == 0.0 && adytail == 0.0 && bdytail == 0.0 &&
      cdytail == 0.0) {
    return det;
  }

  // Stage C: first-order correction from the roundoff of the differences.
  errbound = iccerrboundC_ * permanent + resulterrbound_ * std::fabs(det);
  det += ((adx * adx + ady * ady) * ((bdx * cdytail + cdy * bdxtail) - (bdy * cdxtail + cdx * bdytail)) +
          2.0 * (adx * adxtail + ady * adytail) * (bdx * cdy - bdy * cdx)) +
         ((bdx * bdx + bdy * bdy) * ((cdx * adytail + ady * cdxtail) - (cdy * adxtail + adx * cdytail)) +
          2.0 * (bdx * bdxtail + bdy * bdytail) * (cdx * ady - cdy * adx)) +
         ((cdx * cdx + cdy * cdy) * ((adx * bdytail + bdy * adxtail) - (ady * bdxtail + bdx * adytail)) +
          2.0 * (cdx * cdxtail + cdy * cdytail) * (adx * bdy - ady * bdx));
  if (det >= errbound || -det >= errbound) return det;

  // Last stage: so rare (exactly or almost exactly cocircular points with inexact differences)
  // that the plain exact 4x4 determinant of the original coordinates serves.
  return incircleexact(pa, pb, pc, pd);
}

// The lifted 4x4 determinant |x y x^2+y^2 1| expanded along the lift column:
//   lift(a) O(bcd) - lift(b) O(acd) + lift(c) O(abd) - lift(d) O(abc)
// where O(pqr) = pq + qr + rp and pq = px qy - py qx.
double TINpredicates::incircleexact(const double* pa, const double* pb, const double* pc,
                                    const double* pd) const {
  double ab[4], bc[4], cd[4], da[4], ac[4], bd[4];
  cross_expansion(pa[0], pb[1], pa[1], pb[0], splitter_, ab);
  cross_expansion(pb[0], pc[1], pb[1], pc[0], splitter_, bc);
  cross_expansion(pc[0], pd[1], pc[1], pd[0], splitter_, cd);
  cross_expansion(pd[0], pa[1], pd[1], pa[0], splitter_, da);
  cross_expansion(pa[0], pc[1], pa[1], pc[0], splitter_, ac);
  cross_expansion(pb[0], pd[1], pb[1], pd[0], splitter_, bd);

  double temp8[8], cda[12], dab[12], abc[12], bcd[12];
  int temp8len = fast_expansion_sum_zeroelim(4, cd, 4, da, temp8);
  const int cdalen = fast_expansion_sum_zeroelim(temp8len, temp8, 4, ac, cda);  // O(acd)
  temp8len = fast_expansion_sum_zeroelim(4, da, 4, ab, temp8);
  const int dablen = fast_expansion_sum_zeroelim(temp8len, temp8, 4, bd, dab);  // O(abd)
  for (int i = 0; i < 4; i++) {
    bd[i] = -bd[i];
    ac[i] = -ac[i];
  }
  temp8len = fast_expansion_sum_zeroelim(4, ab, 4, bc, temp8);
  const int abclen = fast_expansion_sum_zeroelim(temp8len, temp8, 4, ac, abc);  // O(abc)
  temp8len = fast_expansion_sum_zeroelim(4, bc, 4, cd, temp8);
  const int bcdlen = fast_expansion_sum_zeroelim(temp8len, temp8, 4, bd, bcd);  // O(bcd)

  double adet[96], bdet[96], cdet[96], ddet[96], abdet[192], cddet[192], deter[384];
  const int alen = lifted_expansion(bcdlen, bcd, pa[0], pa[1], 1.0, splitter_, adet);
  const int blen = lifted_expansion(cdalen, cda, pb[0], pb[1], -1.0, splitter_, bdet);
  const int clen = lifted_expansion(dablen, dab, pc[0], pc[1], 1.0, splitter_, cdet);
  const int dlen = lifted_expansion(abclen, abc, pd[0], pd[1], -1.0, splitter_, ddet);
  const int ablen = fast_expansion_sum_zeroelim(alen, adet, blen, bdet, abdet);
  const int cdlen = fast_expansion_sum_zeroelim(clen, cdet, dlen, ddet, cddet);
  const int deterlen = fast_expansion_sum_zeroelim(ablen, abdet, cdlen, cddet, deter);
  return deter[deterlen - 1];
}
