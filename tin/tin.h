// Incremental Delaunay triangulation of the kept points of one input file.
//
// Vertices are indices into the caller's point buffer (`stride` floats per vertex, x and y first,
// relative to the input's minimum x and y). The TIN never copies or moves them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

// Vertex reference of an infinite triangle's V[0].
inline constexpr uint32_t TIN_NO_VERTEX = UINT32_MAX;

// Bits of TINtriangle::link_or_flags while a triangle is in use.
inline constexpr int32_t TIN_IN_USE = INT32_MIN;     // sign bit: the triangle is in use
inline constexpr int32_t TIN_CONSTRAINED_EDGE0 = 1;  // bits 0..2: edge k is a breakline constraint
inline constexpr int32_t TIN_LAKE = 8;               // triangle lies inside a lake polygon
inline constexpr int32_t TIN_KILLED = 16;            // removed by long-edge killing

// One triangle record: seven 32-bit words.
// Edge k is the edge opposite V[k], i.e. (V[k+1], V[k+2]) modulo 3.
// N[k] is the neighbour code across edge k: 3 * neighbour index + index of the same edge in the
// neighbour, so following N[k] to (u, j) gives u.N[j] == 3 * t + k.
// Finite triangles are counter-clockwise. An infinite triangle (V[0] == TIN_NO_VERTEX) stands for
// the outside beyond its hull edge (V[1], V[2]), which runs clockwise around the hull.
struct TINtriangle {
  uint32_t V[3];
  int32_t N[3];
  // Free triangle: index of the next free triangle. In use: TIN_IN_USE plus flag bits.
  int32_t link_or_flags;
};
static_assert(sizeof(TINtriangle) == 28, "the triangle record is seven 32-bit words");

inline bool tin_in_use(const TINtriangle& t) {
  return t.link_or_flags < 0;
}
inline bool tin_is_infinite(const TINtriangle& t) {
  return t.V[0] == TIN_NO_VERTEX;
}

// A finished triangulation as the steps after it see it: the triangle records
// triangles[0 .. triangle_count) (records not in use are skipped) and the point buffer they index,
// `stride` floats per vertex: x and y relative to the input's minimum, z, and with breaklines a
// fourth word. ConstTinView is the read-only form; a TinView converts to it.
template <class Triangle, class Coordinate>
struct BasicTinView {
  Triangle* triangles = nullptr;
  int32_t triangle_count = 0;
  Coordinate* points = nullptr;
  uint32_t stride = 3;

  Coordinate* vertex(uint32_t v) const { return points + static_cast<size_t>(v) * stride; }

  operator BasicTinView<const Triangle, const Coordinate>() const requires(!std::is_const_v<Triangle>) {
    return {triangles, triangle_count, points, stride};
  }
};
using TinView = BasicTinView<TINtriangle, float>;
using ConstTinView = BasicTinView<const TINtriangle, const float>;

// Segment tests for a point p already known to be collinear with the segment (a, b). Both compare
// x, or y when the segment is vertical. Identical endpoints throw std::runtime_error.
// TINinsegment answers 0 when p lies outside the closed extent, 1 when it equals a in the compared
// coordinate, 2 when it equals b, and 3 when it lies strictly between.
int TINinsegment(const float* a, const float* b, const float* p);
bool TINonsegment(const float* a, const float* b, const float* p);
