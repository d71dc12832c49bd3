#include "lineio/kmlwriter.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

struct LineStyle {
  const char* id;
  const char* color;
  int width;
};

// Only "yellow" is referenced; the other two are there for viewers' style editors.
constexpr LineStyle kStyles[] = {{"yellow", "ff00ffff", 1}, {"red", "ffff0000", 2}, {"green", "ff00ff00", 1}};

// Appends value with the given number of decimals, exactly as "%4.<decimals>f" prints it.
// to_chars in fixed format gives printf's digits (both round the exact binary value) at a fraction
// of the cost; the width of 4 only matters for the short texts of NaN and infinity.
char* append_fixed(char* p, char* end, double value, int decimals) {
  if (!std::isfinite(value)) {
    const int n =
        std::snprintf(p, static_cast<std::size_t>(end - p), decimals == 8 ? "%4.8f" : "%4.2f", value);
    return n > 0 ? p + n : p;
  }
  return std::to_chars(p, end, value, std::chars_format::fixed, decimals).ptr;
}

}  // namespace

KMLwriter::~KMLwriter() {
  if (file.is_open()) close();
}

bool KMLwriter::open(const char* file_name, bool one_per_line) {
  if (file_name == nullptr) {
    file.attach_stdout();
  } else if (!file.open(file_name, "w")) {
    std::fprintf(stderr, "ERROR: cannot open KML file '%s'\n", file_name);
    return false;
  }
  one_placemark_per_line = one_per_line;
  line_closed = true;
  header_pending = true;
  placemark_open = false;
  return true;
}

void KMLwriter::write_header() {
  file.print("<kml>\n <Document>\n");
  if (one_placemark_per_line) {
    file.print(
        "  <Style id=\"no_dd\">\n"
        "    <BalloonStyle>\n"
        "      <text>$[name]<br/>$[description]</text>\n"
        "    </BalloonStyle>\n"
        "  </Style>\n");
  }
  for (const LineStyle& style : kStyles) {
    file.print(
        "  <Style id=\"%s\">\n"
        "   <LineStyle>\n"
        "   <color>%s</color>\n"
        "   <width>%d</width>\n"
        "   </LineStyle>\n"
        "  </Style>\n",
        style.id, style.color, style.width);
  }
  header_pending = false;
}

void KMLwriter::open_placemark() {
  file.print("  <Placemark>\n  <styleUrl>#yellow</styleUrl>\n   <MultiGeometry>\n");
  placemark_open = true;
}

void KMLwriter::close_placemark() {
  file.print("   </MultiGeometry>\n  </Placemark>\n");
  placemark_open = false;
}

void KMLwriter::write_coordinate(double lon, double lat, double elevation) {
  char text[1100];  // room for the longest fixed-format doubles ("%.8f" of 1e308 has 318 digits)
  char* const end = text + sizeof text;
  char* p = append_fixed(text, end, lon, 8);
  *p++ = ',';
  p = append_fixed(p, end, lat, 8);
  *p++ = ',';
  p = append_fixed(p, end, elevation, 2);
  *p++ = '\n';
  file.write(text, static_cast<std::size_t>(p - text));
}

bool KMLwriter::add_vertex(float x, float y, float z) {
  if (line_closed) {
    if (header_pending) write_header();
    if (!placemark_open) open_placemark();
    file.print("    <LineString>\n");
    if (!kml_clamp_to_ground) file.print("    <altitudeMode>absolute</altitudeMode>\n");
    file.print("     <coordinates>\n");
    line_closed = false;
  }
  write_coordinate(x + x_offset, y + y_offset, z + z_offset + kml_elevation_offset);
  return !file.failed();
}

bool KMLwriter::add_segment(float x1, float y1, float z1, float x2, float y2, float z2) {
  if (!line_closed) end_line();
  add_vertex(x1, y1, z1);
  add_vertex(x2, y2, z2);
  return end_line();
}

bool KMLwriter::end_line() {
  if (line_closed) return !file.failed();
  file.print("     </coordinates>\n    </LineString>\n");
  line_closed = true;
  if (one_placemark_per_line) close_placemark();
  return !file.failed();
}

bool KMLwriter::close() {
  if (!file.is_open()) return !file.failed();
  end_line();
  if (header_pending) write_header();
  if (placemark_open) close_placemark();
  file.print(" </Document>\n</kml>\n");
  return file.close();
}
