// Fuzz target: arbitrary bytes as a LAX spatial index. When it reads, its queries run and its runs
// drive an indexed read of a small in-memory LAS file, which must deliver each point inside the
// area at most once and only points inside it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "common/messages.h"
#include "pointio/lasreaderlas.h"
#include "pointio/spatialindex.h"
#include "tools/las_writer.h"

namespace {

const std::vector<uint8_t>& small_las() {
  static const std::vector<uint8_t> bytes = [] {
    std::vector<las_test::Point> points;
    for (int i = 0; i < 300; i++) {
      las_test::Point p;
      p.x = (i * 37) % 100 + 0.25;
      p.y = (i * 11) % 100 + 0.5;
      p.z = i;
      points.push_back(p);
    }
    return las_test::build(las_test::Options{}, points);
  }();
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MessageCollector quiet;
  ByteStreamInArray stream(data, static_cast<int64_t>(size));
  auto index = std::make_unique<LASspatialIndex>();
  if (!index->read(stream)) return 0;
  index->intersect_tile(0, 0, 64);
  index->intersect_circle(50, 50, 30);
  const std::vector<uint8_t>& las = small_las();
  ByteStreamInArray las_stream(las.data(), static_cast<int64_t>(las.size()));
  LASreaderLAS reader;
  if (!reader.open(&las_stream)) abort();
  reader.set_index(std::move(index));
  reader.inside_rectangle(10, 10, 80, 90);
  std::vector<bool> seen(300, false);
  while (reader.read_point()) {
    const int64_t i = reader.get_p_count() - 1;
    const double x = reader.point.get_x(), y = reader.point.get_y();
    if (i < 0 || i >= 300 || seen[size_t(i)] || x < 10 || x >= 80 || y < 10 || y >= 90) abort();
    seen[size_t(i)] = true;
  }
  return 0;
}
