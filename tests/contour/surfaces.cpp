#include "surfaces.h"

#include <algorithm>
#include <map>
#include <numeric>
#include <random>
#include <utility>

int32_t HandTin::find(uint32_t a, uint32_t b, uint32_t c) const {
  std::array<uint32_t, 3> want{a, b, c};
  std::sort(want.begin(), want.end());
  for (size_t t = 0; t < triangles.size(); t++) {
    const TINtriangle& tri = triangles[t];
    if (!tin_in_use(tri) || tin_is_infinite(tri)) continue;
    std::array<uint32_t, 3> have{tri.V[0], tri.V[1], tri.V[2]};
    std::sort(have.begin(), have.end());
    if (have == want) return static_cast<int32_t>(t);
  }
  return -1;
}

HandTin build_tin(std::vector<float> points, const std::vector<std::array<uint32_t, 3>>& finite) {
  HandTin tin;
  tin.points = std::move(points);
  for (auto v : finite) {
    const float* a = tin.point(v[0]);
    const float* b = tin.point(v[1]);
    const float* c = tin.point(v[2]);
    const double area = (double{b[0]} - double{a[0]}) * (double{c[1]} - double{a[1]}) -
                        (double{b[1]} - double{a[1]}) * (double{c[0]} - double{a[0]});
    if (area < 0) std::swap(v[1], v[2]);
    tin.triangles.push_back(TINtriangle{{v[0], v[1], v[2]}, {-1, -1, -1}, TIN_IN_USE});
  }
  using Edge = std::pair<uint32_t, uint32_t>;
  auto edge_of = [&](size_t t, int k) {
    const TINtriangle& tri = tin.triangles[t];
    return Edge{tri.V[(k + 1) % 3], tri.V[(k + 2) % 3]};
  };
  std::map<Edge, int32_t> codes;
  for (size_t t = 0; t < tin.triangles.size(); t++) {
    for (int k = 0; k < 3; k++) codes[edge_of(t, k)] = static_cast<int32_t>(3 * t + k);
  }
  // The infinite triangle beyond hull edge (u, v) is (none, v, u): its hull edge runs clockwise.
  const size_t finite_count = tin.triangles.size();
  for (size_t t = 0; t < finite_count; t++) {
    for (int k = 0; k < 3; k++) {
      auto [u, v] = edge_of(t, k);
      if (codes.count({v, u}) == 0) {
        tin.triangles.push_back(TINtriangle{{TIN_NO_VERTEX, v, u}, {-1, -1, -1}, TIN_IN_USE});
      }
    }
  }
  codes.clear();
  for (size_t t = 0; t < tin.triangles.size(); t++) {
    for (int k = 0; k < 3; k++) codes[edge_of(t, k)] = static_cast<int32_t>(3 * t + k);
  }
  for (size_t t = 0; t < tin.triangles.size(); t++) {
    for (int k = 0; k < 3; k++) {
      auto [u, v] = edge_of(t, k);
      tin.triangles[t].N[k] = codes.at({v, u});
    }
  }
  // A free record: garbage vertex references that would fault if the tracer read them.
  tin.triangles.push_back(TINtriangle{{4000000000u, 4000000001u, 4000000002u}, {-7, 99999999, 5}, 0});
  return tin;
}

Grid build_grid(int nx, int ny, float spacing, const std::function<float(float, float)>& f, bool shuffle,
                float jitter) {
  Grid grid;
  grid.nx = nx;
  const size_t n = static_cast<size_t>(nx) * static_cast<size_t>(ny);
  grid.index.resize(n);
  std::iota(grid.index.begin(), grid.index.end(), 0u);
  if (shuffle) std::shuffle(grid.index.begin(), grid.index.end(), std::mt19937(12345));
  std::vector<float> points(n * HandTin::STRIDE);
  std::mt19937 random(777);
  std::uniform_real_distribution<float> offset(-jitter, jitter);
  for (int j = 0; j < ny; j++) {
    for (int i = 0; i < nx; i++) {
      const float x = static_cast<float>(i) * spacing + offset(random);
      const float y = static_cast<float>(j) * spacing + offset(random);
      float* p = points.data() + size_t{grid.grid_vertex(i, j)} * HandTin::STRIDE;
      p[0] = x;
      p[1] = y;
      p[2] = f(x, y);
    }
  }
  std::vector<std::array<uint32_t, 3>> finite;
  for (int j = 0; j + 1 < ny; j++) {
    for (int i = 0; i + 1 < nx; i++) {
      const uint32_t a = grid.grid_vertex(i, j), b = grid.grid_vertex(i + 1, j);
      const uint32_t c = grid.grid_vertex(i + 1, j + 1), d = grid.grid_vertex(i, j + 1);
      finite.push_back({a, b, c});
      finite.push_back({a, c, d});
    }
  }
  grid.tin = build_tin(std::move(points), finite);
  return grid;
}
