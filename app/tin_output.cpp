#include "app/tin_output.h"

#include "common/messages.h"
#include "lineio/shpwriter.h"

std::string tin_file_name(const std::string& contour_file_name) {
  std::string base = contour_file_name;
  const size_t slash = base.find_last_of('/');
  const size_t dot = base.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) base.resize(dot);
  return base + "_tin.shp";
}

bool write_tin(ConstTinView tin, double origin_x, double origin_y, const std::string& file_name,
               uint32_t& written) {
  written = 0;
  SHPwriter writer;
  // Records of at most 2048 triangles keep each one small for readers that load a record whole.
  if (!writer.open(file_name.c_str(), 31, 2048)) {
    print_message("ERROR: cannot open triangle file '%s'\n", file_name.c_str());
    return false;
  }
  writer.set_offset(origin_x, origin_y, 0.0);
  bool ok = true;
  for (int32_t t = 0; t < tin.triangle_count && ok; t++) {
    const TINtriangle& T = tin.triangles[t];
    if (!tin_in_use(T) || tin_is_infinite(T)) continue;
    const float* a = tin.vertex(T.V[0]);
    const float* b = tin.vertex(T.V[1]);
    const float* c = tin.vertex(T.V[2]);
    ok = writer.add_triangle(a[0], a[1], a[2], b[0], b[1], b[2], c[0], c[1], c[2]);
    written++;
  }
  ok = writer.end_line() && ok;
  ok = writer.close() && ok;
  if (!ok) print_message("ERROR: writing triangles to '%s' failed\n", file_name.c_str());
  return ok;
}
