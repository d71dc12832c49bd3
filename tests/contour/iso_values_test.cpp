#include "contour/iso_values.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct IsoCase {
  const char* name;
  std::vector<float> given;  // "-iso" values already in the list
  double iso_every;
  int32_t iso_number;
  double min_z, max_z;
  std::vector<float> expected;
  int32_t iso_number_after;
};

class IsoSetup : public testing::TestWithParam<IsoCase> {};

TEST_P(IsoSetup, FillsAndSortsTheList) {
  const IsoCase& c = GetParam();
  std::vector<float> list = c.given;
  int32_t iso_number = c.iso_number;
  testing::internal::CaptureStderr();
  setup_iso_values(list, iso_number, c.iso_every, c.min_z, c.max_z, "tile.las", false);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(list, c.expected);
  EXPECT_EQ(iso_number, c.iso_number_after);
  EXPECT_EQ(err.empty(), !c.expected.empty()) << err;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IsoSetup,
    testing::Values(
        // start = trunc(3.5 / 2) * 2 = 2 lies below the range but is kept; an empty list still
        // makes iso_number 10, although iso_every takes precedence
        IsoCase{"every_positive", {}, 2.0, 0, 3.5, 9.0, {2, 4, 6, 8}, 10},
        // truncation toward zero: trunc(-1.75) = -1
        IsoCase{"every_negative", {}, 2.0, 0, -3.5, 1.0, {-2, 0}, 10},
        IsoCase{"every_value_at_max_excluded", {}, 2.0, 0, 4.0, 8.0, {4, 6}, 10},
        IsoCase{"every_with_given_values", {7, 1}, 2.0, 0, 3.5, 9.0, {1, 2, 4, 6, 7, 8}, 0},
        IsoCase{"every_tenth_accumulates_in_double", {}, 0.1, 0, 0.0, 0.35, {0.0f, 0.1f, 0.2f, 0.3f}, 10},
        IsoCase{"number_one", {}, 0.0, 1, 100.0, 110.0, {102.5f}, 1},
        IsoCase{"number_three", {}, 0.0, 3, 0.0, 8.0, {1, 3, 5}, 3},
        IsoCase{"default_ten",
                {},
                0.0,
                0,
                0.0,
                11.0,
                {0.5f, 1.5f, 2.5f, 3.5f, 4.5f, 5.5f, 6.5f, 7.5f, 8.5f, 9.5f},
                10},
        IsoCase{"given_list_only_is_sorted", {5, -1, 3}, 0.0, 0, 0.0, 1.0, {-1, 3, 5}, 0},
        IsoCase{"nan_given_value_dropped",
                {5, std::numeric_limits<float>::quiet_NaN(), 3},
                0.0,
                0,
                0.0,
                1.0,
                {3, 5},
                0},
        // start 10 is not below max_z 10: nothing, and the warning
        IsoCase{"every_does_not_cross", {}, 5.0, 0, 10.0, 10.0, {}, 10}),
    [](const testing::TestParamInfo<IsoCase>& param_info) { return std::string(param_info.param.name); });

TEST(IsoSetupMessages, VerboseAndWarningLines) {
  std::vector<float> list;
  int32_t iso_number = 0;
  testing::internal::CaptureStderr();
  setup_iso_values(list, iso_number, 2.0, 3.5, 9.0, "a.las", true);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "extracting contours at 4 elevations starting from 2 with spacing of 2.\n");

  list.clear();
  iso_number = 1;
  testing::internal::CaptureStderr();
  setup_iso_values(list, iso_number, 0.0, 100.0, 110.0, "a.las", true);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "extracting contours at 1 elevations starting from 102.5 with spacing of 5.\n");

  list.clear();
  testing::internal::CaptureStderr();
  setup_iso_values(list, iso_number, 5.0, 10.0, 10.0, "b.las", true);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "extracting contours at 0 elevations starting from 10 with spacing of 5.\n"
            "WARNING: elevation range 10 to 10 of 'b.las' does not cross contours.\n");
}

TEST(IsoSetupMessages, DefaultCountStaysForLaterFiles) {
  std::vector<float> list;
  int32_t iso_number = 0;
  setup_iso_values(list, iso_number, 0.0, 0.0, 11.0, "first.las", false);
  ASSERT_EQ(iso_number, 10);
  list.clear();  // the driver empties the list between files
  setup_iso_values(list, iso_number, 0.0, 0.0, 22.0, "second.las", false);
  EXPECT_EQ(list.size(), 10u);
  EXPECT_FLOAT_EQ(list.front(), 1.0f);
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
    std::vector<float> list;
    int32_t iso_number = bad.number;
    try {
      setup_iso_values(list, iso_number, bad.every, bad.min_z, bad.max_z, "x.las", false);
      ADD_FAILURE() << "accepted every " << bad.every << " number " << bad.number;
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()).rfind("ERROR: ", 0), 0u) << e.what();
    }
    EXPECT_LE(list.size(), static_cast<size_t>(ISO_VALUES_MAX));
  }
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
