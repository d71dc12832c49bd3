#include "contour/contour_tracer.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <stdexcept>

#include "contour/line_thinning.h"

namespace {

// Edges crossed by the segment for each classification mask (bit i set: V[i] lies below the iso
// value). Walking from the first to the second crossing of a counter-clockwise triangle keeps the
// lower ground on the left. Masks 0 and 7 have no crossing.
constexpr int FIRST_EDGE[8] = {-1, 2, 0, 0, 1, 2, 1, -1};
constexpr int SECOND_EDGE[8] = {-1, 1, 2, 1, 0, 0, 2, -1};

bool is_alive(const TINtriangle& t) {
  return tin_in_use(t) && !tin_is_infinite(t) && (t.link_or_flags & TIN_KILLED) == 0;
}

}  // namespace

ContourTracer::ContourTracer(uint32_t first_block, int max_blocks)
    : vertices_("vertex", first_block, max_blocks), components_("component", first_block, max_blocks) {}

void ContourTracer::release_pools() {
  vertices_.release();
  components_.release();
}

bool ContourTracer::extract(ConstTinView tin, std::span<const float> iso_values, LINEwriter& writer,
                            bool loops_only) {
  if (!std::is_sorted(iso_values.begin(), iso_values.end())) {
    throw std::runtime_error("ERROR: iso values are not sorted");
  }
  tin_ = tin;
  writer_ = &writer;
  loops_only_ = loops_only;
  bool ok = true;
  try {
    maps_.resize(iso_values.size());
    for (int32_t t = 0; t < tin.triangle_count && ok; t++) {
      const TINtriangle& tri = tin.triangles[t];
      if (!is_alive(tri)) continue;
      const float z[3] = {tin.vertex(tri.V[0])[2], tin.vertex(tri.V[1])[2], tin.vertex(tri.V[2])[2]};
      // Iso values at or below the lowest vertex classify as mask 0; skipping them by a binary
      // search changes nothing but the cost when there are many elevations. fmin ignores a NaN
      // elevation, which never counts as below anyway.
      const float z_min = std::fmin(std::fmin(z[0], z[1]), z[2]);
      size_t i = static_cast<size_t>(std::upper_bound(iso_values.begin(), iso_values.end(), z_min) -
                                     iso_values.begin());
      int32_t keys[3];
      bool have_keys = false;
      for (; i < iso_values.size(); i++) {
        const float h = iso_values[i];
        const int mask = (z[0] < h) + 2 * (z[1] < h) + 4 * (z[2] < h);
        if (mask == 0) continue;
        if (mask == 7) break;  // below this and every later value
        if (!have_keys) {
          compute_keys(t, keys);
          have_keys = true;
        }
        if (!add_segment(maps_[i], keys[FIRST_EDGE[mask]], keys[SECOND_EDGE[mask]], h)) {
          ok = false;
          break;
        }
      }
    }
  } catch (const std::bad_alloc&) {
    throw std::runtime_error("ERROR: malloc for contour edge map failed");
  }
  // What is left are the open ends on edges of killed triangles (or of a pass the writer broke
  // off); their vertices go back with the pools. The tables go now: the next file may have other
  // iso values, and the memory is the triangulation's until then.
  std::vector<EdgeMap>().swap(maps_);
  writer_ = nullptr;
  return ok;
}

// Both triangles of an inner edge name it by the smaller of its two codes. An edge whose other
// side is outside the hull, killed or otherwise unusable is a boundary edge with a negative key.
void ContourTracer::compute_keys(int32_t t, int32_t keys[3]) const {
  const TINtriangle& tri = tin_.triangles[t];
  for (int k = 0; k < 3; k++) {
    const int32_t code = 3 * t + k;
    const int32_t n = tri.N[k];
    const bool valid = n >= 0 && n / 3 < tin_.triangle_count;
    if (valid && is_alive(tin_.triangles[n / 3])) {
      keys[k] = std::min(code, n);
      continue;
    }
    // The complement of the code seen from the other side names the same two end vertices. Only
    // edge 0 of an infinite triangle has both of them, so anything else falls back to our own code.
    const TINtriangle* other = valid ? &tin_.triangles[n / 3] : nullptr;
    const bool usable = other != nullptr && tin_in_use(*other) && (!tin_is_infinite(*other) || n % 3 == 0);
    keys[k] = usable ? ~n : ~code;
  }
}

uint32_t ContourTracer::detach_component(ContourVertex& v) {
  uint32_t c = v.b;
  v.b = NO_RECORD;
  if (c == NO_RECORD) return NO_RECORD;
  components_[c].count--;
  // Climb to the root, freeing the pieces nothing refers to any more on the way.
  for (uint32_t parent; (parent = components_[c].parent) != NO_RECORD; c = parent) {
    if (components_[c].count == 0) {
      components_[parent].count--;
      components_.give(c);
    }
  }
  return c;
}

uint32_t ContourTracer::take_end(EdgeMap& map, int32_t key, uint32_t& component) {
  component = NO_RECORD;
  if (key < 0) {
    const uint32_t v = vertices_.take();
    vertices_[v].key = ~key;
    return v;
  }
  const uint32_t found = map.take(key);
  if (found != EdgeMap::NOT_FOUND) {
    component = detach_component(vertices_[found]);
    return found;
  }
  const uint32_t v = vertices_.take();
  vertices_[v].key = key;
  map.put(key, v);
  return v;
}

bool ContourTracer::add_segment(EdgeMap& map, int32_t first_key, int32_t second_key, float h) {
  uint32_t cf;
  uint32_t cs;
  const uint32_t vf = take_end(map, first_key, cf);
  const uint32_t vs = take_end(map, second_key, cs);
  ContourVertex& f = vertices_[vf];
  ContourVertex& s = vertices_[vs];
  uint32_t c;
  if (cf == NO_RECORD && cs == NO_RECORD) {  // a new piece
    c = components_.take();
    f.a = vs;
    s.a = vf;
    // An end waiting in the map keeps its piece in its second link.
    if (first_key >= 0) {
      f.b = c;
      components_[c].count++;
    }
    if (second_key >= 0) {
      s.b = c;
      components_[c].count++;
    }
  } else if (cf == NO_RECORD) {  // extends the piece of the second end
    f.a = vs;
    s.b = vf;
    if (first_key >= 0) {
      f.b = cs;
      components_[cs].count++;
    }
    c = cs;
  } else if (cs == NO_RECORD) {  // extends the piece of the first end
    f.b = vs;
    s.a = vf;
    if (second_key >= 0) {
      s.b = cf;
      components_[cf].count++;
    }
    c = cf;
  } else {  // joins two pieces, or closes one
    f.b = vs;
    s.b = vf;
    if (cf != cs) {
      if (components_[cs].count == 0) {
        components_.give(cs);
      } else {
        components_[cs].parent = cf;
        components_[cf].count++;
      }
    }
    c = cf;
  }
  if (components_[c].count != 0) return true;
  components_.give(c);
  LineKind kind;
  const uint32_t start = find_start(vf, kind);
  return complete_line(start, kind, h);
}

// The start of an open line is an end (link b none); a loop starts at vf, so it is written walking
// away from vs and keeps the lower ground on its right.
uint32_t ContourTracer::find_start(uint32_t vf, LineKind& kind) const {
  kind = LineKind::open_line;
  if (vertices_[vf].b == NO_RECORD) return vf;
  uint32_t prev = vf;
  uint32_t cur = vertices_[vf].b;
  while (cur != vf) {
    if (vertices_[cur].b == NO_RECORD) return cur;
    const uint32_t next = step(cur, prev);
    prev = cur;
    cur = next;
  }
  kind = LineKind::closed_loop;
  return vf;
}

// The one place where a finished line leaves the tracer: it is thinned, maybe dropped, and
// otherwise written.
bool ContourTracer::complete_line(uint32_t start, LineKind kind, float h) {
  const bool loop = kind == LineKind::closed_loop;
  Chain chain{*this, h};
  if (simplification_.simplify_area != 0.0f) {
    counts_.area_removed += thin_by_area(chain, start, loop, simplification_.simplify_area);
  }
  if (simplification_.simplify_length != 0.0f) {
    counts_.length_removed += thin_by_distance(chain, start, simplification_.simplify_length);
    const uint32_t first = vertices_[start].a;
    if (loop ? first == start : first == NO_RECORD) {
      vertices_.give(start);
      (loop ? counts_.loops_vanished : counts_.lines_vanished)++;
      return true;
    }
  }
  if (simplification_.clean != 0.0f && chain_length(chain, start) < double{simplification_.clean}) {
    const int64_t vertex_count = chain_vertex_count(chain, start);
    release_chain(start);
    if (loop) {
      counts_.loops_cleaned++;
      counts_.loop_segments_cleaned += vertex_count;
    } else {
      counts_.lines_cleaned++;
      counts_.line_segments_cleaned += vertex_count - 1;
    }
    return true;
  }
  return loop ? write_closed_loop(start, h) : write_open_line(start, h);
}

void ContourTracer::release_chain(uint32_t start) {
  uint32_t prev = start;
  uint32_t cur = vertices_[start].a;
  while (cur != NO_RECORD && cur != start) {
    const uint32_t next = step(cur, prev);
    if (prev != start) vertices_.give(prev);
    prev = cur;
    cur = next;
  }
  if (prev != start) vertices_.give(prev);
  vertices_.give(start);
}

bool ContourTracer::write_open_line(uint32_t start, float h) {
  const bool write = !loops_only_;
  bool ok = !write || write_vertex(start, h);
  int64_t vertex_count = 1;
  uint32_t prev = start;
  uint32_t cur = vertices_[start].a;
  while (cur != NO_RECORD) {
    if (write) ok = ok && write_vertex(cur, h);
    vertex_count++;
    const uint32_t next = step(cur, prev);
    vertices_.give(prev);  // only its index is compared from here on
    prev = cur;
    cur = next;
  }
  vertices_.give(prev);
  if (write) ok = ok && writer_->end_line();
  counts_.lines++;
  counts_.line_segments += vertex_count - 1;
  return ok;
}

bool ContourTracer::write_closed_loop(uint32_t start, float h) {
  bool ok = write_vertex(start, h);
  int64_t vertex_count = 1;
  uint32_t prev = start;
  uint32_t cur = vertices_[start].a;
  while (cur != start && cur != NO_RECORD) {
    ok = ok && write_vertex(cur, h);
    vertex_count++;
    const uint32_t next = step(cur, prev);
    if (prev != start) vertices_.give(prev);
    prev = cur;
    cur = next;
  }
  if (prev != start) vertices_.give(prev);
  // The start closes the loop, so it goes back to the pool last.
  ok = ok && write_vertex(start, h);
  vertices_.give(start);
  ok = ok && writer_->end_line();
  counts_.loops++;
  counts_.loop_segments += vertex_count;
  return ok;
}

bool ContourTracer::write_vertex(uint32_t v, float h) {
  float x;
  float y;
  crossing_point(vertices_[v].key, h, x, y);
  return writer_->add_vertex(x, y, h);
}

// A is the end stored later in the point buffer, B the earlier one: whichever triangle asks, the
// same arithmetic runs and the shared crossing comes out bit-identical.
void ContourTracer::crossing_point(int32_t key, float h, float& x, float& y) const {
  const TINtriangle& tri = tin_.triangles[key / 3];
  const int k = key % 3;
  const uint32_t p = tri.V[(k + 2) % 3];
  const uint32_t q = tri.V[(k + 1) % 3];
  const float* a = tin_.vertex(std::max(p, q));
  const float* b = tin_.vertex(std::min(p, q));
  const double s = (double{h} - double{a[2]}) / (double{b[2]} - double{a[2]});
  x = static_cast<float>(s * double{b[0]} + (1.0 - s) * double{a[0]});
  y = static_cast<float>((1.0 - s) * double{a[1]} + s * double{b[1]});
}
