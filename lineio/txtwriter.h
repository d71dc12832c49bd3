// Contours as plain text: one "x,y,z" line per vertex and a "#" line after every contour.
#pragma once

#include <cstdint>

#include "lineio/linewriter.h"
#include "lineio/output_file.h"

class TXTwriter : public LINEwriter {
 public:
  TXTwriter() = default;
  ~TXTwriter() override;

  // name none (nullptr) writes to standard output. Failure prints "ERROR: cannot open file '%s'".
  bool open(const char* file_name);
  // "%.11g,%.11g,%.11g" (or "%.11g,%.11g" when only_2d) of the vertex plus the offsets.
  bool add_vertex(float x, float y, float z) override;
  // One text line with both points and no "#" after it.
  bool add_segment(float x1, float y1, float z1, float x2, float y2, float z2) override;
  bool end_line() override;
  bool close() override;

  std::uint32_t get_line_count() const { return line_count; }

 private:
  OutputFile file;
  bool line_closed = true;
  std::uint32_t line_count = 0;  // end_line calls since open; informational only
};
