#pragma once
// The point filter: an ordered list of criteria built from the -keep_..., -drop_..., -thin_...,
// -first_only, -last_only, -filter_and and -filter_or options. A point is dropped by the first
// criterion whose test says so; later criteria never see it.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "filter/lascriterion.h"
#include "pointio/laspointstage.h"

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
    if (table_criteria_ == 0) return filter_from(0, point);
    const uint8_t first = first_drop_[LASdropTable::key(point)];
    if (first != 0) {
      table_drops_[first - 1u]++;
      return true;
    }
    return table_criteria_ < steps_.size() && filter_from(table_criteria_, point);
  }
  // The leading class, return and flag criteria as the table a reader can look points up in (none
  // when the list does not start with one). It lives as long as the filter.
  LASdropTable drop_table() {
    if (table_criteria_ == 0) return {};
    return {first_drop_.data(), table_drops_.data(), table_criteria_ == steps_.size()};
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
  uint64_t drop_count(size_t i) const {
    return steps_[i].drops + (i < kMaxTableCriteria ? table_drops_[i] : 0u);
  }

 private:
  std::vector<std::unique_ptr<LAScriterion>> criteria_;
  // The criteria in order with their fast tests and drop counts, so that a point visits one flat
  // array and most tests cost no call.
  struct Step {
    LAScriterion* criterion;
    LASfastTest test;
    uint64_t drops;
  };
  std::vector<Step> steps_;

  // The criteria that lead the list with fast tests (at most kMaxTableCriteria) decide a point by
  // its LASdropTable key alone. first_drop_ holds, for each key, 1 + the index of the first of
  // them that drops such a point (0: none does), so they cost one lookup together; the points
  // they drop are counted in table_drops_. Both are arrays, so a reader may hold on to them.
  static constexpr size_t kMaxTableCriteria = 255;
  // Rebuilds first_drop_ after the list changed.
  void tabulate_leading_tests();
  size_t table_criteria_ = 0;
  std::array<uint8_t, LASdropTable::kKeys> first_drop_{};
  std::array<uint64_t, kMaxTableCriteria> table_drops_{};
  // The test from criterion `first` on, for the criteria the table does not hold.
  bool filter_from(size_t first, const LASpoint& point);
};
