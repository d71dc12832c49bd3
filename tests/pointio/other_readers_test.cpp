// The readers of terrasolid BIN, QFIT, point Shapefiles, PLY, ASC grids, BIL rasters and PLANS
// DTM on generated files: their headers, record layouts and messages, and the edge cases of each
// format.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "common/messages.h"
#include "point_file_writers.h"
#include "pointio/detail/lasreaderasc.h"
#include "pointio/detail/lasreaderbil.h"
#include "pointio/detail/lasreaderbin.h"
#include "pointio/detail/lasreaderdtm.h"
#include "pointio/detail/lasreaderply.h"
#include "pointio/detail/lasreaderqfit.h"
#include "pointio/detail/lasreadershp.h"
#include "pointio/detail/lasvlrraster.h"

namespace {

namespace fs = std::filesystem;
namespace pf = point_files;
using pf::XYZ;

class ReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("cm_readers_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  template <class Content>
  std::string file(const std::string& name, const Content& content) {
    const std::string path = (dir_ / name).string();
    EXPECT_TRUE(pf::write_file(path, content));
    return path;
  }
  static std::vector<XYZ> read_all(LASreader& reader, std::string* messages = nullptr) {
    MessageCollector collector;
    std::vector<XYZ> points;
    while (reader.read_point())
      points.push_back({reader.point.get_x(), reader.point.get_y(), reader.point.get_z()});
    if (messages) *messages = collector.text();
    return points;
  }
  fs::path dir_;
};

std::vector<XYZ> grid_points(int n) {
  std::vector<XYZ> points;
  for (int k = 0; k < n; k++) points.push_back({100.0 + k % 7, 200.0 + k / 7, 10.0 + 0.25 * k});
  return points;
}

// ---------------------------------------------------------------- terrasolid BIN

TEST_F(ReaderTest, BinHeaderFaultsAreRefusedWithTheirMessage) {
  struct Case {
    size_t at;
    int32_t value;
    const char* message;
  };
  const Case cases[] = {
      {0, 52, "ERROR: corrupt terrasolid header. size != 56.\n"},
      {8, 970402, "ERROR: corrupt terrasolid header. recog_val != 970401.\n"},
      {12, 0x5A59584D, "ERROR: corrupt terrasolid header. recog_str != CXYZ.\n"},
      {20, 0, "ERROR: corrupt terrasolid header. units 0 is not positive.\n"},
      {20, -100, "ERROR: corrupt terrasolid header. units -100 is not positive.\n"},
      {16, -5, "ERROR: corrupt terrasolid header. point count -5 is negative.\n"},
  };
  for (const Case& c : cases) {
    pf::Bytes b = pf::bin(grid_points(3));
    pf::patch_le(b, c.at, c.value);
    LASreaderBIN reader;
    MessageCollector messages;
    EXPECT_FALSE(reader.open(file("bad.bin", b).c_str())) << c.message;
    EXPECT_EQ(messages.text(), c.message);
  }
  LASreaderBIN reader;
  MessageCollector messages;
  EXPECT_FALSE(reader.open(file("short.bin", pf::Bytes(40, 0)).c_str()));
  EXPECT_EQ(messages.text(), "ERROR: reading terrasolid header\n");
}

TEST_F(ReaderTest, BinRecordsTypesAndSeekArithmetic) {
  pf::BinOptions o;
  o.time = o.color = true;
  o.echo = 2;
  o.units = 1000;
  o.origin[0] = -100000;  // integers are value * units + origin
  const auto points = grid_points(30);
  LASreaderBIN reader;
  ASSERT_TRUE(reader.open(file("t.bin", pf::bin(points, o)).c_str()));
  EXPECT_EQ(reader.header.point_data_format, 3);
  EXPECT_EQ(reader.header.point_data_record_length, 34);
  EXPECT_DOUBLE_EQ(reader.header.x_scale_factor, 0.001);
  EXPECT_DOUBLE_EQ(reader.header.x_offset, 100.0);
  EXPECT_EQ(reader.get_npoints(), 30);
  ASSERT_TRUE(reader.seek(5));
  EXPECT_EQ(reader.get_stream()->tell(), 56 + 5 * 28);
  ASSERT_TRUE(reader.read_point());
  EXPECT_NEAR(reader.point.get_x(), points[5].x, 1e-9);
  EXPECT_NEAR(reader.point.get_z(), points[5].z, 1e-9);
  EXPECT_EQ(reader.point.return_number, 2);  // echo 2: return 2 of 3
  EXPECT_EQ(reader.point.number_of_returns, 3);
  EXPECT_EQ(reader.header.number_of_points_by_return[1], 1u);
  EXPECT_EQ(reader.header.number_of_points_by_return[0], 0u);
  EXPECT_DOUBLE_EQ(reader.point.gps_time, 5 * 5 * 0.0002);
  EXPECT_EQ(reader.point.rgb[0], 256);
  EXPECT_EQ(reader.point.rgb[2], 768);
  EXPECT_EQ(reader.point.classification, 2);
  EXPECT_FALSE(reader.seek(30));
  // Bounds come from points spread over the file and widen with every point read.
  EXPECT_DOUBLE_EQ(reader.header.min_x, 100);
  EXPECT_EQ(read_all(reader).size(), 24u);
  EXPECT_DOUBLE_EQ(reader.header.max_z, points.back().z);

  // Old 16-byte rows pack intensity and echo into one word.
  pf::BinOptions old;
  old.version = 1;
  old.echo = 3;
  LASreaderBIN rows;
  ASSERT_TRUE(rows.open(file("old.bin", pf::bin(points, old)).c_str()));
  EXPECT_EQ(rows.header.point_data_format, 0);
  ASSERT_TRUE(rows.seek(9));
  ASSERT_TRUE(rows.read_point());
  EXPECT_EQ(rows.point.intensity, 9);
  EXPECT_EQ(rows.point.return_number, 2);  // echo 3: return 2 of 2
  EXPECT_EQ(rows.point.number_of_returns, 2);
  EXPECT_EQ(rows.point.point_source_ID, 7);
}

TEST_F(ReaderTest, BinCountsThatLieNeverReachBeyondTheFile) {
  pf::Bytes b = pf::bin(grid_points(10));
  pf::patch_le<int32_t>(b, 16, 2000000000);
  LASreaderBIN reader;
  ASSERT_TRUE(reader.open(file("lying.bin", b).c_str()));
  EXPECT_EQ(reader.get_npoints(), 2000000000);
  EXPECT_EQ(reader.max_points_in_file(), 10);
  std::string messages;
  EXPECT_EQ(read_all(reader, &messages).size(), 10u);
  EXPECT_TRUE(reader.is_incomplete());
  EXPECT_NE(messages.find("ERROR: reading terrasolid point after 10 of 2000000000\n"), std::string::npos);
}

// ---------------------------------------------------------------- QFIT

TEST_F(ReaderTest, QfitRecordLengthsAndByteOrders) {
  std::vector<pf::QfitRecord> records(12);
  for (int k = 0; k < 12; k++) {
    pf::QfitRecord& r = records[static_cast<size_t>(k)];
    r.time_ms = 1000 + k;
    r.lat = 70000000 + k;
    r.lon = k == 3 ? 350000000 : 310000000 + k;  // 350 degrees east is 10 degrees west
    r.elevation_mm = 1500 + k;
    r.reflected = k == 4 ? 70000 : 200;
    r.azimuth = 190000;  // 190 degrees: scan angle 10
    r.pitch = -1200;
    r.roll = 300;
    r.word11 = 42;
  }
  for (const int length : {40, 48, 56}) {
    for (const bool big : {false, true}) {
      LASreaderQFIT reader;
      ASSERT_TRUE(reader.open(file("t.qi", pf::qfit(length, big, records)).c_str())) << length << big;
      EXPECT_EQ(reader.record_length(), length);
      EXPECT_EQ(reader.is_big_endian(), big);
      EXPECT_EQ(reader.get_npoints(), 12);
      EXPECT_EQ(reader.header.point_data_format, 1);
      EXPECT_EQ(reader.header.number_attributes, length == 48 ? 4 : 3);
      EXPECT_STREQ(reader.header.attributes[0].name, "scan azimuth");
      EXPECT_STREQ(reader.header.attributes[2].description, "Roll (degrees X 1,000)");
      EXPECT_DOUBLE_EQ(reader.header.x_scale_factor, 1e-6);
      EXPECT_DOUBLE_EQ(reader.header.z_scale_factor, 0.001);
      ASSERT_TRUE(reader.seek(3));
      ASSERT_TRUE(reader.read_point());
      EXPECT_NEAR(reader.point.get_x(), -10.0, 1e-9);
      EXPECT_NEAR(reader.point.get_y(), 70.000003, 1e-9);
      EXPECT_NEAR(reader.point.get_z(), 1.503, 1e-9);
      EXPECT_DOUBLE_EQ(reader.point.gps_time, 1.003);
      EXPECT_EQ(reader.point.scan_angle_rank, 10);
      int32_t pitch;
      std::memcpy(&pitch, reader.point.extra_bytes.data() + 4, 4);
      EXPECT_EQ(pitch, -1200);
      if (length == 48) {
        int32_t width;
        std::memcpy(&width, reader.point.extra_bytes.data() + 12, 4);
        EXPECT_EQ(width, 42);
      }
      ASSERT_TRUE(reader.read_point());
      EXPECT_EQ(reader.point.intensity, 65535);
      EXPECT_NEAR(reader.point.get_x(), 310.000004 - 360.0, 1e-9);
    }
  }
}

TEST_F(ReaderTest, QfitHeaderFaults) {
  const std::vector<pf::QfitRecord> records(3);
  struct Case {
    const char* name;
    pf::Bytes bytes;
    const char* message;
  };
  pf::Bytes wrong_length = pf::qfit(48, false, records);
  pf::patch_le<int32_t>(wrong_length, 0, 44);
  pf::Bytes far_offset = pf::qfit(48, false, records);
  pf::patch_le<int32_t>(far_offset, 48, 1 << 30);
  const Case cases[] = {
      {"wrong_length", wrong_length, "ERROR: corrupt QFIT header.\n"},
      {"far_offset", far_offset, "ERROR: corrupt QFIT header. point start offset"},
      {"empty", pf::Bytes(2, 0), "ERROR: reading QFIT header\n"},
      {"short_record", pf::Bytes(wrong_length.begin(), wrong_length.begin() + 4),
       "ERROR: corrupt QFIT header.\n"},
      {"no_offset", pf::Bytes(far_offset.begin(), far_offset.begin() + 50),
       "ERROR: reading point start offset from QFIT header\n"},
  };
  pf::Bytes cut = pf::qfit(48, false, records);
  cut.resize(20);
  LASreaderQFIT cut_reader;
  MessageCollector cut_messages;
  EXPECT_FALSE(cut_reader.open(file("cut.qi", cut).c_str()));
  EXPECT_EQ(cut_messages.text(), "ERROR: reading 44 bytes until point start offset from QFIT header\n");
  for (const Case& c : cases) {
    LASreaderQFIT reader;
    MessageCollector messages;
    EXPECT_FALSE(reader.open(file("bad.qi", c.bytes).c_str())) << c.name;
    EXPECT_EQ(messages.text().find(c.message), 0u) << c.name << ": " << messages.text();
  }
}

// ---------------------------------------------------------------- point Shapefiles

TEST_F(ReaderTest, ShapefilesOfEveryPointTypeDeliverTheirPoints) {
  const auto points = grid_points(25);
  for (const int type : {1, 11, 21, 8, 18, 28}) {
    LASreaderSHP reader;
    ASSERT_TRUE(reader.open(file("t.shp", pf::shp(type, points, 4)).c_str())) << type;
    EXPECT_EQ(reader.shape_type(), type);
    EXPECT_EQ(reader.header.point_data_format, 0);
    const auto got = read_all(reader);
    ASSERT_EQ(got.size(), points.size()) << type;
    const bool z = type == 11 || type == 18;
    for (size_t k = 0; k < points.size(); k++) {
      EXPECT_NEAR(got[k].x, points[k].x, 1e-9);
      EXPECT_NEAR(got[k].z, z ? points[k].z : 0.0, 1e-9) << type;
    }
    // The count estimated from the file length is exact for Points and never short for the rest
    // (their M values may be missing, so records may be smaller than these).
    if (type == 1) {
      EXPECT_EQ(reader.get_npoints(), 25);
    } else {
      EXPECT_GE(reader.get_npoints(), 25) << type;
    }
    EXPECT_FALSE(reader.is_incomplete());
  }
  // One point: 64 words, (64 - 50) / 14 = 1.
  LASreaderSHP one;
  const pf::Bytes single = pf::shp(1, {{1, 2, 3}});
  ASSERT_EQ(single.size(), 128u);
  ASSERT_TRUE(one.open(file("one.shp", single).c_str()));
  EXPECT_EQ(one.get_npoints(), 1);
}

TEST_F(ReaderTest, ShapefileFaults) {
  const auto points = grid_points(9);
  struct Case {
    const char* name;
    size_t at;
    int32_t value;
    bool big;
    const char* message;
  };
  const Case header_cases[] = {
      {"code", 0, 9995, true, "ERROR: wrong shapefile code 9995 != 9994\n"},
      {"version", 28, 999, false, "ERROR: wrong shapefile version 999 != 1000\n"},
      {"polyline", 32, 3, false, "ERROR: wrong shape type 3 != 1,11,21,8,18,28\n"},
  };
  for (const Case& c : header_cases) {
    pf::Bytes b = pf::shp(1, points);
    if (c.big) {
      pf::Bytes v;
      pf::put_be(v, c.value);
      std::copy(v.begin(), v.end(), b.begin() + static_cast<long>(c.at));
    } else {
      pf::patch_le(b, c.at, c.value);
    }
    LASreaderSHP reader;
    MessageCollector messages;
    EXPECT_FALSE(reader.open(file("bad.shp", b).c_str())) << c.name;
    EXPECT_EQ(messages.text(), c.message);
  }
  // A file length that lies: the estimate follows it, the proven bound follows the file, and the
  // missing bytes are an error.
  pf::Bytes lying = pf::shp(1, points);
  const pf::Bytes big_length = {0x7F, 0xFF, 0xFF, 0xFF};
  std::copy(big_length.begin(), big_length.end(), lying.begin() + 24);
  LASreaderSHP reader;
  ASSERT_TRUE(reader.open(file("lying.shp", lying).c_str()));
  EXPECT_EQ(reader.get_npoints(), (2147483647LL - 50) / 14);
  EXPECT_EQ(reader.max_points_in_file(), 9);
  std::string messages;
  EXPECT_EQ(read_all(reader, &messages).size(), 9u);
  EXPECT_TRUE(reader.is_incomplete());
  EXPECT_NE(messages.find("ends after 352 of the 4294967294 bytes its header states"), std::string::npos)
      << messages;

  // A multipoint record claiming more points than its content holds is skipped; a record of
  // another type is read as the file's type with a warning.
  pf::Bytes multi = pf::shp(8, points, 3);
  pf::patch_le<int32_t>(multi, 100 + 8 + 36, 100);
  pf::patch_le<int32_t>(multi, 100 + 8 + 40 + 48 + 8, 0);  // the second record says it is a null shape
  LASreaderSHP m;
  ASSERT_TRUE(m.open(file("multi.shp", multi).c_str()));
  EXPECT_EQ(read_all(m, &messages).size(), 6u);
  EXPECT_NE(messages.find("WARNING: shapefile record 1 claims 100 points but holds fewer. skipping ..."),
            std::string::npos)
      << messages;
  EXPECT_NE(messages.find("WARNING: wrong shape type 0 != 8 in record\n"), std::string::npos);
}

// ---------------------------------------------------------------- PLY

TEST_F(ReaderTest, PlyInEveryFormatWithPropertiesAsFieldsAndAttributes) {
  const auto points = grid_points(15);
  for (const char* format : {"ascii", "binary_little_endian", "binary_big_endian"}) {
    for (const bool populate : {true, false}) {
      LASreaderPLY reader;
      MessageCollector quiet;
      ASSERT_TRUE(reader.open(file("t.ply", pf::ply(points, format, true)).c_str(), 0, populate)) << format;
      EXPECT_EQ(reader.header.point_data_format, 2);
      if (populate) {
        EXPECT_DOUBLE_EQ(reader.header.min_x, 100);
        EXPECT_DOUBLE_EQ(reader.header.max_z, points.back().z);
      }
      const auto got = read_all(reader);
      ASSERT_EQ(got.size(), points.size()) << format;
      EXPECT_NEAR(got[9].y, points[9].y, 1e-9);
      EXPECT_NEAR(got[9].z, points[9].z, 1e-9);
      EXPECT_EQ(reader.point.rgb[0], 14);
      EXPECT_EQ(reader.point.rgb[1], 2);
      EXPECT_EQ(reader.header.number_of_point_records, 15u);
      EXPECT_DOUBLE_EQ(reader.header.max_x, 106);
    }
  }
  const std::string header =
      "ply\nformat binary_big_endian 1.0\nelement vertex 2\nproperty float x\nproperty float y\n"
      "property float z\nproperty float nx\nproperty short confidence\nproperty uchar gray\nend_header\n";
  pf::Bytes b(header.begin(), header.end());
  for (int k = 0; k < 2; k++) {
    for (float v : {1.5f + float(k), 2.5f, 3.5f, -0.25f}) pf::put_be(b, v);
    pf::put_be<int16_t>(b, static_cast<int16_t>(-300 + k));
    b.push_back(200);
  }
  LASreaderPLY reader;
  ASSERT_TRUE(reader.open(file("n.ply", b).c_str(), 0, true));
  ASSERT_EQ(reader.header.number_attributes, 2);
  EXPECT_STREQ(reader.header.attributes[0].name, "normal x coordinate");
  EXPECT_EQ(reader.header.attributes[0].data_type, 9);
  EXPECT_STREQ(reader.header.attributes[1].name, "confidence");
  EXPECT_EQ(reader.header.attributes[1].data_type, 4);
  EXPECT_EQ(reader.header.point_data_record_length, 20 + 4 + 2);
  ASSERT_TRUE(reader.read_point());
  ASSERT_TRUE(reader.read_point());
  float nx;
  int16_t confidence;
  std::memcpy(&nx, reader.point.extra_bytes.data(), 4);
  std::memcpy(&confidence, reader.point.extra_bytes.data() + 4, 2);
  EXPECT_FLOAT_EQ(nx, -0.25f);
  EXPECT_EQ(confidence, -299);
  EXPECT_EQ(reader.point.intensity, 200);
  EXPECT_DOUBLE_EQ(reader.point.get_x(), 2.5);
  EXPECT_TRUE(reader.seek(0));
  ASSERT_TRUE(reader.read_point());
  EXPECT_DOUBLE_EQ(reader.point.get_x(), 1.5);
}

TEST_F(ReaderTest, PlyHeaderFaults) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"plx\n", "ERROR: a PLY file must begin with 'ply'\n"},
      {"ply\nformat binary_middle_endian 1.0\n", "format: binary_middle_endian not implemented. contact"},
      {"ply\nformat ascii 1.0\nelement vertex 1\nproperty list uchar int x\nend_header\n",
       "ERROR: PLY vertex property type 'list' is not supported\n"},
      {"ply\nformat ascii 1.0\nelement vertex 1\nproperty quad x\nend_header\n",
       "ERROR: PLY vertex property type 'quad' is not supported\n"},
      {"ply\nformat ascii 1.0\nelement face 1\nelement vertex 1\nend_header\n",
       "ERROR: PLY element 'face' comes before the vertices\n"},
      {"ply\nformat ascii 1.0\nelement vertex -4\nend_header\n",
       "ERROR: PLY element vertex has no valid count\n"},
      {"ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n",
       "ERROR: PLY header ends before 'end_header'\n"},
      {"ply\nformat ascii 1.0\nelement vertex 1\nproperty float z\nend_header\n1\n",
       "ERROR: PLY vertices of"},
  };
  for (const Case& c : cases) {
    LASreaderPLY reader;
    MessageCollector messages;
    EXPECT_FALSE(reader.open(file("bad.ply", std::string(c.text)).c_str(), 0, true)) << c.text;
    EXPECT_EQ(messages.text().find(c.message), 0u) << messages.text();
  }
  // Other elements after the vertices end what is read of the header.
  LASreaderPLY reader;
  MessageCollector messages;
  ASSERT_TRUE(reader.open(file("faces.ply", pf::ply(grid_points(3), "ascii")).c_str(), 0, true));
  EXPECT_NE(messages.text().find("not supported: element face 1skipping remaining header ...\n"),
            std::string::npos);
  // A vertex count beyond the data is a file cut short.
  pf::Bytes cut = pf::ply(grid_points(8), "binary_little_endian");
  cut.resize(cut.size() - 40);
  LASreaderPLY truncated;
  messages.clear();
  EXPECT_FALSE(truncated.open(file("cut.ply", cut).c_str(), 0, true));
  EXPECT_NE(messages.text().find("the file ends inside the vertices"), std::string::npos) << messages.text();
  LASreaderPLY unpopulated;
  ASSERT_TRUE(unpopulated.open(file("cut.ply", cut).c_str(), 0, false));
  EXPECT_LT(read_all(unpopulated).size(), 8u);
  EXPECT_TRUE(unpopulated.is_incomplete());
}

// ---------------------------------------------------------------- ASC grids

TEST_F(ReaderTest, AscCornersBecomeCellCentresAndNoDataIsSkipped) {
  const std::string asc =
      "ncols 3 nrows 2\nxllcorner 0\nyllcorner 10\ncellsize 2\nNODATA_value -9999\n1.5 2 3\n4 -9999 6\n";
  LASreaderASC reader;
  ASSERT_TRUE(reader.open(file("g.asc", asc).c_str()));
  EXPECT_EQ(reader.get_npoints(), 5);
  EXPECT_DOUBLE_EQ(reader.header.min_x, 1);
  EXPECT_DOUBLE_EQ(reader.header.max_x, 5);
  EXPECT_DOUBLE_EQ(reader.header.min_y, 11);
  EXPECT_DOUBLE_EQ(reader.header.max_y, 13);
  EXPECT_DOUBLE_EQ(reader.header.min_z, 1.5);
  EXPECT_DOUBLE_EQ(reader.header.max_z, 6);
  const auto points = read_all(reader);
  ASSERT_EQ(points.size(), 5u);
  EXPECT_DOUBLE_EQ(points[0].x, 1);  // the first column of the northern row
  EXPECT_DOUBLE_EQ(points[0].y, 13);
  EXPECT_DOUBLE_EQ(points[3].x, 1);
  EXPECT_DOUBLE_EQ(points[3].y, 11);
  EXPECT_DOUBLE_EQ(points[4].x, 5);
  EXPECT_DOUBLE_EQ(points[4].z, 6);
  ASSERT_EQ(reader.header.vlrs.size(), 1u);
  EXPECT_EQ(reader.header.vlrs[0].get_user_id(), "Raster RKP");
  EXPECT_EQ(reader.header.vlrs[0].record_id, LASvlrRasterRKP::kRecordAsc);
  ByteStreamInArray stream(reader.header.vlrs[0].data.data(), 80);
  LASvlrRasterRKP raster;
  ASSERT_TRUE(raster.read(stream));
  EXPECT_EQ(raster.ncols, 3);
  EXPECT_DOUBLE_EQ(raster.llx, 1);
  EXPECT_DOUBLE_EQ(raster.stepy, 2);

  // Centres given directly, separate cell steps, decimal commas.
  const std::string commas = "NCOLS 2\nNROWS 1\nXLLCENTER 5\nYLLCENTER 7\nDX 0,5\nDY 2\n1,25 2,75\n";
  LASreaderASC comma;
  MessageCollector messages;
  EXPECT_FALSE(comma.open(file("c.asc", commas).c_str(), false));
  EXPECT_NE(messages.text().find("is not a number"), std::string::npos);
  ASSERT_TRUE(comma.open(file("c.asc", commas).c_str(), true));
  const auto c = read_all(comma);
  ASSERT_EQ(c.size(), 2u);
  EXPECT_DOUBLE_EQ(c[1].x, 5.5);
  EXPECT_DOUBLE_EQ(c[1].z, 2.75);
}

TEST_F(ReaderTest, AscFaults) {
  struct Case {
    const char* text;
    const char* message;
    bool opens;
  };
  const Case cases[] = {
      {"1 2 3\n", "ERROR: was not able to find header\n", false},
      {"ncols 2\nnrows 2\ncellsize 1\n", "ERROR: was not able to find header\n", false},
      {"ncols 2\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 0\n1 2 3 4\n",
       "ERROR: ASC cell size 0 by 0 is not", false},
      {"ncols -2\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\n", "ERROR: ASC header ncols -2 is not",
       false},
      {"ncols 2\nnrows 2\nxllcorner zero\n", "ERROR: ASC header value of 'xllcorner' is not a number\n",
       false},
      {"ncols 2\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\n1 2\n3 x4\n",
       "ERROR: ASC value 'x4' in row 2", false},
      {"ncols 2\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value 0\n0 0\n0 0\n",
       "WARNING: ASC raster contains only no data values\n", true},
      {"ncols 2\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\n1 2\n3\n",
       "WARNING: end-of-file after 1 of 2 rows and 1 of 2 cols. read 3 points\n", true},
  };
  for (const Case& c : cases) {
    LASreaderASC reader;
    MessageCollector messages;
    EXPECT_EQ(reader.open(file("bad.asc", std::string(c.text)).c_str()), c.opens) << c.text;
    EXPECT_NE(messages.text().find(c.message), std::string::npos) << messages.text();
    if (c.opens) {
      read_all(reader);
      // A grid cut short stops the run as incomplete; a grid of no data is merely empty.
      EXPECT_EQ(reader.is_incomplete(), std::string(c.message).find("end-of-file") != std::string::npos);
    }
  }
}

TEST_F(ReaderTest, RasterCoordinatesThatOverflowAreDroppedAndCounted) {
  // With 0.001 units a cell 3000 km east of the offset needs more than 32 bits.
  const std::string asc = "ncols 3\nnrows 1\nxllcenter 0\nyllcenter 0\ncellsize 1500000\n1 2 3\n";
  LASreaderASC reader;
  reader.set_scale_factor(std::array<double, 3>{0.001, 0.001, 0.001});
  reader.set_offset(std::array<double, 3>{0.0, 0.0, 0.0});
  ASSERT_TRUE(reader.open(file("o.asc", asc).c_str()));
  const auto points = read_all(reader);
  ASSERT_EQ(points.size(), 2u);  // x = 0 and 1500000; 3000000 / 0.001 does not fit
  EXPECT_DOUBLE_EQ(points[1].x, 1500000);
  MessageCollector messages;
  reader.close();
  EXPECT_EQ(messages.text(), "WARNING: total of 1 integer overflows in x\n");
}

// ---------------------------------------------------------------- BIL rasters

TEST_F(ReaderTest, BilHeadersWorldFilesAndLayouts) {
  // Two bands of signed 16-bit big-endian cells, pixel interleaved; the first band is read.
  file("t.hdr",
       std::string("BYTEORDER M\nLAYOUT BIP\nNROWS 2\nNCOLS 3\nNBANDS 2\nNBITS 16\nPIXELTYPE SIGNEDINT\n"
                   "NODATA -32768\nULXMAP 100\nULYMAP 50\nXDIM 10\nYDIM 5\n"));
  pf::Bytes cells;
  const int16_t band[6] = {-5, 6, -32768, 8, 9, 10};
  for (int16_t v : band) pf::put_be(cells, v), pf::put_be<int16_t>(cells, 999);
  const std::string bil = file("t.bil", cells);
  LASreaderBIL reader;
  MessageCollector messages;
  const unsigned long errors_before = run_error_message_count();
  ASSERT_TRUE(reader.open(bil.c_str()));
  EXPECT_NE(messages.text().find("WARNING: cannot open files"), std::string::npos);
  // Looking for the world file under both spellings is no error: the run must not fail for it.
  EXPECT_EQ(run_error_message_count(), errors_before) << messages.text();
  EXPECT_EQ(reader.get_npoints(), 5);
  EXPECT_DOUBLE_EQ(reader.header.min_x, 100);
  EXPECT_DOUBLE_EQ(reader.header.max_x, 120);
  EXPECT_DOUBLE_EQ(reader.header.min_y, 45);
  EXPECT_DOUBLE_EQ(reader.header.min_z, -5);
  auto points = read_all(reader);
  ASSERT_EQ(points.size(), 5u);
  EXPECT_DOUBLE_EQ(points[0].z, -5);
  EXPECT_DOUBLE_EQ(points[2].x, 100);  // the north row's third cell was no data
  EXPECT_DOUBLE_EQ(points[2].y, 45);
  EXPECT_DOUBLE_EQ(points[2].z, 8);

  // A world file places the grid instead of the header.
  file("t.blw", std::string("2\n0\n0\n-4\n1000\n2000\n"));
  LASreaderBIL placed;
  ASSERT_TRUE(placed.open(bil.c_str()));
  points = read_all(placed);
  EXPECT_DOUBLE_EQ(points[4].x, 1004);
  EXPECT_DOUBLE_EQ(points[4].y, 1996);

  // Companions spelt in capitals are found after the lower-case names, again without an error.
  fs::rename(dir_ / "t.hdr", dir_ / "t.HDR");
  fs::rename(dir_ / "t.blw", dir_ / "t.BLW");
  LASreaderBIL capitals;
  messages.clear();
  ASSERT_TRUE(capitals.open(bil.c_str())) << messages.text();
  points = read_all(capitals);
  ASSERT_EQ(points.size(), 5u);
  EXPECT_DOUBLE_EQ(points[4].x, 1004);
  EXPECT_EQ(run_error_message_count(), errors_before) << messages.text();
}

TEST_F(ReaderTest, BilHeaderWarningsAndFaults) {
  file("w.hdr",
       std::string("ncols 2\nnrows 1\nbyteorder X\npixeltype complex\nlayout xyz\ncolor red\nnbits\n"));
  file("w.bil", pf::Bytes{1, 2});
  LASreaderBIL reader;
  MessageCollector messages;
  ASSERT_TRUE(reader.open((dir_ / "w.bil").c_str()));
  for (const char* warning :
       {"WARNING: byteorder 'X' not recognized by LASreader_bil\n",
        "WARNING: pixeltype 'complex' not recognized by LASreader_bil\n",
        "WARNING: layout 'xyz' not recognized by LASreader_bil\n",
        "WARNING: color 'red' not recognized by LASreader_bil\n",
        "WARNING: argument of nbits missing for LASreader_bil\n", "WARNING: xdim was not set. setting to 1\n",
        "WARNING: ulycenter was not set. setting to 0\n"}) {
    EXPECT_NE(messages.text().find(warning), std::string::npos) << warning << messages.text();
  }
  EXPECT_EQ(read_all(reader).size(), 2u);

  file("m.hdr", std::string("nrows 4\nnbits 16\n"));
  file("m.bil", pf::Bytes(8, 0));
  messages.clear();
  EXPECT_FALSE(reader.open((dir_ / "m.bil").c_str()));
  EXPECT_NE(messages.text().find("WARNING: not able to find all entries in HDR file\n       ncols  = 0\n"
                                 "       nrows  = 4\n       nbands = 1\n       nbits  = 16\n"),
            std::string::npos)
      << messages.text();
  EXPECT_NE(messages.text().find("ERROR: reading the *.hdr file for"), std::string::npos);

  messages.clear();
  EXPECT_FALSE(reader.open((dir_ / "missing.bil").c_str()));
  EXPECT_NE(messages.text().find("missing.hdr' or '"), std::string::npos) << messages.text();
  messages.clear();
  EXPECT_FALSE(reader.open((dir_ / "noextension").c_str()));
  EXPECT_NE(messages.text().find("is not a valid BIL file"), std::string::npos);

  // A header whose rows are larger than the file claims nothing.
  file("h.hdr", std::string("ncols 2000000000\nnrows 2000000000\nnbits 32\npixeltype float\n"));
  file("h.bil", pf::Bytes(64, 0));
  messages.clear();
  EXPECT_FALSE(reader.open((dir_ / "h.bil").c_str()));
  EXPECT_NE(messages.text().find("do not fit"), std::string::npos) << messages.text();

  // Rows missing at the end: a warning, and the run learns the input is incomplete.
  file("s.hdr", std::string("ncols 2\nnrows 3\nnbits 8\n"));
  file("s.bil", pf::Bytes{1, 2, 3, 4, 5});
  messages.clear();
  ASSERT_TRUE(reader.open((dir_ / "s.bil").c_str()));
  EXPECT_NE(messages.text().find("WARNING: end-of-file after 2 of 3 rows"), std::string::npos);
  EXPECT_EQ(read_all(reader).size(), 4u);
  EXPECT_TRUE(reader.is_incomplete());
}

// ---------------------------------------------------------------- PLANS DTM

TEST_F(ReaderTest, DtmCellsRunColumnByColumnFromTheSouthWest) {
  // 3 columns of 2 rows; -1 is no data.
  const std::vector<double> cells = {10, 11, 20, -1, 30, 31};
  for (const int16_t type : std::initializer_list<int16_t>{0, 1, 2, 3}) {
    for (const bool padded : {true, false}) {
      pf::DtmOptions o;
      o.data_type = type;
      o.padded = padded;
      LASreaderDTM reader;
      ASSERT_TRUE(reader.open(file("t.dtm", pf::dtm(3, 2, cells, o)).c_str())) << type;
      EXPECT_EQ(reader.get_npoints(), 5);
      EXPECT_DOUBLE_EQ(reader.header.min_x, 1001);  // the lower-left corner moves half a spacing
      EXPECT_DOUBLE_EQ(reader.header.max_y, 2004.5);
      const auto points = read_all(reader);
      ASSERT_EQ(points.size(), 5u);
      EXPECT_DOUBLE_EQ(points[1].x, 1001);
      EXPECT_DOUBLE_EQ(points[1].y, 2004.5);
      EXPECT_DOUBLE_EQ(points[2].x, 1003);
      EXPECT_DOUBLE_EQ(points[2].z, 20);
      EXPECT_DOUBLE_EQ(points[4].z, 31);
    }
  }
}

TEST_F(ReaderTest, DtmGeoKeysFromItsCoordinateSystem) {
  EXPECT_EQ(nad83_state_plane_epsg(101), 26929);
  EXPECT_EQ(nad83_state_plane_epsg(102), 26930);
  EXPECT_EQ(nad83_state_plane_epsg(201), 26948);
  EXPECT_EQ(nad83_state_plane_epsg(5200), 32161);
  EXPECT_EQ(nad83_state_plane_epsg(9999), 0);
  struct Case {
    int16_t system, zone, datum;
    int expected;  // ProjectedCSType, 0 for none
    const char* message;
  };
  const Case cases[] = {
      {1, 10, 2, 26910, ""},
      {1, 31, 2, 25831, ""},
      {1, 25, 2, 0, "UTM zone 25 for NAD83 out-of-range\n"},
      {1, 17, 1, 26717, ""},
      {1, 2, 1, 0, "UTM zone 2 for NAD27 out-of-range\n"},
      {1, 33, 3, 32633, ""},
      {2, 4203, 2, 32139, ""},
      {2, 4299, 2, 0, "state plane NAD83 zone 4299 not implemented\n"},
  };
  for (const Case& c : cases) {
    pf::DtmOptions o;
    o.coordinate_system = c.system;
    o.zone = c.zone;
    o.horizontal_datum = c.datum;
    o.vertical_datum = 2;
    o.horizontal_units = 0;
    LASreaderDTM reader;
    MessageCollector messages;
    ASSERT_TRUE(reader.open(file("g.dtm", pf::dtm(1, 1, {5}, o)).c_str()));
    EXPECT_EQ(messages.text(), c.message);
    const auto keys = reader.header.vlr_geo_key_entries();
    int projected = 0, linear = 0, vertical = 0;
    for (const LASvlrKeyEntry& k : keys) {
      if (k.key_id == 3072) projected = k.value_offset;
      if (k.key_id == 3076) linear = k.value_offset;
      if (k.key_id == 4096) vertical = k.value_offset;
    }
    EXPECT_EQ(projected, c.expected) << c.zone;
    EXPECT_EQ(linear, 9002);
    EXPECT_EQ(vertical, 5103);
  }
}

TEST_F(ReaderTest, DtmFaults) {
  pf::Bytes wrong = pf::dtm(2, 2, {1, 2, 3, 4});
  wrong[0] = 'Q';
  LASreaderDTM reader;
  MessageCollector messages;
  EXPECT_FALSE(reader.open(file("w.dtm", wrong).c_str()));
  EXPECT_NE(messages.text().find("wrong signature 'QLANS-PC BINARY .DTM"), std::string::npos)
      << messages.text();
  pf::DtmOptions o;
  o.data_type = 7;
  messages.clear();
  EXPECT_FALSE(reader.open(file("t.dtm", pf::dtm(1, 1, {1}, o)).c_str()));
  EXPECT_EQ(messages.text(), "ERROR: unknown data type 7\n");
  o = pf::DtmOptions{};
  o.xdim = 0;
  o.version = 2.0f;
  messages.clear();
  ASSERT_TRUE(reader.open(file("z.dtm", pf::dtm(2, 1, {1, 2}, o)).c_str()));
  EXPECT_NE(messages.text().find("WARNING: expected 3.1 but version is 2.0\n"), std::string::npos);
  EXPECT_NE(messages.text().find("WARNING: xdim was 0. setting to 1.0\n"), std::string::npos);
  EXPECT_DOUBLE_EQ(reader.header.max_x - reader.header.min_x, 1.0);
  messages.clear();
  EXPECT_FALSE(reader.open(file("s.dtm", pf::Bytes(wrong.begin(), wrong.begin() + 10)).c_str()));
  EXPECT_NE(messages.text().find("ERROR: reading 21 byte signature for"), std::string::npos);
  pf::Bytes cut = pf::dtm(4, 4, std::vector<double>(16, 3.0));
  cut.resize(cut.size() - 10);
  messages.clear();
  ASSERT_TRUE(reader.open(file("c.dtm", cut).c_str()));
  EXPECT_NE(messages.text().find("WARNING: end-of-file after 1 of 4 rows and 3 of 4 cols. read 13 points\n"),
            std::string::npos)
      << messages.text();
  EXPECT_EQ(read_all(reader).size(), 13u);
  EXPECT_TRUE(reader.is_incomplete());
}

// ---------------------------------------------------------------- every reader, cut short

// A file cut at any offset is refused with an error, or read to an end that says the input is
// incomplete; never a crash, a hang, or a point count beyond the file.
TEST_F(ReaderTest, FilesCutAnywhereFailCleanly) {
  const auto points = grid_points(40);
  struct Format {
    const char* name;
    pf::Bytes bytes;
    std::function<std::unique_ptr<LASreader>(const std::string&)> open;
    bool detects_loss;  // a cut inside the data is noticed
  };
  const auto opener = [](auto make) {
    return [make](const std::string& path) -> std::unique_ptr<LASreader> { return make(path); };
  };
  std::string asc = "ncols 5\nnrows 8\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value -1\n";
  for (const auto& p : points) asc += std::to_string(p.z) + (asc.size() % 3 ? " " : "\n");
  file("cut.hdr", std::string("ncols 5\nnrows 8\nnbits 32\npixeltype float\n"));
  pf::Bytes bil;
  for (const auto& p : points) pf::put_le(bil, static_cast<float>(p.z));
  std::vector<double> cells;
  for (const auto& p : points) cells.push_back(p.z);
  const Format formats[] = {
      {"cut.bin", pf::bin(points), opener([](const std::string& f) {
         auto r = std::make_unique<LASreaderBIN>();
         return r->open(f.c_str()) ? std::move(r) : nullptr;
       }),
       true},
      {"cut.shp", pf::shp(18, points, 6), opener([](const std::string& f) {
         auto r = std::make_unique<LASreaderSHP>();
         return r->open(f.c_str()) ? std::move(r) : nullptr;
       }),
       true},
      {"cut.ply", pf::ply(points, "binary_big_endian", true), opener([](const std::string& f) {
         auto r = std::make_unique<LASreaderPLY>();
         return r->open(f.c_str(), 0, false) ? std::move(r) : nullptr;
       }),
       true},
      {"cut.asc", pf::Bytes(asc.begin(), asc.end()), opener([](const std::string& f) {
         auto r = std::make_unique<LASreaderASC>();
         return r->open(f.c_str()) ? std::move(r) : nullptr;
       }),
       false},
      {"cut.bil", bil, opener([](const std::string& f) {
         auto r = std::make_unique<LASreaderBIL>();
         return r->open(f.c_str()) ? std::move(r) : nullptr;
       }),
       true},
      {"cut.dtm", pf::dtm(5, 8, cells), opener([](const std::string& f) {
         auto r = std::make_unique<LASreaderDTM>();
         return r->open(f.c_str()) ? std::move(r) : nullptr;
       }),
       true},
      {"cut.qi", pf::qfit(56, true, std::vector<pf::QfitRecord>(40)), opener([](const std::string& f) {
         auto r = std::make_unique<LASreaderQFIT>();
         return r->open(f.c_str()) ? std::move(r) : nullptr;
       }),
       false},
  };
  for (const Format& f : formats) {
    for (size_t keep = 0; keep < f.bytes.size(); keep += 1 + keep / 16) {
      const std::string path =
          file(f.name, pf::Bytes(f.bytes.begin(), f.bytes.begin() + static_cast<long>(keep)));
      MessageCollector messages;
      std::unique_ptr<LASreader> reader = f.open(path);
      if (!reader) {
        // (An unknown PLY format is named in the words the opener then follows with its ERROR.)
        EXPECT_TRUE(messages.text().find("ERROR: ") != std::string::npos ||
                    messages.text().find("not implemented") != std::string::npos)
            << f.name << " cut at " << keep;
        continue;
      }
      int64_t n = 0;
      while (reader->read_point() && n <= 1000) n++;
      EXPECT_LE(n, 40) << f.name << " cut at " << keep;
      if (f.detects_loss) {
        EXPECT_TRUE(reader->is_incomplete() || n == 0) << f.name << " cut at " << keep;
      }
    }
  }
}

}  // namespace
