#include "lineio/kmlwriter.h"

#include <bit>
#include <charconv>
#include <cstdint>
#include <cstdio>

#include "common/messages.h"

namespace {

struct LineStyle {
  const char* id;
  const char* color;
  int width;
};

// Only "yellow" is referenced; the other two are there for viewers' style editors.
constexpr LineStyle kStyles[] = {{"yellow", "ff00ffff", 1}, {"red", "ffff0000", 2}, {"green", "ff00ff00", 1}};

constexpr std::uint64_t kPowersOf10[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

// Appends value with 2 or 8 decimals, byte for byte what printf's "%4.2f" / "%4.8f" print (the
// width only pads the short texts of NaN and infinity). A double below 2^53 is m * 2^-shift with
// integers m < 2^53 and shift >= 0, so m * 10^decimals fits 128 bits and one shift with the exact
// remainder rounds it half-to-even like printf. A contour file prints three numbers per vertex;
// this halves the time to_chars with a precision takes for a whole vertex.
char* append_fixed(char* p, char* end, double value, int decimals) {
  const auto bits = std::bit_cast<std::uint64_t>(value);
  const int biased_exponent = static_cast<int>((bits >> 52) & 0x7FF);
  const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
  if (biased_exponent == 0x7FF) {  // NaN, infinity
    const int n =
        std::snprintf(p, static_cast<std::size_t>(end - p), decimals == 8 ? "%4.8f" : "%4.2f", value);
    return n > 0 ? p + n : p;
  }
  if (biased_exponent > 1075) {  // 2^53 or more: an integer, rare enough for the general path
    return std::to_chars(p, end, value, std::chars_format::fixed, decimals).ptr;
  }
  // Subnormals (biased exponent 0) have no implicit leading bit and the exponent of the smallest
  // normal numbers.
  const std::uint64_t mantissa = biased_exponent == 0 ? fraction : fraction | (std::uint64_t{1} << 52);
  const int shift = biased_exponent == 0 ? 1074 : 1075 - biased_exponent;  // 0 .. 1074
  const std::uint64_t power = kPowersOf10[decimals];
  const unsigned __int128 scaled = static_cast<unsigned __int128>(mantissa) * power;
  unsigned __int128 units = 0;  // |value| * 10^decimals, rounded
  if (shift == 0) {
    units = scaled;
  } else if (shift < 100) {  // scaled < 2^80, so a larger shift leaves less than half a unit
    const unsigned __int128 one = 1;
    const unsigned __int128 rest = scaled & ((one << shift) - 1);
    const unsigned __int128 half = one << (shift - 1);
    units = scaled >> shift;
    if (rest > half || (rest == half && (units & 1) != 0)) units++;
  }
  if ((bits >> 63) != 0) *p++ = '-';
  p = std::to_chars(p, end, static_cast<std::uint64_t>(units / power)).ptr;
  *p++ = '.';
  auto digits = static_cast<std::uint64_t>(units % power);
  for (int i = decimals - 1; i >= 0; i--, digits /= 10) p[i] = static_cast<char>('0' + digits % 10);
  return p + decimals;
}

}  // namespace

// A writer destroyed before close() leaves no file behind (see OutputFile).
KMLwriter::~KMLwriter() = default;

bool KMLwriter::open(const char* file_name, bool one_per_line) {
  if (file_name == nullptr) {
    file.attach_stdout();
  } else if (!file.open(file_name, "w")) {
    print_message("ERROR: cannot open KML file '%s'\n", file_name);
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
  char text[1100];  // room for the longest fixed-format doubles ("%.8f" of 1e308 has 318 characters)
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
  write_coordinate(double{x} + x_offset, double{y} + y_offset,
                   double{z} + z_offset + double{kml_elevation_offset});
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
