// Fuzz target: arbitrary bytes as the georeferencing a point file (or a command line) brings.
// The first byte chooses what the rest is: OGC WKT text, a GeoKey directory with its parameters,
// or projection options separated by NULs. Whatever is set is then written back and used.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "geo/geoprojectionconverter.h"

namespace {

void use(GeoProjectionConverter& converter) {
  std::string wkt;
  converter.get_ogc_wkt(wkt, GeoSide::source);
  converter.get_ogc_wkt(wkt, GeoSide::target);
  std::string options;
  converter.unparse(options);
  double point[3] = {500000.0, 4000000.0, 100.0};
  converter.to_lon_lat(point);
}

// Layout: number of keys (2 bytes), the key entries (8 bytes each), number of doubles (1 byte, at
// most 64 are taken), the doubles, then the ASCII parameters.
void geo_keys(GeoProjectionConverter& converter, const uint8_t* data, size_t size) {
  if (size < 2) return;
  uint16_t count;
  std::memcpy(&count, data, 2);
  data += 2;
  size -= 2;
  std::vector<GeoKeyEntry> keys;
  while (keys.size() < count && size >= 8) {
    GeoKeyEntry e;
    std::memcpy(&e, data, 8);
    keys.push_back(e);
    data += 8;
    size -= 8;
  }
  std::vector<double> doubles;
  const size_t wanted = size > 0 ? data[0] % 65 : 0;
  if (size > 0) {
    data++;
    size--;
  }
  while (doubles.size() < wanted && size >= 8) {
    double d;
    std::memcpy(&d, data, 8);
    doubles.push_back(d);
    data += 8;
    size -= 8;
  }
  const std::string ascii(reinterpret_cast<const char*>(data), size);
  converter.set_projection_from_geo_keys(keys, ascii, doubles);
}

void options(GeoProjectionConverter& converter, const uint8_t* data, size_t size) {
  std::vector<std::string> words{"contourmill"};
  std::string word;
  for (size_t i = 0; i < size && words.size() < 64; i++) {
    if (data[i] == 0) {
      words.push_back(word);
      word.clear();
    } else {
      word += static_cast<char>(data[i]);
    }
  }
  if (!word.empty()) words.push_back(word);
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  converter.parse(static_cast<int>(words.size()), argv.data());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  GeoProjectionConverter converter;
  converter.set_program_path(CM_FUZZ_PROGRAM_PATH);
  const uint8_t mode = data[0] % 3;
  data++;
  size--;
  if (mode == 0) {
    converter.set_projection_from_ogc_wkt(std::string_view(reinterpret_cast<const char*>(data), size));
  } else if (mode == 1) {
    geo_keys(converter, data, size);
  } else {
    options(converter, data, size);
  }
  use(converter);
  return 0;
}
