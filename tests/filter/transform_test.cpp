// The point transform: option parsing and its messages, the value rules of the operations, the
// files some of them read, overflow counting and the text forms of a transform.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "filter/lastransform.h"
#include "filter_test_util.h"

namespace {

using filter_test::Argv;
using filter_test::messages_of;
using filter_test::TestPoint;
using filter_test::words;

// A text file in the temporary folder, removed afterwards.
class TextFile {
 public:
  TextFile(const std::string& name, const std::string& text)
      : path_(std::filesystem::temp_directory_path() / (name + "_" + std::to_string(::getpid()) + ".txt")) {
    std::ofstream(path_) << text;
  }
  ~TextFile() { std::filesystem::remove(path_); }
  std::string path() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

struct BadCase {
  const char* args;
  const char* message;
};

const BadCase kBadCases[] = {
    {"-translate_xyz 1 2", "ERROR: '-translate_xyz' needs 3 arguments: offset_x offset_y offset_z\n"},
    {"-translate_then_scale_x 1 s",
     "ERROR: '-translate_then_scale_x' needs 2 arguments: offset scale but 's' is no valid scale\n"},
    {"-bin_gps_time_into_intensity", "ERROR: '-bin_gps_time_into_intensity' needs 1 argument: bin_size\n"},
    {"-set_intensity 65536", "ERROR: cannot set intensity because value of 65536 is larger than 65535\n"},
    {"-clamp_intensity 0 70000",
     "ERROR: cannot clamp intensity because above value of 70000 is larger than 65535\n"},
    {"-set_classification 256",
     "ERROR: cannot set classification because classification of 256 is larger than 255\n"},
    {"-change_classification_from_to 300 2",
     "ERROR: cannot change classification because from_value 300 is larger than 255\n"},
    {"-change_class_from_to 2 300",
     "ERROR: cannot change classification because to_value 300 is larger than 255\n"},
    {"-classify_z_below_as 5.0 256",
     "ERROR: cannot classify z_value because classification of 256 is larger than 255\n"},
    {"-classify_intensity_between_as 10 70000 2",
     "ERROR: cannot classify intensity because max_value of 70000 is larger than 65535\n"},
    {"-classify_attribute_above_as 0 1.0 999",
     "ERROR: cannot classify attribute above because classification of 999 is larger than 255\n"},
    {"-set_return_number 8", "ERROR: cannot set return_number because 8 is larger than 7\n"},
    {"-set_extended_number_of_returns 16",
     "ERROR: cannot set extended_number_of_returns because 16 is larger than 15\n"},
    {"-change_number_of_returns_from_to 1 9",
     "ERROR: cannot change number_of_returns because to_value 9 is larger than 7\n"},
    {"-set_scan_angle -181", "ERROR: cannot set scan angle because value -181 is smaller than -180\n"},
    {"-set_scan_angle 180.5", "ERROR: cannot set scan angle rank because value 180.5 is larger than 180\n"},
    {"-set_user_data 256", "ERROR: cannot set user data because value 256 is larger than 255\n"},
    {"-set_point_source 65536",
     "ERROR: cannot set point source ID because value 65536 is larger than 65535\n"},
    {"-set_point_source", "ERROR: '-set_point_source' need 1 argument: psid\n"},
    {"-set_withheld_flag", "ERROR: '-set_withheld_flag' need 1 argument: value\n"},
    {"-set_withheld_flag 2", "ERROR: cannot set withheld flag because value 2 is larger than 1\n"},
    {"-set_scanner_channel 4", "ERROR: cannot set scanner channel because value 4 is larger than 3\n"},
    {"-set_RGB 1 70000 3", "ERROR: cannot set RGB because G is 70000, which is larger than 65535\n"},
    {"-set_RGB_of_class 300 1 2 3",
     "ERROR: cannot set RGB because classification is 300, which is larger than 255\n"},
    {"-set_NIR 65536", "ERROR: cannot set NIR because value is 65536, which is larger than 65535\n"},
    {"-bin_gps_time_into_point_source 0",
     "ERROR: 0 is no valid bin_size for '-bin_gps_time_into_point_source'\n"},
    {"-bin_abs_scan_angle_into_point_source -1",
     "ERROR: -1.000000 is no valid bin_size for '-bin_abs_scan_angle_into_point_source'\n"},
    {"-bin_Z_into_point_source 0", "ERROR: 0 is no valid bin_size for '-bin_Z_into_point_source'\n"},
    {"-multiply_scaled_intensity_into_RGB_red 0",
     "ERROR: '-multiply_scaled_intensity_into_RGB_red' needs 1 argument: scale but '0' is no valid scale\n"},
    {"-multiply_divided_intensity_into_RGB_nir 0",
     "ERROR: '-multiply_divided_intensity_into_RGB_nir' needs 1 argument: scale but '0' is no valid "
     "divisor\n"},
    {"-add_scaled_attribute_to_z 0 0",
     "ERROR: '-add_scaled_attribute_to_z' needs 2 arguments: index scale but '0' is no valid scale\n"},
    {"-set_register 16 1.0", "ERROR: '-set_register' index of register 16 is out of valid [0,15] range\n"},
    {"-copy_register_into_z 99",
     "ERROR: '-copy_register_into_z' index of register 99 is out of valid [0,15] range\n"},
    {"-add_registers 0 1 16",
     "ERROR: '-add_registers' needs 3 arguments: input1 input2 output but 16 is out-of-range for output\n"},
    {"-copy_register_into_attribute 16 0",
     "ERROR: '-copy_register_into_attribute' 1st of 2 arguments index of register 16 is out of valid [0,15] "
     "range\n"},
    {"-copy_attribute_into_register 0 20",
     "ERROR: '-copy_attribute_into_register' 2nd of 2 arguments index of register 20 is out of valid [0,15] "
     "range\n"},
    {"-copy_attribute_into_register x 2",
     "ERROR: '-copy_attribute_into_register' 1st of 2 arguments index of attribute 'x' is no valid index\n"},
    {"-copy_register_into_attribute 2 x",
     "ERROR: '-copy_register_into_attribute' 2nd of 2 arguments index of attribute 'x' is no valid index\n"},
    {"-transform_helmert 1,2",
     "ERROR: '-transform_helmert' needs 3 or 7 comma separated parameters as argument\n"},
    {"-transform_affine 1,2,3",
     "ERROR: '-transform_affine' needs 4 comma separated parameters as argument\n"},
    {"-transform_matrix 1,0,0 0,1,0 0,0,1",
     "ERROR: '-transform_matrix' needs 4 arguments: 4 x 3 comma separated values\n"},
    {"-transform_matrix 1,0,0 0,1,0 0,0,1,9 0,0,0",
     "ERROR: '-transform_matrix' needs 4 arguments: 4 x 3 comma separated values\n"},
    {"-map_intensity /nonexistent/map.txt",
     "ERROR: '-map_intensity' needs text file with map but '/nonexistent/map.txt' cannot be opened\n"},
    {"-map_user_data /nonexistent/map.txt",
     "ERROR: cannot '-map_user_data' needs text file with map but '/nonexistent/map.txt' cannot be opened\n"},
    {"-map_attribute_into_RGB 0 /nonexistent/map.txt",
     "ERROR: '-map_attribute_into_RGB' needs text file with map but '/nonexistent/map.txt' cannot be "
     "opened\n"},
    {"-load_attribute_from_text 0 /nonexistent/values.txt",
     "ERROR: '-load_attribute_from_text' needs text file with attribute values but '/nonexistent/values.txt' "
     "cannot be "
     "opened\n"},
};

TEST(TransformParse, BadArgumentsPrintTheirMessageAndFail) {
  for (const BadCase& c : kBadCases) {
    SCOPED_TRACE(c.args);
    Argv args(words(c.args));
    LAStransform t;
    bool ok = true;
    const std::string err = messages_of([&] { ok = t.parse(args.argc(), args.argv()); });
    EXPECT_FALSE(ok);
    EXPECT_EQ(err, c.message);
  }
}

TEST(TransformParse, ConsumesItsOwnWordsAndLeavesTheRest) {
  Argv args(words(
      "-i a.las -translate_z -1.5 -v -filtered_transform -set_classification 2 -keep_class 2 -scale_foo"));
  LAStransform t;
  ASSERT_TRUE(t.parse(args.argc(), args.argv()));
  EXPECT_EQ(args.left(), "-i a.las -v -keep_class 2 -scale_foo");
  EXPECT_TRUE(t.is_filtered());
  EXPECT_EQ(t.get_command(), "-translate_z -1.500000 -set_classification 2 ");
}

TEST(TransformParse, CommandsOfTheListOptions) {
  LAStransform t;
  ASSERT_TRUE(
      t.parse("-transform_helmert 1,2,3 -transform_helmert 1,2,3,4,5,6,7 -transform_affine 1,2,3,4 "
              "-transform_matrix 1,0,0 0,1,0 0,0,1 5,6,7 -multiply_divided_intensity_into_RGB_green 4"));
  EXPECT_EQ(
      t.get_command(),
      "-translate_xyz 1.000000 2.000000 3.000000 "
      "-transform_helmert 1.000000,2.000000,3.000000,4.000000,5.000000,6.000000,7.000000 "
      "-transform_affine 1.000000,2.000000,3.000000,4.000000 "
      "-transform_matrix 1.000000,0.000000,0.000000 0.000000,1.000000,0.000000 0.000000,0.000000,1.000000 "
      "5.000000,6.000000,7.000000 "
      "-multiply_scaled_intensity_into_RGB_green 0.250000 ");
}

TEST(TransformOverflow, TranslateZPastTheIntegersIsCountedAndReported) {
  LAStransform t;
  ASSERT_TRUE(t.parse("-translate_z 30000000"));
  TestPoint p;
  p.point.Z = 1000;
  t.transform(p.point);
  EXPECT_EQ(t.operation(0).get_overflow(), 1);
  const std::string err = messages_of([&] { EXPECT_FALSE(t.check_for_overflow()); });
  EXPECT_EQ(
      err,
      "ERROR: total of 1 overflows caused by '-translate_z 30000000.000000': the new coordinates do not fit "
      "32-bit integers with the file's scale and offset\n");
  t.reset();
  EXPECT_EQ(t.operation(0).get_overflow(), 0);
  EXPECT_TRUE(t.check_for_overflow());
}

TEST(TransformOverflow, EveryCoordinateOperationCounts) {
  // Each moves a point at the origin past the 32-bit integers of a 0.01 scale (21.47 km).
  const char* const ops[] = {"-translate_x 3e7",
                             "-translate_xyz 0 0 -3e7",
                             "-scale_y 1e30",
                             "-translate_then_scale_z 1 3e8",
                             "-rotate_xy 90 -3e7 0",
                             "-clamp_z_below 3e7",
                             "-transform_affine 1,0,3e7,0",
                             "-transform_matrix 1,0,0 0,1,0 0,0,1 0,0,3e7",
                             "-translate_raw_x 2147483647",
                             "-copy_register_into_y 0",
                             "-add_attribute_to_z 0"};
  for (const char* op : ops) {
    SCOPED_TRACE(op);
    LAStransform t;
    ASSERT_TRUE(t.parse(std::string(op) + " -set_register 0 1e300"));
    TestPoint p(1, 8, {filter_test::attribute(10)});
    p.point.X = p.point.Y = p.point.Z = 1;
    const double big = 3e7;
    std::memcpy(p.point.extra_bytes.data(), &big, sizeof big);
    t.transform(p.point);
    t.transform(p.point);  // the register is set by the first pass
    EXPECT_GE(t.operation(0).get_overflow(), 1);
    messages_of([&] { EXPECT_FALSE(t.check_for_overflow()); });
  }
}

// The integer a real coordinate value is stored as: rounded half away from the offset; a value
// past the 32-bit integers is an overflow and keeps the low 32 bits.
struct Stored {
  int32_t value;
  bool overflow;
};
Stored store_moved(int32_t v, double scale, double offset, double translation) {
  const double real = scale * v + offset + translation;
  const double q = (real - offset) / scale;
  const double r = real >= offset ? q + 0.5 : q - 0.5;
  if (r > -2147483649.0 && r < 2147483648.0) return {static_cast<int32_t>(r), false};
  if (std::isnan(r)) return {0, true};
  const auto wide = static_cast<int64_t>(std::clamp(r, -9.2e18, 9.2e18));
  return {static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(wide))), true};
}

// Moves by whole numbers of quanta take an integer shortcut; every move must still store exactly
// what quantising the moved real value stores, for any scale and offset, near the integer limits,
// and when the scale changes from one point to the next (points of two files).
TEST(TransformOverflow, TranslationsStoreTheQuantisedMovedValue) {
  const double scales[] = {0.01, 0.001, 0.0025, 1e-7, 0.1, 1.0, 0.3, 1e-12};
  const double offsets[] = {0.0, 5e6, -3.3e5, 1e9, 123.456, -1e15};
  const double moves[] = {1.5,    -1.5, 0.002,  0.005, 0.0049999,  1e-9,   3e7,
                          -2.5e7, 0.0,  -0.005, 0.015, 1234567.89, 0.0125, 1e12};
  std::mt19937 rng(5);
  std::uniform_int_distribution<int32_t> any(INT32_MIN, INT32_MAX);
  std::vector<int32_t> values = {0, 1, -1, INT32_MAX, INT32_MIN, INT32_MAX - 150, INT32_MIN + 150, 200, -200};
  for (int i = 0; i < 40; i++) values.push_back(any(rng));
  for (int i = 0; i < 40; i++) values.push_back(any(rng) / 65536);
  int64_t overflows_expected = 0;
  for (double move : moves) {
    SCOPED_TRACE(move);
    LAStransform t;
    char text[160];
    std::snprintf(text, sizeof text, "-translate_z %.17g -translate_xyz %.17g 0 %.17g", move, move, -move);
    ASSERT_TRUE(t.parse(text));
    int64_t z_overflows = 0, xyz_overflows = 0;
    TestPoint a, b;
    for (double scale : scales) {
      for (double offset : offsets) {
        // Points alternate between two headers: the first with these numbers, the second always
        // with 0.01 and 0.
        a.header.x_scale_factor = a.header.z_scale_factor = scale;
        a.header.x_offset = a.header.z_offset = offset;
        for (int32_t v : values) {
          for (TestPoint* p : {&a, &b}) {
            const LASquantizer& q = p->header;
            p->point.X = v;
            p->point.Y = v;
            p->point.Z = v;
            const Stored z = store_moved(v, q.z_scale_factor, q.z_offset, move);
            const Stored zz = store_moved(z.value, q.z_scale_factor, q.z_offset, -move);
            const Stored x = store_moved(v, q.x_scale_factor, q.x_offset, move);
            t.transform(p->point);
            EXPECT_EQ(p->point.X, x.value)
                << "scale " << q.x_scale_factor << " offset " << q.x_offset << " X " << v;
            EXPECT_EQ(p->point.Y, v);
            EXPECT_EQ(p->point.Z, zz.value)
                << "scale " << q.z_scale_factor << " offset " << q.z_offset << " Z " << v;
            z_overflows += z.overflow;
            xyz_overflows += x.overflow + zz.overflow;
          }
        }
      }
    }
    EXPECT_EQ(t.operation(0).get_overflow(), z_overflows);
    EXPECT_EQ(t.operation(1).get_overflow(), xyz_overflows);
    overflows_expected += z_overflows;
    if (HasFailure()) return;
  }
  EXPECT_GT(overflows_expected, 0) << "the table must reach past the integers";
}

TEST(TransformOperations, ClassesAboveThirtyOneLiveInTheExtendedClass) {
  TestPoint p(6);
  LAStransform set, change, back;
  ASSERT_TRUE(set.parse("-set_classification 40"));
  ASSERT_TRUE(change.parse("-change_classification_from_to 2 40"));
  ASSERT_TRUE(back.parse("-change_classification_from_to 40 2"));
  p.point.classification = 2;
  p.point.extended_classification = 2;
  p.point.withheld_flag = 1;
  set.transform(p.point);
  EXPECT_EQ(p.point.extended_classification, 40);
  EXPECT_EQ(p.point.classification, 0);
  EXPECT_EQ(p.point.withheld_flag, 1);
  p.point.classification = 2;
  p.point.extended_classification = 2;
  change.transform(p.point);
  EXPECT_EQ(p.point.extended_classification, 40);
  EXPECT_EQ(p.point.classification, 0);
  back.transform(p.point);
  EXPECT_EQ(p.point.extended_classification, 2);
  EXPECT_EQ(p.point.classification, 2);
}

TEST(TransformOperations, FieldsARecordLacksDoNotCarryOverToTheNextPoint) {
  // A LAS 1.2 point has no extended class and no colours: what an operation wrote there for one
  // point must not be seen by the next one, which the reader fills afresh in its own fields only.
  TestPoint p(1);
  LAStransform t;
  ASSERT_TRUE(
      t.parse("-change_classification_from_to 2 40 -change_classification_from_to 40 3 "
              "-set_RGB_of_class 2 7 8 9 -copy_R_into_intensity"));
  p.point.classification = 2;
  t.transform(p.point);
  EXPECT_EQ(p.point.classification, 3);  // 2 became 40, then 3
  p.point.classification = 2;            // the next record: class 2 again, but its colour unread
  p.point.classification = 1;
  p.point.intensity = 5;
  t.transform(p.point);
  EXPECT_EQ(p.point.classification, 1);
  EXPECT_EQ(p.point.extended_classification, 0);
  EXPECT_EQ(p.point.intensity, 0);  // no colour carried over from the first point
}

// Hides an operation's fast kind, so that a transform calls the operation itself.
class CalledOperation final : public LASoperation {
 public:
  explicit CalledOperation(const LASoperation& inner) : inner_(const_cast<LASoperation&>(inner)) {}
  const char* name() const override { return inner_.name(); }
  void write_command(CommandWriter& out) const override { inner_.write_command(out); }
  uint32_t get_decompress_selective() const override { return inner_.get_decompress_selective(); }
  void transform(LASpoint& point) override { inner_.transform(point); }

 private:
  LASoperation& inner_;
};

TEST(TransformOperations, FastOperationsChangePointsLikeTheOperationsInTurn) {
  // Fast operations run without a virtual call, as a fixed chain when each changes its own
  // fields; every chain must leave each point as the operations applied one by one do, overflow
  // counts included.
  const char* const chains[] = {
      "-translate_z 1.5 -scale_intensity 1.5 -set_classification 2",
      "-set_point_source 7 -set_user_data 9 -translate_xyz 1 2 -3.25 -set_classification 40",
      "-translate_z 1 -translate_z 2",
      "-translate_z 0.005 -translate_xyz 1 1 1",
      "-scale_intensity 2 -set_intensity 5 -set_classification 3",
      "-set_classification 7 -change_classification_from_to 7 9 -scale_intensity 0.5",
  };
  for (const char* text : chains) {
    LAStransform fast, parsed, called;
    ASSERT_TRUE(fast.parse(text)) << text;
    ASSERT_TRUE(parsed.parse(text)) << text;
    for (size_t i = 0; i < parsed.number_of_operations(); i++)
      called.add_operation(std::make_unique<CalledOperation>(parsed.operation(i)));
    std::mt19937 random(7);
    for (const uint8_t format : {uint8_t{1}, uint8_t{7}}) {
      TestPoint a(format), b(format);
      for (int n = 0; n < 2000; n++) {
        for (LASpoint* p : {&a.point, &b.point}) {
          std::mt19937 same = random;  // both points get the same fields
          p->X = static_cast<int32_t>(same());
          p->Y = static_cast<int32_t>(same());
          p->Z = n % 10 == 0 ? INT32_MAX - static_cast<int32_t>(same() % 300) : static_cast<int32_t>(same());
          p->intensity = static_cast<uint16_t>(same());
          p->classification = same() & 31;
          p->user_data = static_cast<uint8_t>(same());
        }
        random.discard(6);
        fast.transform(a.point);
        called.transform(b.point);
        ASSERT_TRUE(filter_test::same_fields(a.point, b.point)) << text << ": point " << n;
      }
    }
    for (size_t i = 0; i < fast.number_of_operations(); i++)
      EXPECT_EQ(fast.operation(i).get_overflow(), parsed.operation(i).get_overflow()) << text << ": " << i;
  }
}

TEST(TransformOperations, AFilteredTransformLeavesNoClassOnThePointsItSkips) {
  // Only set_classification of these writes a field a LAS 1.2 record lacks (the extended class);
  // a point the transform's filter skips must not show the class it gave the point before.
  LAStransform t;
  ASSERT_TRUE(t.parse("-set_classification 40 -translate_z 1"));
  auto filter = std::make_unique<LASfilter>();
  ASSERT_TRUE(filter->parse("-keep_class 2"));
  t.set_filter(std::move(filter));
  TestPoint p(1);
  p.point.classification = 2;
  t.transform(p.point);
  EXPECT_EQ(p.point.extended_classification, 40);
  p.point.classification = 3;  // the next record, which the reader fills in its own fields only
  t.transform(p.point);
  EXPECT_EQ(p.point.classification, 3);
  EXPECT_EQ(p.point.extended_classification, 0);
}

TEST(TransformOperations, ValueRulesAtTheirEdges) {
  TestPoint p(3);
  const auto apply = [&](const char* text) {
    LAStransform t;
    EXPECT_TRUE(t.parse(text)) << text;
    t.transform(p.point);
  };
  p.point.scan_angle_rank = 100;
  apply("-scale_scan_angle 2");
  EXPECT_EQ(p.point.scan_angle_rank, 127);
  p.point.scan_angle_rank = -100;
  apply("-scale_scan_angle 2");
  EXPECT_EQ(p.point.scan_angle_rank, -128);
  p.point.scan_angle_rank = 3;
  apply("-translate_then_scale_scan_angle 0.5 -1");  // -3.5 rounds away from zero
  EXPECT_EQ(p.point.scan_angle_rank, -4);

  p.point.rgb[0] = 255, p.point.rgb[1] = 255, p.point.rgb[2] = 300;
  apply("-scale_RGB_to_16bit");
  EXPECT_EQ(p.point.rgb[2], 300);
  apply("-scale_RGB_to_8bit");
  EXPECT_EQ(p.point.rgb[0], 0);
  EXPECT_EQ(p.point.rgb[1], 0);
  EXPECT_EQ(p.point.rgb[2], 1);

  p.point.return_number = 0, p.point.number_of_returns = 0;
  apply("-repair_zero_returns");
  EXPECT_EQ(p.point.return_number, 1);
  EXPECT_EQ(p.point.number_of_returns, 1);
  p.point.return_number = 2, p.point.number_of_returns = 0;
  apply("-repair_zero_returns");
  EXPECT_EQ(p.point.return_number, 2);
  EXPECT_EQ(p.point.number_of_returns, 1);

  p.point.intensity = 40000;
  apply("-scale_intensity 2");
  EXPECT_EQ(p.point.intensity, 65535);
  apply("-translate_intensity -70000");
  EXPECT_EQ(p.point.intensity, 0);
  p.point.intensity = 3;
  apply("-translate_then_scale_intensity 0.5 2");
  EXPECT_EQ(p.point.intensity, 7);

  p.point.user_data = 200;
  apply("-scale_user_data 1.5");
  EXPECT_EQ(p.point.user_data, 255);

  p.point.Z = -2000;
  apply("-bin_Z_into_point_source 7");
  EXPECT_EQ(p.point.point_source_ID, 0);
  p.point.Z = 2000;
  apply("-bin_Z_into_point_source 7");
  EXPECT_EQ(p.point.point_source_ID, 285);

  p.point.gps_time = -12.5;
  apply("-bin_gps_time_into_point_source 1");
  EXPECT_EQ(p.point.point_source_ID, 0);  // held at 0, not wrapped
  p.point.gps_time = 2e9;
  apply("-bin_gps_time_into_intensity 1");
  EXPECT_EQ(p.point.intensity, 65535);
}

TEST(TransformOperations, GpsWeeksRoundTrip) {
  TestPoint p(1);
  for (double t : {0.0, 123456.789, 1.5e8, -2.5e7}) {
    p.point.gps_time = t;
    LAStransform to_week;
    ASSERT_TRUE(to_week.parse("-adjusted_to_week"));
    to_week.transform(p.point);
    const double seconds = p.point.gps_time;
    EXPECT_GE(seconds, 0.0);
    EXPECT_LT(seconds, 604800.0);
    if (t == 0.0) {
      EXPECT_NE(seconds, 0.0);  // adjusted time 0 is not a week boundary
    }
    const auto week = static_cast<uint32_t>(std::trunc((t + 1e9) / 604800.0));
    LAStransform back;
    ASSERT_TRUE(back.parse("-week_to_adjusted " + std::to_string(week)));
    back.transform(p.point);
    EXPECT_DOUBLE_EQ(p.point.gps_time, t);
  }
}

TEST(TransformOperations, RandomRawOffsetsRepeatAfterReset) {
  TestPoint p(0);
  LAStransform none;
  ASSERT_TRUE(none.parse("-translate_raw_xy_at_random 0 0"));
  p.point.X = 5, p.point.Y = 6;
  for (int k = 0; k < 100; k++) none.transform(p.point);
  EXPECT_EQ(p.point.X, 5);
  EXPECT_EQ(p.point.Y, 6);

  LAStransform t;
  ASSERT_TRUE(t.parse("-translate_raw_xy_at_random 3 2"));
  std::vector<std::pair<int, int>> first, second;
  for (int pass = 0; pass < 2; pass++) {
    t.reset();
    for (int k = 0; k < 50; k++) {
      p.point.X = 0, p.point.Y = 0;
      t.transform(p.point);
      (pass ? second : first).push_back({p.point.X, p.point.Y});
      EXPECT_LE(std::abs(p.point.X), 3);
      EXPECT_LE(std::abs(p.point.Y), 2);
    }
  }
  EXPECT_EQ(first, second);
}

TEST(TransformOperations, RegistersDivideByZeroAndSaturate) {
  TestPoint p(3);
  const struct {
    const char* text;
    uint16_t intensity;
  } cases[] = {
      {"-set_register 0 5 -divide_registers 0 1 2 -copy_register_into_intensity 2", 65535},
      {"-set_register 0 -5 -divide_registers 0 1 2 -copy_register_into_intensity 2", 0},
      {"-divide_registers 0 1 2 -copy_register_into_intensity 2", 0},  // 0 / 0 is NaN
      {"-set_register 3 7.9 -scale_register 3 2 -copy_register_into_intensity 3", 15},
      {"-copy_R_into_register 4 -translate_register 4 0.5 -add_registers 4 4 5 -copy_register_into_intensity "
       "5",
       21},
  };
  p.point.rgb[0] = 10;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    LAStransform t;
    ASSERT_TRUE(t.parse(c.text));
    t.reset();
    t.transform(p.point);
    EXPECT_EQ(p.point.intensity, c.intensity);
  }
}

TEST(TransformFiles, ColourMapPicksTheNearestEntry) {
  TextFile map("colours", "0 1 2 3\n10 11 12 13\n\n20 21 22 23\n");
  TestPoint p(3, 8, {filter_test::attribute(10)});
  LAStransform t;
  ASSERT_TRUE(t.parse("-map_attribute_into_RGB 0 " + map.path()));
  const struct {
    double value;
    uint16_t red;
  } cases[] = {{14, 11}, {15, 11}, {-3, 1}, {25, 21}, {16, 21}, {0, 1}, {20, 21}};
  for (const auto& c : cases) {
    std::memcpy(p.point.extra_bytes.data(), &c.value, sizeof c.value);
    t.transform(p.point);
    EXPECT_EQ(p.point.rgb[0], c.red) << c.value;
    EXPECT_EQ(p.point.rgb[2], c.red + 2) << c.value;
  }
}

TEST(TransformFiles, ValueMapsReplaceListedValuesAndKeepTheRest) {
  TextFile map("values", "1 100\n  \n65535 7\r\n");
  TestPoint p(3);
  LAStransform t;
  ASSERT_TRUE(t.parse("-map_intensity " + map.path()));
  for (const auto& [in, out] :
       std::vector<std::pair<uint16_t, uint16_t>>{{1, 100}, {2, 2}, {65535, 7}, {100, 100}}) {
    p.point.intensity = in;
    t.transform(p.point);
    EXPECT_EQ(p.point.intensity, out);
  }
}

TEST(TransformFiles, MalformedMapLinesNameTheFileAndLine) {
  const struct {
    const char* option;
    const char* text;
    unsigned line;
    const char* what;
  } cases[] = {
      {"-map_intensity", "1 2\n3 65536\n", 2,
       "is no valid mapping for '-map_intensity': needs two numbers from 0 to 65535"},
      {"-map_point_source", "1 2\n\nfrom to\n", 3,
       "is no valid mapping for '-map_point_source': needs two numbers from 0 to 65535"},
      {"-map_user_data", "1 2\n3 256\n", 2,
       "is no valid mapping for '-map_user_data': needs two numbers from 0 to 255"},
      {"-map_user_data", "7\n", 1,
       "is no valid mapping for '-map_user_data': needs two numbers from 0 to 255"},
      {"-map_intensity", "1 2.5\n", 1,
       "is no valid mapping for '-map_intensity': needs two numbers from 0 to 65535"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    TextFile map("bad_map", c.text);
    LAStransform t;
    const std::string err =
        messages_of([&] { EXPECT_FALSE(t.parse(std::string(c.option) + " " + map.path())); });
    EXPECT_EQ(err, "ERROR: line " + std::to_string(c.line) + " of '" + map.path() + "' " + c.what + "\n");
  }
  TextFile colours("bad_colours", "0 1 2 3\n5 1 2 256\n");
  LAStransform t;
  const std::string err =
      messages_of([&] { EXPECT_FALSE(t.parse("-map_attribute_into_RGB 0 " + colours.path())); });
  EXPECT_EQ(
      err,
      "ERROR: line 2 of '" + colours.path() +
          "' is no valid colour for '-map_attribute_into_RGB': needs a value and three numbers from 0 to "
          "255\n");
}

TEST(TransformFiles, LongLinesAreReadWhole) {
  // Lines far longer than any fixed buffer: a value map entry after 10000 blanks, and attribute
  // values preceded by long lines of text.
  TextFile map("long_map", std::string(10000, ' ') + "5 6\n");
  TestPoint p(3, 4, {filter_test::attribute(9)});
  LAStransform t;
  ASSERT_TRUE(t.parse("-map_user_data " + map.path()));
  p.point.user_data = 5;
  t.transform(p.point);
  EXPECT_EQ(p.point.user_data, 6);

  TextFile values("long_values", std::string(5000, 'x') + "\n1.5" + std::string(5000, ' ') + "\n2.5\n");
  LAStransform load;
  ASSERT_TRUE(load.parse("-load_attribute_from_text 0 " + values.path()));
  float stored = 0;
  for (float expected : {1.5f, 2.5f, 2.5f}) {
    load.transform(p.point);
    std::memcpy(&stored, p.point.extra_bytes.data(), sizeof stored);
    EXPECT_EQ(stored, expected);
  }
  load.reset();  // starts again at the first line
  load.transform(p.point);
  std::memcpy(&stored, p.point.extra_bytes.data(), sizeof stored);
  EXPECT_EQ(stored, 1.5f);
}

TEST(TransformFiles, MapFileNamesWithBlanksSurviveTheCommand) {
  TextFile map("map with blanks", "9 1\n");
  LAStransform t;
  ASSERT_TRUE(t.parse("-map_user_data \"" + map.path() + "\""));
  std::string text;
  t.unparse(text);
  EXPECT_EQ(text, "-map_user_data \"" + map.path() + "\" ");
  LAStransform again;
  ASSERT_TRUE(again.parse(text));
  TestPoint p(0);
  p.point.user_data = 9;
  again.transform(p.point);
  EXPECT_EQ(p.point.user_data, 1);
}

TEST(TransformText, TakesAnyNumberOfWords) {
  std::string text;
  for (int k = 0; k < 500; k++) text += "-translate_z 0.01 ";
  LAStransform t;
  ASSERT_TRUE(t.parse(text));
  EXPECT_EQ(t.number_of_operations(), 500u);
  TestPoint p;
  t.transform(p.point);
  EXPECT_EQ(p.point.Z, 500);
}

TEST(TransformText, SetPointSourceReplacesTheEarlierOne) {
  LAStransform t;
  ASSERT_TRUE(t.parse("-set_point_source 4 -set_user_data 3"));
  t.set_point_source(9);
  EXPECT_EQ(t.get_command(), "-set_user_data 3 -set_point_source 9 ");
  EXPECT_TRUE(t.delete_operation("set_user_data"));
  EXPECT_FALSE(t.delete_operation("set_user_data"));
  EXPECT_EQ(t.get_command(), "-set_point_source 9 ");
}

// Points with varied fields for comparing two transforms.
void vary(LASpoint& p, std::mt19937& rng) {
  p.X = static_cast<int32_t>(rng() % 200000) - 100000;
  p.Y = static_cast<int32_t>(rng() % 200000) - 100000;
  p.Z = static_cast<int32_t>(rng() % 50000);
  p.intensity = static_cast<uint16_t>(rng());
  p.classification = rng() % 32 & 31;
  p.extended_classification = static_cast<uint8_t>(rng() % 64);
  p.user_data = static_cast<uint8_t>(rng());
  p.point_source_ID = static_cast<uint16_t>(rng());
  p.scan_angle_rank = static_cast<int8_t>(static_cast<int>(rng() % 181) - 90);
  p.gps_time = static_cast<double>(rng() % 1000000) * 0.001;
  for (auto& c : p.rgb) c = static_cast<uint16_t>(rng());
}

TEST(TransformText, UnparseRebuildsTheSameTransform) {
  const char* const transforms[] = {
      "-translate_z 0.1234567 -scale_intensity 1.1 -set_classification 2",
      "-rotate_xy 33.3333 100.25 -7.125 -scale_xyz 1.0000001 0.9999999 3",
      "-transform_helmert 1.5,2.25,-3.125,0.1,0.2,0.3,1.7 -transform_affine 1.0001,0.5,10.1,20.2",
      "-transform_matrix 0.9,0.1,0 -0.1,0.9,0 0,0,1 100.5,200.25,0.125 -clamp_z 2 300.33",
      "-translate_then_scale_intensity 0.3 2.7 -translate_then_scale_scan_angle 0.1 1.3",
      "-multiply_divided_intensity_into_RGB_green 3 -multiply_scaled_intensity_into_RGB_red 0.0001",
      "-copy_R_into_register 2 -scale_register 2 1.7 -copy_register_into_user_data 2 "
      "-change_user_data_from_to 3 4",
      "-bin_gps_time_into_point_source 0.3 -adjusted_to_week -translate_gps_time -0.123456789",
      "-change_classification_from_to 3 44 -classify_z_between_as 1.5 99.9 7 -classify_intensity_above_as "
      "900 12",
      "-translate_raw_xy_at_random 3 4 -switch_x_y -scale_RGB 0.3 1.7 2 -scale_NIR_to_16bit",
  };
  for (const char* text : transforms) {
    SCOPED_TRACE(text);
    LAStransform a;
    ASSERT_TRUE(a.parse(text));
    std::string rebuilt;
    a.unparse(rebuilt);
    LAStransform b;
    ASSERT_TRUE(b.parse(rebuilt));
    std::string again;
    b.unparse(again);
    EXPECT_EQ(again, rebuilt);
    TestPoint pa(7), pb(7);
    std::mt19937 rng(3);
    for (int k = 0; k < 2000; k++) {
      vary(pa.point, rng);
      pb.point.copy_from(pa.point);
      a.transform(pa.point);
      b.transform(pb.point);
      ASSERT_TRUE(filter_test::same_fields(pa.point, pb.point)) << k;
    }
  }
}

}  // namespace
