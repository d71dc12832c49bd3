// Fuzz target: the bytes up to the first 0x00 are a BIL header file, the rest its cells. The
// header is parsed from memory, then both are written beside each other and read by the BIL
// source.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "common/messages.h"
#include "pointio/detail/bufferedinput.h"
#include "pointio/detail/lasreaderbil.h"

namespace {

bool write(const std::string& path, const uint8_t* data, size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MessageCollector quiet;
  size_t split = 0;
  while (split < size && data[split] != 0) split++;
  BufferedInput input(open_memory_file("fuzz.hdr", data, split), 0);
  BILheader bil;
  if (!read_bil_header(input, bil)) return 0;
  static const std::string dir =
      (std::filesystem::temp_directory_path() / ("cm_fuzz_bil_" + std::to_string(::getpid()))).string();
  std::filesystem::create_directories(dir);
  const size_t cells = split < size ? split + 1 : size;
  if (!write(dir + "/g.hdr", data, split) || !write(dir + "/g.bil", data + cells, size - cells)) return 0;
  LASreaderBIL reader;
  if (reader.open((dir + "/g.bil").c_str())) {
    for (int n = 0; n < 20000 && reader.read_point(); n++) {
    }
  }
  return 0;
}
