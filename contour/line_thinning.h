// Thinning and length measurement of a finished contour chain, in place.
//
// A chain is a doubly linked list of vertices whose two links have no fixed direction: walking
// from `prev` to `cur`, the next vertex is whichever link of `cur` is not `prev`. An open line
// starts at an end (second link none) and stops at the other end; a closed loop returns to its
// start. Removing a vertex links its two kept neighbours to each other and releases it.
//
// The algorithms are templates over the chain's storage so that the tracer runs them on its pool
// and tests on hand-made lines. A Chain provides:
//   auto& links(uint32_t v);                              // a record with the links a and b
//   void position(uint32_t v, float& x, float& y) const;  // where v lies
//   void release(uint32_t v);                             // v is no longer part of the chain
#pragma once

#include <cmath>
#include <cstdint>

#include "contour/contour_pool.h"

namespace line_thinning_detail {

template <class Chain>
uint32_t step(Chain& chain, uint32_t v, uint32_t prev) {
  const auto& l = chain.links(v);
  return l.a == prev ? l.b : l.a;
}

// Replaces v's link to `from` by `to`. In a loop of two vertices both links of a vertex point to
// the other one; replacing them one call at a time is what the two calls of unlink do.
template <class Chain>
void replace_link(Chain& chain, uint32_t v, uint32_t from, uint32_t to) {
  auto& l = chain.links(v);
  if (l.a == from) {
    l.a = to;
  } else {
    l.b = to;
  }
}

// Removes v from between its kept neighbours p and n.
template <class Chain>
void unlink(Chain& chain, uint32_t p, uint32_t v, uint32_t n) {
  replace_link(chain, p, v, n);
  replace_link(chain, n, v, p);
  chain.release(v);
}

struct Point2 {
  float x;
  float y;
};

template <class Chain>
Point2 at(const Chain& chain, uint32_t v) {
  Point2 p;
  chain.position(v, p.x, p.y);
  return p;
}

// Twice the area of the triangle p, q, r.
inline double doubled_area(Point2 p, Point2 q, Point2 r) {
  return std::fabs((double{q.y} - double{r.y}) * (double{p.x} - double{q.x}) -
                   (double{p.y} - double{q.y}) * (double{q.x} - double{r.x}));
}

}  // namespace line_thinning_detail

// Number of vertices of the chain, the start counted once.
template <class Chain>
int64_t chain_vertex_count(Chain& chain, uint32_t start) {
  using namespace line_thinning_detail;
  int64_t count = 1;
  uint32_t prev = start;
  uint32_t cur = chain.links(start).a;
  while (cur != NO_RECORD && cur != start) {
    count++;
    const uint32_t next = step(chain, cur, prev);
    prev = cur;
    cur = next;
  }
  return count;
}

// Removes every vertex (never an end of an open line, never a loop's start) whose triangle with
// its neighbours, as the chain was before thinning, has less than `threshold` doubled area.
// A loop keeps at least three vertices: fewer would enclose nothing. Answers the number removed.
template <class Chain>
int64_t thin_by_area(Chain& chain, uint32_t start, bool loop, double threshold) {
  using namespace line_thinning_detail;
  int64_t removable = INT64_MAX;
  if (loop) removable = chain_vertex_count(chain, start) - 3;
  int64_t removed = 0;
  uint32_t last_kept = start;
  Point2 before = at(chain, start);
  uint32_t cur = chain.links(start).a;
  if (cur == NO_RECORD || cur == start) return 0;
  Point2 here = at(chain, cur);
  for (;;) {
    // cur's link back always names the last kept vertex, whether or not its predecessor stayed.
    const uint32_t next = step(chain, cur, last_kept);
    if (next == NO_RECORD) break;  // cur is the far end of an open line
    const Point2 after = at(chain, next);
    if (removed < removable && doubled_area(before, here, after) < threshold) {
      unlink(chain, last_kept, cur, next);
      removed++;
    } else {
      last_kept = cur;
    }
    if (next == start) break;  // cur was the last vertex of a loop
    before = here;
    here = after;
    cur = next;
  }
  return removed;
}

// Walks from the start and removes every vertex closer than `threshold` to the last vertex kept.
// The far end of an open line is tested too; when it goes, the last kept vertex becomes the end.
// A loop's closing segment is not tested. Answers the number removed; the caller sees from the
// start's links whether the chain vanished (open: link a none; loop: linked to itself).
template <class Chain>
int64_t thin_by_distance(Chain& chain, uint32_t start, double threshold) {
  using namespace line_thinning_detail;
  int64_t removed = 0;
  uint32_t last_kept = start;
  Point2 reference = at(chain, start);
  uint32_t cur = chain.links(start).a;
  while (cur != NO_RECORD && cur != start) {
    const uint32_t next = step(chain, cur, last_kept);
    const Point2 p = at(chain, cur);
    const double dx = double{p.x} - double{reference.x};
    const double dy = double{p.y} - double{reference.y};
    if (std::sqrt(dx * dx + dy * dy) < threshold) {
      removed++;
      if (next == NO_RECORD) {
        // The far end goes: the last kept vertex ends the line, its only link in a.
        auto& l = chain.links(last_kept);
        if (l.a == cur) l.a = l.b;
        l.b = NO_RECORD;
        chain.release(cur);
      } else {
        unlink(chain, last_kept, cur, next);
      }
    } else {
      last_kept = cur;
      reference = p;
    }
    cur = next;
  }
  return removed;
}

// Sum of the segment lengths, a loop's closing segment included.
template <class Chain>
double chain_length(Chain& chain, uint32_t start) {
  using namespace line_thinning_detail;
  double length = 0.0;
  uint32_t prev = start;
  Point2 p = at(chain, start);
  uint32_t cur = chain.links(start).a;
  while (cur != NO_RECORD) {
    const Point2 q = at(chain, cur);
    const float dx = q.x - p.x;
    const float dy = q.y - p.y;
    length += std::sqrt(double{dx} * double{dx} + double{dy} * double{dy});
    if (cur == start) break;
    const uint32_t next = step(chain, cur, prev);
    prev = cur;
    p = q;
    cur = next;
  }
  return length;
}
