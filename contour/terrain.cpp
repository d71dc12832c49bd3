#include "contour/terrain.h"

#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>

namespace {

// Squared distance of two vertices in single precision, the precision of the thresholds.
float squared_distance(const float* a, const float* b) {
  const float dx = a[0] - b[0];
  const float dy = a[1] - b[1];
  return dx * dx + dy * dy;
}

bool is_finite_in_use(const TINtriangle& t) {
  return tin_in_use(t) && !tin_is_infinite(t);
}

// A first-in first-out ring of triangle indices. An index is pushed only while it is not queued
// (an infinite triangle re-enters after it left, a carved one enters once, when it turns
// infinite), so one slot per triangle always suffices. The slots are not initialised: the ring
// only touches as many as are pushed, a small part of the triangles, so the rest of it never
// costs a page of memory.
class TriangleQueue {
 public:
  explicit TriangleQueue(int32_t capacity) : capacity_(static_cast<size_t>(capacity)) {
    try {
      slots_ = std::make_unique_for_overwrite<int32_t[]>(capacity_);
    } catch (const std::bad_alloc&) {
      throw std::runtime_error("ERROR: cannot allocate the concave hull queue for " +
                               std::to_string(capacity) + " triangles.");
    }
  }
  bool empty() const { return size_ == 0; }
  void push(int32_t t) {
    slots_[(head_ + size_) % capacity_] = t;
    size_++;
  }
  int32_t pop() {
    const int32_t t = slots_[head_];
    head_ = (head_ + 1) % capacity_;
    size_--;
    return t;
  }

 private:
  std::unique_ptr<int32_t[]> slots_;
  size_t capacity_;
  size_t head_ = 0;
  size_t size_ = 0;
};

// Carves the finite triangle t hanging on the hull edge (a, b) of the infinite triangle g: g's
// edge 0 is t's edge e. The two inner edges of t become hull edges:
//
//          apex                        apex
//      n1 /  \ n2                  n1 /    \ n2    g turns into (none, a, apex)
//        / t  \                      /      \      t turns into (none, apex, b)
//       a ---- b                    a        b
//         (g)                         outside
//
// Pushes g and t when the triangles across their new hull edges are finite, so the carving can
// go on through them.
void carve_triangle(TINtriangle* triangles, int32_t g, int32_t t, int e, TriangleQueue& queue) {
  TINtriangle& G = triangles[g];
  TINtriangle& T = triangles[t];
  const uint32_t apex = T.V[e];
  const uint32_t b = G.V[2];
  const int32_t n1 = T.N[(e + 1) % 3];  // across the edge from a to the apex
  const int32_t n2 = T.N[(e + 2) % 3];  // across the edge from the apex to b
  const int32_t next_hull = G.N[1];     // the infinite triangle after G along the hull
  T.V[0] = TIN_NO_VERTEX;
  T.V[1] = apex;
  T.V[2] = b;
  T.N[0] = n2;
  T.N[1] = next_hull;
  T.N[2] = 3 * g + 1;
  G.V[2] = apex;
  G.N[0] = n1;
  G.N[1] = 3 * t + 2;
  triangles[n1 / 3].N[n1 % 3] = 3 * g;
  triangles[n2 / 3].N[n2 % 3] = 3 * t;
  triangles[next_hull / 3].N[next_hull % 3] = 3 * t + 1;
  if (!tin_is_infinite(triangles[n1 / 3])) queue.push(g);
  if (!tin_is_infinite(triangles[n2 / 3])) queue.push(t);
}

}  // namespace

void lock_vertex_elevations(float* points, uint32_t stride, uint32_t count) {
  if (stride < 4) return;  // the fourth word would be the next vertex's x
  for (uint32_t v = 0; v < count; v++) {
    std::memcpy(points + size_t{v} * stride + 3, &SMOOTHING_LOCK_BITS, sizeof(float));
  }
}

bool is_elevation_locked(const float* vertex) {
  uint32_t bits;
  std::memcpy(&bits, vertex + 3, sizeof(bits));
  return bits == SMOOTHING_LOCK_BITS;
}

void carve_concave_hull(TinView tin, float concavity_sq) {
  TINtriangle* triangles = tin.triangles;
  const int32_t triangle_count = tin.triangle_count;
  // Every nonzero edge is longer than 0, so 0 would carve everything away; it means "off".
  if (!(concavity_sq > 0) || triangle_count <= 0) return;
  TriangleQueue queue(triangle_count);
  for (int32_t t = 0; t < triangle_count; t++) {
    if (tin_in_use(triangles[t]) && tin_is_infinite(triangles[t])) queue.push(t);
  }
  while (!queue.empty()) {
    const int32_t g = queue.pop();
    const TINtriangle& G = triangles[g];
    const float* a = tin.vertex(G.V[1]);
    const float* b = tin.vertex(G.V[2]);
    if (!(squared_distance(a, b) > concavity_sq)) continue;
    const int32_t t = G.N[0] / 3;
    if (tin_is_infinite(triangles[t])) continue;
    carve_triangle(triangles, g, t, G.N[0] % 3, queue);
  }
}

void smooth_terrain(TinView tin, int passes, bool honour_lock) {
  // The weights are single-precision constants widened to double, as the elevations are.
  constexpr double kOwn = 0.9f;
  constexpr double kOther = 0.05f;
  const bool lockable = honour_lock && tin.stride >= 4;
  for (int pass = 0; pass < passes; pass++) {
    for (int32_t t = 0; t < tin.triangle_count; t++) {
      const TINtriangle& tri = tin.triangles[t];
      if (!is_finite_in_use(tri)) continue;
      float* v[3];
      double z[3];
      for (int k = 0; k < 3; k++) {
        v[k] = tin.vertex(tri.V[k]);
        z[k] = v[k][2];
      }
      for (int k = 0; k < 3; k++) {
        if (lockable && is_elevation_locked(v[k])) continue;
        v[k][2] = static_cast<float>(kOwn * z[k] + kOther * (z[(k + 1) % 3] + z[(k + 2) % 3]));
      }
    }
  }
}

int32_t kill_long_edge_triangles(TinView tin, float kill_sq) {
  if (!(kill_sq > 0)) return 0;  // every triangle would have an edge of at least 0
  int32_t killed = 0;
  for (int32_t t = 0; t < tin.triangle_count; t++) {
    TINtriangle& tri = tin.triangles[t];
    if (!is_finite_in_use(tri) || (tri.link_or_flags & TIN_KILLED) != 0) continue;
    const float* p0 = tin.vertex(tri.V[0]);
    const float* p1 = tin.vertex(tri.V[1]);
    const float* p2 = tin.vertex(tri.V[2]);
    if (squared_distance(p0, p1) >= kill_sq || squared_distance(p1, p2) >= kill_sq ||
        squared_distance(p0, p2) >= kill_sq) {
      tri.link_or_flags |= TIN_KILLED;
      killed++;
    }
  }
  return killed;
}
