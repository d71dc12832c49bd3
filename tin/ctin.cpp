#include "tin/ctin.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

#include "common/messages.h"
#include "tin/detail/cavity_fan.h"
#include "tin/predicates_inline.h"

namespace {

using tin_detail::kFanFace, tin_detail::kFanFrom, tin_detail::kFanLink, tin_detail::kFanOpen;
using tin_detail::kNext, tin_detail::kPrev;
constexpr int32_t kConstraintBits = 7;
// Marks a triangle crossed by the segment being inserted, until it is reused.
constexpr int32_t kCrossed = 1 << 6;
// Link word of the last free record: not negative, so the record never looks in use.
constexpr int32_t kEndOfFree = INT32_MAX;

uint64_t edge_key(uint32_t from, uint32_t to) {
  return static_cast<uint64_t>(from) << 32 | to;
}

bool constrained(const TINtriangle& t, int k) {
  return (t.link_or_flags & (1 << k)) != 0;
}

}  // namespace

double CTIN::orient(uint32_t a, uint32_t b, const float* p) const {
  const float* pa = vertex(a);
  const float* pb = vertex(b);
  return predicates_.orient2d_inline(pa[0], pa[1], pb[0], pb[1], p[0], p[1]);
}

void CTIN::set_incident(uint32_t v, int32_t t) {
  if (v == TIN_NO_VERTEX) return;
  std::memcpy(points_ + static_cast<size_t>(v) * kStride + 3, &t, sizeof t);
}

int32_t CTIN::incident(uint32_t v) const {
  int32_t t;
  std::memcpy(&t, vertex(v) + 3, sizeof t);
  return t;
}

uint32_t CTIN::next_random() {
  random_state_ ^= random_state_ << 13;
  random_state_ ^= random_state_ >> 7;
  random_state_ ^= random_state_ << 17;
  return static_cast<uint32_t>(random_state_ >> 32);
}

bool CTIN::clean(uint32_t n, float* points) {
  predicates_.exactinit();
  // Two triangles per vertex hold every finite and infinite triangle; the two spare records let
  // the first triangle's four records exist for fewer than three announced vertices.
  const uint64_t want = 2 * static_cast<uint64_t>(n) + 2;
  announced_ = 0;
  added_ = 0;
  if (3 * want + 2 > static_cast<uint64_t>(INT32_MAX) || (n > 0 && points == nullptr)) {
    print_message("ERROR (CTINclean): failed malloc for %lld CTINtriangles.\n", static_cast<long long>(want));
    return false;
  }
  if (capacity_ < want) {
    triangles_.reset();
    capacity_ = 0;
    triangles_.reset(new (std::nothrow) TINtriangle[want]);
    if (!triangles_) {
      print_message("ERROR (CTINclean): failed malloc for %lld CTINtriangles.\n",
                    static_cast<long long>(want));
      return false;
    }
    capacity_ = static_cast<uint32_t>(want);
  }
  points_ = points;
  announced_ = n;
  free_head_ = kEndOfFree;
  triangle_count_ = 0;
  walk_start_ = 0;
  started_ = false;
  waiting_.clear();
  waiting_places_.clear();
  deferred_.clear();
  return true;
}

void CTIN::release() {
  triangles_.reset();
  capacity_ = 0;
  triangle_count_ = 0;
  free_head_ = kEndOfFree;
  started_ = false;
  waiting_ = {};
  waiting_places_ = {};
  deferred_ = {};
  stack_ = {};
  crossed_ = {};
  outer_ = {};
  inner_ = {};
  created_ = {};
}

// Recycled records first, then fresh ones above the count; the count always exceeds every index
// in use.
int32_t CTIN::take_free() {
  int32_t t;
  if (free_head_ != kEndOfFree) {
    t = free_head_;
    free_head_ = triangles_[static_cast<size_t>(t)].link_or_flags;
  } else if (static_cast<uint32_t>(triangle_count_) < capacity_) {
    t = triangle_count_++;
  } else {
    throw std::runtime_error("ERROR: maxed out allocated triangle buffer of size " +
                             std::to_string(capacity_));
  }
  triangles_[static_cast<size_t>(t)].link_or_flags = TIN_IN_USE;
  return t;
}

void CTIN::give_free(int32_t t) {
  triangles_[static_cast<size_t>(t)].link_or_flags = free_head_;
  free_head_ = t;
}

bool CTIN::try_first_triangle(uint32_t a, uint32_t b, uint32_t c) {
  const double o = orient(a, b, vertex(c));
  if (o == 0) return false;
  if (o < 0) std::swap(a, b);
  TINtriangle* tri = triangles_.get();
  const uint32_t V[4][3] = {{a, b, c}, {TIN_NO_VERTEX, c, b}, {TIN_NO_VERTEX, a, c}, {TIN_NO_VERTEX, b, a}};
  // Neighbour codes: the finite triangle faces infinite triangle k + 1 across its edge k; the
  // infinite ones meet each other across their edges 1 and 2 around the hull.
  const int32_t N[4][3] = {
      {3, 6, 9}, {0, 3 * 3 + 2, 3 * 2 + 1}, {1, 3 * 1 + 2, 3 * 3 + 1}, {2, 3 * 2 + 2, 3 * 1 + 1}};
  for (int32_t t = 0; t < 4; t++) {
    const int32_t q = take_free();
    for (int k = 0; k < 3; k++) {
      tri[q].V[k] = V[t][k];
      tri[q].N[k] = N[t][k];
    }
  }
  for (uint32_t v : {a, b, c}) set_incident(v, 0);
  walk_start_ = 0;
  started_ = true;
  return true;
}

// Before the first triangle: every vertex waits, each place once. The first triangle is made of
// the first vertex, the first one elsewhere and the first one off their line, so even a long
// straight start (a straight creek) costs one test per vertex.
void CTIN::add_waiting(uint32_t v, uint32_t& existing, Added& result) {
  const float* p = vertex(v);
  uint64_t place;
  static_assert(sizeof place == 2 * sizeof(float));
  // -0 and +0 are one place.
  const float x = p[0] == 0 ? 0.0f : p[0], y = p[1] == 0 ? 0.0f : p[1];
  const float xy[2] = {x, y};
  std::memcpy(&place, xy, sizeof place);
  const auto [it, fresh] = waiting_places_.try_emplace(place, v);
  if (!fresh) {
    existing = it->second;
    result = Added::kDuplicate;
    return;
  }
  result = Added::kInserted;
  if (waiting_.size() < 2 || !try_first_triangle(waiting_[0], waiting_[1], v)) {
    waiting_.push_back(v);
    return;
  }
  const std::vector<uint32_t> rest(waiting_.begin() + 2, waiting_.end());
  waiting_.clear();
  waiting_places_.clear();
  for (uint32_t w : rest) {
    uint32_t ignored;
    insert_located(w, walk(vertex(w), walk_start_), ignored, true);
  }
  const auto segments = std::move(deferred_);
  deferred_.clear();
  for (const auto& [from, to] : segments) {
    if (!insert_segment(from, to))
      throw std::runtime_error("ERROR: constraining a straight breakline failed");
  }
}

CTIN::Added CTIN::add_point(uint32_t v, uint32_t& existing, bool split_constraints) {
  return add(v, existing, split_constraints, false);
}

CTIN::Added CTIN::add_point_outside_lakes(uint32_t v, uint32_t& existing) {
  return add(v, existing, false, true);
}

CTIN::Added CTIN::add(uint32_t v, uint32_t& existing, bool split_constraints, bool drop_in_lake) {
  existing = TIN_NO_VERTEX;
  if (v >= announced_ || added_ >= announced_) return Added::kRejected;
  const float* p = vertex(v);
  if (!std::isfinite(p[0]) || !std::isfinite(p[1])) return Added::kRejected;
  // Before the first triangle no lake can have been flagged.
  const CTINlocation where = started_ ? walk(p, walk_start_) : CTINlocation{};
  if (drop_in_lake && where.kind == CTINlocation::kTriangle &&
      (triangles_[static_cast<size_t>(where.triangle)].link_or_flags & TIN_LAKE)) {
    return Added::kInLake;
  }
  added_++;
  // A vertex that is not a corner of any triangle must never send a walk anywhere.
  set_incident(v, -1);
  if (!started_) {
    Added result;
    add_waiting(v, existing, result);
    return result;
  }
  return insert_located(v, where, existing, split_constraints);
}

CTIN::Added CTIN::insert_located(uint32_t v, const CTINlocation& where, uint32_t& existing, bool split) {
  switch (where.kind) {
    case CTINlocation::kVertex:
      existing = where.vertex;
      return Added::kDuplicate;
    case CTINlocation::kConstrainedEdge: {
      if (!split) return Added::kDropped;
      // The edge is opened, the vertex inserted, and both halves constrained again.
      TINtriangle* tri = triangles_.get();
      const int32_t t = where.edge / 3;
      const int k = where.edge % 3;
      const uint32_t a = tri[t].V[kNext[k]], b = tri[t].V[kPrev[k]];
      const int32_t across = tri[t].N[k];
      const uint32_t apex = tri[t].V[k];
      const int32_t lake_here = tri[t].link_or_flags & TIN_LAKE;
      const int32_t lake_there = tri[across / 3].link_or_flags & TIN_LAKE;
      tri[t].link_or_flags &= ~(1 << k);
      tri[across / 3].link_or_flags &= ~(1 << (across % 3));
      insert_cavity(v, t);
      for (uint32_t end : {a, b}) {
        if (end != TIN_NO_VERTEX && !constrain_existing_edge(v, end)) {
          throw std::runtime_error("ERROR: splitting a constrained edge lost one of its halves");
        }
      }
      // A lake shore split: the new triangles take the flag of their side of the shore.
      if (lake_here != lake_there && a != TIN_NO_VERTEX && b != TIN_NO_VERTEX) {
        const bool here_left = orient(a, b, vertex(apex)) > 0;
        const int32_t start = incident(v);
        int32_t q = start;
        do {
          TINtriangle& Q = tri[q];
          const int d = Q.V[0] == v ? 0 : (Q.V[1] == v ? 1 : 2);
          if (!tin_is_infinite(Q)) {
            const uint32_t x = orient(a, b, vertex(Q.V[kNext[d]])) != 0 ? Q.V[kNext[d]] : Q.V[kPrev[d]];
            const bool left = orient(a, b, vertex(x)) > 0;
            Q.link_or_flags = (Q.link_or_flags & ~TIN_LAKE) | (left == here_left ? lake_here : lake_there);
          }
          q = Q.N[kNext[d]] / 3;
        } while (q != start);
      }
      return Added::kInserted;
    }
    case CTINlocation::kTriangle:
      insert_cavity(v, where.triangle);
      return Added::kInserted;
    case CTINlocation::kNone:
      break;
  }
  return Added::kRejected;
}

// Bowyer-Watson restricted by the constraints: a triangle joins the hole only across an edge that
// is not constrained, so no constrained edge is ever removed. The stack order visits the boundary
// edges in turn around the hole (the fan of tin/detail/cavity_fan.h).
void CTIN::insert_cavity(uint32_t v, int32_t t) {
  TINtriangle* tri = triangles_.get();
  const float* p = vertex(v);
  // The hole never crosses a constrained edge, so it lies in one region: inside a lake or not.
  const int32_t lake = tri[t].link_or_flags & TIN_LAKE;
  stack_.clear();
  for (int k = 0; k < 3; k++) stack_.push_back(tri[t].N[k]);
  give_free(t);

  int32_t first = -1, first_link = 0, prev = -1, prev_open = 0;
  while (!stack_.empty()) {
    const int32_t code = stack_.back();
    stack_.pop_back();
    const int32_t s = code / 3;
    const int i = code % 3;
    TINtriangle& S = tri[s];
    bool inside = false;
    if (!constrained(S, i)) {
      if (tin_is_infinite(S)) {
        const double o = orient(S.V[1], S.V[2], p);
        inside = o > 0 || (o == 0 && TINonsegment(vertex(S.V[1]), vertex(S.V[2]), p));
      } else {
        const float* a = vertex(S.V[0]);
        const float* b = vertex(S.V[1]);
        const float* c = vertex(S.V[2]);
        // On the circle counts as inside.
        inside = predicates_.incircle_inline(a[0], a[1], b[0], b[1], c[0], c[1], p[0], p[1]) >= 0;
      }
    }
    if (inside) {
      stack_.push_back(S.N[kNext[i]]);
      stack_.push_back(S.N[kPrev[i]]);
      give_free(s);
      continue;
    }
    const int32_t q = take_free();
    TINtriangle& Q = tri[q];
    if (!tin_is_infinite(S) || i == 0) Q.link_or_flags |= lake;
    const uint32_t from[4] = {S.V[0], S.V[1], S.V[2], v};
    for (int k = 0; k < 3; k++) {
      Q.V[k] = from[kFanFrom[i][k]];
      set_incident(Q.V[k], q);
    }
    // The edge facing S keeps its constraint; the two edges to p are new and free.
    if (constrained(S, i)) Q.link_or_flags |= 1 << kFanFace[i];
    S.N[i] = 3 * q + kFanFace[i];
    Q.N[kFanFace[i]] = code;
    if (prev < 0) {
      first = q;
      first_link = kFanLink[i];
    } else {
      Q.N[kFanLink[i]] = 3 * prev + prev_open;
      tri[prev].N[prev_open] = 3 * q + kFanLink[i];
    }
    prev = q;
    prev_open = kFanOpen[i];
  }
  tri[first].N[first_link] = 3 * prev + prev_open;
  tri[prev].N[prev_open] = 3 * first + first_link;
  walk_start_ = prev;
}

// Inside a finite triangle whose three orientations are all >= 0: which kind of place p is.
CTINlocation CTIN::classify_finite(const float*, int32_t t, const double o[3]) const {
  const TINtriangle& T = triangles_[static_cast<size_t>(t)];
  int zeros = 0, zero_edge = -1, sum = 0;
  for (int k = 0; k < 3; k++) {
    if (o[k] == 0) {
      zeros++;
      zero_edge = k;
      sum += k;
    }
  }
  CTINlocation r;
  r.triangle = t;
  if (zeros >= 2) {
    r.kind = CTINlocation::kVertex;
    r.vertex = T.V[3 - sum];
  } else if (zeros == 1 && constrained(T, zero_edge)) {
    r.kind = CTINlocation::kConstrainedEdge;
    r.edge = 3 * t + zero_edge;
  } else {
    r.kind = CTINlocation::kTriangle;
  }
  return r;
}

CTINlocation CTIN::locate(const float* p) {
  if (!started_) return {};
  return walk(p, walk_start_);
}

// Visibility walk: cross any edge that has p on its far side, trying the edges from a random one
// so that no cycle can hold the walk in a constrained triangulation.
CTINlocation CTIN::walk(const float* p, int32_t t) {
  const TINtriangle* tri = triangles_.get();
  int32_t came_from = -1;
  for (int32_t steps = 0; steps < kMaxWalk; steps++) {
    const TINtriangle& T = tri[t];
    if (tin_is_infinite(T)) {
      const double o = orient(T.V[1], T.V[2], p);
      if (o > 0) return {CTINlocation::kTriangle, t, -1, TIN_NO_VERTEX};
      if (o == 0) return hull_walk(p, t);
      came_from = t;
      t = T.N[0] / 3;
      continue;
    }
    double o[3];
    const int r = static_cast<int>(next_random() % 3);
    int exit = -1;
    for (int j = 0; j < 3; j++) {
      const int k = (r + j) % 3;
      if (T.N[k] / 3 == came_from) {
        o[k] = 1;  // p is on this side of the edge the walk came in by
        continue;
      }
      o[k] = orient(T.V[kNext[k]], T.V[kPrev[k]], p);
      if (o[k] < 0) {
        exit = k;
        break;
      }
    }
    if (exit < 0) return classify_finite(p, t, o);
    came_from = t;
    t = T.N[exit] / 3;
  }
  print_message("WARNING ... using brute_locate\n");
  return brute_locate(p);
}

// p is collinear with the hull edge of infinite triangle t: inside that edge, at one of its ends,
// or beyond them along the hull.
CTINlocation CTIN::hull_walk(const float* p, int32_t t) {
  const TINtriangle* tri = triangles_.get();
  for (uint32_t steps = 0; steps <= capacity_; steps++) {
    const TINtriangle& T = tri[t];
    const float* a = vertex(T.V[1]);
    const float* b = vertex(T.V[2]);
    if (a[0] == b[0] && a[1] == b[1])
      throw std::runtime_error("FATAL ERROR: degenerate finite edge of infinite triangle");
    switch (TINinsegment(a, b, p)) {
      case 1:
        return {CTINlocation::kVertex, t, -1, T.V[1]};
      case 2:
        return {CTINlocation::kVertex, t, -1, T.V[2]};
      case 3:
        if (constrained(T, 0)) return {CTINlocation::kConstrainedEdge, t, 3 * t, TIN_NO_VERTEX};
        return {CTINlocation::kTriangle, t, -1, TIN_NO_VERTEX};
      default:
        break;
    }
    const int k = a[0] != b[0] ? 0 : 1;
    const bool beyond_a = (a[k] < b[k]) ? p[k] < a[k] : p[k] > a[k];
    t = T.N[beyond_a ? 2 : 1] / 3;
    const double o = orient(tri[t].V[1], tri[t].V[2], p);
    if (o > 0) return {CTINlocation::kTriangle, t, -1, TIN_NO_VERTEX};
    if (o < 0) return brute_locate(p);  // cannot happen on a convex hull
  }
  return brute_locate(p);
}

CTINlocation CTIN::brute_locate(const float* p) const {
  const TINtriangle* tri = triangles_.get();
  for (int32_t t = 0; t < triangle_count_; t++) {
    const TINtriangle& T = tri[t];
    if (!tin_in_use(T)) continue;
    if (tin_is_infinite(T)) {
      const double o = orient(T.V[1], T.V[2], p);
      if (o > 0) return {CTINlocation::kTriangle, t, -1, TIN_NO_VERTEX};
      if (o < 0) continue;
      const int s = TINinsegment(vertex(T.V[1]), vertex(T.V[2]), p);
      if (s == 1 || s == 2) return {CTINlocation::kVertex, t, -1, T.V[s]};
      if (s == 3) {
        if (constrained(T, 0)) return {CTINlocation::kConstrainedEdge, t, 3 * t, TIN_NO_VERTEX};
        return {CTINlocation::kTriangle, t, -1, TIN_NO_VERTEX};
      }
      continue;
    }
    double o[3];
    bool inside = true;
    for (int k = 0; k < 3 && inside; k++) {
      o[k] = orient(T.V[kNext[k]], T.V[kPrev[k]], p);
      inside = o[k] >= 0;
    }
    if (inside) return classify_finite(p, t, o);
  }
  throw std::runtime_error("FATAL ERROR: fail to brute_locate a point");
}

void CTIN::set_constraint(int32_t t, int k) {
  TINtriangle* tri = triangles_.get();
  tri[t].link_or_flags |= 1 << k;
  const int32_t across = tri[t].N[k];
  tri[across / 3].link_or_flags |= 1 << (across % 3);
}

// Constrains the edge a-b if it exists; turns once around a from its incident triangle.
bool CTIN::constrain_existing_edge(uint32_t a, uint32_t b) {
  const TINtriangle* tri = triangles_.get();
  const int32_t start = incident(a);
  int32_t t = start;
  for (uint32_t steps = 0; steps <= capacity_; steps++) {
    const TINtriangle& T = tri[t];
    const int d = T.V[0] == a ? 0 : (T.V[1] == a ? 1 : 2);
    if (T.V[kNext[d]] == b) {
      set_constraint(t, kPrev[d]);
      return true;
    }
    t = T.N[kNext[d]] / 3;  // across the edge from the vertex before a to a
    if (t == start) return false;
  }
  return false;
}

bool CTIN::insert_segment(uint32_t a, uint32_t b) {
  if (a == b) return true;
  if (!started_) {
    deferred_.emplace_back(a, b);
    return true;
  }
  for (uint32_t v : {a, b}) {
    if (v >= announced_ || incident(v) < 0 || incident(v) >= triangle_count_) {
      throw std::runtime_error("ERROR: breakline segment ends at a point that is not in the triangulation");
    }
  }
  while (a != b) {
    uint32_t reached;
    if (!insert_segment_once(a, b, reached)) return false;
    a = reached;
  }
  return true;
}

// Constrains the part of segment a-b up to the first vertex on it (b itself, or a vertex lying
// exactly on the segment), which `reached` answers. False after the message when the segment
// would cross a constrained edge.
bool CTIN::insert_segment_once(uint32_t a, uint32_t b, uint32_t& reached) {
  TINtriangle* tri = triangles_.get();
  const float* pb = vertex(b);
  // Turn around a to the wedge that holds the direction to b.
  const int32_t start = incident(a);
  int32_t t = start, wedge = -1, d = 0;
  for (uint32_t steps = 0; steps <= capacity_; steps++) {
    const TINtriangle& T = tri[t];
    d = T.V[0] == a ? 0 : (T.V[1] == a ? 1 : 2);
    const uint32_t right = T.V[kNext[d]], left = T.V[kPrev[d]];
    if (right == b) {
      set_constraint(t, kPrev[d]);
      reached = b;
      return true;
    }
    if (right != TIN_NO_VERTEX && orient(a, right, pb) == 0) {
      // b lies on the line through a and `right`: on its ray when the two point the same way.
      const float* pa = vertex(a);
      const float* pr = vertex(right);
      const auto diff = [](const float* to, const float* from, int k) {
        return static_cast<double>(to[k]) - static_cast<double>(from[k]);
      };
      const double along = diff(pr, pa, 0) * diff(pb, pa, 0) + diff(pr, pa, 1) * diff(pb, pa, 1);
      if (along > 0) {
        set_constraint(t, kPrev[d]);
        reached = right;
        return true;
      }
    } else if (!tin_is_infinite(T) && orient(a, right, pb) > 0 && orient(a, left, pb) < 0) {
      wedge = t;
      break;
    }
    t = T.N[kNext[d]] / 3;
    if (t == start) break;
  }
  if (wedge < 0) throw std::runtime_error("ERROR: no triangle around a breakline vertex faces the next one");

  // Walk along the segment, collecting the crossed triangles and the vertices on either side.
  std::vector<uint32_t> left{tri[wedge].V[kPrev[d]]}, right{tri[wedge].V[kNext[d]]};
  crossed_.assign(1, wedge);
  int32_t exit_code = 3 * wedge + d;
  uint32_t w = TIN_NO_VERTEX;
  for (;;) {
    if (constrained(tri[exit_code / 3], exit_code % 3)) {
      print_message("ERROR: crossing constraint segments\n");
      return false;
    }
    const int32_t code = tri[exit_code / 3].N[exit_code % 3];
    const int32_t u = code / 3;
    const int j = code % 3;
    crossed_.push_back(u);
    if (crossed_.size() > capacity_) throw std::runtime_error("ERROR: breakline segment walk does not end");
    w = tri[u].V[j];
    if (w == b || w == TIN_NO_VERTEX) break;
    const double o = orient(a, b, vertex(w));
    if (o == 0) break;
    if (o > 0) {
      left.push_back(w);
      exit_code = 3 * u + kNext[j];  // between w and the right vertex of the entry edge
    } else {
      right.push_back(w);
      exit_code = 3 * u + kPrev[j];  // between the left vertex of the entry edge and w
    }
  }
  if (w == TIN_NO_VERTEX) throw std::runtime_error("ERROR: breakline segment leaves the triangulation");
  retriangulate(a, w, left, right);
  reached = w;
  return true;
}

// Replaces the crossed triangles by the triangulations of the two polygons on either side of the
// new constrained edge a-v, and links them to each other and to the triangles around.
void CTIN::retriangulate(uint32_t a, uint32_t v, const std::vector<uint32_t>& left,
                         const std::vector<uint32_t>& right) {
  TINtriangle* tri = triangles_.get();
  for (int32_t t : crossed_) tri[t].link_or_flags |= kCrossed;
  outer_.clear();
  for (int32_t t : crossed_) {
    for (int k = 0; k < 3; k++) {
      const int32_t across = tri[t].N[k];
      if (tri[across / 3].link_or_flags & kCrossed) continue;
      outer_.push_back(
          {edge_key(tri[t].V[kNext[k]], tri[t].V[kPrev[k]]), across, constrained(tri[t], k) ? 1 : 0});
    }
  }
  const int32_t lake = tri[crossed_.front()].link_or_flags & TIN_LAKE;
  for (int32_t t : crossed_) give_free(t);
  created_.clear();
  fill_polygon(a, v, left.data(), left.size());
  const std::vector<uint32_t> right_reversed(right.rbegin(), right.rend());
  fill_polygon(v, a, right_reversed.data(), right_reversed.size());

  inner_.clear();
  for (int32_t t : created_) {
    for (int k = 0; k < 3; k++)
      inner_.push_back({edge_key(tri[t].V[kNext[k]], tri[t].V[kPrev[k]]), 3 * t + k, 0});
  }
  std::sort(outer_.begin(), outer_.end());
  std::sort(inner_.begin(), inner_.end());
  const auto find = [](const std::vector<DirectedEdge>& edges, uint64_t key) {
    const auto it = std::lower_bound(edges.begin(), edges.end(), DirectedEdge{key, 0, 0});
    return it != edges.end() && it->key == key ? &*it : nullptr;
  };
  for (int32_t t : created_) tri[t].link_or_flags |= lake;
  for (const DirectedEdge& e : inner_) {
    const int32_t t = e.code / 3;
    const int k = e.code % 3;
    const uint32_t from = static_cast<uint32_t>(e.key >> 32), to = static_cast<uint32_t>(e.key);
    if (const DirectedEdge* twin = find(inner_, edge_key(to, from))) {
      tri[t].N[k] = twin->code;
      if ((from == a && to == v) || (from == v && to == a)) tri[t].link_or_flags |= 1 << k;
    } else if (const DirectedEdge* outside = find(outer_, e.key)) {
      tri[t].N[k] = outside->code;
      tri[outside->code / 3].N[outside->code % 3] = 3 * t + k;
      if (outside->constrained) tri[t].link_or_flags |= 1 << k;
    } else {
      throw std::runtime_error("ERROR: retriangulating along a breakline lost an edge");
    }
  }
  walk_start_ = created_.empty() ? walk_start_ : created_.back();
}

// Triangulates the polygon p, chain..., q whose chain lies left of p->q: the chain vertex whose
// circle through p and q holds no other chain vertex makes the triangle on p-q, and the two
// polygons beside it are filled the same way.
void CTIN::fill_polygon(uint32_t p, uint32_t q, const uint32_t* chain, size_t count) {
  if (count == 0) return;
  const float* pp = vertex(p);
  const float* pq = vertex(q);
  size_t best = 0;
  for (size_t i = 1; i < count; i++) {
    const float* c = vertex(chain[best]);
    const float* x = vertex(chain[i]);
    if (predicates_.incircle_inline(pp[0], pp[1], pq[0], pq[1], c[0], c[1], x[0], x[1]) > 0) best = i;
  }
  const uint32_t c = chain[best];
  const int32_t t = take_free();
  TINtriangle& T = triangles_[static_cast<size_t>(t)];
  T.V[0] = c;
  T.V[1] = p;
  T.V[2] = q;
  for (uint32_t x : {c, p, q}) set_incident(x, t);
  created_.push_back(t);
  fill_polygon(p, c, chain, best);
  fill_polygon(c, q, chain + best + 1, count - best - 1);
}

void CTIN::flag_enclosed() {
  TINtriangle* tri = triangles_.get();
  stack_.clear();
  for (int32_t t = 0; t < triangle_count_; t++) {
    if (!tin_in_use(tri[t])) continue;
    if (tin_is_infinite(tri[t])) {
      tri[t].link_or_flags &= ~TIN_LAKE;
      stack_.push_back(t);
    } else {
      tri[t].link_or_flags |= TIN_LAKE;
    }
  }
  // Order does not matter for reachability: a stack serves as well as a queue.
  while (!stack_.empty()) {
    const int32_t t = stack_.back();
    stack_.pop_back();
    for (int k = 0; k < 3; k++) {
      if (tri[t].link_or_flags & (1 << k)) continue;
      const int32_t u = tri[t].N[k] / 3;
      if (tri[u].link_or_flags & TIN_LAKE) {
        tri[u].link_or_flags &= ~TIN_LAKE;
        stack_.push_back(u);
      }
    }
  }
}
