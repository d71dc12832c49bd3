// The real point files beside the checkout (../shared/data). A clone without them must still pass:
// a test that needs them skips, naming the folder, and the run's summary counts it as skipped.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

inline bool shared_file_present(const std::string& name) {
  return std::filesystem::exists(std::filesystem::path(CM_SHARED_DATA_DIR) / name);
}

// Skips the calling test (from its body) unless the shared data folder is there.
#define CM_SKIP_WITHOUT_SHARED_DATA()                                        \
  do {                                                                       \
    if (!std::filesystem::is_directory(CM_SHARED_DATA_DIR))                  \
      GTEST_SKIP() << "needs the shared data folder " << CM_SHARED_DATA_DIR; \
  } while (false)

// Skips the calling test (from its body) unless the shared file `name` is there.
#define CM_SKIP_WITHOUT_SHARED_FILE(name)                                                        \
  do {                                                                                           \
    if (!shared_file_present(name))                                                              \
      GTEST_SKIP() << "needs " << (name) << " in the shared data folder " << CM_SHARED_DATA_DIR; \
  } while (false)
