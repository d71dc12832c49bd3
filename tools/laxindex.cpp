// cm_laxindex: writes the spatial index (a LAX file next to the point file) of LAS and compressed
// files, so that contourmill's -inside, -inside_tile, -inside_circle and -buffered read only the
// points near the area they need.
//
//   cm_laxindex tile1.las tile2.rkp ...     writes tile1.lax, tile2.lax, ...
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/messages.h"
#include "pointio/lasreaderlas.h"
#include "pointio/spatialindex.h"

namespace {

bool index_file(const std::string& name, bool verbose) {
  LASreaderLAS reader;
  if (!reader.open(name.c_str())) {
    print_message("ERROR: cannot open '%s'\n", name.c_str());
    return false;
  }
  const int64_t npoints = reader.get_npoints();
  if (npoints > int64_t{UINT32_MAX}) {
    print_message("ERROR: '%s' has %lld points, more than an index can number\n", name.c_str(),
                  static_cast<long long>(npoints));
    return false;
  }
  const LASheader& h = reader.header;
  LASspatialIndex index;
  index.prepare(h.min_x, h.min_y, h.max_x, h.max_y, static_cast<uint64_t>(npoints));
  // A point outside the header's bounds would fall outside the root: then the file is indexed
  // again against bounds that hold every point.
  double min_x = h.min_x, min_y = h.min_y, max_x = h.max_x, max_y = h.max_y;
  bool outside = false;
  uint32_t p_index = 0;
  while (reader.read_point()) {
    const double x = reader.point.get_x(), y = reader.point.get_y();
    if (x < min_x || x > max_x || y < min_y || y > max_y) {
      outside = true;
      min_x = std::min(min_x, x), max_x = std::max(max_x, x);
      min_y = std::min(min_y, y), max_y = std::max(max_y, y);
    }
    index.add(x, y, p_index++);
  }
  if (reader.is_incomplete()) {
    print_message("ERROR: '%s' could not be read to its end\n", name.c_str());
    return false;
  }
  if (outside) {
    index.prepare(min_x, min_y, max_x, max_y, p_index);
    reader.close();
    if (!reader.open(name.c_str())) return false;
    p_index = 0;
    while (reader.read_point()) index.add(reader.point.get_x(), reader.point.get_y(), p_index++);
  }
  index.complete();
  if (!index.write(name)) return false;
  if (verbose) {
    print_message("indexed %u points of '%s' in %zu cells of up to %u levels\n", p_index, name.c_str(),
                  index.get_interval().cells().size(), index.get_quadtree().levels);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  bool verbose = false;
  int files = 0, failed = 0;
  for (int i = 1; i < argc; i++) {
    if (std::strcmp(argv[i], "-v") == 0) {
      verbose = true;
    } else if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "-help") == 0) {
      std::printf(
          "usage: cm_laxindex [-v] file.las [file.rkp ...]\n"
          "writes the spatial index file.lax next to every LAS or RKP file\n");
      return 0;
    } else {
      files++;
      if (!index_file(argv[i], verbose)) failed++;
    }
  }
  if (files == 0) {
    print_message("ERROR: no input files. usage: cm_laxindex [-v] file.las [file.rkp ...]\n");
    return 1;
  }
  return failed ? 1 : 0;
}
