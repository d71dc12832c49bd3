// A program folder for the converter's parameter files: serf/geo below it holds links to the
// generated pcs.csv, gcs.csv and vertcs.csv, or nothing, so each test decides what a look-up finds.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

#include "geo/geoprojectionconverter.h"

class GeoProgramFolder {
 public:
  explicit GeoProgramFolder(bool with_tables) {
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / "cm_geo_tables_XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
    folder_ = pattern;
    fs::create_directories(folder_ / "serf" / "geo");
    if (with_tables) {
      for (const char* name : {"pcs.csv", "gcs.csv", "vertcs.csv", "towgs84.csv", "datums.csv"}) {
        fs::create_symlink(fs::path(CM_GEO_DATA_DIR) / name, folder_ / "serf" / "geo" / name);
      }
    }
  }
  ~GeoProgramFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  GeoProgramFolder(const GeoProgramFolder&) = delete;
  GeoProgramFolder& operator=(const GeoProgramFolder&) = delete;

  std::string folder() const { return folder_.string(); }
  std::string program() const { return (folder_ / "contourmill").string(); }

  // Replaces one parameter file with `content`.
  void write_table(const char* name, const std::string& content) const {
    write(std::string("serf/geo/") + name, content);
  }

  // Writes `content` to a file below the folder, replacing what was there.
  void write(const std::string& relative_path, const std::string& content) const {
    const std::filesystem::path path = folder_ / relative_path;
    std::filesystem::remove(path);
    std::FILE* file = std::fopen(path.string().c_str(), "w");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(std::fwrite(content.data(), 1, content.size(), file), content.size());
    ASSERT_EQ(std::fclose(file), 0);
  }

 private:
  std::filesystem::path folder_;
};

// Runs `action` and answers what it wrote to standard error.
template <typename Action>
std::string stderr_of(Action action) {
  testing::internal::CaptureStderr();
  action();
  return testing::internal::GetCapturedStderr();
}

// A case's description as a test name: letters and digits, everything else an underscore.
inline std::string case_name(std::string name) {
  for (char& ch : name) {
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  }
  return name;
}

// ---- GDAL as an independent reader of written .prj text ----

inline bool has_gdalsrsinfo() {
  return std::system("gdalsrsinfo --version >/dev/null 2>&1") == 0;
}

// What gdalsrsinfo prints for a file in an output form such as "proj4" or "wkt1"; empty when it
// cannot run.
inline std::string gdalsrsinfo(const std::string& form, const std::string& path) {
  const std::string command = "gdalsrsinfo -o " + form + " '" + path + "' 2>/dev/null";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return "";
  std::string output;
  char buffer[512];
  while (std::fgets(buffer, sizeof(buffer), pipe.get())) output += buffer;
  return output;
}

// The +name=value terms of a PROJ string; a term without a value maps to "".
inline std::map<std::string, std::string> proj4_terms(const std::string& text) {
  std::map<std::string, std::string> terms;
  std::istringstream words(text);
  std::string word;
  while (words >> word) {
    if (word.empty() || word[0] != '+') continue;
    const size_t equal = word.find('=');
    terms[word.substr(1, equal == std::string::npos ? std::string::npos : equal - 1)] =
        equal == std::string::npos ? "" : word.substr(equal + 1);
  }
  return terms;
}

// Expects every term of `expected` in `got`: numbers to `relative` of their size (at least of 1),
// words exactly.
inline void expect_proj4_terms(const std::map<std::string, std::string>& got, const std::string& expected,
                               double relative = 1e-9) {
  for (const auto& [term, value] : proj4_terms(expected)) {
    SCOPED_TRACE(term);
    const auto found = got.find(term);
    ASSERT_NE(found, got.end());
    char* end = nullptr;
    const double number = std::strtod(value.c_str(), &end);
    if (!value.empty() && *end == '\0') {
      EXPECT_NEAR(std::strtod(found->second.c_str(), nullptr), number,
                  relative * std::max(1.0, std::fabs(number)));
    } else {
      EXPECT_EQ(found->second, value);
    }
  }
}
