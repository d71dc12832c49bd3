// Fuzz target: arbitrary bytes as a QFIT file in either byte order, read from memory with seeks.
#include <cstddef>
#include <cstdint>

#include "common/messages.h"
#include "pointio/detail/lasreaderqfit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MessageCollector quiet;
  ByteStreamInArray stream(data, static_cast<int64_t>(size));
  LASreaderQFIT reader;
  if (!reader.open(&stream)) return 0;
  for (int n = 0; n < 5000 && reader.read_point(); n++) {
  }
  if (reader.seek(reader.get_npoints() / 2)) reader.read_point();
  return 0;
}
