// Argument vectors for the option parser tests, and a program folder that holds the parameter
// files the way the installed program finds them.
#pragma once

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "geo/geoprojectionconverter.h"

// A mutable argv built from blank-separated words, argv[0] being the program. Every word is its own
// allocation and the pointer array has exactly argc entries (no closing null), so a parser that
// reads past a word or past argv trips the address sanitizer.
class Args {
 public:
  explicit Args(const std::string& line, const std::string& program = "contourmill") {
    add(program);
    std::istringstream words(line);
    std::string word;
    while (words >> word) add(word);
    pointers_.shrink_to_fit();  // no spare capacity behind argv[argc - 1]
  }
  int argc() const { return static_cast<int>(pointers_.size()); }
  char** argv() { return pointers_.data(); }
  // The words the parser did not consume, blank-separated.
  std::string left() const {
    std::string text;
    for (size_t i = 1; i < pointers_.size(); i++) {
      if (pointers_[i][0] == '\0') continue;
      if (!text.empty()) text += ' ';
      text += pointers_[i];
    }
    return text;
  }

 private:
  void add(const std::string& word) {
    auto copy = std::make_unique<char[]>(word.size() + 1);
    std::memcpy(copy.get(), word.c_str(), word.size() + 1);
    pointers_.push_back(copy.get());
    words_.push_back(std::move(copy));
  }
  std::vector<std::unique_ptr<char[]>> words_;
  std::vector<char*> pointers_;
};

// A program path whose folder has serf/geo/{pcs,gcs,vertcs}.csv linked to the repository's files.
inline std::string program_with_parameter_files() {
  namespace fs = std::filesystem;
  // Made once per test process and removed when it ends.
  struct Folder {
    fs::path path = fs::temp_directory_path() / ("cm_geo_options_" + std::to_string(getpid()));
    Folder() {
      fs::create_directories(path / "serf" / "geo");
      for (const char* name : {"pcs.csv", "gcs.csv", "vertcs.csv"}) {
        const fs::path link = path / "serf" / "geo" / name;
        std::error_code ignored;
        fs::remove(link, ignored);
        fs::create_symlink(fs::path(CM_GEO_DATA_DIR) / name, link);
      }
    }
    ~Folder() {
      std::error_code ignored;
      fs::remove_all(path, ignored);
    }
  };
  static const Folder folder;
  return (folder.path / "contourmill").string();
}

// A converter that finds the parameter files, parsing `line` (with -v first when verbose).
struct Parsed {
  GeoProjectionConverter geo;
  Args args;
  bool ok = false;

  explicit Parsed(const std::string& line) : args(line, program_with_parameter_files()) {
    ok = geo.parse(args.argc(), args.argv());
  }
  std::string unparsed() const {
    std::string text;
    geo.unparse(text);
    return text;
  }
};
