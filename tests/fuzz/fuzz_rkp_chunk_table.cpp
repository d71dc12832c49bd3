// Fuzz target: the chunk table of a compressed stream. The input is a flag byte (varying chunk
// sizes, record length), the table's position (so the room the table may claim varies), then the
// table: version, count and the coded sizes.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "compression/chunk_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  const bool varying = data[0] & 1;
  // The smallest record a file can have is 20 bytes, and the table lies within the file, so the
  // room before it is real data: up to 16 MB here.
  const uint32_t record_length = 20 + (data[0] >> 1);
  uint32_t position;
  std::memcpy(&position, data + 1, 4);
  position &= 0xFFFFFF;
  ByteInput input;
  input.attach(data + 5, size - 5, position);
  ChunkTable table;
  std::string warning;
  if (read_chunk_table(input, position, 0, varying, record_length, table, warning)) {
    // Whatever was accepted is consistent: increasing starts within the room, increasing totals.
    for (size_t i = 1; i < table.starts.size(); i++) {
      if (table.starts[i] <= table.starts[i - 1] || table.starts[i] > int64_t(position)) __builtin_trap();
      if (varying && table.totals[i] <= table.totals[i - 1]) __builtin_trap();
    }
  }
  return 0;
}
