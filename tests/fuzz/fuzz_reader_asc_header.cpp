// Fuzz target: arbitrary bytes as an ESRI ASCII grid: the header from memory, then the grid read
// by the ASC source with '.' and with ',' as the decimal point.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/messages.h"
#include "memory_file.h"
#include "pointio/detail/bufferedinput.h"
#include "pointio/detail/lasreaderasc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MessageCollector quiet;
  BufferedInput input(open_memory_file("fuzz.asc", data, size), 0);
  ASCgrid grid;
  std::string values;
  if (!read_asc_header(input, grid, values)) return 0;
  MemoryFile file(data, size);
  if (!file.ok()) return 0;
  for (const bool comma : {false, true}) {
    LASreaderASC reader;
    if (!reader.open(file.path().c_str(), comma)) continue;
    for (int n = 0; n < 20000 && reader.read_point(); n++) {
    }
  }
  return 0;
}
