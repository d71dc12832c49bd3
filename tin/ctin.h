// The constrained Delaunay triangulation used when breaklines are given: breakline vertices go in
// first, each breakline segment is forced into the triangulation as a chain of constrained edges,
// the triangles enclosed by lake polygons are flagged, and then the input points follow without
// ever removing a constrained edge.
//
// Vertices are indices into the caller's point buffer of four 32-bit words per vertex: x and y
// (relative to the input's minimum), z, and the incident-triangle word, the index of one triangle
// in use that has the vertex as a corner. The CTIN writes that word whenever it creates a
// triangle; it starts every segment insertion from it. Triangles share the record, the neighbour
// codes and the infinite-triangle convention of tin/tin.h.
//
// Usage: clean(n, points) once per file; add_point() for each breakline vertex, insert_segment()
// for each breakline segment, flag_enclosed() after the lake polygons; then add_point() for the
// input points (add_point_outside_lakes() drops those in a lake); walk the triangles; release().
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "tin/predicates.h"
#include "tin/tin.h"

// Where a point lies in the triangulation.
struct CTINlocation {
  enum Kind : uint8_t {
    kTriangle,         // inside `triangle`, or on one of its unconstrained edges
    kVertex,           // at the place of vertex `vertex`
    kConstrainedEdge,  // strictly inside edge `edge` (3 * triangle + edge) that is a constraint
    kNone,             // no triangle yet
  };
  Kind kind = kNone;
  int32_t triangle = -1;
  int32_t edge = -1;
  uint32_t vertex = TIN_NO_VERTEX;
};

class CTIN {
 public:
  static constexpr uint32_t kStride = 4;

  // Sizes the triangle buffer for n vertices of `points` (four words per vertex; the buffer may be
  // filled after this call, before each vertex is added). Answers false after
  // "ERROR (CTINclean): failed malloc for %d CTINtriangles." when the buffer cannot be allocated.
  bool clean(uint32_t n, float* points);

  // What add_point did with a vertex.
  enum class Added : uint8_t {
    kInserted,   // a vertex of the triangulation now (or waiting for the first triangle)
    kDuplicate,  // another vertex is at its place: `existing` holds it
    kDropped,    // lies strictly inside a constrained edge and `split_constraints` was false
    kRejected,   // index >= n, coordinates not finite, or more than n vertices added
    kInLake,     // add_point_outside_lakes only: inside a lake triangle, so not added
  };
  // Inserts the vertex right away. A vertex strictly inside a constrained edge splits the edge into
  // two constrained halves when `split_constraints` (breakline vertices must stay vertices), and is
  // dropped otherwise (an input point must not bend a breakline). Until three vertices that are not
  // collinear have arrived there is no triangle: vertices wait, and duplicates among them are
  // answered at once. Throws std::runtime_error on the fatal conditions of the insertion.
  Added add_point(uint32_t vertex, uint32_t& existing, bool split_constraints = true);
  // add_point for an input point (constrained edges not split) that a lake drops: answers kInLake,
  // and adds nothing, when the point lies inside a triangle flagged as lake. One walk finds the
  // triangle for the test and for the insertion.
  Added add_point_outside_lakes(uint32_t vertex, uint32_t& existing);

  // Forces the segment between two added vertices into the triangulation as constrained edges,
  // split at every vertex lying exactly on it. Answers false after
  // "ERROR: crossing constraint segments" when it would cross an existing constrained edge
  // (nothing is changed then). Segments given before the first triangle exists (all vertices so far
  // on one line) are inserted as soon as it forms.
  bool insert_segment(uint32_t a, uint32_t b);

  // Flags (TIN_LAKE) every finite triangle that cannot be reached from outside the hull without
  // crossing a constrained edge.
  void flag_enclosed();

  // Where p (x and y relative to the input's minimum) lies.
  CTINlocation locate(const float* p);

  // Whether a first triangle was formed.
  bool started() const { return started_; }
  void release();

  int32_t triangle_count() const { return triangle_count_; }
  TINtriangle* triangles() { return triangles_.get(); }
  const TINtriangle* triangles() const { return triangles_.get(); }
  const float* points() const { return points_; }
  uint32_t capacity() const { return capacity_; }

 private:
  static constexpr int32_t kMaxWalk = 10000;  // steps before the scan of all triangles

  const float* vertex(uint32_t v) const { return points_ + static_cast<size_t>(v) * kStride; }
  double orient(uint32_t a, uint32_t b, const float* p) const;
  double orient(uint32_t a, uint32_t b, uint32_t c) const { return orient(a, b, vertex(c)); }
  void set_incident(uint32_t v, int32_t t);
  int32_t incident(uint32_t v) const;

  Added add(uint32_t v, uint32_t& existing, bool split_constraints, bool drop_in_lake);
  bool try_first_triangle(uint32_t a, uint32_t b, uint32_t c);
  void add_waiting(uint32_t v, uint32_t& existing, Added& result);
  Added insert_located(uint32_t v, const CTINlocation& where, uint32_t& existing, bool split);
  void insert_cavity(uint32_t v, int32_t t);
  int32_t take_free();
  void give_free(int32_t t);
  CTINlocation walk(const float* p, int32_t t);
  CTINlocation hull_walk(const float* p, int32_t t);
  CTINlocation brute_locate(const float* p) const;
  CTINlocation classify_finite(const float* p, int32_t t, const double o[3]) const;
  bool constrain_existing_edge(uint32_t a, uint32_t b);
  void set_constraint(int32_t t, int k);
  bool insert_segment_once(uint32_t a, uint32_t b, uint32_t& reached);
  void retriangulate(uint32_t a, uint32_t v, const std::vector<uint32_t>& left,
                     const std::vector<uint32_t>& right);
  void fill_polygon(uint32_t p, uint32_t q, const uint32_t* chain, size_t count);
  uint32_t next_random();

  TINpredicates predicates_;
  float* points_ = nullptr;
  uint32_t announced_ = 0;
  uint32_t added_ = 0;

  std::unique_ptr<TINtriangle[]> triangles_;
  uint32_t capacity_ = 0;
  int32_t free_head_ = -1;
  int32_t triangle_count_ = 0;
  int32_t walk_start_ = 0;
  bool started_ = false;
  uint64_t random_state_ = 0x9E3779B97F4A7C15ull;

  std::vector<uint32_t> waiting_;                          // vertices before the first triangle
  std::unordered_map<uint64_t, uint32_t> waiting_places_;  // their places (x and y bits)
  std::vector<std::pair<uint32_t, uint32_t>> deferred_;    // segments before the first triangle
  std::vector<int32_t> stack_;                             // cavity and flagging work list

  // Segment insertion: crossed triangles, the new triangles' directed edges and the cavity's
  // outer edges, reused between segments.
  struct DirectedEdge {
    uint64_t key;  // first vertex << 32 | second vertex
    int32_t code;  // neighbour code of the edge: 3 * triangle + edge
    int32_t constrained;
    bool operator<(const DirectedEdge& o) const { return key < o.key; }
  };
  std::vector<int32_t> crossed_;
  std::vector<DirectedEdge> outer_;
  std::vector<DirectedEdge> inner_;
  std::vector<int32_t> created_;
};
