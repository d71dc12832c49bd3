// A folder of a test's own for the files it writes, removed with them when the test ends.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>

class TempDir {
 public:
  // The process id in the name keeps tests that run at the same time out of each other's way.
  explicit TempDir(const std::string& prefix)
      : path_(std::filesystem::temp_directory_path() / (prefix + std::to_string(getpid()))) {
    std::filesystem::create_directories(path_);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};
