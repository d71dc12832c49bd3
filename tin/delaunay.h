// The incremental Delaunay triangulation of one input file's points.
//
// Usage: clean(n, points, stride, insertion) once per file, add_point() for each stored vertex (at
// most n), finish(), then walk triangles()[0 .. triangle_count()) skipping records that are not in
// use, and release() (or clean() again for the next file, reusing a large enough buffer).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "tin/huge_pages.h"
#include "tin/predicates.h"
#include "tin/tin.h"

// When add_point inserts a point.
enum class TINinsertion : uint8_t {
  // Right away, in the order the points are added: for points already in spatial order (see
  // tin/spatial_sort.h), where every point lands next to the triangle created last. The
  // triangulation is then a function of that order alone.
  kImmediate,
  // In arrival order through a delay queue: every point waits for 10000 later ones and every 256th
  // queue slot is exchanged at random, which breaks up the scan lines of airborne input.
  kDelayed,
};

class TIN {
 public:
  // Sizes the triangle buffer for n vertices read from `points` (`stride` floats per vertex, x
  // and y first; the buffer may be filled after this call, before each vertex is added).
  // Answers false after "ERROR (TINclean): failed malloc for %d TINtriangles." when the buffer
  // cannot be allocated or n is too large for 32-bit neighbour codes.
  bool clean(uint32_t n, const float* points, uint32_t stride,
             TINinsertion insertion = TINinsertion::kDelayed);

  // Inserts a vertex, or queues it and inserts older queued ones. The points wait until three of
  // them that are not collinear form the first triangle: in delayed insertion the newest three,
  // giving up after 10000 points; in immediate insertion the first point, the first one elsewhere
  // and the first one off their line, however long the straight start. A vertex at the place of
  // an earlier inserted one is skipped, so that one's z stays (in immediate insertion, the first
  // added). Answers false, and changes nothing, for a vertex index >= n, for non-finite
  // coordinates and once n vertices have been added. Throws std::runtime_error on the fatal
  // conditions of the insertion.
  bool add_point(uint32_t vertex);

  // Inserts every vertex still queued; answers whether a first triangle was ever formed.
  bool finish();

  void release();

  int32_t triangle_count() const { return triangle_count_; }
  TINtriangle* triangles() { return triangles_.get(); }
  const TINtriangle* triangles() const { return triangles_.get(); }
  const float* points() const { return points_; }
  uint32_t stride() const { return stride_; }

  // Scans every triangle in use for the one containing p: its index, or -1 when p coincides with
  // a vertex. Throws when no triangle contains p.
  int32_t brute_locate(const float* p) const;

 private:
  static constexpr uint32_t kDelay = 10000;        // insertion buffer of the delay queue
  static constexpr uint32_t kExchangeEvery = 256;  // slots exchanged at random
  static constexpr int32_t kMaxWalk = 10000;       // steps before brute_locate
  static constexpr uint32_t kStackGrowth = 500;    // cavity stack growth
  static constexpr uint32_t kScouts = 25;          // queued points walked ahead of insertion
  static constexpr uint8_t kScoutSteps = 32;       // triangles a scout crosses at most
  static constexpr uint32_t kScoutWindow = 1024;   // insertions per scouting verdict
  static constexpr uint32_t kScoutPause = 131072;  // insertions without scouts before a retrial
  static_assert(kDelay % kScouts == 0, "a queue slot keeps its scout across the wrap");

  // A read-only walk towards a queued point, run ahead of its insertion half a step at a time:
  // each half step reads what the previous one prefetched, so the cache misses of many future
  // walks overlap instead of stalling one after another.
  enum class ScoutState : uint8_t { kIdle, kCell, kRecord, kVertices, kNeighbours, kRing, kDone };
  struct Scout {
    uint32_t vertex = 0;
    int32_t t = 0;
    uint32_t cell = 0;
    uint8_t entry = 3;  // edge the walk came in by; 3 before the first step
    uint8_t steps = 0;
    ScoutState state = ScoutState::kIdle;
  };

  const float* vertex(uint32_t v) const { return points_ + static_cast<size_t>(v) * stride_; }
  double orient(const float* a, const float* b, const float* c) const;
  double orient(const float* a, const double* b, const float* c) const;

  bool try_first_triangle(uint32_t a, uint32_t b, uint32_t c);
  void add_delayed(uint32_t v);
  void add_immediate(uint32_t v);
  void insert_point(uint32_t v, uint32_t pos);
  void scout_ahead(uint32_t pos, uint32_t end, bool wraps);
  void scout_launch(Scout& s, uint32_t v);
  void scout_step(Scout& s);
  void judge_scouting();
  int32_t locate(const float* p, int32_t start) const;
  int32_t hull_walk(const float* p, int32_t t) const;
  void insert_cavity(uint32_t v, int32_t t);
  int32_t chain_free_records(int32_t q);
  void grow_cavity();
  uint32_t next_random();

  // Jump-and-walk start: one recently created triangle per grid cell, and per block of 4 x 4
  // cells for places the fine cells have not reached yet.
  int32_t walk_start_for(const float* p);
  int32_t walk_start_near(const float* p) const;
  double start_distance2(int32_t t, const float* p) const;
  void grid_record(const float* p, int32_t t);
  void grid_fit(const float* p);
  void grid_rebuild();
  size_t grid_cell(const float* p) const;
  size_t grid_block(size_t cell) const;

  TINpredicates predicates_;
  const float* points_ = nullptr;
  uint32_t stride_ = 3;
  uint32_t announced_ = 0;  // n of clean()
  uint32_t added_ = 0;      // vertices given to add_point since clean()
  TINinsertion insertion_ = TINinsertion::kDelayed;

  // The free list runs through the records' link words; every record from triangle_count_ on is
  // free and links to the next one. Those links are written only shortly before the records are
  // used (up to chained_), so a fresh buffer is never swept and its pages are first touched by the
  // triangles that use them. One spare record past the capacity serves insert_cavity.
  TINhugeArray<TINtriangle> triangles_;
  uint32_t capacity_ = 0;  // records in triangles_ (2n), without the spare
  int32_t free_head_ = 0;
  int32_t triangle_count_ = 0;  // exceeds every index in use
  int32_t chained_ = 0;         // links are written below this index, never below the count
  int32_t walk_start_ = 0;

  std::vector<uint32_t> waiting_;  // immediate insertion: the points before the first triangle
  size_t waiting_elsewhere_ = 0;   // first of them not at the place of the first; 0 for none yet
  std::unique_ptr<uint32_t[]> delay_;
  uint32_t delay_pos_ = 0;
  bool started_ = false;
  bool delay_full_ = false;
  uint64_t random_state_ = 0;

  Scout scouts_[kScouts];  // the scout of queue slot k is scouts_[k % kScouts]
  bool scouting_ = true;
  uint32_t scout_window_ = 0;  // insertions since the last verdict
  uint32_t scout_wins_ = 0;    // of which a scout gave the nearer start

  std::unique_ptr<int32_t[]> cavity_;
  uint32_t cavity_capacity_ = 0;
  uint32_t cavity_size_ = 0;

  TINhugeArray<int32_t> grid_;
  std::vector<int32_t> grid_blocks_;
  size_t grid_cells_ = 0;  // allocated cells
  bool grid_valid_ = false;
  uint32_t grid_nx_ = 1, grid_ny_ = 1;
  double grid_min_x_ = 0, grid_min_y_ = 0, grid_max_x_ = 0, grid_max_y_ = 0;
  double grid_scale_x_ = 0, grid_scale_y_ = 0;
  double grid_near2_ = 0;  // squared side of a cell
};
