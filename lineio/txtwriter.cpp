#include "lineio/txtwriter.h"

#include <cstdio>

#include "common/messages.h"

// A writer destroyed before close() leaves no file behind (see OutputFile).
TXTwriter::~TXTwriter() = default;

bool TXTwriter::open(const char* file_name) {
  if (file_name == nullptr) {
    file.attach_stdout();
  } else if (!file.open(file_name, "w")) {
    print_message("ERROR: cannot open file '%s'\n", file_name);
    return false;
  }
  line_count = 0;
  line_closed = true;
  return true;
}

bool TXTwriter::add_vertex(float x, float y, float z) {
  line_closed = false;
  if (only_2d) return file.print("%.11g,%.11g\n", double{x} + x_offset, double{y} + y_offset);
  return file.print("%.11g,%.11g,%.11g\n", double{x} + x_offset, double{y} + y_offset, double{z} + z_offset);
}

bool TXTwriter::add_segment(float x1, float y1, float z1, float x2, float y2, float z2) {
  if (only_2d) {
    return file.print("%.11g,%.11g,%.11g,%.11g\n", double{x1} + x_offset, double{y1} + y_offset,
                      double{x2} + x_offset, double{y2} + y_offset);
  }
  return file.print("%.11g,%.11g,%.11g,%.11g,%.11g,%.11g\n", double{x1} + x_offset, double{y1} + y_offset,
                    double{z1} + z_offset, double{x2} + x_offset, double{y2} + y_offset,
                    double{z2} + z_offset);
}

bool TXTwriter::end_line() {
  line_closed = true;
  line_count++;
  return file.print("#\n");
}

bool TXTwriter::close() {
  if (!file.is_open()) return !file.failed();
  bool ok = true;
  if (!line_closed) ok = end_line();
  return file.close() && ok;
}
