// Analytic terrain used by the sample generator and by the tests that check contours against it.
// Coordinates are in metres inside a square tile [0, size] x [0, size].
#pragma once

#include <cmath>
#include <string>

inline bool is_known_surface(const std::string& name) {
  return name == "sample" || name == "cone" || name == "paraboloid" || name == "plane";
}

// Elevations in metres. "cone": 100 m at the centre falling 0.5 m per metre of distance.
// "paraboloid": 100 m at the centre, z = 100 - r^2 / size. "plane": tilted 0.1 m per metre in x.
// "sample": a sloping tile with a hill, a pit and a ridge, so both open lines and loops appear.
inline double surface_z(const std::string& name, double x, double y, double size) {
  const double cx = 0.5 * size, cy = 0.5 * size;
  const double r = std::hypot(x - cx, y - cy);
  if (name == "cone") return 100.0 - 0.5 * r;
  if (name == "paraboloid") return 100.0 - r * r / size;
  if (name == "plane") return 50.0 + 0.1 * x;
  const double s = size / 200.0;  // shapes scale with the tile
  auto bump = [](double dx, double dy, double w) { return std::exp(-(dx * dx + dy * dy) / (w * w)); };
  const double hill = 12.0 * bump(x - 0.3 * size, y - 0.65 * size, 30.0 * s);
  const double pit = -8.0 * bump(x - 0.72 * size, y - 0.3 * size, 22.0 * s);
  const double ridge_d = (y - 0.2 * size) - 0.6 * (x - 0.1 * size);
  const double ridge = 5.0 * std::exp(-(ridge_d * ridge_d) / (100.0 * s * s));
  return 100.0 + 0.04 * x + hill + pit + ridge;
}
