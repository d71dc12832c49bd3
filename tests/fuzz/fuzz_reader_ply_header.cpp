// Fuzz target: arbitrary bytes as a PLY file: its header parsed from memory, then the whole file
// read by the PLY source, with and without the counting pass.
#include <cstddef>
#include <cstdint>

#include "common/messages.h"
#include "memory_file.h"
#include "pointio/detail/bufferedinput.h"
#include "pointio/detail/lasreaderply.h"
#include "pointio/detail/plyheader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MessageCollector quiet;
  BufferedInput input(open_memory_file("fuzz.ply", data, size), 0);
  PLYheader ply;
  if (!read_ply_header(input, ply)) return 0;
  MemoryFile file(data, size);
  if (!file.ok()) return 0;
  for (const bool populate : {true, false}) {
    LASreaderPLY reader;
    if (!reader.open(file.path().c_str(), 0, populate)) continue;
    for (int n = 0; n < 5000 && reader.read_point(); n++) {
    }
    reader.seek(0);
    reader.read_point();
  }
  return 0;
}
