#pragma once
// Conversion between the integer coordinates stored in point records and real coordinates.

#include <algorithm>
#include <cmath>
#include <cstdint>

// Rounds (value - offset) / scale half away from the offset and keeps the low 32 bits of the
// 64-bit result. A non-finite quotient (a zero scale factor from a hostile header, NaN input) gives
// 0 and quotients beyond the 64-bit range are clamped, instead of undefined conversions.
inline int32_t quantize_coordinate(double value, double scale, double offset) {
  const double q = (value - offset) / scale;
  if (!std::isfinite(q)) return 0;
  const double r = value >= offset ? q + 0.5 : q - 0.5;
  const int64_t i = static_cast<int64_t>(std::clamp(r, -9.2e18, 9.2e18));
  return static_cast<int32_t>(static_cast<uint32_t>(i));
}

// Rounds half away from zero with the same clamping, keeping the low 32 bits.
inline int32_t round_to_int32_bits(double v) {
  const double r = v >= 0 ? v + 0.5 : v - 0.5;
  if (std::isnan(r)) return 0;
  const int64_t i = static_cast<int64_t>(std::clamp(r, -9.2e18, 9.2e18));
  return static_cast<int32_t>(static_cast<uint32_t>(i));
}

struct LASquantizer {
  double x_scale_factor = 0.01;
  double y_scale_factor = 0.01;
  double z_scale_factor = 0.01;
  double x_offset = 0.0;
  double y_offset = 0.0;
  double z_offset = 0.0;

  double get_x(int32_t X) const { return x_scale_factor * X + x_offset; }
  double get_y(int32_t Y) const { return y_scale_factor * Y + y_offset; }
  double get_z(int32_t Z) const { return z_scale_factor * Z + z_offset; }
  int32_t get_X(double x) const { return quantize_coordinate(x, x_scale_factor, x_offset); }
  int32_t get_Y(double y) const { return quantize_coordinate(y, y_scale_factor, y_offset); }
  int32_t get_Z(double z) const { return quantize_coordinate(z, z_scale_factor, z_offset); }
};
