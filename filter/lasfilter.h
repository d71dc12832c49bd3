#pragma once
// The point filter: an ordered list of criteria built from the -keep_..., -drop_..., -thin_...,
// -first_only, -last_only, -filter_and and -filter_or options. A point is dropped by the first
// criterion whose test says so; later criteria never see it.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "filter/lascriterion.h"

class LASpoint;

class LASfilter {
 public:
  LASfilter();
  ~LASfilter();
  LASfilter(const LASfilter&) = delete;
  LASfilter& operator=(const LASfilter&) = delete;

  // Prints the options with an example each.
  static void usage();
  // Consumes the filter options of argv[1..argc-1] (blanking their words) and appends their
  // criteria. Other words are left for other parsers. Answers false after printing the message of
  // the first bad option; the criteria made before it stay.
  bool parse(int argc, char** argv);
  // The same for the words of a text (any number of them; double quotes group a word).
  bool parse(std::string_view text);

  // The options of every criterion in list order, as messages show them.
  std::string get_command() const;
  // Appends options that rebuild exactly these criteria when parsed.
  void unparse(std::string& out) const;

  // The point fields the criteria read.
  uint32_t get_decompress_selective() const;
  // True when the point is dropped: the first criterion that drops it counts it.
  bool filter(const LASpoint& point) {
    const size_t n = criteria_.size();
    for (size_t i = 0; i < n; i++) {
      if (criteria_[i]->filter(point)) {
        drop_counts_[i]++;
        return true;
      }
    }
    return false;
  }
  // Forgets what earlier points left behind (thinning grids, random chains), before a new pass.
  void reset();

  void add_criterion(std::unique_ptr<LAScriterion> criterion);
  // Removes and answers the last criterion (none when the list is empty).
  std::unique_ptr<LAScriterion> remove_last_criterion();
  void clean();

  size_t number_of_criteria() const { return criteria_.size(); }
  const LAScriterion& criterion(size_t i) const { return *criteria_[i]; }
  // How many points criterion i dropped since the filter was made (over all files).
  uint64_t drop_count(size_t i) const { return drop_counts_[i]; }

 private:
  std::vector<std::unique_ptr<LAScriterion>> criteria_;
  std::vector<uint64_t> drop_counts_;
};
