#include "exact_reference.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// Sign and magnitude; magnitude limbs are base 2^32, least significant first, no leading zeros.
struct Big {
  int sign = 0;
  std::vector<uint32_t> mag;
};

void trim(Big& x) {
  while (!x.mag.empty() && x.mag.back() == 0) x.mag.pop_back();
  if (x.mag.empty()) x.sign = 0;
}

int compare_mag(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (size_t i = a.size(); i-- > 0;) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return 0;
}

std::vector<uint32_t> add_mag(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  std::vector<uint32_t> r(std::max(a.size(), b.size()) + 1, 0);
  uint64_t carry = 0;
  for (size_t i = 0; i < r.size(); i++) {
    const uint64_t s = carry + (i < a.size() ? a[i] : 0) + (i < b.size() ? b[i] : 0);
    r[i] = static_cast<uint32_t>(s);
    carry = s >> 32;
  }
  return r;
}

// a - b with |a| >= |b|.
std::vector<uint32_t> sub_mag(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  std::vector<uint32_t> r(a.size(), 0);
  int64_t borrow = 0;
  for (size_t i = 0; i < a.size(); i++) {
    int64_t d = static_cast<int64_t>(a[i]) - (i < b.size() ? b[i] : 0) - borrow;
    borrow = d < 0;
    if (d < 0) d += (int64_t{1} << 32);
    r[i] = static_cast<uint32_t>(d);
  }
  return r;
}

Big operator+(const Big& a, const Big& b) {
  if (a.sign == 0) return b;
  if (b.sign == 0) return a;
  Big r;
  if (a.sign == b.sign) {
    r.sign = a.sign;
    r.mag = add_mag(a.mag, b.mag);
  } else {
    const int c = compare_mag(a.mag, b.mag);
    if (c == 0) return r;
    r.sign = c > 0 ? a.sign : b.sign;
    r.mag = c > 0 ? sub_mag(a.mag, b.mag) : sub_mag(b.mag, a.mag);
  }
  trim(r);
  return r;
}

Big operator-(const Big& a) {
  Big r = a;
  r.sign = -r.sign;
  return r;
}

Big operator-(const Big& a, const Big& b) {
  return a + (-b);
}

Big operator*(const Big& a, const Big& b) {
  Big r;
  if (a.sign == 0 || b.sign == 0) return r;
  std::vector<uint64_t> acc(a.mag.size() + b.mag.size() + 1, 0);
  for (size_t i = 0; i < a.mag.size(); i++) {
    uint64_t carry = 0;
    for (size_t j = 0; j < b.mag.size(); j++) {
      const uint64_t t = acc[i + j] + static_cast<uint64_t>(a.mag[i]) * b.mag[j] + carry;
      acc[i + j] = t & 0xFFFFFFFFu;
      carry = t >> 32;
    }
    acc[i + b.mag.size()] += carry;
  }
  r.sign = a.sign * b.sign;
  for (uint64_t v : acc) r.mag.push_back(static_cast<uint32_t>(v));
  trim(r);
  return r;
}

int exponent_of(double x) {
  if (x == 0) return INT_MAX;
  int e;
  std::frexp(x, &e);
  return e - 53;  // x = integer mantissa * 2^(e - 53)
}

// x / 2^unit as an exact integer; unit must not exceed x's lowest bit.
Big scaled(double x, int unit) {
  Big r;
  if (x == 0) return r;
  int e;
  const double f = std::frexp(std::fabs(x), &e);
  const uint64_t m = static_cast<uint64_t>(std::ldexp(f, 53));
  const int shift = e - 53 - unit;
  r.sign = x < 0 ? -1 : 1;
  r.mag.assign(static_cast<size_t>(shift / 32), 0);
  const unsigned __int128 v = static_cast<unsigned __int128>(m) << (shift % 32);
  for (int k = 0; k < 4; k++) r.mag.push_back(static_cast<uint32_t>(v >> (32 * k)));
  trim(r);
  return r;
}

int lowest_unit(std::initializer_list<double> values) {
  int unit = INT_MAX;
  for (double v : values) unit = std::min(unit, exponent_of(v));
  return unit == INT_MAX ? 0 : unit;
}

Big cross(const Big& ax, const Big& ay, const Big& bx, const Big& by) {
  return ax * by - ay * bx;
}

}  // namespace

int exact_orient_sign(const double* a, const double* b, const double* c) {
  const int u = lowest_unit({a[0], a[1], b[0], b[1], c[0], c[1]});
  const Big acx = scaled(a[0], u) - scaled(c[0], u), acy = scaled(a[1], u) - scaled(c[1], u);
  const Big bcx = scaled(b[0], u) - scaled(c[0], u), bcy = scaled(b[1], u) - scaled(c[1], u);
  return cross(acx, acy, bcx, bcy).sign;
}

int exact_incircle_sign(const double* a, const double* b, const double* c, const double* d) {
  const int u = lowest_unit({a[0], a[1], b[0], b[1], c[0], c[1], d[0], d[1]});
  const Big dx = scaled(d[0], u), dy = scaled(d[1], u);
  const Big adx = scaled(a[0], u) - dx, ady = scaled(a[1], u) - dy;
  const Big bdx = scaled(b[0], u) - dx, bdy = scaled(b[1], u) - dy;
  const Big cdx = scaled(c[0], u) - dx, cdy = scaled(c[1], u) - dy;
  const Big alift = adx * adx + ady * ady;
  const Big blift = bdx * bdx + bdy * bdy;
  const Big clift = cdx * cdx + cdy * cdy;
  return (alift * cross(bdx, bdy, cdx, cdy) + blift * cross(cdx, cdy, adx, ady) +
          clift * cross(adx, ady, bdx, bdy))
      .sign;
}
