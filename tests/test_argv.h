// An argument vector for the tests of the option parsers.
#pragma once

#include <string>
#include <vector>

// An argument vector with writable words, argv[0] being the program, as parsers blank the words
// they consume.
class Argv {
 public:
  explicit Argv(std::vector<std::string> words) : words_(std::move(words)) {
    words_.insert(words_.begin(), "contourmill");
    for (auto& w : words_) ptrs_.push_back(w.data());
  }
  int argc() const { return static_cast<int>(ptrs_.size()); }
  char** argv() { return ptrs_.data(); }
  // The words nobody consumed, joined by blanks.
  std::string left() const {
    std::string s;
    for (size_t i = 1; i < ptrs_.size(); i++) {
      if (ptrs_[i][0]) s += std::string(s.empty() ? "" : " ") + ptrs_[i];
    }
    return s;
  }

 private:
  std::vector<std::string> words_;
  std::vector<char*> ptrs_;
};
