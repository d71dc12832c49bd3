// Terrain operations on a finished triangulation, run before contours are traced: carving a
// concave hull, smoothing elevations and flagging triangles with long edges.
//
// All three work on a finished triangulation (TinView, tin/tin.h); with breaklines the fourth word
// of a vertex may hold the smoothing lock.
#pragma once

#include <cstdint>

#include "tin/tin.h"

// Bit pattern of the fourth word of a vertex whose elevation smoothing must keep (breakline
// vertices carry the heights of their files). The word otherwise holds the constrained TIN's
// incident-triangle index, which is never negative, so the pattern (negative as an int32) cannot
// be mistaken for one.
inline constexpr uint32_t SMOOTHING_LOCK_BITS = 0xFD70BDC2u;

// Puts the smoothing lock into the fourth word of vertices [0, count); without a fourth word
// (stride < 4) there is nothing to lock.
void lock_vertex_elevations(float* points, uint32_t stride, uint32_t count);
bool is_elevation_locked(const float* vertex);  // reads the fourth word

// Carves triangles from the outside inwards while the hull edge they hang on is longer than the
// concavity (squared length strictly greater than `concavity_sq`), so that contours do not run
// across the long, thin triangles a convex hull spans over gaps and bays. A carved triangle
// becomes an infinite triangle of the new hull; neighbour codes stay symmetric and the infinite
// triangles keep forming the hull ring. `concavity_sq` <= 0 (or NaN) switches carving off.
// Throws std::runtime_error("ERROR: ...") when the queue of hull triangles cannot be allocated.
void carve_concave_hull(TinView tin, float concavity_sq);

// Runs `passes` smoothing passes. Each pass visits the finite triangles in index order and pulls
// each of its three vertices towards the other two (0.9 of its own elevation, 0.05 of each
// other's, all read before the triangle writes), so a vertex moves once per triangle it belongs
// to and later triangles see earlier writes. With `honour_lock` (and stride >= 4) vertices whose
// fourth word holds SMOOTHING_LOCK_BITS keep their elevation; they are still read.
void smooth_terrain(TinView tin, int passes, bool honour_lock);

// Flags with TIN_KILLED every finite triangle with an edge at least as long as the threshold
// (squared length >= `kill_sq`), so that contours end at it. Answers the number of triangles
// flagged by this call (triangles flagged before are not counted again). `kill_sq` <= 0 (or NaN)
// flags nothing.
int32_t kill_long_edge_triangles(TinView tin, float kill_sq);
