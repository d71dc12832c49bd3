// The point filter: option parsing and its messages, the behaviour of criteria the tables cannot
// show at a glance (merged sets, combinations, state), and the text forms of a filter.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "filter/lasfilter.h"
#include "filter_test_util.h"

namespace {

using filter_test::Argv;
using filter_test::messages_of;
using filter_test::TestPoint;
using filter_test::words;

struct BadCase {
  const char* args;
  const char* message;
};

const BadCase kBadCases[] = {
    {"-keep_xy 1 2 3", "ERROR: '-keep_xy' needs 4 arguments: min_x min_y max_x max_y\n"},
    {"-keep_xy 1 2 3 x",
     "ERROR: '-keep_xy' needs 4 arguments: min_x min_y max_x max_y but 'x' is no valid max_y\n"},
    {"-keep_tile 1 2", "ERROR: '-keep_tile' needs 3 arguments: llx lly size\n"},
    {"-keep_z 1 2.5m", "ERROR: '-keep_z' needs 2 arguments: min max but '2.5m' is no valid max\n"},
    {"-drop_X_below 1.5", "ERROR: '-drop_X_below' needs 1 argument: value but '1.5' is no valid value\n"},
    {"-thin_pulses_with_time 0",
     "ERROR: '-thin_pulses_with_time' needs 1 argument: time spacing but '0' is no valid value\n"},
    {"-thin_with_grid -1",
     "ERROR: '-thin_with_grid' needs 1 argument: grid spacing but '-1' is no valid value\n"},
    {"-keep_every_nth 0", "ERROR: '-keep_every_nth' needs 1 argument: nth but '0' is no valid value\n"},
    {"-keep_class", "ERROR: '-keep_class' needs at least 1 argument: classification\n"},
    {"-keep_class 32", "ERROR: '-keep_class' needs arguments between 0 and 31 but '32' is out of range\n"},
    {"-keep_class 2x",
     "ERROR: '-keep_class' needs at least 1 argument: classification but '2x' is no valid classification\n"},
    {"-drop_class 40", "ERROR: cannot drop classification 40 because it is larger than 31\n"},
    {"-keep_extended_class 256",
     "ERROR: cannot keep extended classification 256 because it is larger than 255\n"},
    {"-drop_extended_class 300",
     "ERROR: cannot drop extended classification 300 because it is larger than 255\n"},
    {"-keep_extended_class 40 -drop_extended_class 41",
     "ERROR: cannot use '-drop_extended_class' and '-keep_extended_class' simultaneously\n"},
    {"-drop_extended_classification_mask 0 0 0 x 0 0 0 0",
     "ERROR: '-drop_extended_classification_mask' needs 8 arguments: mask7 mask6 mask5 mask4 mask3 mask2 "
     "mask1 "
     "mask0\n       but 'x' is a bad argument for mask4\n"},
    {"-keep_return 16", "ERROR: cannot keep return_number 16 because it is larger than 15\n"},
    {"-drop_return 3 99", "ERROR: cannot drop return_number 99 because it is larger than 15\n"},
    {"-keep_return_mask 70000",
     "ERROR: '-keep_return_mask' needs a return_mask between 0 and 65535 but return_mask is 70000\n"},
    {"-drop_point_source 70000",
     "ERROR: cannot drop_point_source ID 70000 because it is larger than 65535\n"},
    {"-keep_point_source 3 7x",
     "ERROR: '-keep_point_source' takes one or more IDs but '7x' is no valid ID\n"},
    {"-drop_user_data 256", "ERROR: cannot drop user data 256 because it is larger than 255\n"},
    {"-keep_intensity 0 70000",
     "ERROR: '-keep_intensity' needs arguments between 0 and 65535 but '70000' is out of range\n"},
    {"-drop_scanner_channel 4",
     "ERROR: '-drop_scanner_channel' needs arguments between 0 and 3 but '4' is out of range\n"},
    {"-keep_class 2 -filter_and", "ERROR: '-filter_and' needs to be preceeded by at least two filters\n"},
    {"-filter_or", "ERROR: '-filter_or' needs to be preceeded by at least two filters\n"},
    {"-drop_abs_scan_angle_above -3",
     "ERROR: '-drop_abs_scan_angle_above' needs 1 argument: max but '-3' is no valid value\n"},
    {"-clip_box 1 2 3 4 5 6",
     "ERROR: '-clip_box' is no longer recognized. check documentation with '-h'.\n"
     "  rename '-clip' to '-keep_xy'.\n  rename '-clip_box' to '-keep_xyz'.\n  rename '-clip_tile' to "
     "'-keep_tile'.\n"
     "  rename '-clip_z_below' to '-drop_z_below'.\n  rename '-clip_z_above' to '-drop_z_above'.\n"
     "  rename '-clip_z_between' to '-drop_z'.\n  etc ...\n"},
};

TEST(FilterParse, BadArgumentsPrintTheirMessageAndFail) {
  for (const BadCase& c : kBadCases) {
    SCOPED_TRACE(c.args);
    Argv args(words(c.args));
    LASfilter f;
    bool ok = true;
    const std::string err = messages_of([&] { ok = f.parse(args.argc(), args.argv()); });
    EXPECT_FALSE(ok);
    EXPECT_EQ(err, c.message);
  }
}

TEST(FilterParse, ConsumesItsOwnWordsAndLeavesTheRest) {
  Argv args(words("-i a.las -keep_class 2 3 -v -keep_foo -drop_z_below 10.5 -iso_every 1 -first_only 7"));
  LASfilter f;
  ASSERT_TRUE(f.parse(args.argc(), args.argv()));
  EXPECT_EQ(args.left(), "-i a.las -v -keep_foo -iso_every 1 7");
  EXPECT_EQ(f.get_command(), "-keep_classification_mask 12 -drop_z_below 10.500000 -keep_first ");
}

TEST(FilterParse, CriteriaMadeBeforeABadOptionStay) {
  Argv args(words("-keep_class 2 -drop_z_below x"));
  LASfilter f;
  messages_of([&] { EXPECT_FALSE(f.parse(args.argc(), args.argv())); });
  EXPECT_EQ(f.number_of_criteria(), 1u);
}

// Filters answer for a list of points; true where a point is kept.
std::vector<bool> kept(LASfilter& f, LASpoint& p,
                       const std::vector<std::function<void(LASpoint&)>>& setters) {
  std::vector<bool> out;
  for (const auto& set : setters) {
    set(p);
    out.push_back(!f.filter(p));
  }
  return out;
}

// Hides a criterion's fast test, so that a filter calls the criterion itself.
class CalledCriterion final : public LAScriterion {
 public:
  explicit CalledCriterion(std::unique_ptr<LAScriterion> inner) : inner_(std::move(inner)) {}
  const char* name() const override { return inner_->name(); }
  void write_command(CommandWriter& out) const override { inner_->write_command(out); }
  uint32_t get_decompress_selective() const override { return inner_->get_decompress_selective(); }
  bool filter(const LASpoint& point) override { return inner_->filter(point); }

 private:
  std::unique_ptr<LAScriterion> inner_;
};

TEST(FilterCriteria, FastTestsDecideAndCountLikeTheCriteriaInTurn) {
  // The filter folds the class, return and flag tests that lead its list into one table; each
  // point must still be dropped by the same criterion, counted there, as when every criterion is
  // asked in turn, including when slower criteria come before or after them.
  const char* const filters[] = {
      "-keep_class 2 -drop_withheld",
      "-drop_withheld -keep_class 2 8 -keep_last -drop_synthetic",
      "-keep_first -keep_class 2",
      "-drop_class 0 7 -keep_synthetic -drop_keypoint -keep_return 1 2 -drop_return 3",
      "-keep_withheld -keep_keypoint -drop_class 1",
      "-keep_class 0 2 -keep_return_mask 6",
  };
  for (const char* text : filters) {
    LASfilter fast, called, parsed;
    ASSERT_TRUE(fast.parse(text)) << text;
    ASSERT_TRUE(parsed.parse(text)) << text;
    std::vector<std::unique_ptr<LAScriterion>> criteria;
    while (auto c = parsed.remove_last_criterion()) criteria.insert(criteria.begin(), std::move(c));
    for (auto& c : criteria) called.add_criterion(std::make_unique<CalledCriterion>(std::move(c)));
    ASSERT_EQ(called.number_of_criteria(), fast.number_of_criteria());

    for (const uint8_t format : {uint8_t{1}, uint8_t{7}}) {
      TestPoint t(format);
      for (uint32_t c = 0; c < 32; c++) {
        for (uint32_t flags = 0; flags < 8; flags++) {
          for (uint32_t r = 0; r < 8; r++) {
            for (const uint8_t extended : {uint8_t{0}, uint8_t{40}}) {
              t.point.classification = c & 31;
              t.point.synthetic_flag = flags & 1;
              t.point.keypoint_flag = (flags >> 1) & 1;
              t.point.withheld_flag = (flags >> 2) & 1;
              t.point.return_number = r & 7;
              t.point.number_of_returns = 3;
              t.point.extended_classification = extended;
              ASSERT_EQ(fast.filter(t.point), called.filter(t.point))
                  << text << ": format " << int(format) << " class " << c << " flags " << flags << " return "
                  << r << " extended class " << int(extended);
            }
          }
        }
      }
    }
    for (size_t i = 0; i < fast.number_of_criteria(); i++)
      EXPECT_EQ(fast.drop_count(i), called.drop_count(i)) << text << ": criterion " << i;
  }
}

TEST(FilterCriteria, KeepClassListsMergeIntoOneCriterion) {
  LASfilter f;
  ASSERT_TRUE(f.parse("-keep_class 2 -keep_class 8"));
  ASSERT_EQ(f.number_of_criteria(), 1u);
  TestPoint t;
  std::vector<bool> expect;
  for (uint8_t c = 0; c < 32; c++) {
    t.point.classification = c & 31;
    EXPECT_EQ(!f.filter(t.point), c == 2 || c == 8) << int(c);
  }
}

TEST(FilterCriteria, ClassZeroIsJudgedByTheExtendedClass) {
  TestPoint t(7);
  LASfilter keep, drop;
  ASSERT_TRUE(keep.parse("-keep_class 0 2"));
  ASSERT_TRUE(drop.parse("-drop_class 0"));
  t.point.classification = 0;
  t.point.extended_classification = 40;
  EXPECT_TRUE(keep.filter(t.point));   // class 40 is not among 0 and 2
  EXPECT_FALSE(drop.filter(t.point));  // nor is it class 0
  t.point.extended_classification = 0;
  EXPECT_FALSE(keep.filter(t.point));
  EXPECT_TRUE(drop.filter(t.point));
}

TEST(FilterCriteria, ExtendedClassesOfOldPointTypesAreTheirClasses) {
  // A LAS 1.2 point carries no extended class of its own; it must not count as class 0.
  TestPoint t(1);
  LASfilter f;
  ASSERT_TRUE(f.parse("-keep_extended_class 2 40"));
  t.point.classification = 2;
  t.point.extended_classification = 0;
  EXPECT_FALSE(f.filter(t.point));
  TestPoint e(6);
  e.point.extended_classification = 40;
  EXPECT_FALSE(f.filter(e.point));
  e.point.extended_classification = 41;
  EXPECT_TRUE(f.filter(e.point));
}

TEST(FilterCriteria, KeepClassTogetherWithKeepExtendedClassWarnsAndAddsNothing) {
  LASfilter f;
  const std::string err = messages_of([&] { EXPECT_TRUE(f.parse("-keep_class 2 -keep_extended_class 40")); });
  EXPECT_EQ(err,
            "WARNING: cannot combine '-keep_class' together with '-keep_extended_class'. use\n"
            "         exclusively 'extended' filters for filtering points with classes above 31\n");
  EXPECT_EQ(f.number_of_criteria(), 1u);
}

TEST(FilterCriteria, FilterOrCombinesTheLastTwo) {
  LASfilter f;
  ASSERT_TRUE(f.parse("-drop_z_below 10 -drop_z_above 20 -filter_or"));
  ASSERT_EQ(f.number_of_criteria(), 1u);
  EXPECT_STREQ(f.criterion(0).name(), "filter_or");
  EXPECT_EQ(f.get_decompress_selective(), 1u);
  TestPoint t;
  for (double z : {9.99, 10.0, 15.0, 19.99, 20.0, 25.0}) {
    t.point.set_z(z);
    EXPECT_EQ(!f.filter(t.point), z >= 10.0 && z < 20.0) << z;
  }
}

TEST(FilterCriteria, FilterAndDropsOnlyWhatBothDrop) {
  LASfilter f;
  ASSERT_TRUE(f.parse("-keep_class 2 -keep_intensity_above 100 -filter_and"));
  TestPoint t;
  const struct {
    uint8_t c;
    uint16_t i;
    bool keep;
  } cases[] = {{2, 0, true}, {2, 500, true}, {6, 500, true}, {6, 100, false}};
  for (const auto& c : cases) {
    t.point.classification = c.c & 31;
    t.point.intensity = c.i;
    EXPECT_EQ(!f.filter(t.point), c.keep);
  }
}

TEST(FilterCriteria, KeepPointSourceListKeepsAnyOfItsIds) {
  LASfilter f;
  ASSERT_TRUE(f.parse("-keep_point_source 3 7"));
  ASSERT_EQ(f.number_of_criteria(), 1u);
  EXPECT_EQ(f.get_command(), "-keep_point_source 3 -keep_point_source 7 -filter_and ");
  TestPoint t;
  for (uint16_t id = 0; id < 10; id++) {
    t.point.point_source_ID = id;
    EXPECT_EQ(!f.filter(t.point), id == 3 || id == 7);
  }
}

TEST(FilterCriteria, FirstOnlyIsKeepFirst) {
  LASfilter a, b;
  ASSERT_TRUE(a.parse("-first_only"));
  ASSERT_TRUE(b.parse("-keep_first"));
  EXPECT_EQ(a.get_command(), b.get_command());
  EXPECT_STREQ(a.criterion(0).name(), "keep_first");
}

TEST(FilterCriteria, ScanDirectionChangeDropsTheFirstPointAndRepeats) {
  LASfilter f;
  ASSERT_TRUE(f.parse("-keep_scan_direction_change"));
  TestPoint t;
  t.point.scan_direction_flag = 1;
  for (int k = 0; k < 5; k++) EXPECT_TRUE(f.filter(t.point));
  f.reset();
  std::vector<bool> kept_points;
  for (int flag : {1, 0, 1, 1, 0}) {
    t.point.scan_direction_flag = flag & 1;
    kept_points.push_back(!f.filter(t.point));
  }
  EXPECT_EQ(kept_points, (std::vector<bool>{false, true, true, false, true}));
}

TEST(FilterCriteria, EveryNthCountsOverResets) {
  LASfilter keep, drop;
  ASSERT_TRUE(keep.parse("-keep_every_nth 3"));
  ASSERT_TRUE(drop.parse("-drop_every_nth 3"));
  TestPoint t;
  std::vector<int> kept_numbers, dropped_numbers;
  for (int n = 1; n <= 10; n++) {
    if (n == 5) keep.reset();  // the count is not restarted
    if (!keep.filter(t.point)) kept_numbers.push_back(n);
    if (drop.filter(t.point)) dropped_numbers.push_back(n);
  }
  EXPECT_EQ(kept_numbers, (std::vector<int>{3, 6, 9}));
  EXPECT_EQ(dropped_numbers, (std::vector<int>{3, 6, 9}));
}

TEST(FilterCriteria, RandomFractionRepeatsAfterReset) {
  LASfilter f;
  ASSERT_TRUE(f.parse("-keep_random_fraction 0.25 4711"));
  TestPoint t;
  std::vector<bool> first, second;
  for (int k = 0; k < 1000; k++) first.push_back(!f.filter(t.point));
  f.reset();
  for (int k = 0; k < 1000; k++) second.push_back(!f.filter(t.point));
  EXPECT_EQ(first, second);
  const long n = std::count(first.begin(), first.end(), true);
  EXPECT_GT(n, 200);
  EXPECT_LT(n, 300);
  // The C library's generator from the seed, independently.
  uint32_t value = 4711;
  for (int k = 0; k < 1000; k++) {
    value = ((value * 214013u + 2531011u) >> 16) & 0x7FFF;
    EXPECT_EQ(first[static_cast<size_t>(k)], !(static_cast<float>(value) / 32767.0f > 0.25f));
  }
}

TEST(FilterCriteria, AbsoluteScanAngles) {
  LASfilter below, above;
  ASSERT_TRUE(below.parse("-drop_abs_scan_angle_below 5"));
  ASSERT_TRUE(above.parse("-drop_abs_scan_angle_above 5"));
  TestPoint t;
  for (int a = -10; a <= 10; a++) {
    t.point.scan_angle_rank = static_cast<int8_t>(a);
    EXPECT_EQ(below.filter(t.point), a > -5 && a < 5) << a;
    EXPECT_EQ(above.filter(t.point), a < -5 || a > 5) << a;
  }
}

TEST(FilterCriteria, ThinWithGridKeepsTheFirstPointOfEveryCell) {
  // Points in scattered cells, some cells visited several times in a shuffled order: the point kept
  // in a cell is always the first read.
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> coordinate(-50.0, 50.0);
  std::vector<std::pair<double, double>> xy(5000);
  for (auto& p : xy) p = {coordinate(rng), coordinate(rng)};
  LASfilter f;
  ASSERT_TRUE(f.parse("-thin_with_grid 1.0"));
  TestPoint t;
  std::set<std::pair<long, long>> seen;
  for (const auto& [x, y] : xy) {
    t.point.set_x(x);
    t.point.set_y(y);
    const std::pair<long, long> cell{static_cast<long>(std::floor(t.point.get_x())),
                                     static_cast<long>(std::floor(t.point.get_y()))};
    const bool first_in_cell = seen.insert(cell).second;
    EXPECT_EQ(!f.filter(t.point), first_in_cell);
  }
}

TEST(FilterCriteria, ThinWithGridHoldsRowsWiderThanSixteenBitSizes) {
  // 65280 words of 32 bits are 2,088,960 cells: a row of a fine grid over a wide area is longer.
  LASfilter f;
  ASSERT_TRUE(f.parse("-thin_with_grid 0.01"));
  TestPoint t;
  const double xs[] = {0.0, 30000.0, -30000.0, 25000.005, 30000.0, -30000.0, 25000.005, 0.0};
  std::vector<bool> kept_points;
  for (double x : xs) {
    t.point.set_x(x);
    t.point.set_y(5.0);
    kept_points.push_back(!f.filter(t.point));
  }
  EXPECT_EQ(kept_points, (std::vector<bool>{true, true, true, true, false, false, false, false}));
}

TEST(FilterCriteria, TimeThinning) {
  LASfilter pulses, points;
  ASSERT_TRUE(pulses.parse("-thin_pulses_with_time 1.0"));
  ASSERT_TRUE(points.parse("-thin_points_with_time 1.0"));
  TestPoint t;
  const double times[] = {0.2, 0.2, 0.7, 1.5, -0.5, 0.2, 1.5, -0.2};
  std::vector<bool> by_pulse, by_point;
  for (double time : times) {
    t.point.gps_time = time;
    by_pulse.push_back(!pulses.filter(t.point));
    by_point.push_back(!points.filter(t.point));
  }
  EXPECT_EQ(by_pulse, (std::vector<bool>{true, true, false, true, true, true, true, false}));
  EXPECT_EQ(by_point, (std::vector<bool>{true, false, false, true, true, false, false, false}));
}

TEST(FilterText, TakesAnyNumberOfWords) {
  std::string text;
  for (int k = 0; k < 300; k++) text += "-drop_user_data " + std::to_string(k % 256) + " ";
  LASfilter f;
  ASSERT_TRUE(f.parse(text));
  EXPECT_EQ(f.number_of_criteria(), 300u);
}

TEST(FilterText, CommandsOfAnyLength) {
  LASfilter f;
  for (int k = 0; k < 2000; k++) ASSERT_TRUE(f.parse("-keep_xyz 1 2 3 1e300 5 6"));
  const std::string command = f.get_command();
  EXPECT_GT(command.size(), 2000u * 300u);
  LASfilter again;
  ASSERT_TRUE(again.parse(command));
  EXPECT_EQ(again.get_command(), command);
}

// Points with varied fields of both record kinds, for comparing two filters.
std::vector<std::function<void(LASpoint&)>> varied_points(int n) {
  std::vector<std::function<void(LASpoint&)>> setters;
  std::mt19937 rng(11);  // 32-bit results
  for (int k = 0; k < n; k++) {
    uint32_t r[8];
    for (auto& v : r) v = static_cast<uint32_t>(rng());
    setters.push_back([r](LASpoint& p) {
      p.X = static_cast<int32_t>(r[0] % 20000) - 10000;
      p.Y = static_cast<int32_t>(r[1] % 20000) - 10000;
      p.Z = static_cast<int32_t>(r[2] % 5000);
      p.intensity = static_cast<uint16_t>(r[3]);
      p.number_of_returns = (r[4] % 5 + 1) & 7;
      p.return_number = (r[4] / 8 % 6) & 7;
      p.classification = (r[5] % 4 == 0 ? 0 : r[5] % 32) & 31;
      p.extended_classification =
          static_cast<uint8_t>(p.classification ? p.classification : (r[5] >> 8) % 64);
      p.scan_angle_rank = static_cast<int8_t>(static_cast<int>(r[6] % 61) - 30);
      p.user_data = static_cast<uint8_t>(r[6] >> 8);
      p.point_source_ID = static_cast<uint16_t>(r[7] % 10);
      p.gps_time = (r[7] >> 8) % 1000 * 0.01;
      p.withheld_flag = (r[3] >> 20) & 1;
      p.scan_direction_flag = (r[3] >> 21) & 1;
      p.rgb[0] = static_cast<uint16_t>(r[0] >> 16);
      p.rgb[1] = static_cast<uint16_t>(r[1] >> 16);
      p.rgb[2] = static_cast<uint16_t>(r[2] >> 16);
    });
  }
  return setters;
}

TEST(FilterText, UnparseRebuildsTheSameFilter) {
  const char* const filters[] = {
      "-keep_class 2 -keep_class 8 -drop_withheld",
      "-keep_class 2 -keep_classification_mask 256",
      "-keep_xy -12.3456789 -1 55.000001 77.7 -keep_z 0.1 33.3333333333",
      "-keep_tile -10.1 -20.2 30.3 -keep_circle 1.1 2.2 33.33",
      "-drop_z_below 10 -drop_z_above 20 -filter_or -keep_point_source 3 7",
      "-keep_extended_class 3 40 -keep_return 1 2 -drop_return_mask 8",
      "-drop_extended_class 0 41 -keep_number_of_returns 7 -keep_double",
      "-keep_random_fraction 0.3333333 99 -keep_gps_time 0.5 7.25",
      "-thin_with_grid 0.7 -keep_scan_angle 10 -10 -drop_abs_scan_angle_below 3",
      "-keep_NDVI 0.1 -0.3 -keep_RGB_red 100 30000 -filter_or -drop_user_data 1 2 3",
      "-keep_every_nth 3 -keep_scan_direction_change -keep_intensity_below 60000",
  };
  for (const char* text : filters) {
    SCOPED_TRACE(text);
    LASfilter a;
    ASSERT_TRUE(a.parse(text));
    std::string rebuilt;
    a.unparse(rebuilt);
    LASfilter b;
    ASSERT_TRUE(b.parse(rebuilt));
    std::string again;
    b.unparse(again);
    EXPECT_EQ(again, rebuilt);
    ASSERT_EQ(a.number_of_criteria(), b.number_of_criteria());
    TestPoint pa(7), pb(7);
    const auto points = varied_points(3000);
    EXPECT_EQ(kept(a, pa.point, points), kept(b, pb.point, points));
  }
}

}  // namespace
