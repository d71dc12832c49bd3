// A LINEwriter that keeps only the parts of every line inside a rectangle, for tiles processed
// with a buffer of their neighbours' points: each tile writes the contours of its own area, and
// the pieces of adjacent tiles meet on their shared edge.
#pragma once

#include <memory>
#include <vector>

#include "lineio/linewriter.h"

class LINEwriterClipper : public LINEwriter {
 public:
  // The rectangle is in real coordinates (vertex plus offset), borders included. The inner
  // writer (not null) is owned and gets the same offsets.
  LINEwriterClipper(std::unique_ptr<LINEwriter> inner, double min_x, double min_y, double max_x,
                    double max_y);

  void set_offset(double x, double y, double z) override;
  bool add_vertex(float x, float y, float z) override;
  bool add_segment(float x1, float y1, float z1, float x2, float y2, float z2) override;
  bool end_line() override;
  bool close() override;

 private:
  struct Vertex {
    double x, y, z;
  };
  bool inside(const Vertex& v) const;
  // Writes the pieces of an open polyline that lie inside.
  bool clip_polyline(const std::vector<Vertex>& line);
  bool emit(const Vertex& v);

  std::unique_ptr<LINEwriter> writer_;
  double min_x_, min_y_, max_x_, max_y_;
  std::vector<Vertex> line_;     // the line being collected, in real coordinates
  std::vector<Vertex> rotated_;  // a loop opened at a vertex outside
  bool piece_open_ = false;
};
