// Traces contour lines through a finished triangulation, for all iso values in one pass.
//
// Every finite, in-use, not killed triangle is cut by every iso value it spans. The cut segments
// are chained through the triangles' shared edges into open lines (ending on the hull or on the
// edge of a killed triangle) and closed loops, and each line is written the moment it is
// complete, so memory holds only the open ends of unfinished lines.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "contour/contour_pool.h"
#include "contour/edge_map.h"
#include "lineio/linewriter.h"
#include "tin/tin.h"

// One crossing of a contour with a triangle edge. Its position is not stored: it is recomputed
// from the edge and the line's elevation whenever needed, always with the same result. Links are
// indices into the tracer's vertex pool (NO_RECORD for none), so a vertex is 12 bytes.
struct ContourVertex {
  uint32_t a = NO_RECORD;  // first neighbour along the line (free-list link while pooled)
  // Second neighbour along the line; NO_RECORD at a line end. While the vertex is an open end
  // waiting in an edge map its second link is not used for the line, so it holds the index of
  // the component (piece of line) the end belongs to instead.
  uint32_t b = NO_RECORD;
  int32_t key = -1;  // code 3t + k of the triangle edge the vertex lies on, never negative once set
};
static_assert(sizeof(ContourVertex) == 12);

// A node of the union-find forest over pieces of line. A line is complete when the root of its
// last open end counts nothing any more.
struct ContourComponent {
  uint32_t parent = NO_RECORD;  // NO_RECORD at a root (free-list link while pooled)
  int32_t count = 0;            // open ends and child components that still refer here
};
static_assert(sizeof(ContourComponent) == 8);

// What happens to every finished line before it is written; 0 switches a step off.
struct LineSimplification {
  float simplify_area = 0.0f;    // remove vertices whose doubled triangle area is below this
  float simplify_length = 0.0f;  // remove vertices closer than this to the last kept one
  float clean = 0.0f;            // drop lines and loops shorter than this
};

// Totals over the whole run (release_pools() keeps them).
struct ContourStatistics {
  int64_t area_removed = 0;    // vertices removed by the area thinning
  int64_t length_removed = 0;  // vertices removed by the distance thinning
  int64_t lines_vanished = 0;  // open lines the distance thinning left as a single vertex
  int64_t loops_vanished = 0;  // loops the distance thinning left as their start alone
  int64_t lines_cleaned = 0;
  int64_t line_segments_cleaned = 0;
  int64_t loops_cleaned = 0;
  int64_t loop_segments_cleaned = 0;
  int64_t lines = 0;          // open lines handed to writing (also under loops_only)
  int64_t line_segments = 0;  // their segments: vertices - 1
  int64_t loops = 0;          // closed loops written
  int64_t loop_segments = 0;  // their segments: distinct vertices
};

class ContourTracer {
 public:
  // Pools start with blocks of `first_block` records, each further block doubles, for as long as
  // memory and the 32-bit record indices allow, or at most `max_blocks` blocks per pool. The
  // defaults are the production sizes; tests shrink them to reach the limits.
  explicit ContourTracer(uint32_t first_block = 512,
                         int max_blocks = RecordPool<ContourVertex, &ContourVertex::a>::MAX_BLOCKS);

  // Traces the triangulation at every value of `iso_values` (sorted ascending). Every line is
  // thinned (set_simplification) and written the moment it is complete, so memory holds only the
  // open ends of unfinished lines.
  // With `loops_only` open lines are released without being written (they still count).
  // Answers false when the writer failed (the pass stops there); the driver must then still
  // call release_pools(). Throws std::runtime_error("ERROR: malloc for vertex buffer %d failed: ...")
  // (or "component buffer"), naming the cause, when a pool cannot grow.
  bool extract(ConstTinView tin, std::span<const float> iso_values, LINEwriter& writer, bool loops_only);

  // Frees both pools; the next file starts with the first block size again.
  void release_pools();

  void set_simplification(const LineSimplification& settings) { simplification_ = settings; }
  const ContourStatistics& counts() const { return counts_; }

 private:
  enum class LineKind { open_line, closed_loop };

  void compute_keys(int32_t t, int32_t keys[3]) const;
  bool add_segment(EdgeMap& map, int32_t first_key, int32_t second_key, float h);
  uint32_t take_end(EdgeMap& map, int32_t key, uint32_t& component);
  uint32_t detach_component(ContourVertex& v);
  uint32_t find_start(uint32_t vf, LineKind& kind) const;
  bool complete_line(uint32_t start, LineKind kind, float h);
  void release_chain(uint32_t start);
  bool write_open_line(uint32_t start, float h);
  bool write_closed_loop(uint32_t start, float h);
  bool write_vertex(uint32_t v, float h);
  // The neighbour of `v` along the line that is not `prev`.
  uint32_t step(uint32_t v, uint32_t prev) const {
    const ContourVertex& cur = vertices_[v];
    return cur.a == prev ? cur.b : cur.a;
  }
  void crossing_point(int32_t key, float h, float& x, float& y) const;

  // The chain view the thinning algorithms work on: the pooled vertices of one line at one
  // elevation.
  struct Chain {
    ContourTracer& tracer;
    float h;
    ContourVertex& links(uint32_t v) { return tracer.vertices_[v]; }
    void position(uint32_t v, float& x, float& y) const {
      tracer.crossing_point(tracer.vertices_[v].key, h, x, y);
    }
    void release(uint32_t v) { tracer.vertices_.give(v); }
  };

  RecordPool<ContourVertex, &ContourVertex::a> vertices_;
  RecordPool<ContourComponent, &ContourComponent::parent> components_;
  std::vector<EdgeMap> maps_;  // one per iso value, only during extract()
  LineSimplification simplification_;
  ContourStatistics counts_;

  // Set for the duration of one extract().
  ConstTinView tin_;
  LINEwriter* writer_ = nullptr;
  bool loops_only_ = false;
};
