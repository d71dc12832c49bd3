// The abstract line writer every contour output format implements.
#pragma once

// Vertices arrive as floats relative to the offsets; a writer forms each output coordinate as the
// double-precision sum of the float and the offset of its axis.
class LINEwriter {
 public:
  virtual void set_offset(double x, double y, double z) {
    x_offset = x;
    y_offset = y;
    z_offset = z;
  }
  virtual ~LINEwriter() = default;
  // Appends a vertex to the current line; the first vertex after construction or end_line starts one.
  virtual bool add_vertex(float x, float y, float z) = 0;
  // Writes one two-point line in one call.
  virtual bool add_segment(float x1, float y1, float z1, float x2, float y2, float z2) = 0;
  // Finishes the current line or loop.
  virtual bool end_line() = 0;
  // Finishes a line still open, completes the file and closes it (standard output stays open).
  // Answers false when anything written since open failed to reach the file.
  virtual bool close() = 0;

  double x_offset = 0.0;
  double y_offset = 0.0;
  double z_offset = 0.0;
  bool only_2d = false;
};
