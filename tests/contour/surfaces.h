// Hand-built triangulations and a line writer that records what the tracer writes.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "lineio/linewriter.h"
#include "tin/tin.h"

struct HandTin {
  static constexpr uint32_t STRIDE = 3;
  std::vector<float> points;  // x, y, z per vertex
  std::vector<TINtriangle> triangles;

  const float* point(uint32_t v) const { return points.data() + size_t{v} * STRIDE; }
  int32_t count() const { return static_cast<int32_t>(triangles.size()); }
  void kill(int32_t t) { triangles[t].link_or_flags |= TIN_KILLED; }
  // Index of the finite triangle with these three vertices (any order), or -1.
  int32_t find(uint32_t a, uint32_t b, uint32_t c) const;
};

// Builds the triangle records for the given finite triangles (made counter-clockwise here), adds
// one infinite triangle per hull edge, links every edge to its twin, and appends one free record
// holding garbage that the tracer must skip.
HandTin build_tin(std::vector<float> points, const std::vector<std::array<uint32_t, 3>>& finite);

// A grid of nx x ny vertices with `spacing`, two triangles per cell, z = f(x, y). With `shuffle`
// the vertices are stored in a scrambled order, so that which end of an edge is stored later
// varies across the surface. grid_vertex() answers the storage index of grid vertex (i, j).
struct Grid {
  HandTin tin;
  std::vector<uint32_t> index;  // storage index of grid vertex i + nx * j
  int nx = 0;
  uint32_t grid_vertex(int i, int j) const { return index[static_cast<size_t>(i + nx * j)]; }
};
Grid build_grid(int nx, int ny, float spacing, const std::function<float(float, float)>& f, bool shuffle,
                float jitter = 0.0f);

struct RecordedLine {
  std::vector<std::array<float, 3>> vertices;
};

class RecordingWriter : public LINEwriter {
 public:
  bool add_vertex(float x, float y, float z) override {
    if (fail_after >= 0 && calls++ >= fail_after) return false;
    current.vertices.push_back({x, y, z});
    return true;
  }
  bool add_segment(float, float, float, float, float, float) override { return false; }
  bool end_line() override {
    lines.push_back(current);
    current = {};
    return true;
  }
  bool close() override { return true; }

  std::vector<RecordedLine> lines;
  RecordedLine current;
  int fail_after = -1;  // add_vertex fails from this call on (-1: never)
  int calls = 0;
};
