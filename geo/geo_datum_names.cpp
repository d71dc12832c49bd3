#include "geo/geo_datum_names.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "geo/geo_epsg.h"

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

struct DatumName {
  int code;
  std::string name;
  std::string source;
};

std::vector<DatumName> read_names(const std::string& path) {
  std::vector<DatumName> names;
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "r"));
  if (!file) return names;
  char buffer[512];
  while (std::fgets(buffer, sizeof(buffer), file.get())) {
    std::string line(buffer);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    const std::vector<std::string> fields = geo_split_fields(line);
    if (fields.size() != 3) continue;
    const int code = std::atoi(fields[0].c_str());
    if (code > 0) names.push_back({code, fields[1], fields[2]});
  }
  return names;
}

// "D_North_American_1983" and "North American 1983" alike: "northamerican1983".
std::string normalised(std::string_view name) {
  if (name.size() > 2 && (name[0] == 'D' || name[0] == 'd') && name[1] == '_') name.remove_prefix(2);
  std::string key;
  for (const char c : name) {
    if (std::isalnum(static_cast<unsigned char>(c)))
      key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return key;
}

}  // namespace

std::string geo_esri_datum_name(const std::string& path, int datum_code) {
  for (const DatumName& entry : read_names(path)) {
    if (entry.code == datum_code && entry.source == "ESRI") return entry.name;
  }
  return "";
}

int geo_datum_of_name(const std::string& path, std::string_view name) {
  const std::string key = normalised(name);
  if (key.empty()) return 0;
  const std::vector<DatumName> names = read_names(path);
  // Tiers: 0 the EPSG name, 1 an ESRI alias, 2 a PROJ alias, 3 any other alias.
  constexpr int kTiers = 4;
  int found[kTiers] = {};
  bool ambiguous[kTiers] = {};
  for (const DatumName& entry : names) {
    if (normalised(entry.name) != key) continue;
    int tier = 3;
    if (entry.source == "name") tier = 0;
    if (entry.source == "ESRI") tier = 1;
    if (entry.source == "PROJ") tier = 2;
    if (found[tier] != 0 && found[tier] != entry.code) ambiguous[tier] = true;
    found[tier] = entry.code;
  }
  for (int tier = 0; tier < kTiers; tier++) {
    if (found[tier] != 0 && !ambiguous[tier]) return found[tier];
  }
  return 0;
}
