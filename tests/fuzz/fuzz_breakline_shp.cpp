// Fuzz target: arbitrary bytes as a breakline Shapefile. Every point the reader delivers must come
// from the bytes it was given (so their count is bounded by the size), and reading again after
// reopen must deliver the same points.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "common/messages.h"
// The reader is compiled into the target itself: instrumenting the whole driver library for one
// parser would cost the fuzz build minutes for nothing.
#include "app/breakline_reader.cpp"  // NOLINT(bugprone-suspicious-include)

namespace {

std::vector<double> read_all(BreaklineReader& reader) {
  std::vector<double> points;
  while (reader.read_point()) {
    points.insert(points.end(),
                  {reader.x, reader.y, reader.z, reader.first ? 1.0 : 0.0, reader.last ? 1.0 : 0.0});
  }
  return points;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  MessageCollector quiet;
  std::FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (!file) return 0;
  std::unique_ptr<BreaklineReader> reader = open_breakline_shapefile(file, "fuzz.shp");
  if (!reader) return 0;
  const std::vector<double> once = read_all(*reader);
  // Each point takes at least 16 bytes of the file.
  if (once.size() / 5 > size / 16) std::abort();
  const bool failed = reader->failed();
  if (!reader->reopen()) std::abort();
  const std::vector<double> again = read_all(*reader);
  if (again.size() != once.size() || reader->failed() != failed) std::abort();
  for (size_t i = 0; i < once.size(); i++) {
    if (once[i] != again[i]) std::abort();
  }
  return 0;
}
