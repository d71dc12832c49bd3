#include "lineio/wktwriter.h"

#include <charconv>
#include <cstdio>

#include "common/messages.h"

// A writer destroyed before close() leaves no file behind (see OutputFile).
WKTwriter::~WKTwriter() = default;

bool WKTwriter::open(const char* file_name) {
  if (file_name == nullptr) {
    file.attach_stdout();
  } else if (!file.open(file_name, "w")) {
    print_message("ERROR: cannot open WKT file '%s'\n", file_name);
    return false;
  }
  xy.clear();
  return true;
}

bool WKTwriter::add_vertex(float x, float y, float /*z*/) {
  xy.push_back(double{x} + x_offset);
  xy.push_back(double{y} + y_offset);
  return true;
}

bool WKTwriter::add_segment(float x1, float y1, float /*z1*/, float x2, float y2, float /*z2*/) {
  bool ok = xy.empty() || end_line();
  return file.print("LINESTRING(%.15g %.15g, %.15g %.15g)\n", double{x1} + x_offset, double{y1} + y_offset,
                    double{x2} + x_offset, double{y2} + y_offset) &&
         ok;
}

// to_chars with 15 significant digits in general format prints exactly what "%.15g" prints, at a
// fraction of the cost of a formatted write per number; contour files hold millions of them.
bool WKTwriter::write_coordinates(std::size_t count) {
  char text[80];
  for (std::size_t i = 0; i < count; i++) {
    char* p = text;
    if (i != 0) *p++ = ',', *p++ = ' ';
    p = std::to_chars(p, text + sizeof text, xy[2 * i], std::chars_format::general, 15).ptr;
    *p++ = ' ';
    p = std::to_chars(p, text + sizeof text, xy[2 * i + 1], std::chars_format::general, 15).ptr;
    file.write(text, static_cast<std::size_t>(p - text));
  }
  return !file.failed();
}

bool WKTwriter::end_line() {
  const std::size_t count = xy.size() / 2;
  if (count == 0) return true;
  const bool closed = count >= 4 && xy[0] == xy[2 * count - 2] && xy[1] == xy[2 * count - 1];
  const char* open_text = closed ? "POLYGON((" : (count == 1 ? "POINT(" : "LINESTRING(");
  const char* close_text = closed ? "))\n" : ")\n";
  file.print("%s", open_text);
  write_coordinates(count);
  file.print("%s", close_text);
  xy.clear();
  return !file.failed();
}

bool WKTwriter::close() {
  if (!file.is_open()) return !file.failed();
  const bool ok = end_line();
  return file.close() && ok;
}
