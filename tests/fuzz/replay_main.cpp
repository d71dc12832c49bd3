// Runs a fuzz target over every file of a corpus folder, so the seeds are exercised by every
// build (gcc included) through CTest.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s corpus_folder ...\n", argv[0]);
    return 2;
  }
  int files = 0;
  for (int i = 1; i < argc; i++) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(argv[i], ec)) {
      if (!entry.is_regular_file()) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
      files++;
    }
    if (ec) {
      fprintf(stderr, "ERROR: cannot list '%s'\n", argv[i]);
      return 1;
    }
  }
  fprintf(stderr, "replayed %d files\n", files);
  return files > 0 ? 0 : 1;
}
