// A small reader of the WKT line files contourmill writes, written independently of the writer so
// that end-to-end tests check the output rather than restate the code.
#pragma once

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

struct WktLine {
  bool polygon = false;  // POLYGON((...)) versus LINESTRING(...)
  std::vector<double> x, y;
  bool closed() const { return x.size() > 1 && x.front() == x.back() && y.front() == y.back(); }
  // Shoelace formula: positive for a counter-clockwise ring.
  double signed_area() const {
    double a = 0;
    for (size_t i = 0; i + 1 < x.size(); i++) a += x[i] * y[i + 1] - x[i + 1] * y[i];
    return 0.5 * a;
  }
  double length() const {
    double l = 0;
    for (size_t i = 0; i + 1 < x.size(); i++) l += std::hypot(x[i + 1] - x[i], y[i + 1] - y[i]);
    return l;
  }
};

// Parses one geometry per text line. Answers false on anything it does not recognise.
inline bool parse_wkt_lines(const std::string& text, std::vector<WktLine>& lines) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string row = text.substr(pos, end - pos);
    pos = end + 1;
    if (row.empty()) continue;
    WktLine line;
    std::string body;
    if (row.rfind("LINESTRING(", 0) == 0 && row.back() == ')') {
      body = row.substr(11, row.size() - 12);
    } else if (row.rfind("POLYGON((", 0) == 0 && row.size() > 11 && row.substr(row.size() - 2) == "))") {
      line.polygon = true;
      body = row.substr(9, row.size() - 11);
    } else {
      return false;
    }
    const char* p = body.c_str();
    while (*p) {
      char* e;
      const double x = std::strtod(p, &e);
      if (e == p || *e != ' ') return false;
      p = e + 1;
      const double y = std::strtod(p, &e);
      if (e == p) return false;
      p = e;
      line.x.push_back(x);
      line.y.push_back(y);
      if (*p == ',')
        p += (p[1] == ' ') ? 2 : 1;
      else if (*p)
        return false;
    }
    if (line.x.size() < 2) return false;
    lines.push_back(std::move(line));
  }
  return true;
}
