#include "tin/delaunay.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <utility>

#include "common/messages.h"
#include "tin/detail/cavity_fan.h"
#include "tin/predicates_inline.h"

namespace {

using tin_detail::kFanFace, tin_detail::kFanFrom, tin_detail::kFanLink, tin_detail::kFanOpen;
using tin_detail::kNext, tin_detail::kPrev;

// Compared coordinate of a segment test: x, or y for a vertical segment.
int segment_axis(const float* a, const float* b, const char* who) {
  if (a[0] != b[0]) return 0;
  if (a[1] != b[1]) return 1;
  throw std::runtime_error(std::string("ERROR: identical endpoints in ") + who + "() test.");
}

}  // namespace

int TINinsegment(const float* a, const float* b, const float* p) {
  const int k = segment_axis(a, b, "TINinsegment");
  const float lo = std::min(a[k], b[k]);
  const float hi = std::max(a[k], b[k]);
  if (p[k] < lo || p[k] > hi) return 0;
  if (p[k] == a[k]) return 1;
  if (p[k] == b[k]) return 2;
  return 3;
}

bool TINonsegment(const float* a, const float* b, const float* p) {
  const int k = segment_axis(a, b, "TINonsegment");
  return std::min(a[k], b[k]) <= p[k] && p[k] <= std::max(a[k], b[k]);
}

bool TIN::clean(uint32_t n, const float* points, uint32_t stride, TINinsertion insertion) {
  predicates_.exactinit();
  const uint64_t want = 2 * static_cast<uint64_t>(n);
  announced_ = 0;
  added_ = 0;
  // Neighbour codes are 3 * index + edge in a signed 32-bit word, the link record's included.
  if (3 * want + 2 > static_cast<uint64_t>(INT32_MAX) || stride < 2 || (n > 0 && points == nullptr)) {
    print_message("ERROR (TINclean): failed malloc for %lld TINtriangles.\n", static_cast<long long>(want));
    return false;
  }
  if (capacity_ < want) {
    triangles_.reset();
    capacity_ = 0;
    // Sorted points touch the triangles in the order they were made, which 4 KiB pages serve well.
    triangles_ = tin_allocate_huge<TINtriangle>(want + 1, insertion == TINinsertion::kDelayed);
    if (!triangles_) {
      print_message("ERROR (TINclean): failed malloc for %lld TINtriangles.\n", static_cast<long long>(want));
      return false;
    }
    capacity_ = static_cast<uint32_t>(want);
  }
  // A reused buffer keeps the previous file's records beyond the free-list head; nothing reads a
  // record at or past triangle_count_, so they need no clearing.
  insertion_ = insertion;
  const bool delayed = insertion == TINinsertion::kDelayed;
  if (delayed && !delay_) delay_ = std::make_unique<uint32_t[]>(kDelay);
  waiting_.clear();
  waiting_elsewhere_ = 0;

  points_ = points;
  stride_ = stride;
  announced_ = n;
  free_head_ = 0;
  triangle_count_ = 0;
  chained_ = 0;
  walk_start_ = 0;
  delay_pos_ = 0;
  started_ = false;
  delay_full_ = false;
  random_state_ = 0x9E3779B97F4A7C15ull;
  cavity_size_ = 0;
  for (Scout& s : scouts_) s.state = ScoutState::kIdle;
  scouting_ = true;
  scout_window_ = 0;
  scout_wins_ = 0;

  // About one cell per four points: at most 1 byte per point beside the 68 of points + triangles.
  // Sorted points land next to the newest triangle and need no grid.
  const size_t cells = delayed ? std::max<size_t>(1, n / 4) : 0;
  grid_valid_ = false;
  if (grid_cells_ != cells) {
    grid_.reset();
    grid_cells_ = 0;
    // The grid only speeds up the walk; without it every walk starts at the newest triangle.
    if (cells > 0) grid_ = tin_allocate_huge<int32_t>(cells);
    if (grid_) grid_cells_ = cells;
  }
  return true;
}

void TIN::release() {
  triangles_.reset();
  capacity_ = 0;
  cavity_.reset();
  cavity_capacity_ = 0;
  cavity_size_ = 0;
  delay_.reset();
  waiting_ = std::vector<uint32_t>();
  grid_.reset();
  grid_cells_ = 0;
  grid_valid_ = false;
  announced_ = 0;
  added_ = 0;
  triangle_count_ = 0;
  free_head_ = 0;
  started_ = false;
  delay_full_ = false;
  delay_pos_ = 0;
  points_ = nullptr;
}

uint32_t TIN::next_random() {
  // xorshift64*: the high 32 bits scaled to [0, kDelay).
  random_state_ ^= random_state_ >> 12;
  random_state_ ^= random_state_ << 25;
  random_state_ ^= random_state_ >> 27;
  const uint64_t r = (random_state_ * 0x2545F4914F6CDD1Dull) >> 32;
  return static_cast<uint32_t>((r * kDelay) >> 32);
}

bool TIN::add_point(uint32_t v) {
  // The buffer holds 2n triangles: one vertex more than announced could exhaust it mid-cavity.
  if (v >= announced_ || added_ >= announced_) return false;
  const float* p = vertex(v);
  if (!std::isfinite(p[0]) || !std::isfinite(p[1])) return false;
  added_++;
  if (insertion_ == TINinsertion::kImmediate) {
    add_immediate(v);
  } else {
    add_delayed(v);
  }
  return true;
}

void TIN::add_immediate(uint32_t v) {
  if (started_) {
    const int32_t t = locate(vertex(v), walk_start_);
    if (t >= 0) insert_cavity(v, t);  // else it coincides with a vertex: the first point keeps its z
    return;
  }
  // Sorted input may begin with a long straight row; its points wait, in order, for the first
  // point off their line. The first triangle is made of the first point, the first one elsewhere
  // and that point: the others are inserted after it, so a repeated place keeps its first z.
  waiting_.push_back(v);
  const float* a = vertex(waiting_.front());
  const float* p = vertex(v);
  if (waiting_elsewhere_ == 0) {
    if (p[0] != a[0] || p[1] != a[1]) waiting_elsewhere_ = waiting_.size() - 1;
    return;
  }
  if (!try_first_triangle(waiting_.front(), waiting_[waiting_elsewhere_], v)) return;
  for (size_t i = 1; i + 1 < waiting_.size(); i++) {
    if (i != waiting_elsewhere_) add_immediate(waiting_[i]);
  }
  waiting_ = std::vector<uint32_t>();
}

void TIN::add_delayed(uint32_t v) {
  if (!started_) {
    delay_[delay_pos_++] = v;
    if (delay_pos_ >= 3 && try_first_triangle(delay_[delay_pos_ - 3], delay_[delay_pos_ - 2], v)) {
      delay_pos_ -= 3;
      return;
    }
    if (delay_pos_ == kDelay) {
      throw std::runtime_error("ERROR: cannot find triangle in first " + std::to_string(kDelay) + " points.");
    }
    return;
  }
  if (!delay_full_) {
    delay_[delay_pos_++] = v;
    if (delay_pos_ == kDelay) {
      delay_pos_ = 0;
      delay_full_ = true;
    }
    return;
  }
  // Scan-line order would otherwise feed long runs of nearly collinear points; the occasional
  // random exchange breaks them up.
  if (delay_pos_ % kExchangeEvery == 0) std::swap(delay_[delay_pos_], delay_[next_random()]);
  scout_ahead(delay_pos_, kDelay, true);
  insert_point(delay_[delay_pos_], delay_pos_);
  delay_[delay_pos_] = v;
  if (++delay_pos_ == kDelay) delay_pos_ = 0;
}

bool TIN::finish() {
  waiting_ = std::vector<uint32_t>();
  if (started_ && insertion_ == TINinsertion::kDelayed) {
    const uint32_t end = delay_full_ ? kDelay : delay_pos_;
    for (uint32_t i = 0; i < end; i++) {
      scout_ahead(i, end, false);
      insert_point(delay_[i], i);
    }
  }
  for (Scout& s : scouts_) s.state = ScoutState::kIdle;
  delay_pos_ = 0;
  delay_full_ = false;
  return started_;
}

// The first triangle from the three newest waiting points, with its three infinite neighbours:
//   0 = (a, b, c)   1 = (-, c, b)   2 = (-, a, c)   3 = (-, b, a)
bool TIN::try_first_triangle(uint32_t a, uint32_t b, uint32_t c) {
  const double o = orient(vertex(a), vertex(b), vertex(c));
  if (o == 0) return false;
  if (o < 0) std::swap(a, b);
  TINtriangle* t = triangles_.get();
  t[0] = TINtriangle{{a, b, c}, {3, 6, 9}, TIN_IN_USE};
  t[1] = TINtriangle{{TIN_NO_VERTEX, c, b}, {0, 11, 7}, TIN_IN_USE};
  t[2] = TINtriangle{{TIN_NO_VERTEX, a, c}, {1, 5, 10}, TIN_IN_USE};
  t[3] = TINtriangle{{TIN_NO_VERTEX, b, a}, {2, 8, 4}, TIN_IN_USE};
  free_head_ = 4;
  triangle_count_ = 4;
  chained_ = 4;
  walk_start_ = 0;
  started_ = true;
  return true;
}

double TIN::orient(const float* a, const float* b, const float* c) const {
  return predicates_.orient2d_inline(a[0], a[1], b[0], b[1], c[0], c[1]);
}

double TIN::orient(const float* a, const double* b, const float* c) const {
  return predicates_.orient2d_inline(a[0], a[1], b[0], b[1], c[0], c[1]);
}

void TIN::insert_point(uint32_t v, uint32_t pos) {
  const float* p = vertex(v);
  // The random exchange may have put another point into this slot since its scout set out.
  const Scout& s = scouts_[pos % kScouts];
  int32_t start;
  const bool scouted = s.state != ScoutState::kIdle && s.state != ScoutState::kCell;
  if (scouted && s.vertex == v && s.t < triangle_count_ && tin_in_use(triangles_[s.t])) {
    grid_fit(p);
    // In coherent input the newest triangle is usually nearer still.
    const bool scout_nearer = start_distance2(s.t, p) < start_distance2(walk_start_, p);
    start = scout_nearer ? s.t : walk_start_;
    scout_wins_ += scout_nearer;
  } else {
    start = walk_start_for(p);
  }
  judge_scouting();
  const int32_t t = locate(p, start);
  if (t < 0) return;  // coincides with a vertex: the first point keeps its z
  insert_cavity(v, t);
  grid_record(p, walk_start_);
}

// Writes the links of the never used records from q on, a block at a time ahead of their use, so
// that taking a record never needs to ask whether its link was written. Answers the new end.
int32_t TIN::chain_free_records(int32_t q) {
  constexpr int32_t kBlock = 4096;
  const int32_t end = static_cast<int32_t>(std::min<int64_t>(int64_t{q} + kBlock, capacity_));
  for (int32_t r = q; r < end; r++) triangles_[r].link_or_flags = r + 1;
  return end;
}

void TIN::grow_cavity() {
  auto grown = std::make_unique<int32_t[]>(cavity_capacity_ + kStackGrowth);
  std::copy(cavity_.get(), cavity_.get() + cavity_size_, grown.get());
  cavity_ = std::move(grown);
  cavity_capacity_ += kStackGrowth;
}

// Bowyer-Watson: remove every triangle whose circumcircle holds p (or, for the outside, whose hull
// edge sees p) and connect each boundary edge of the hole to p. The stack order visits boundary
// edges in turn around the hole (the fan of tin/detail/cavity_fan.h).
void TIN::insert_cavity(uint32_t v, int32_t t) {
  TINtriangle* tri = triangles_.get();
  const float* p = vertex(v);
  const double px = p[0], py = p[1];
  // The hot loop keeps the stack and the free list in locals and writes them back at the end.
  int32_t* stack = cavity_.get();
  uint32_t size = 0;
  int32_t head = free_head_;
  int32_t count = triangle_count_;
  int32_t chained = chained_;
  auto reserve = [&](uint32_t more) {
    if (cavity_capacity_ - size >= more) return;
    cavity_size_ = size;
    grow_cavity();
    stack = cavity_.get();
  };
  reserve(3);
  for (int k = 0; k < 3; k++) stack[size++] = tri[t].N[k];
  tri[t].link_or_flags = head;
  head = t;

  // The first new triangle links to the spare record past the buffer, as if that were the one
  // before it; the spare then tells which edge of the first closes the fan, with no branch for
  // "first or not" in the loop.
  const int32_t spare = static_cast<int32_t>(capacity_);
  int32_t prev = spare, prev_open = 0;
  while (size > 0) {
    const int32_t code = stack[--size];
    const int32_t s = code / 3;
    const int i = code - 3 * s;
    TINtriangle& S = tri[s];
    bool inside;
    if (tin_is_infinite(S)) [[unlikely]] {
      const float* a = vertex(S.V[1]);
      const float* b = vertex(S.V[2]);
      const double o = orient(a, b, p);
      inside = o > 0 || (o == 0 && TINonsegment(a, b, p));
    } else {
      const float* a = vertex(S.V[0]);
      const float* b = vertex(S.V[1]);
      const float* c = vertex(S.V[2]);
      // On the circle counts as inside.
      inside = predicates_.incircle_inline(a[0], a[1], b[0], b[1], c[0], c[1], px, py) >= 0;
    }
    if (inside) {
      reserve(2);
      stack[size++] = S.N[kNext[i]];
      stack[size++] = S.N[kPrev[i]];
      S.link_or_flags = head;
      head = s;
      continue;
    }
    const int32_t q = head;
    if (static_cast<uint32_t>(q) >= capacity_) [[unlikely]] {
      // add_point's bound makes this unreachable; never write past the buffer regardless.
      throw std::runtime_error("ERROR: maxed out allocated triangle buffer of size " +
                               std::to_string(capacity_));
    }
    if (q >= chained) [[unlikely]]
      chained = chain_free_records(q);
    TINtriangle& Q = tri[q];
    head = Q.link_or_flags;
    count = std::max(count, head);
    const uint32_t from[4] = {S.V[0], S.V[1], S.V[2], v};
    Q.V[0] = from[kFanFrom[i][0]];
    Q.V[1] = from[kFanFrom[i][1]];
    Q.V[2] = from[kFanFrom[i][2]];
    Q.link_or_flags = TIN_IN_USE;
    S.N[i] = 3 * q + kFanFace[i];
    Q.N[kFanFace[i]] = code;
    Q.N[kFanLink[i]] = 3 * prev + prev_open;
    tri[prev].N[prev_open] = 3 * q + kFanLink[i];
    prev = q;
    prev_open = kFanOpen[i];
  }
  const int32_t first_code = tri[spare].N[0];
  tri[first_code / 3].N[first_code % 3] = 3 * prev + prev_open;
  tri[prev].N[prev_open] = first_code;
  cavity_size_ = 0;
  free_head_ = head;
  triangle_count_ = count;
  chained_ = chained;
  walk_start_ = prev;
}

// Straight walk from the midpoint of the entry edge towards p. Answers the triangle holding p
// (p may lie on its boundary), or -1 when p coincides with a vertex.
int32_t TIN::locate(const float* p, int32_t t) const {
  const TINtriangle* tri = triangles_.get();
  double a = orient(p, vertex(tri[t].V[1]), vertex(tri[t].V[2]));
  int b = 0;
  if (a < 0) {
    const int32_t code = tri[t].N[0];
    t = code / 3;
    b = code - 3 * t;
  } else if (a == 0) {
    const int s = TINinsegment(vertex(tri[t].V[1]), vertex(tri[t].V[2]), p);
    if (s == 3) return t;
    if (s != 0) return -1;
  }
  const float* e1 = vertex(tri[t].V[kPrev[b]]);
  const float* e2 = vertex(tri[t].V[kNext[b]]);
  const double m[2] = {(static_cast<double>(e1[0]) + static_cast<double>(e2[0])) * 0.5,
                       (static_cast<double>(e1[1]) + static_cast<double>(e2[1])) * 0.5};

  int32_t steps = 0;
  while (!tin_is_infinite(tri[t])) {
    if (++steps > kMaxWalk) return brute_locate(p);
    const TINtriangle& T = tri[t];
    const float* apex = vertex(T.V[b]);
    int exit;
    if (orient(p, m, apex) > 0) {
      const float* v1 = vertex(T.V[kNext[b]]);
      a = orient(p, v1, apex);
      exit = kPrev[b];
      if (a < 0) return t;
      if (a == 0) {
        const int s = TINinsegment(v1, apex, p);
        if (s == 3) return t;
        if (s != 0) return -1;
      }
    } else {
      if (p[0] == apex[0] && p[1] == apex[1]) return -1;
      const float* v2 = vertex(T.V[kPrev[b]]);
      a = orient(p, apex, v2);
      exit = kNext[b];
      if (a < 0) return t;
      if (a == 0) {
        const int s = TINinsegment(apex, v2, p);
        if (s == 3) return t;
        if (s != 0) return -1;
      }
    }
    const int32_t code = T.N[exit];
    t = code / 3;
    b = code - 3 * t;
  }
  if (a != 0) return t;
  return hull_walk(p, t);
}

// p is collinear with the hull edge of infinite triangle t but outside it: move along the hull
// until an edge that is not collinear with p, or p's place on a collinear edge, is found.
int32_t TIN::hull_walk(const float* p, int32_t t) const {
  const TINtriangle* tri = triangles_.get();
  for (int32_t moves = 0; moves <= triangle_count_; moves++) {
    const float* v1 = vertex(tri[t].V[1]);
    const float* v2 = vertex(tri[t].V[2]);
    int k = 0;
    if (v1[0] == v2[0]) {
      if (v1[1] == v2[1]) throw std::runtime_error("ERROR: degenerate finite edge of infinite triangle.");
      k = 1;
    }
    if (p[k] == v1[k] || p[k] == v2[k]) return -1;
    const bool rising = v1[k] < v2[k];
    const bool beyond_v1 = rising ? p[k] < v1[k] : p[k] > v1[k];
    const bool beyond_v2 = rising ? p[k] > v2[k] : p[k] < v2[k];
    if (!beyond_v1 && !beyond_v2) return t;
    t = tri[t].N[beyond_v1 ? 2 : 1] / 3;
    if (orient(p, vertex(tri[t].V[2]), vertex(tri[t].V[1])) != 0) return t;
  }
  return brute_locate(p);  // a valid hull cannot be collinear with p all the way round
}

int32_t TIN::brute_locate(const float* p) const {
  const TINtriangle* tri = triangles_.get();
  // No record at or past the count is in use (those past the head may be a previous file's).
  for (int32_t t = 0; t < triangle_count_; t++) {
    const TINtriangle& T = tri[t];
    if (!tin_in_use(T)) continue;
    if (tin_is_infinite(T)) {
      const float* v1 = vertex(T.V[1]);
      const float* v2 = vertex(T.V[2]);
      const double o = orient(p, v1, v2);
      if (o > 0) return t;
      if (o == 0) {
        const int s = TINinsegment(v1, v2, p);
        if (s == 3) return t;
        if (s != 0) return -1;
      }
      continue;
    }
    const float* v0 = vertex(T.V[0]);
    const float* v1 = vertex(T.V[1]);
    const float* v2 = vertex(T.V[2]);
    const double o0 = orient(p, v1, v2);
    if (o0 < 0) continue;
    const double o1 = orient(p, v2, v0);
    if (o1 < 0) continue;
    const double o2 = orient(p, v0, v1);
    if (o2 < 0) continue;
    if ((o0 == 0) + (o1 == 0) + (o2 == 0) >= 2) return -1;
    return t;
  }
  throw std::runtime_error("ERROR: fail to brute_locate a point.");
}

// ---- scouts -----------------------------------------------------------------------------------

// Advances every scout by half a step, then sends the scout of the slot inserted last to the
// point kScouts - 1 insertions ahead. A scout only picks the start of the exact walk, so
// it may read triangles that later insertions change; it stays within the buffer and gives up
// after a bounded number of steps.
void TIN::scout_ahead(uint32_t pos, uint32_t end, bool wraps) {
  if (!scouting_) return;
  for (Scout& s : scouts_) scout_step(s);
  uint32_t ahead = pos + kScouts - 1;
  if (ahead >= end) {
    if (!wraps) return;
    ahead -= end;
  }
  scout_launch(scouts_[ahead % kScouts], delay_[ahead]);
}

// Scouts pay off when consecutive points lie far apart; in scan-line order the newest triangle
// is already next to the coming point and scouting only costs time. So scouts run for a trial
// window now and then and stay on while they give the nearer start for most points.
void TIN::judge_scouting() {
  if (++scout_window_ < (scouting_ ? kScoutWindow : kScoutPause)) return;
  const bool keep = scouting_ && scout_wins_ * 2 > scout_window_;
  scouting_ = keep || !scouting_;
  if (!scouting_) {
    for (Scout& s : scouts_) s.state = ScoutState::kIdle;
  }
  scout_window_ = 0;
  scout_wins_ = 0;
}

void TIN::scout_launch(Scout& s, uint32_t v) {
  s.vertex = v;
  s.entry = 3;
  s.steps = 0;
  if (grid_valid_) {
    s.cell = static_cast<uint32_t>(grid_cell(vertex(v)));
    __builtin_prefetch(&grid_[s.cell]);
    s.state = ScoutState::kCell;
  } else {
    s.t = walk_start_;
    s.state = ScoutState::kRecord;
  }
}

void TIN::scout_step(Scout& s) {
  const TINtriangle* tri = triangles_.get();
  auto fetch_record = [&](int32_t t) {
    __builtin_prefetch(&tri[t]);
    __builtin_prefetch(&tri[t].link_or_flags);
  };
  switch (s.state) {
    case ScoutState::kIdle:
    case ScoutState::kDone:
      return;
    case ScoutState::kCell: {
      // A cell's triangle that later cavities reused still lies near where it was, since a
      // cavity takes back every triangle it frees; only a cell never reached needs the wider
      // search. The grid may have been rebuilt smaller since launch.
      const int32_t g = s.cell < grid_cells_ ? grid_[s.cell] : -1;
      s.t = g >= 0 && g < triangle_count_ ? g : walk_start_near(vertex(s.vertex));
      fetch_record(s.t);
      s.state = ScoutState::kRecord;
      return;
    }
    case ScoutState::kRecord: {
      const TINtriangle& T = tri[s.t];
      for (int k = 0; k < 3; k++) {
        if (T.V[k] < announced_) __builtin_prefetch(vertex(T.V[k]));
      }
      s.state = ScoutState::kVertices;
      return;
    }
    case ScoutState::kVertices:
      break;
    case ScoutState::kNeighbours:
    case ScoutState::kRing: {
      // The cavity tests the neighbours' far vertices and, where it grows, the next ring.
      const bool ring = s.state == ScoutState::kRing;
      const TINtriangle& T = tri[s.t];
      for (int k = 0; k < 3; k++) {
        const uint32_t code = static_cast<uint32_t>(T.N[k]);
        if (code / 3 >= capacity_) continue;
        const TINtriangle& U = tri[code / 3];
        const int j = static_cast<int>(code % 3);
        if (!ring) {
          if (U.V[j] < announced_) __builtin_prefetch(vertex(U.V[j]));
          for (int e : {kNext[j], kPrev[j]}) {
            const uint32_t w = static_cast<uint32_t>(U.N[e]) / 3;
            if (w < capacity_) fetch_record(static_cast<int32_t>(w));
          }
          continue;
        }
        for (int e : {kNext[j], kPrev[j]}) {
          const uint32_t c2 = static_cast<uint32_t>(U.N[e]);
          if (c2 / 3 >= capacity_) continue;
          const uint32_t far = tri[c2 / 3].V[c2 % 3];
          if (far < announced_) __builtin_prefetch(vertex(far));
        }
      }
      s.state = ring ? ScoutState::kDone : ScoutState::kRing;
      return;
    }
  }
  const TINtriangle& T = tri[s.t];
  const float* p = vertex(s.vertex);
  if (!tin_in_use(T) || T.V[0] >= announced_ || T.V[1] >= announced_ || T.V[2] >= announced_ ||
      ++s.steps > kScoutSteps) {
    s.state = ScoutState::kDone;
    return;
  }
  // Visibility walk in plain double arithmetic: leave by the first edge, other than the one
  // just crossed, that has p on its outer side.
  for (int k = 0; k < 3; k++) {
    if (k == s.entry) continue;
    const float* a = vertex(T.V[kNext[k]]);
    const float* b = vertex(T.V[kPrev[k]]);
    const double px = p[0], py = p[1];
    const double o = (static_cast<double>(a[0]) - px) * (static_cast<double>(b[1]) - py) -
                     (static_cast<double>(a[1]) - py) * (static_cast<double>(b[0]) - px);
    if (o < 0) {
      const int32_t code = T.N[k];
      if (code < 0 || static_cast<uint32_t>(code / 3) >= capacity_) break;
      s.t = code / 3;
      s.entry = static_cast<uint8_t>(code % 3);
      fetch_record(s.t);
      s.state = ScoutState::kRecord;
      return;
    }
  }
  for (int k = 0; k < 3; k++) {
    const uint32_t u = static_cast<uint32_t>(T.N[k]) / 3;
    if (u < capacity_) fetch_record(static_cast<int32_t>(u));
  }
  s.state = ScoutState::kNeighbours;
}

// ---- jump-and-walk start --------------------------------------------------------------------

// Squared distance from p to a vertex that every triangle, infinite ones included, has.
double TIN::start_distance2(int32_t t, const float* p) const {
  const float* v = vertex(triangles_[t].V[1]);
  const double dx = static_cast<double>(v[0]) - static_cast<double>(p[0]);
  const double dy = static_cast<double>(v[1]) - static_cast<double>(p[1]);
  return dx * dx + dy * dy;
}

size_t TIN::grid_cell(const float* p) const {
  const double fx = (static_cast<double>(p[0]) - grid_min_x_) * grid_scale_x_;
  const double fy = (static_cast<double>(p[1]) - grid_min_y_) * grid_scale_y_;
  const uint32_t ix = static_cast<uint32_t>(std::clamp(fx, 0.0, static_cast<double>(grid_nx_ - 1)));
  const uint32_t iy = static_cast<uint32_t>(std::clamp(fy, 0.0, static_cast<double>(grid_ny_ - 1)));
  return static_cast<size_t>(iy) * grid_nx_ + ix;
}

// The walk start does not change the triangulation (it only decides where the cavity search
// begins), so the start is whichever of the newest triangle and a cell triangle near p lies
// nearer. A cell's triangle may since have been freed and reused far away; one that keeps a
// vertex in its cell is still local.
int32_t TIN::walk_start_for(const float* p) {
  if (grid_cells_ == 0) return walk_start_;
  grid_fit(p);
  // In coherent input the newest triangle is within a cell of p, where no cell does better.
  if (start_distance2(walk_start_, p) <= grid_near2_) return walk_start_;
  return walk_start_near(p);
}

int32_t TIN::walk_start_near(const float* p) const {
  if (!grid_valid_) return walk_start_;
  auto dist2 = [&](int32_t t) { return start_distance2(t, p); };
  const uint32_t ix = static_cast<uint32_t>(grid_cell(p) % grid_nx_);
  const uint32_t iy = static_cast<uint32_t>(grid_cell(p) / grid_nx_);
  // p's own cell first, then its eight neighbours.
  static constexpr int kRing[9][2] = {{0, 0},   {-1, 0}, {1, 0},  {0, -1}, {0, 1},
                                      {-1, -1}, {1, -1}, {-1, 1}, {1, 1}};
  for (const auto& d : kRing) {
    const int64_t cx = static_cast<int64_t>(ix) + d[0], cy = static_cast<int64_t>(iy) + d[1];
    if (cx < 0 || cy < 0 || cx >= grid_nx_ || cy >= grid_ny_) continue;
    const size_t cell = static_cast<size_t>(cy) * grid_nx_ + static_cast<size_t>(cx);
    const int32_t g = grid_[cell];
    if (g < 0 || g >= triangle_count_ || !tin_in_use(triangles_[g])) continue;
    const TINtriangle& T = triangles_[g];
    bool local = false;
    for (int k = tin_is_infinite(T) ? 1 : 0; k < 3 && !local; k++) local = grid_cell(vertex(T.V[k])) == cell;
    if (!local) continue;
    return dist2(g) < dist2(walk_start_) ? g : walk_start_;
  }
  const size_t block = grid_block(static_cast<size_t>(iy) * grid_nx_ + ix);
  const int32_t g = grid_blocks_[block];
  if (g < 0 || g >= triangle_count_ || !tin_in_use(triangles_[g])) return walk_start_;
  const TINtriangle& T = triangles_[g];
  bool local = false;
  for (int k = tin_is_infinite(T) ? 1 : 0; k < 3 && !local; k++)
    local = grid_block(grid_cell(vertex(T.V[k]))) == block;
  return local && dist2(g) < dist2(walk_start_) ? g : walk_start_;
}

size_t TIN::grid_block(size_t cell) const {
  const size_t ix = cell % grid_nx_, iy = cell / grid_nx_;
  return (iy / 4) * ((grid_nx_ + 3) / 4) + ix / 4;
}

void TIN::grid_record(const float* p, int32_t t) {
  if (!grid_valid_) return;
  const size_t cell = grid_cell(p);
  grid_[cell] = t;
  grid_blocks_[grid_block(cell)] = t;
}

// Grows the grid's extent to hold p. The first call takes the extent of the first triangle and
// of the queued points; later growth at least doubles the extent, so rebuilds stay rare.
void TIN::grid_fit(const float* p) {
  if (!grid_valid_) {
    grid_min_x_ = grid_max_x_ = p[0];
    grid_min_y_ = grid_max_y_ = p[1];
    auto include = [&](const float* q) {
      grid_min_x_ = std::min<double>(grid_min_x_, q[0]);
      grid_max_x_ = std::max<double>(grid_max_x_, q[0]);
      grid_min_y_ = std::min<double>(grid_min_y_, q[1]);
      grid_max_y_ = std::max<double>(grid_max_y_, q[1]);
    };
    for (int k = 0; k < 3; k++) include(vertex(triangles_[0].V[k]));
    const uint32_t queued = delay_full_ ? kDelay : delay_pos_;
    for (uint32_t i = 0; i < queued; i++) include(vertex(delay_[i]));
    grid_valid_ = true;
    grid_rebuild();
    return;
  }
  const double px = p[0], py = p[1];
  if (px >= grid_min_x_ && px <= grid_max_x_ && py >= grid_min_y_ && py <= grid_max_y_) return;
  const double w = grid_max_x_ - grid_min_x_, h = grid_max_y_ - grid_min_y_;
  if (px < grid_min_x_) grid_min_x_ = std::min(px, grid_min_x_ - w);
  if (px > grid_max_x_) grid_max_x_ = std::max(px, grid_max_x_ + w);
  if (py < grid_min_y_) grid_min_y_ = std::min(py, grid_min_y_ - h);
  if (py > grid_max_y_) grid_max_y_ = std::max(py, grid_max_y_ + h);
  grid_rebuild();
}

void TIN::grid_rebuild() {
  const double w = std::max(grid_max_x_ - grid_min_x_, 1e-30);
  const double h = std::max(grid_max_y_ - grid_min_y_, 1e-30);
  const double cells = static_cast<double>(grid_cells_);
  const double side = std::sqrt(w * h / cells);
  const double nx = std::clamp(std::ceil(w / side), 1.0, cells);
  const double ny = std::clamp(std::min(std::floor(cells / nx), std::ceil(h / side)), 1.0, cells);
  grid_nx_ = static_cast<uint32_t>(nx);
  grid_ny_ = static_cast<uint32_t>(ny);
  grid_scale_x_ = nx / w;
  grid_scale_y_ = ny / h;
  grid_near2_ = std::min(w / nx, h / ny);
  grid_near2_ *= grid_near2_;
  std::fill(grid_.get(), grid_.get() + static_cast<size_t>(grid_nx_) * grid_ny_, -1);
  grid_blocks_.assign(static_cast<size_t>((grid_nx_ + 3) / 4) * ((grid_ny_ + 3) / 4), -1);
  for (int32_t t = 0; t < triangle_count_; t++) {
    const TINtriangle& T = triangles_[t];
    if (!tin_in_use(T) || tin_is_infinite(T)) continue;
    const size_t cell = grid_cell(vertex(T.V[0]));
    grid_[cell] = t;
    grid_blocks_[grid_block(cell)] = t;
  }
}
