// Contours as Well-Known Text, one geometry per line of text, always 2D.
#pragma once

#include <vector>

#include "lineio/linewriter.h"
#include "lineio/output_file.h"

// A closed loop (at least 4 vertices, the last equal to the first in x and y) is written as
// POLYGON((...)); every other contour as LINESTRING(...), because a POLYGON ring that does not
// return to its start makes GIS readers add a closing segment the terrain never had. A contour of
// one vertex is written as POINT(...). Coordinates use "%.15g". Vertices of the current contour
// are buffered until end_line; the buffer is reused, so lines allocate only while it grows.
class WKTwriter : public LINEwriter {
 public:
  WKTwriter() = default;
  ~WKTwriter() override;

  // name none (nullptr) writes to standard output. Failure prints "ERROR: cannot open WKT file '%s'".
  bool open(const char* file_name);
  bool add_vertex(float x, float y, float z) override;
  // Ends a contour still open, then writes "LINESTRING(x1 y1, x2 y2)" on a text line of its own.
  bool add_segment(float x1, float y1, float z1, float x2, float y2, float z2) override;
  // Writes the buffered contour; without vertices it writes nothing.
  bool end_line() override;
  bool close() override;

 private:
  bool write_coordinates(std::size_t count);

  OutputFile file;
  std::vector<double> xy;  // x, y pairs of the current contour with the offsets applied
};
