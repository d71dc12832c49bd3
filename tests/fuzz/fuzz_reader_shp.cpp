// Fuzz target: arbitrary bytes as a point Shapefile, read by the Shapefile source.
#include <cstddef>
#include <cstdint>

#include "common/messages.h"
#include "memory_file.h"
#include "pointio/detail/lasreadershp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MessageCollector quiet;
  MemoryFile file(data, size);
  if (!file.ok()) return 0;
  LASreaderSHP reader;
  if (!reader.open(file.path().c_str())) return 0;
  reader.max_points_in_file();
  for (int n = 0; n < 20000 && reader.read_point(); n++) {
  }
  return 0;
}
