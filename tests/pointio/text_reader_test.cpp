// The text source on generated files: the populate pass and the header it builds, scale and
// offset choice, bound snapping, PTS and PTX headers with the PTX transform, seeking and
// reopening, and the end of an unpopulated read.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "common/messages.h"
#include "point_file_writers.h"
#include "pointio/detail/lasreadertxt.h"

namespace {

namespace fs = std::filesystem;

class TextReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("cm_txt_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string file(const std::string& name, const std::string& content) {
    const std::string path = (dir_ / name).string();
    EXPECT_TRUE(point_files::write_file(path, content));
    return path;
  }
  // Reads every point, returning their real coordinates; the messages go to `messages`.
  static std::vector<point_files::XYZ> read_all(LASreaderTXT& reader, std::string* messages = nullptr) {
    MessageCollector collector;
    std::vector<point_files::XYZ> points;
    while (reader.read_point())
      points.push_back({reader.point.get_x(), reader.point.get_y(), reader.point.get_z()});
    if (messages) *messages = collector.text();
    return points;
  }
  fs::path dir_;
};

TEST_F(TextReaderTest, PopulatePassMakesTheHeaderExactBeforeTheFirstPoint) {
  const std::string path = file(
      "p.txt", "500010.25 4000020.5 12.25 2\n500000.75 4000000.25 8.5 1\nnot a point\n500005 4000010 10 1\n");
  LASreaderTXT reader;
  MessageCollector messages;
  ASSERT_TRUE(reader.open(path.c_str(), 0, "xyzr", 0, true));
  EXPECT_NE(messages.text().find("counted 3 points in populate pass.\n"), std::string::npos)
      << messages.text();
  EXPECT_NE(messages.text().find("WARNING: cannot parse 'not a point' with 'xyzr'. skipping ...\n"),
            std::string::npos);
  const LASheader& h = reader.header;
  EXPECT_EQ(reader.get_npoints(), 3);
  EXPECT_EQ(reader.max_points_in_file(), 3);
  EXPECT_EQ(h.number_of_point_records, 3u);
  EXPECT_EQ(h.number_of_points_by_return[0], 2u);
  EXPECT_EQ(h.number_of_points_by_return[1], 1u);
  EXPECT_EQ(h.version_minor, 2);
  EXPECT_EQ(h.header_size, 227);
  EXPECT_EQ(h.point_data_format, 0);
  EXPECT_DOUBLE_EQ(h.min_x, 500000.75);
  EXPECT_DOUBLE_EQ(h.max_y, 4000020.5);
  EXPECT_DOUBLE_EQ(h.min_z, 8.5);
  EXPECT_DOUBLE_EQ(h.x_scale_factor, 0.01);
  EXPECT_DOUBLE_EQ(h.x_offset, 500000.0);
  EXPECT_DOUBLE_EQ(h.y_offset, 4000000.0);
  EXPECT_DOUBLE_EQ(h.z_offset, 0.0);
  const auto points = read_all(reader);
  ASSERT_EQ(points.size(), 3u);
  EXPECT_NEAR(points[0].x, 500010.25, 1e-9);
  EXPECT_NEAR(points[2].z, 10.0, 1e-9);
  EXPECT_EQ(reader.point.return_number, 1);
}

TEST_F(TextReaderTest, ScaleFactorsFollowTheCoordinatesUnlessRequested) {
  struct Case {
    const char* name;
    const char* text;
    RequestedTriple scale, offset;
    double expected_xy_scale, expected_z_scale, expected_x_offset;
  };
  const Case cases[] = {
      {"geographic", "-122.5 45.25 100\n-122.25 45.5 120\n", {}, {}, 1e-7, 0.01, -1220000000 * 1e-7},
      {"geographic_east", "0 -80 1\n359.9 80 2\n", {}, {}, 1e-7, 0.01, 179.0},
      {"projected", "-360 0 1\n100 200 2\n", {}, {}, 0.01, 0.01, 0.0},
      {"requested_scale",
       "500000 4000000 1\n500001 4000001 2\n",
       std::array<double, 3>{0.001, 0.001, 0.0001},
       {},
       0.001,
       0.0001,
       500000.0},
      {"requested_xy_only", "-122.5 45.25 100\n", std::array<double, 3>{0.5, 0.5, 0.0}, {}, 0.5, 0.01, 0.0},
      {"requested_offset", "500000 4000000 1\n", {}, std::array<double, 3>{1.0, 2.0, 3.0}, 0.01, 0.01, 1.0},
  };
  for (const Case& c : cases) {
    for (const bool populate : {true, false}) {
      LASreaderTXT reader;
      reader.set_scale_factor(c.scale);
      reader.set_offset(c.offset);
      MessageCollector quiet;
      ASSERT_TRUE(reader.open(file(std::string(c.name) + ".txt", c.text).c_str(), 0, "xyz", 0, populate))
          << c.name;
      EXPECT_DOUBLE_EQ(reader.header.x_scale_factor, c.expected_xy_scale) << c.name << populate;
      EXPECT_DOUBLE_EQ(reader.header.y_scale_factor, c.expected_xy_scale) << c.name;
      EXPECT_DOUBLE_EQ(reader.header.z_scale_factor, c.expected_z_scale) << c.name;
      // Unpopulated, the offsets come from the first point alone.
      if (populate) {
        EXPECT_NEAR(reader.header.x_offset, c.expected_x_offset, 1e-6) << c.name;
      }
    }
  }
}

TEST_F(TextReaderTest, BoundsSnapToTheGridUnlessTheSignWouldFlip) {
  LASreaderTXT reader;
  reader.set_offset(std::array<double, 3>{0.0, 0.0, 0.0});
  reader.set_scale_factor(std::array<double, 3>{0.01, 0.01, 0.01});
  MessageCollector messages;
  ASSERT_TRUE(reader.open(file("s.txt", "0.004 1.234 -0.5\n2.5 3.25 -0.004\n").c_str(), 0, "xyz", 0, true));
  EXPECT_NE(messages.text().find("WARNING: quantization sign flip for min_x from 0.004 to 0.\n"
                                 "         set scale factor for x coarser than 0.01 with '-rescale'\n"),
            std::string::npos)
      << messages.text();
  EXPECT_DOUBLE_EQ(reader.header.min_x, 0.004);  // kept
  EXPECT_DOUBLE_EQ(reader.header.min_y, 1.23);   // snapped
  EXPECT_DOUBLE_EQ(reader.header.max_z, 0.0);    // -0.004 snaps to -0, which flips no sign
  EXPECT_EQ(messages.text().find("max_z"), std::string::npos);
}

TEST_F(TextReaderTest, UnpopulatedReadsLearnCountsAndBoundsAtTheEnd) {
  const std::string path = file("u.txt", "10 20 30\n5 25 31\n12 22 29\n");
  LASreaderTXT reader;
  ASSERT_TRUE(reader.open(path.c_str(), 0, "xyz", 0, false));
  EXPECT_EQ(reader.get_npoints(), 0);
  EXPECT_EQ(reader.max_points_in_file(), -1);
  EXPECT_DOUBLE_EQ(reader.header.min_x, 10);
  EXPECT_DOUBLE_EQ(reader.header.max_x, 10);
  EXPECT_EQ(read_all(reader).size(), 3u);
  EXPECT_EQ(reader.get_npoints(), 3);
  EXPECT_EQ(reader.header.number_of_point_records, 3u);
  EXPECT_EQ(reader.header.number_of_points_by_return[0], 3u);
  EXPECT_DOUBLE_EQ(reader.header.min_x, 5);
  EXPECT_DOUBLE_EQ(reader.header.max_y, 25);
  EXPECT_DOUBLE_EQ(reader.header.min_z, 29);
}

TEST_F(TextReaderTest, ExtendedPointTypesMakeLas14Headers) {
  LASreaderTXT reader;
  MessageCollector quiet;
  ASSERT_TRUE(reader.open(file("e.txt", "1 2 3 1 1\n1 2 3 7 9\n").c_str(), 0, "xyzro", 0, true));
  EXPECT_EQ(reader.header.point_data_format, 6);
  EXPECT_EQ(reader.header.point_data_record_length, 30);
  EXPECT_EQ(reader.header.version_minor, 4);
  EXPECT_EQ(reader.header.header_size, 375);
  EXPECT_EQ(reader.header.extended_number_of_point_records, 2u);
  EXPECT_EQ(reader.header.extended_number_of_points_by_return[6], 1u);
  // A legacy type with a return number above 5 cannot be counted in a LAS 1.2 header either.
  LASreaderTXT legacy;
  ASSERT_TRUE(legacy.open(file("r.txt", "1 2 3 7\n").c_str(), 0, "xyzr", 0, true));
  EXPECT_EQ(legacy.header.point_data_format, 0);
  EXPECT_EQ(legacy.header.version_minor, 4);
  EXPECT_EQ(legacy.header.extended_number_of_points_by_return[6], 1u);
}

TEST_F(TextReaderTest, AttributesAreDescribedInTheHeader) {
  LASreaderTXT reader;
  ASSERT_TRUE(reader.add_attribute(3, "amplitude", "echo amplitude", 0.5, 10.0));
  ASSERT_TRUE(reader.add_attribute(10, "range", "distance", 1.0, 0.0, 1.0, 0.0, -1.0));
  MessageCollector quiet;
  ASSERT_TRUE(reader.open(file("a.txt", "1 2 3 20 7.5\n").c_str(), 0, "xyz01", 0, true));
  EXPECT_EQ(reader.header.point_data_record_length, 20 + 2 + 8);
  ASSERT_EQ(reader.header.number_attributes, 2);
  EXPECT_STREQ(reader.header.attributes[0].name, "amplitude");
  EXPECT_EQ(reader.header.attributes[0].options, 8 | 16);
  EXPECT_EQ(reader.header.attributes[1].options, 1);
  double no_data;
  std::memcpy(&no_data, reader.header.attributes[1].no_data, 8);
  EXPECT_DOUBLE_EQ(no_data, -1.0);
  ASSERT_EQ(reader.header.vlrs.size(), 1u);
  EXPECT_EQ(reader.header.vlrs[0].get_user_id(), "LASF_Spec");
  EXPECT_EQ(reader.header.vlrs[0].record_id, 4);
  EXPECT_EQ(reader.header.vlrs[0].data.size(), 2 * 192u);
  EXPECT_EQ(reader.header.offset_to_point_data, 227u + 54u + 384u);
  ASSERT_TRUE(reader.read_point());
  uint16_t amplitude;
  std::memcpy(&amplitude, reader.point.extra_bytes.data(), 2);
  EXPECT_EQ(amplitude, 20);  // (20 - 10) / 0.5
}

TEST_F(TextReaderTest, PtsHeaderStatesTheCount) {
  const std::string path = file("s.pts", "3\n1 2 3 10\n4 5 6 20\n");
  for (const bool populate : {true, false}) {
    LASreaderTXT reader;
    reader.set_pts(true);
    MessageCollector messages;
    ASSERT_TRUE(reader.open(path.c_str(), 0, "xyzi", 0, populate));
    if (populate) {
      EXPECT_NE(messages.text().find("PTS header states 3 points. ignoring ...\n"), std::string::npos);
      EXPECT_EQ(reader.get_npoints(), 2);
    } else {
      EXPECT_EQ(reader.get_npoints(), 3);
    }
    ASSERT_EQ(reader.header.vlrs.size(), 1u);
    EXPECT_EQ(reader.header.vlrs[0].get_user_id(), "Quorvane");
    EXPECT_EQ(reader.header.vlrs[0].record_id, 2000);
    int64_t stated = 0;
    std::memcpy(&stated, reader.header.vlrs[0].data.data() + 32, 8);
    EXPECT_EQ(stated, 3);
    std::string end;
    EXPECT_EQ(read_all(reader, &end).size(), 2u);
    // Populated, the count is the counted one; the header's claim is only compared unpopulated.
    EXPECT_EQ(end.find("WARNING: end-of-file after 2 of 3 points\n") != std::string::npos, !populate) << end;
  }
  for (const auto& [text, message] :
       {std::pair<std::string, std::string>{"", "ERROR: reading PTS header for '-itps'\n"},
        {"three\n1 2 3\n", "ERROR: parsing number of points for '-itps'\n"}}) {
    LASreaderTXT reader;
    reader.set_pts(true);
    MessageCollector messages;
    EXPECT_FALSE(reader.open(file("bad.pts", text).c_str(), 0, "xyz", 0, false));
    EXPECT_NE(messages.text().find(message), std::string::npos) << messages.text();
  }
}

std::string ptx_text(double tx, double ty, double tz) {
  char t[64];
  std::snprintf(t, sizeof t, "%g %g %g 1\n", tx, ty, tz);
  return std::string("2\n2\n0 0 0\n1 0 0\n0 1 0\n0 0 1\n") + "0 1 0 0\n-1 0 0 0\n0 0 1 0\n" + t +
         "1 0 5 0.5\n2 0 6 0.5\n1 1 7 0.5\n";
}

TEST_F(TextReaderTest, PtxHeaderAndTransform) {
  const std::string path = file("s.ptx", ptx_text(500000, 4000000, 100));
  LASreaderTXT plain;
  plain.set_ptx(true);
  MessageCollector messages;
  ASSERT_TRUE(plain.open(path.c_str(), 0, "xyzi", 0, false));
  EXPECT_EQ(plain.get_npoints(), 4);  // columns x rows
  ASSERT_EQ(plain.header.vlrs.size(), 1u);
  EXPECT_EQ(plain.header.vlrs[0].record_id, 2001);
  EXPECT_EQ(plain.header.vlrs[0].data.size(), 272u);
  auto points = read_all(plain);
  ASSERT_EQ(points.size(), 3u);
  EXPECT_DOUBLE_EQ(points[1].x, 2.0);

  // With the transform the rows rotate (x, y) by 90 degrees and translate; bounds, scale and
  // offset describe the transformed points.
  LASreaderTXT moved;
  moved.set_ptx_transform(true);
  ASSERT_TRUE(moved.open(path.c_str(), 0, "xyzi", 0, true));
  EXPECT_NE(messages.text().find("PTX header states 2 cols by 2 rows aka 4 points. ignoring ...\n"),
            std::string::npos);
  EXPECT_DOUBLE_EQ(moved.header.min_x, 500000 - 1);
  EXPECT_DOUBLE_EQ(moved.header.max_y, 4000000 + 2);
  EXPECT_DOUBLE_EQ(moved.header.x_offset, 400000);  // (499999 + 500000) / 0.01 * 5e-8 = 4.99...
  points = read_all(moved);
  ASSERT_EQ(points.size(), 3u);
  EXPECT_NEAR(points[0].x, 500000.0, 1e-9);  // (1, 0) -> (0, 1)
  EXPECT_NEAR(points[0].y, 4000001.0, 1e-9);
  EXPECT_NEAR(points[2].x, 499999.0, 1e-9);  // (1, 1) -> (-1, 1)
  EXPECT_NEAR(points[2].z, 107.0, 1e-9);

  const char* const broken[][2] = {
      {"2\n", "ERROR: reading line with number of rows\n"},
      {"2\nrows\n", "ERROR: parsing number of rows\n"},
      {"-2\n2\n", "ERROR: parsing number of cols\n"},
      {"2\n2\n0 0\n", "ERROR: parsing ptx_scan_pos\n"},
      {"2\n2\n0 0 0\n1 0 0\n0 1 0\n0 0 1\n0 1 0 0\n-1 0 0 0\n",
       "ERROR: reading line with transformation row 2\n"},
  };
  for (const auto& b : broken) {
    LASreaderTXT reader;
    reader.set_ptx(true);
    MessageCollector errors;
    EXPECT_FALSE(reader.open(file("bad.ptx", b[0]).c_str(), 0, "xyz", 0, false));
    EXPECT_NE(errors.text().find(b[1]), std::string::npos) << errors.text();
  }
}

TEST_F(TextReaderTest, SeekForwardAndBackAndReopen) {
  std::string text = "header line\n";
  for (int k = 0; k < 20; k++) text += std::to_string(k) + " 0 0\n";
  const std::string path = file("k.txt", text);
  LASreaderTXT reader;
  MessageCollector quiet;
  ASSERT_TRUE(reader.open(path.c_str(), 0, "xyz", 1, true));
  ASSERT_TRUE(reader.seek(12));
  ASSERT_TRUE(reader.read_point());
  EXPECT_DOUBLE_EQ(reader.point.get_x(), 12);
  ASSERT_TRUE(reader.seek(3));
  ASSERT_TRUE(reader.read_point());
  EXPECT_DOUBLE_EQ(reader.point.get_x(), 3);
  EXPECT_EQ(reader.get_p_count(), 4);
  EXPECT_FALSE(reader.seek(20));
  EXPECT_EQ(read_all(reader).size(), 16u);
  ASSERT_TRUE(reader.reopen(path.c_str()));
  EXPECT_EQ(read_all(reader).size(), 20u);
  EXPECT_EQ(reader.header.number_of_point_records, 20u);

  // Compressed input cannot go back.
  ASSERT_TRUE(
      point_files::write_archive((dir_ / "k.txt.gz").string(), ARCHIVE_FORMAT_RAW, {{"k.txt", text}}));
  LASreaderTXT piped;
  ASSERT_TRUE(piped.open((dir_ / "k.txt.gz").c_str(), 0, "xyz", 1, true));
  EXPECT_TRUE(piped.is_piped());
  ASSERT_TRUE(piped.seek(5));
  ASSERT_TRUE(piped.read_point());
  EXPECT_DOUBLE_EQ(piped.point.get_x(), 5);
  EXPECT_FALSE(piped.seek(2));
}

TEST_F(TextReaderTest, FilesWithoutPointsAndPointsThatDoNotFit) {
  LASreaderTXT none;
  MessageCollector messages;
  EXPECT_FALSE(none.open(file("n.txt", "a b c\n\n").c_str(), 0, "xyz", 0, true));
  EXPECT_NE(messages.text().find("ERROR: could not parse any lines with 'xyz'\n"), std::string::npos);
  messages.clear();
  EXPECT_FALSE(none.open(file("n2.txt", "a b c\n").c_str(), 0, "xyz", 0, false));
  EXPECT_NE(messages.text().find("ERROR: could not parse any lines with 'xyz'\n"), std::string::npos);

  // A scale too fine for a far point would wrap its integer: the point is dropped and counted.
  LASreaderTXT fine;
  fine.set_scale_factor(std::array<double, 3>{1e-6, 1e-6, 0.01});
  fine.set_offset(std::array<double, 3>{0.0, 0.0, 0.0});
  ASSERT_TRUE(fine.open(file("f.txt", "1 1 1\n5000 1 1\n2 2 2\n").c_str(), 0, "xyz", 0, true));
  EXPECT_EQ(read_all(fine).size(), 2u);
  messages.clear();
  fine.close();
  EXPECT_NE(messages.text().find("WARNING: total of 1 integer overflows in x\n"), std::string::npos)
      << messages.text();
}

}  // namespace
