// The stages the input opener builds: which filter and transform a command line gives, what they
// ask the reader to decode, the ignore set, and the points a reader delivers through them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "filter/lasinputstages.h"
#include "filter_test_util.h"
#include "pointio/lasinputopener.h"
#include "pointio/lasreader.h"
#include "tools/las_writer.h"

namespace {

using filter_test::Argv;
using filter_test::messages_of;
using filter_test::TestPoint;
using filter_test::words;

TEST(InputStages, FilteredTransformTakesTheFilter) {
  Argv args(words("-keep_class 2 -filtered_transform -set_user_data 7"));
  LASinputStages s;
  ASSERT_TRUE(s.parse(args.argc(), args.argv(), false));
  EXPECT_EQ(args.left(), "");
  EXPECT_EQ(s.filter(), nullptr);
  ASSERT_NE(s.transform(), nullptr);
  ASSERT_NE(s.transform()->get_filter(), nullptr);
  EXPECT_EQ(s.transform()->get_command(),
            "-keep_classification_mask 4 -filtered_transform -set_user_data 7 ");
  // The transform's operation reads nothing, but its filter reads the class.
  EXPECT_EQ(s.get_decompress_selective(), 2u);
}

TEST(InputStages, EmptyStagesAreDroppedWithTheirWarnings) {
  const struct {
    const char* args;
    bool filter, transform;
    const char* warning;
  } cases[] = {
      {"-v", false, false, ""},
      {"-keep_class 2", true, false, ""},
      {"-set_user_data 1", false, true, ""},
      {"-keep_class 2 -filtered_transform", true, false,
       "WARNING: no LAStransform specified. '-filtered_transform' has no effect.\n"},
      {"-filtered_transform -set_user_data 1", false, true,
       "WARNING: no LASfilter specified. '-filtered_transform' has no effect.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    Argv args(words(c.args));
    LASinputStages s;
    const std::string err = messages_of([&] { EXPECT_TRUE(s.parse(args.argc(), args.argv(), false)); });
    EXPECT_EQ(err, c.warning);
    EXPECT_EQ(s.filter() != nullptr, c.filter);
    EXPECT_EQ(s.transform() != nullptr, c.transform);
  }
}

TEST(InputStages, FieldMasksOfFilterTransformAndIgnoreSet) {
  const struct {
    const char* args;
    uint32_t mask;
  } cases[] = {
      {"-keep_class 2 -drop_withheld", 2 | 4},
      {"-keep_xy 0 0 1 1 -keep_z 0 1", 1},
      {"-keep_intensity 1 2 -drop_scan_angle_above 5 -keep_user_data 1", 8 | 16 | 32},
      {"-keep_point_source 3 7 -keep_gps_time 1 2", 64 | 128},
      {"-keep_RGB_red 1 2 -keep_RGB_nir 1 2 -keep_wavepacket 1", 256 | 512 | 1024},
      {"-keep_attribute_above 0 1.0", 0xFFFF0000u},
      {"-translate_z 1 -scale_intensity 2 -set_classification 2", 1 | 8},
      {"-copy_user_data_into_point_source -bin_gps_time_into_intensity 1", 32 | 128},
      {"-switch_RGBI_into_CIR -add_scaled_attribute_to_user_data 0 2", 768 | 0xFFFF0020u},
      {"-ignore_class 7 -ignore_withheld", 2 | 4},
      {"-ignore_single", 0},
      {"-keep_first -keep_every_nth 2 -thin_with_grid 1 -set_point_source 3", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    Argv args(words(c.args));
    LASinputStages s;
    ASSERT_TRUE(s.parse(args.argc(), args.argv(), true));
    EXPECT_EQ(s.get_decompress_selective(), c.mask);
  }
}

TEST(IgnoreSet, ParsesItsOptionsAndIgnoresThosePoints) {
  Argv args(words("-ignore_class 7 40 -ignore_last -ignore_overlap -i x.las"));
  LASinputStages s;
  ASSERT_TRUE(s.parse(args.argc(), args.argv(), true));
  EXPECT_EQ(args.left(), "-i x.las");
  const LASignore& ignore = *s.ignore();
  TestPoint legacy(1), extended(7);
  legacy.point.classification = 7;
  EXPECT_TRUE(ignore.ignore(legacy.point));
  legacy.point.classification = 2;
  legacy.point.return_number = 1, legacy.point.number_of_returns = 1;  // single
  EXPECT_TRUE(ignore.ignore(legacy.point));
  legacy.point.return_number = 1, legacy.point.number_of_returns = 3;
  EXPECT_FALSE(ignore.ignore(legacy.point));
  legacy.point.return_number = 3;  // last of many
  EXPECT_TRUE(ignore.ignore(legacy.point));
  extended.point.return_number = 1, extended.point.number_of_returns = 2;
  extended.point.extended_classification = 40;
  EXPECT_TRUE(ignore.ignore(extended.point));
  extended.point.extended_classification = 41;
  EXPECT_FALSE(ignore.ignore(extended.point));
  extended.point.extended_classification_flags = 8;
  EXPECT_TRUE(ignore.ignore(extended.point));
  std::string text;
  ignore.unparse(text);
  EXPECT_EQ(text, "-ignore_class 7 40 -ignore_last_of_many -ignore_single -ignore_overlap ");
}

TEST(IgnoreSet, BadOptions) {
  const struct {
    const char* args;
    const char* message;
  } cases[] = {
      {"-ignore_class 256",
       "ERROR: '-ignore_class' needs arguments between 0 and 255 but '256' is out of range\n"},
      {"-ignore_class_mask 0",
       "ERROR: '-ignore_class_mask' needs argument between 0x00000000 and 0xFFFFFFFF but 0 makes no sense\n"},
      {"-ignore_class_mask 4294967295",
       "ERROR: '-ignore_class_mask' needs argument between 0x00000000 and 0xFFFFFFFF but 4294967295 makes no "
       "sense\n"},
      {"-ignore_everything", "ERROR: cannot understand argument '-ignore_everything'\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    Argv args(words(c.args));
    LASinputStages s;
    const std::string err = messages_of([&] { EXPECT_FALSE(s.parse(args.argc(), args.argv(), true)); });
    EXPECT_EQ(err, c.message);
  }
}

TEST(IgnoreSet, ThisToolRefusesItsOptions) {
  Argv args(words("-ignore_class 2"));
  LASinputOpener opener;
  opener.set_point_stages(std::make_unique<LASinputStages>());
  const std::string err = messages_of([&] { EXPECT_FALSE(opener.parse(args.argc(), args.argv())); });
  EXPECT_NE(err.find("ERROR: this tool does not process '-ignore_xxxx' options\n"), std::string::npos);
}

TEST(InputStages, UnparseRebuildsTheStages) {
  const char* const lines[] = {
      "-keep_class 2 -drop_withheld -translate_z 0.3 -scale_intensity 1.5",
      "-keep_class 2 -filtered_transform -set_user_data 7 -translate_x 1.1",
      "-ignore_class 3 -ignore_first -keep_z 1 2.5 -set_classification 9",
  };
  for (const char* line : lines) {
    SCOPED_TRACE(line);
    Argv args(words(line));
    LASinputStages a;
    ASSERT_TRUE(a.parse(args.argc(), args.argv(), true));
    std::string text;
    a.unparse(text);
    Argv again(words(text));
    LASinputStages b;
    ASSERT_TRUE(b.parse(again.argc(), again.argv(), true));
    EXPECT_EQ(again.left(), "");
    std::string text_b;
    b.unparse(text_b);
    EXPECT_EQ(text_b, text);
  }
}

// A small LAS file of known points in a temporary folder.
class PointFile : public testing::Test {
 protected:
  void SetUp() override {
    path_ = (std::filesystem::temp_directory_path() / ("cm_stages_" + std::to_string(::getpid()) + ".las"))
                .string();
    las_test::Options o;
    o.point_data_format = 1;
    std::vector<las_test::Point> pts;
    for (int i = 0; i < 40; i++) {
      las_test::Point p;
      p.x = i, p.y = 2 * i, p.z = 100 + i;
      p.classification = static_cast<uint8_t>(i % 4 == 0 ? 2 : 5);
      p.intensity = static_cast<uint16_t>(10 * i);
      p.point_source_ID = 9;
      pts.push_back(p);
    }
    ASSERT_TRUE(las_test::write_file(path_, las_test::build(o, pts)));
  }
  void TearDown() override { std::filesystem::remove(path_); }

  // Opens the file with the options and answers the points read as (class, z, intensity, source).
  std::vector<std::array<double, 4>> read(const std::string& options, int passes = 1) {
    Argv args(words("-i " + path_ + " " + options));
    LASinputOpener opener;
    opener.set_point_stages(std::make_unique<LASinputStages>());
    EXPECT_TRUE(opener.parse(args.argc(), args.argv()));
    EXPECT_EQ(args.left(), "");
    std::unique_ptr<LASreader> reader = opener.open();
    EXPECT_NE(reader, nullptr);
    std::vector<std::array<double, 4>> points;
    if (!reader) return points;
    for (int pass = 0; pass < passes; pass++) {
      if (pass) {
        EXPECT_TRUE(opener.reopen(reader));
      }
      points.clear();
      while (reader->read_point()) {
        const LASpoint& p = reader->point;
        points.push_back(
            {double(p.classification), p.get_z(), double(p.intensity), double(p.point_source_ID)});
      }
    }
    EXPECT_TRUE(opener.check_for_overflow());
    return points;
  }

  std::string path_;
};

TEST_F(PointFile, FilterAndTransformRunInTheReader) {
  const auto points = read("-keep_class 2 -translate_z 0.5 -set_classification 6");
  ASSERT_EQ(points.size(), 10u);
  for (size_t k = 0; k < points.size(); k++) {
    EXPECT_EQ(points[k][0], 6);
    EXPECT_DOUBLE_EQ(points[k][1], 100.0 + 4 * static_cast<double>(k) + 0.5);
  }
}

TEST_F(PointFile, TheReaderDropsAndCountsLikeTheFilter) {
  // Leading class criteria are looked up by the reader itself when the filter is its first stage;
  // the points kept and the drops counted at each criterion must be those of the filter, and an
  // area before the filter leaves only the points inside it to be counted.
  struct Case {
    const char* options;
    size_t kept;
    std::vector<uint64_t> drops;
  };
  const Case cases[] = {
      {"-keep_class 2", 10, {30}},
      {"-keep_class 2 -drop_z_above 120", 5, {30, 5}},  // z = 100 + i, dropped from 120 on
      {"-drop_z_above 120 -keep_class 2", 5, {20, 15}},
      {"-inside 0 0 30 60 -keep_class 2", 8, {22}},  // x = i, y = 2i: i below 30
  };
  for (const Case& c : cases) {
    Argv args(words("-i " + path_ + " " + c.options));
    LASinputOpener opener;
    auto stages = std::make_unique<LASinputStages>();
    LASinputStages* held = stages.get();
    opener.set_point_stages(std::move(stages));
    ASSERT_TRUE(opener.parse(args.argc(), args.argv())) << c.options;
    std::unique_ptr<LASreader> reader = opener.open();
    ASSERT_NE(reader, nullptr) << c.options;
    size_t kept = 0;
    while (reader->read_point()) {
      EXPECT_EQ(reader->point.classification, 2) << c.options;
      kept++;
    }
    EXPECT_EQ(kept, c.kept) << c.options;
    const LASfilter* filter = held->filter();
    ASSERT_NE(filter, nullptr);
    ASSERT_EQ(filter->number_of_criteria(), c.drops.size()) << c.options;
    for (size_t i = 0; i < c.drops.size(); i++)
      EXPECT_EQ(filter->drop_count(i), c.drops[i]) << c.options << " " << i;
  }
}

TEST_F(PointFile, FilteredTransformChangesOnlyKeptPointsAndDropsNone) {
  const auto points = read("-keep_class 2 -filtered_transform -translate_z 0.5 -set_intensity 1");
  ASSERT_EQ(points.size(), 40u);
  for (size_t i = 0; i < points.size(); i++) {
    const bool kept = i % 4 == 0;
    EXPECT_EQ(points[i][0], kept ? 2 : 5);
    EXPECT_DOUBLE_EQ(points[i][1], 100.0 + static_cast<double>(i) + (kept ? 0.5 : 0.0));
    EXPECT_EQ(points[i][2], kept ? 1 : 10.0 * static_cast<double>(i));
  }
}

TEST_F(PointFile, StatefulStagesStartAgainOnEveryPass) {
  // Grids and random chains start again with every pass; the nth counter runs on over passes.
  EXPECT_EQ(read("-thin_with_grid 100", 2).size(), 1u);
  EXPECT_EQ(read("-keep_random_fraction 0.5 5", 2), read("-keep_random_fraction 0.5 5", 1));
  const auto first = read("-keep_every_nth 3", 1);
  const auto second = read("-keep_every_nth 3", 2);
  ASSERT_EQ(first.size(), 13u);
  ASSERT_EQ(second.size(), 13u);
  EXPECT_DOUBLE_EQ(first[0][1], 102.0);   // the third point of the first pass
  EXPECT_DOUBLE_EQ(second[0][1], 101.0);  // after 40 points, the second point of the next one
}

TEST_F(PointFile, FlightLinesNumberThePoints) {
  const auto points = read("-faf 17 -set_point_source 3");
  ASSERT_EQ(points.size(), 40u);
  for (const auto& p : points) EXPECT_EQ(p[3], 17);
  const auto applied = read("-apply_file_source_ID -keep_class 5");
  ASSERT_EQ(applied.size(), 30u);
  for (const auto& p : applied) EXPECT_EQ(p[3], 0);  // the file's source ID
}

}  // namespace
