#include "contour/iso_values.h"

#include <gtest/gtest.h>

#include <limits>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/messages.h"

namespace {

ContourLevelRequest req(std::vector<float> given, double every, int32_t number) {
  ContourLevelRequest r;
  r.given = std::move(given);
  r.every = every;
  r.number = number;
  return r;
}

struct IsoCase {
  const char* name;
  ContourLevelRequest request;
  bool first_file;
  double min_z, max_z;
  std::vector<float> expected;
};

class IsoSetup : public testing::TestWithParam<IsoCase> {};

TEST_P(IsoSetup, FillsAndSortsTheList) {
  const IsoCase& c = GetParam();
  MessageCollector messages;
  const std::vector<float> list =
      contour_levels(c.request, c.first_file, c.min_z, c.max_z, "tile.las", false);
  EXPECT_EQ(list, c.expected);
  EXPECT_EQ(messages.text().empty(), !c.expected.empty()) << messages.text();
}

const float kNaN = std::numeric_limits<float>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Cases, IsoSetup,
    testing::Values(
        // start = trunc(3.5 / 2) * 2 = 2 lies below the range but is kept
        IsoCase{"every_positive", req({}, 2.0, 0), true, 3.5, 9.0, {2, 4, 6, 8}},
        // truncation toward zero: trunc(-1.75) = -1
        IsoCase{"every_negative", req({}, 2.0, 0), true, -3.5, 1.0, {-2, 0}},
        IsoCase{"every_value_at_max_excluded", req({}, 2.0, 0), true, 4.0, 8.0, {4, 6}},
        IsoCase{"every_with_given_values", req({7, 1}, 2.0, 0), true, 3.5, 9.0, {1, 2, 4, 6, 7, 8}},
        // with a spacing, the given values ride along with the first file only
        IsoCase{"every_later_file_without_given", req({7, 1}, 2.0, 0), false, 3.5, 9.0, {2, 4, 6, 8}},
        IsoCase{
            "every_tenth_accumulates_in_double", req({}, 0.1, 0), true, 0.0, 0.35, {0.0f, 0.1f, 0.2f, 0.3f}},
        IsoCase{"number_one", req({}, 0.0, 1), true, 100.0, 110.0, {102.5f}},
        IsoCase{"number_three", req({}, 0.0, 3), true, 0.0, 8.0, {1, 3, 5}},
        IsoCase{"number_later_file_without_given", req({50}, 0.0, 3), false, 0.0, 8.0, {1, 3, 5}},
        IsoCase{"default_ten",
                req({}, 0.0, 0),
                true,
                0.0,
                11.0,
                {0.5f, 1.5f, 2.5f, 3.5f, 4.5f, 5.5f, 6.5f, 7.5f, 8.5f, 9.5f}},
        // the default count holds for every file, not only the first
        IsoCase{
            "default_ten_later_file", req({}, 0.0, 0), false, 0.0, 22.0, {1, 3, 5, 7, 9, 11, 13, 15, 17, 19}},
        IsoCase{"given_list_only_is_sorted", req({5, -1, 3}, 0.0, 0), true, 0.0, 1.0, {-1, 3, 5}},
        // given values alone stay with every file
        IsoCase{"given_list_later_file", req({5, -1, 3}, 0.0, 0), false, 0.0, 1.0, {-1, 3, 5}},
        IsoCase{"nan_given_value_dropped", req({5, kNaN, 3}, 0.0, 0), true, 0.0, 1.0, {3, 5}},
        // start 10 is not below max_z 10: nothing, and the warning
        IsoCase{"every_does_not_cross", req({}, 5.0, 0), true, 10.0, 10.0, {}}),
    [](const testing::TestParamInfo<IsoCase>& param_info) { return std::string(param_info.param.name); });

TEST(IsoSetupMessages, VerboseAndWarningLines) {
  MessageCollector messages;
  contour_levels(req({}, 2.0, 0), true, 3.5, 9.0, "a.las", true);
  EXPECT_EQ(messages.text(), "extracting contours at 4 elevations starting from 2 with spacing of 2.\n");

  messages.clear();
  contour_levels(req({}, 0.0, 1), true, 100.0, 110.0, "a.las", true);
  EXPECT_EQ(messages.text(), "extracting contours at 1 elevations starting from 102.5 with spacing of 5.\n");

  messages.clear();
  contour_levels(req({}, 5.0, 0), true, 10.0, 10.0, "b.las", true);
  EXPECT_EQ(messages.text(),
            "extracting contours at 0 elevations starting from 10 with spacing of 5.\n"
            "WARNING: elevation range 10 to 10 of 'b.las' does not cross contours.\n");
}

TEST(IsoSetupLimits, RefusesPathologicalSettings) {
  struct Bad {
    double every;
    int32_t number;
    double min_z, max_z;
  };
  const Bad cases[] = {
      {1e-7, 0, 0.0, 1000.0},                                    // 1e10 values
      {1e-9, 0, 1e9, 1e9 + 1.0},                                 // the step vanishes next to start
      {2.0, 0, 0.0, std::numeric_limits<double>::infinity()},    // hostile header
      {0.0, 2000000000, 0.0, 1.0},                               // huge count
      {-2.0, 0, 0.0, 10.0},                                      // walks away from max_z
      {0.0, 5, std::numeric_limits<double>::quiet_NaN(), 10.0},  // NaN would break the sort
  };
  for (const Bad& bad : cases) {
    try {
      const std::vector<float> list =
          contour_levels(req({}, bad.every, bad.number), true, bad.min_z, bad.max_z, "x.las", false);
      ADD_FAILURE() << "accepted every " << bad.every << " number " << bad.number << ": " << list.size();
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()).rfind("ERROR: ", 0), 0u) << e.what();
    }
  }
}

TEST(IsoLevels, OnlyLevelsWithinTheElevationsAreTraced) {
  const std::vector<float> levels = {-5, 0, 1, 2, 2.5f, 3, 10};
  const auto within = [&](float low, float high) {
    const std::span<const float> s = levels_within(levels, {low, high});
    return std::vector<float>(s.begin(), s.end());
  };
  // A level equal to the lowest vertex cuts nothing; one equal to the highest still does.
  EXPECT_EQ(within(0, 3), (std::vector<float>{1, 2, 2.5f, 3}));
  EXPECT_EQ(within(-10, 20), levels);
  EXPECT_TRUE(within(11, 20).empty());
  EXPECT_TRUE(within(3, 2).empty());  // no points at all
}

TEST(IsoSetupLimits, ListCapacityDoubles) {
  std::vector<float> list;
  for (int i = 0; i < 1500; i++) append_iso_value(list, static_cast<float>(i));
  EXPECT_EQ(list.capacity(), 2048u);
  for (int i = 1500; i < 5000; i++) append_iso_value(list, static_cast<float>(i));
  EXPECT_EQ(list.capacity(), 8192u);
  EXPECT_EQ(list[4999], 4999.0f);
}

}  // namespace
