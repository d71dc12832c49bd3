// LAS reader on generated files: hostile headers, record layouts, POINT14 conversion, area of
// interest, re-quantization, header accounting and the point's item preparation.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "pointio/lasreaderlas.h"
#include "pointio/lasrecordreader.h"
#include "pointio/lasrequantize.h"
#include "tools/las_writer.h"

namespace {

using las_test::put;

// Opens a LAS image from memory and keeps the bytes and stream alive as long as the reader.
// A LAS reader whose points are re-expressed by a requantize stage.
std::unique_ptr<LASreaderLAS> requantizing(const LASrequantizeStage::Request& request) {
  auto reader = std::make_unique<LASreaderLAS>();
  reader->set_stage(LASreader::STAGE_REQUANTIZE, std::make_unique<LASrequantizeStage>(request));
  return reader;
}

struct MemoryLas {
  explicit MemoryLas(std::vector<uint8_t> image, std::unique_ptr<LASreaderLAS> r = nullptr)
      : bytes(std::move(image)),
        stream(bytes.data(), int64_t(bytes.size())),
        reader(r ? std::move(r) : std::make_unique<LASreaderLAS>()) {
    ::testing::internal::CaptureStderr();
    opened = reader->open(&stream);
    messages = ::testing::internal::GetCapturedStderr();
  }
  // Reads every remaining point; the messages of the read are appended.
  int64_t read_all() {
    ::testing::internal::CaptureStderr();
    int64_t n = 0;
    while (reader->read_point()) n++;
    messages += ::testing::internal::GetCapturedStderr();
    return n;
  }
  std::vector<uint8_t> bytes;
  ByteStreamInArray stream;
  std::unique_ptr<LASreaderLAS> reader;
  bool opened = false;
  std::string messages;
};

std::vector<las_test::Point> three_points() {
  return {{1.0, 2.0, 3.0}, {4.0, 5.0, 6.0}, {7.0, 8.0, 9.0}};
}

std::vector<uint8_t> geo_keys(uint16_t version, uint16_t number_of_keys) {
  std::vector<uint8_t> p;
  for (uint16_t v : {version, uint16_t(1), uint16_t(0), number_of_keys}) las_test::append(p, v);
  for (uint16_t k = 0; k < number_of_keys; k++) {
    for (uint16_t v : {uint16_t(1024 + k), uint16_t(0), uint16_t(1), uint16_t(k)}) las_test::append(p, v);
  }
  return p;
}

// Hostile or damaged headers: each either opens (and reads what is there) or fails with its message.
struct HeaderCase {
  const char* name;
  std::function<std::vector<uint8_t>()> make;
  bool opens;
  const char* message;  // must appear on standard error
  int64_t points_read;  // when it opens
};

std::vector<uint8_t> plain() {
  return las_test::build({}, three_points());
}

const std::vector<HeaderCase>& header_cases() {
  static const std::vector<HeaderCase> kCases = {
      {"TruncatedHeader",
       [] {
         auto b = plain();
         b.resize(100);
         return b;
       },
       false, "ERROR: reading header.number_of_variable_length_records\n", 0},
      {"WrongSignature",
       [] {
         auto b = plain();
         b[3] = 'G';
         return b;
       },
       false, "ERROR: wrong file signature 'LASG'\n", 0},
      {"HeaderSizeBelow227",
       [] {
         auto b = plain();
         put<uint16_t>(b, las_test::kHeaderSize, 200);
         return b;
       },
       false, "ERROR: header size is 200 but should be at least 227\n", 0},
      {"OffsetBelowHeaderSize",
       [] {
         auto b = plain();
         put<uint32_t>(b, las_test::kOffsetToPointData, 100);
         return b;
       },
       false, "ERROR: offset to point data 100 is smaller than header size 227\n", 0},
      {"OffsetBeyondFile",
       [] {
         auto b = plain();
         put<uint32_t>(b, las_test::kOffsetToPointData, 4000000000u);
         return b;
       },
       false, "ERROR: reading -294967523 bytes of data into header.user_data_after_header\n", 0},
      {"PointCountBeyondFile",
       [] {
         auto b = plain();
         put<uint32_t>(b, las_test::kNumberOfPointRecords, 1000000);
         return b;
       },
       true, "WARNING: 'end-of-file' after 3 of 1000000 points for ''\n", 3},
      {"VlrLengthPastPointBlock",
       [] {
         las_test::Options o;
         o.vlrs.push_back({"someone", 7, std::vector<uint8_t>(10, 1)});
         auto b = las_test::build(o, three_points());
         put<uint16_t>(b, 227 + 20, 60000);
         return b;
       },
       true,
       "WARNING: only 10 bytes until point block when trying to read 60000 bytes into header.vlrs[0].data\n",
       3},
      {"VlrCountHugeStopsAtPointBlock",
       [] {
         las_test::Options o;
         o.vlrs.push_back({"someone", 7, std::vector<uint8_t>(10, 1)});
         auto b = las_test::build(o, three_points());
         put<uint32_t>(b, las_test::kNumberOfVlrs, 4000000000u);
         return b;
       },
       true,
       "WARNING: only 0 bytes until point block after reading 1 of -294967296 vlrs. skipping remaining vlrs "
       "...\n",
       3},
      {"VlrCountAndOffsetHugeEndAtEndOfData",
       [] {
         auto b = plain();
         put<uint32_t>(b, las_test::kNumberOfVlrs, 4000000000u);
         put<uint32_t>(b, las_test::kOffsetToPointData, 4000000000u);
         return b;
       },
       false, "bytes of data into header.vlrs[0].data\n", 0},
      {"ZeroScaleFactors",
       [] {
         auto b = plain();
         for (int a = 0; a < 3; a++) put<double>(b, las_test::kScaleFactors + 8 * a, 0.0);
         return b;
       },
       true,
       "WARNING: x scale factor is zero.\nWARNING: y scale factor is zero.\nWARNING: z scale factor is "
       "zero.\n",
       3},
      {"InvalidBoundingBox",
       [] {
         auto b = plain();
         put<double>(b, las_test::kBounds, -100.0);
         return b;
       },
       true, "WARNING: invalid bounding box [ 1 2 3 / -100 8 9 ]\n", 3},
      {"Las14HeaderSize235",
       [] {
         auto b = plain();
         put<uint8_t>(b, las_test::kVersionMinor, 4);
         put<uint16_t>(b, las_test::kHeaderSize, 235);
         put<uint32_t>(b, las_test::kOffsetToPointData, 235);
         return b;
       },
       false, "ERROR: for LAS 1.4 header_size should at least be 375 but it is only 235\n", 0},
      {"Las13HeaderSize227",
       [] {
         auto b = plain();
         put<uint8_t>(b, las_test::kVersionMinor, 3);
         return b;
       },
       true, "WARNING: for LAS 1.3 header_size should at least be 235 but it is only 227\n", 3},
      {"UnknownVersion",
       [] {
         auto b = plain();
         put<uint8_t>(b, las_test::kVersionMajor, 2);
         return b;
       },
       true, "WARNING: unknown version 2.2 (should be 1.0 or 1.1 or 1.2 or 1.3 or 1.4)\n", 3},
      {"UnknownPointFormat",
       [] {
         auto b = plain();
         put<uint8_t>(b, las_test::kPointDataFormat, 11);
         return b;
       },
       false, "ERROR: unknown point type 11 with point size 20\n", 0},
      {"CompressedBitWithoutRecord",
       [] {
         auto b = plain();
         put<uint8_t>(b, las_test::kPointDataFormat, 0x80);
         return b;
       },
       false, "ERROR: this file was compressed with an experimental version of rekomp\n", 0},
      {"CompressedRecord",
       [] {
         las_test::Options o;
         o.vlrs.push_back({"rekomp encoded", 22204, std::vector<uint8_t>(34, 0)});
         o.vlrs[0].payload[0] = 2;
         auto b = las_test::build(o, three_points());
         put<uint8_t>(b, las_test::kPointDataFormat, 0x80);
         return b;
       },
       false, "ERROR: number of items cannot be zero (Rekomp v3.4r4)\n", 0},
      {"ExtentRecordWrongLength",
       [] {
         las_test::Options o;
         o.vlrs.push_back({"Quorvane", 20, std::vector<uint8_t>(10, 0)});
         return las_test::build(o, three_points());
       },
       false, "ERROR: record_length_after_header of VLR Quorvane (20) is 10 instead of 176\n", 0},
      {"TilingRecordWrongLength",
       [] {
         las_test::Options o;
         o.vlrs.push_back({"quorvane tile", 0, std::vector<uint8_t>(27, 0)});
         return las_test::build(o, three_points());
       },
       false, "ERROR: record_length_after_header of VLR quorvane tile (0) is 27 instead of 28\n", 0},
      {"EvlrLengthBeyondFile",
       [] {
         las_test::Options o;
         o.version_minor = 4;
         o.evlrs.push_back({"someone", 1, std::vector<uint8_t>(4, 0)});
         auto b = las_test::build(o, three_points());
         put<int64_t>(b, b.size() - 4 - 32 - 8, int64_t(1) << 40);
         return b;
       },
       false, "ERROR: reading 0 bytes of data into header.evlrs[0].data\n", 0},
      {"EvlrStartBeyondFile",
       [] {
         las_test::Options o;
         o.version_minor = 4;
         o.evlrs.push_back({"someone", 1, std::vector<uint8_t>(4, 0)});
         auto b = las_test::build(o, three_points());
         put<uint64_t>(b, las_test::kStartOfFirstEvlr, uint64_t(1) << 62);
         return b;
       },
       false, "ERROR: reading header.evlrs[0].reserved\n", 0},
      {"TwoGeoKeyDirectories",
       [] {
         las_test::Options o;
         o.vlrs.push_back({"LASF_Projection", 34735, geo_keys(1, 1)});
         o.vlrs.push_back({"LASF_Projection", 34735, geo_keys(2, 3)});
         return las_test::build(o, three_points());
       },
       true,
       "WARNING: variable length records contain more than one GeoKeyDirectoryTag\n"
       "WARNING: wrong vlr_geo_keys->key_directory_version: 2 != 1\n",
       3},
  };
  return kCases;
}

class HostileHeader : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(HostileHeader, OpensOrFailsWithItsMessage) {
  const HeaderCase& c = GetParam();
  MemoryLas las(c.make());
  EXPECT_EQ(las.opened, c.opens) << las.messages;
  if (c.opens) {
    EXPECT_EQ(las.read_all(), c.points_read);
    EXPECT_GE(las.reader->max_points_in_file(), c.points_read);
  } else {
    EXPECT_FALSE(las.reader->read_point());
  }
  EXPECT_NE(las.messages.find(c.message), std::string::npos) << las.messages;
  las.reader->close();
  las.reader->close();  // a failed or closed reader stays safe to close again
}

INSTANTIATE_TEST_SUITE_P(Generated, HostileHeader, ::testing::ValuesIn(header_cases()),
                         [](const ::testing::TestParamInfo<HeaderCase>& p) {
                           return std::string(p.param.name);
                         });

TEST(LasReader, LyingPointCountIsVisibleBeforeReading) {
  auto b = plain();
  put<uint32_t>(b, las_test::kNumberOfPointRecords, 4000000000u);
  MemoryLas las(b);
  ASSERT_TRUE(las.opened);
  EXPECT_EQ(las.reader->get_npoints(), 4000000000LL);
  EXPECT_EQ(las.reader->max_points_in_file(), 3);
}

TEST(LasReader, ZeroScaleFactorsNeverProduceUndefinedCoordinates) {
  auto b = plain();
  for (int a = 0; a < 3; a++) put<double>(b, las_test::kScaleFactors + 8 * a, 0.0);
  MemoryLas las(b);
  ASSERT_TRUE(las.reader->read_point());
  EXPECT_EQ(las.reader->point.get_x(), 0.0);
  las.reader->point.set_x(12.5);  // quantizing through a zero scale must not be undefined
  EXPECT_EQ(las.reader->point.X, 0);
}

TEST(LasReader, VlrRoomAndUserDataAfterHeader) {
  las_test::Options o;
  o.vlrs.push_back({"first", 1, std::vector<uint8_t>(5, 1)});
  o.vlrs.push_back({"second", 2, std::vector<uint8_t>(7, 2)});
  o.user_data_after_header = {9, 8, 7};
  MemoryLas las(las_test::build(o, three_points()));
  ASSERT_TRUE(las.opened) << las.messages;
  const LASheader& h = las.reader->header;
  EXPECT_TRUE(h.user_data_in_header.empty());
  EXPECT_EQ(h.user_data_after_header, (std::vector<uint8_t>{9, 8, 7}));
  EXPECT_EQ(h.offset_to_point_data, 227u + 54 + 5 + 54 + 7 + 3);
  ASSERT_EQ(h.vlrs.size(), 2u);
  EXPECT_EQ(h.vlrs[1].data, std::vector<uint8_t>(7, 2));
  EXPECT_EQ(las.read_all(), 3);
}

TEST(LasReader, OwnSuiteRecordsAreConsumedAndDroppedFromTheHeader) {
  las_test::Options o;
  std::vector<uint8_t> tile(28, 0);
  put<uint32_t>(tile, 0, 3);
  put<float>(tile, 12, 100.0f);
  o.vlrs.push_back({"Quorvane", 10, tile});
  o.vlrs.push_back({"LASF_Projection", 2112, {'W', 'K', 'T', 0}});
  MemoryLas las(las_test::build(o, three_points()));
  ASSERT_TRUE(las.opened) << las.messages;
  const LASheader& h = las.reader->header;
  ASSERT_EQ(h.vlrs.size(), 1u);
  EXPECT_EQ(h.number_of_variable_length_records, 1u);
  EXPECT_EQ(h.offset_to_point_data, 227u + 54 + 4);
  ASSERT_TRUE(h.vlr_gridpatch.has_value());
  EXPECT_EQ(h.vlr_gridpatch->level, 3u);
  EXPECT_EQ(h.vlr_gridpatch->min_x, 100.0f);
  EXPECT_EQ(h.vlr_geo_ogc_wkt(), "WKT");
  EXPECT_EQ(las.read_all(), 3);  // the stream still starts at the real point block
}

TEST(LasReader, Las14EvlrsAreReadAndStreamReturnsToPoints) {
  las_test::Options o;
  o.version_minor = 4;
  o.point_data_format = 6;
  o.evlrs.push_back({"LASF_Projection", 2112, {'G', 'E', 'O', 'G', 'C', 'S', 0}});
  MemoryLas las(las_test::build(o, three_points()));
  ASSERT_TRUE(las.opened) << las.messages;
  ASSERT_EQ(las.reader->header.evlrs.size(), 1u);
  EXPECT_EQ(las.reader->header.vlr_geo_ogc_wkt(), "GEOGCS");
  EXPECT_EQ(las.reader->get_npoints(), 3);
  EXPECT_EQ(las.read_all(), 3);
}

// Format 1 with a surplus, with a deficit, and the extra bytes' values in the point.
TEST(LasReader, RecordLengthDecidesExtraBytes) {
  las_test::Options o;
  o.point_data_format = 1;
  o.point_data_record_length = 30;
  auto points = three_points();
  points[0].extra_byte_value = 0xAB;
  MemoryLas longer(las_test::build(o, points));
  ASSERT_TRUE(longer.opened);
  const std::vector<LASitem> expected_long = {
      {LASitem::POINT10, 20, 0}, {LASitem::GPSTIME11, 8, 0}, {LASitem::BYTE, 2, 0}};
  EXPECT_EQ(longer.reader->point.items, expected_long);
  ASSERT_TRUE(longer.reader->read_point());
  EXPECT_EQ(longer.reader->point.extra_bytes, (std::vector<uint8_t>{0xAB, 0xAB}));

  std::vector<LASitem> items;
  ASSERT_TRUE(las_point_format_items(7, 40, items));
  EXPECT_EQ(items.back(), (LASitem{LASitem::BYTE14, 4, 0}));
  EXPECT_FALSE(las_point_format_items(11, 20, items));
}

TEST(LasReader, Point10FieldsAreReadStraightIntoThePoint) {
  las_test::Options o;
  o.point_data_format = 3;
  las_test::Point p{10.5, -20.25, 3.0};
  p.intensity = 777;
  p.return_number = 2;
  p.number_of_returns = 5;
  p.classification = 17;
  p.scan_angle = -12;
  p.user_data = 42;
  p.point_source_ID = 4321;
  p.gps_time = 123456.75;
  p.rgb[0] = 1;
  p.rgb[1] = 2;
  p.rgb[2] = 65535;
  MemoryLas las(las_test::build(o, {p}));
  ASSERT_TRUE(las.reader->read_point());
  const LASpoint& q = las.reader->point;
  EXPECT_DOUBLE_EQ(q.get_x(), 10.5);
  EXPECT_DOUBLE_EQ(q.get_y(), -20.25);
  EXPECT_EQ(q.intensity, 777);
  EXPECT_EQ(q.return_number, 2);
  EXPECT_EQ(q.number_of_returns, 5);
  EXPECT_EQ(q.classification, 17);
  EXPECT_EQ(q.scan_angle_rank, -12);
  EXPECT_EQ(q.user_data, 42);
  EXPECT_EQ(q.point_source_ID, 4321);
  EXPECT_EQ(q.gps_time, 123456.75);
  EXPECT_EQ(q.rgb[2], 65535);
  EXPECT_TRUE(q.have_gps_time && q.have_rgb && !q.have_nir);
}

struct Point14Case {
  uint8_t ret, nret, cls;
  int16_t scan_angle;
  uint8_t legacy_ret, legacy_nret, legacy_cls;
  int8_t scan_angle_rank;
};

TEST(LasReader, Point14ConvertsToLegacyFields) {
  const Point14Case cases[] = {
      {9, 12, 2, 0, 6, 7, 2, 0},         {12, 12, 2, 0, 7, 7, 2, 0},       {7, 8, 2, 0, 6, 7, 2, 0},
      {8, 8, 2, 0, 7, 7, 2, 0},          {6, 10, 2, 0, 6, 7, 2, 0},        {3, 5, 40, 15000, 3, 5, 0, 90},
      {1, 1, 31, -15000, 1, 1, 31, -90}, {1, 1, 1, 100, 1, 1, 1, 1},       {1, 1, 1, -100, 1, 1, 1, -1},
      {1, 1, 1, 30000, 1, 1, 1, 127},    {1, 1, 1, -30000, 1, 1, 1, -128}, {0, 0, 1, 83, 0, 0, 1, 0},
  };
  for (const Point14Case& c : cases) {
    uint8_t record[30] = {};
    record[14] = uint8_t(c.ret | (c.nret << 4));
    record[15] = 0x5 | (2 << 4) | 0x80;  // synthetic + withheld, channel 2, edge of flight line
    record[16] = c.cls;
    std::memcpy(record + 18, &c.scan_angle, 2);
    LASpointFields p;
    las_unpack_point14(record, p);
    SCOPED_TRACE(testing::Message() << int(c.ret) << "/" << int(c.nret) << " class " << int(c.cls)
                                    << " angle " << c.scan_angle);
    EXPECT_EQ(p.return_number, c.legacy_ret);
    EXPECT_EQ(p.number_of_returns, c.legacy_nret);
    EXPECT_EQ(p.extended_return_number, c.ret);
    EXPECT_EQ(p.extended_number_of_returns, c.nret);
    EXPECT_EQ(p.classification, c.legacy_cls);
    EXPECT_EQ(p.extended_classification, c.cls);
    EXPECT_EQ(p.scan_angle_rank, c.scan_angle_rank);
    EXPECT_EQ(p.extended_scan_angle, c.scan_angle);
    EXPECT_EQ(p.synthetic_flag, 1);
    EXPECT_EQ(p.keypoint_flag, 0);
    EXPECT_EQ(p.withheld_flag, 1);
    EXPECT_EQ(p.extended_classification_flags, 0x5);
    EXPECT_EQ(p.extended_scanner_channel, 2);
    EXPECT_EQ(p.edge_of_flight_line, 1);
    EXPECT_EQ(p.scan_direction_flag, 0);
  }
}

TEST(LasReader, Point14FileThroughTheReader) {
  las_test::Options o;
  o.version_minor = 4;
  o.point_data_format = 8;
  las_test::Point p{1.0, 2.0, 3.0};
  p.return_number = 9;
  p.number_of_returns = 12;
  p.classification = 40;
  p.scan_angle = 15000;
  p.gps_time = 5.5;
  p.rgb[3] = 999;
  MemoryLas las(las_test::build(o, {p}));
  ASSERT_TRUE(las.opened) << las.messages;
  ASSERT_TRUE(las.reader->read_point());
  const LASpoint& q = las.reader->point;
  EXPECT_EQ(q.extended_point_type, 1);
  EXPECT_EQ(q.return_number, 6);
  EXPECT_EQ(q.number_of_returns, 7);
  EXPECT_EQ(q.classification, 0);
  EXPECT_EQ(q.extended_classification, 40);
  EXPECT_EQ(q.scan_angle_rank, 90);
  EXPECT_EQ(q.gps_time, 5.5);
  EXPECT_EQ(q.rgb[3], 999);
  EXPECT_TRUE(q.have_nir);
  EXPECT_DOUBLE_EQ(q.get_z(), 3.0);
}

// Points on and near the borders of a 10 x 10 area at the origin.
std::vector<las_test::Point> border_points() {
  return {{0, 0, 0}, {10, 5, 0},   {5, 10, 0},    {9.99, 9.99, 0}, {3, 4, 0},
          {5, 0, 0}, {3, 3.99, 0}, {-0.01, 5, 0}, {20, 20, 0}};
}

std::vector<int> delivered(LASreader& r) {
  std::vector<int> ids;
  while (r.read_point()) ids.push_back(int(r.get_p_count() - 1));
  return ids;
}

TEST(AreaOfInterest, BordersAreInsideBelowAndLeftOutsideAboveAndRight) {
  MemoryLas rect(las_test::build({}, border_points()));
  rect.reader->inside_rectangle(0, 0, 10, 10);
  EXPECT_EQ(delivered(*rect.reader), (std::vector<int>{0, 3, 4, 5, 6}));

  MemoryLas tile(las_test::build({}, border_points()));
  tile.reader->inside_tile(0, 0, 10);
  EXPECT_EQ(delivered(*tile.reader), (std::vector<int>{0, 3, 4, 5, 6}));
  EXPECT_DOUBLE_EQ(tile.reader->header.max_x, 10 - 0.01);

  MemoryLas circle(las_test::build({}, border_points()));
  circle.reader->inside_circle(0, 0, 5);  // (3,4) and (5,0) lie exactly on the circle
  EXPECT_EQ(delivered(*circle.reader), (std::vector<int>{0, 6}));
}

TEST(AreaOfInterest, DisjointAreaAnswersFalseAtOnceAndNoneRestoresBounds) {
  MemoryLas las(las_test::build({}, border_points()));
  LASreader& r = *las.reader;
  r.inside_tile(1000, 1000, 10);
  EXPECT_FALSE(r.read_point());
  EXPECT_EQ(r.get_p_count(), 0);  // nothing was read
  EXPECT_EQ(r.header.min_x, 1000.0);
  EXPECT_DOUBLE_EQ(r.header.max_y, 1010 - 0.01);
  r.inside_circle(5, 5, 1);  // a second area still compares against the file's bounds
  EXPECT_EQ(r.header.min_x, 4.0);
  r.inside_none();
  EXPECT_EQ(r.header.min_x, -0.01);
  EXPECT_EQ(r.header.max_x, 20.0);
  r.inside_none();  // without an area the header stays as it is
  EXPECT_EQ(r.header.max_y, 20.0);
  EXPECT_EQ(delivered(r).size(), border_points().size());
}

TEST(Quantizer, RoundsHalfAwayFromTheOffset) {
  LASquantizer q;
  q.x_scale_factor = 0.5;
  q.x_offset = 10.0;
  EXPECT_EQ(q.get_X(10.0 - 0.25), -1);
  EXPECT_EQ(q.get_X(10.0 + 0.25), 1);
  EXPECT_EQ(q.get_X(10.0 - 0.24), 0);
  EXPECT_EQ(q.get_X(10.0), 0);
  EXPECT_EQ(q.get_X(11.0), 2);
  EXPECT_EQ(q.get_x(-3), 8.5);
  // Beyond 32 bits the low bits are kept, as the integer field of a record would.
  EXPECT_EQ(q.get_X(10.0 + 0.5 * 4294967297.0), 1);
}

// A stage that writes down the x of every point it sees and drops the points it is told to.
class RecordingStage : public LASpointStage {
 public:
  RecordingStage(std::vector<double>& seen, std::function<bool(double)> drop, uint32_t fields)
      : seen_(seen), drop_(std::move(drop)), fields_(fields) {}
  Verdict process(LASpoint& p) override {
    seen_.push_back(p.get_x());
    return drop_(p.get_x()) ? Verdict::drop : Verdict::keep;
  }
  uint32_t field_mask() const override { return fields_; }
  void reset() override { seen_.clear(); }

 private:
  std::vector<double>& seen_;
  std::function<bool(double)> drop_;
  uint32_t fields_;
};

// The filter sees only points inside the area, the transform only points that passed both, in
// whatever order the stages were set.
TEST(ReaderStages, AreaThenFilterThenTransform) {
  std::vector<las_test::Point> pts;
  for (int i = 0; i < 10; i++) pts.push_back({double(i), 0, 0});
  auto reader = std::make_unique<LASreaderLAS>();
  std::vector<double> filter_saw, transform_saw;
  reader->set_stage(LASreader::STAGE_TRANSFORM,
                    std::make_unique<RecordingStage>(
                        transform_saw, [](double) { return false; }, las_fields::kGpsTime));
  reader->set_stage(LASreader::STAGE_FILTER,
                    std::make_unique<RecordingStage>(
                        filter_saw, [](double x) { return int(x) % 2 == 1; }, las_fields::kClassification));
  EXPECT_EQ(reader->stage_field_mask(), las_fields::kGpsTime | las_fields::kClassification);
  MemoryLas las(las_test::build({}, pts), std::move(reader));
  ASSERT_TRUE(las.opened);
  las.reader->inside_rectangle(2, -1, 8, 1);
  EXPECT_EQ(delivered(*las.reader), (std::vector<int>{2, 4, 6}));
  EXPECT_EQ(filter_saw, (std::vector<double>{2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(transform_saw, (std::vector<double>{2, 4, 6}));
  las.reader->reset_stages();
  EXPECT_TRUE(filter_saw.empty());
  EXPECT_TRUE(transform_saw.empty());
}

// Requantizing comes first: the area compares the re-expressed coordinates, and a stage set
// before the open adapts the header as the source opens.
TEST(ReaderStages, RequantizeBindsWhenTheSourceOpens) {
  std::vector<double> seen;
  auto reader = requantizing(LASrequantizeStage::reoffset(1000.0, 0.0, 0.0));
  reader->set_stage(LASreader::STAGE_FILTER, std::make_unique<RecordingStage>(
                                                 seen, [](double) { return false; }, 0));
  MemoryLas las(las_test::build({}, {{1000.5, 0, 0}, {1002.25, 0, 0}}), std::move(reader));
  ASSERT_TRUE(las.opened);
  EXPECT_EQ(las.reader->header.x_offset, 1000.0);
  las.reader->inside_rectangle(1001, -1, 1003, 1);
  ASSERT_TRUE(las.reader->read_point());
  EXPECT_EQ(las.reader->point.X, 225);
  EXPECT_FALSE(las.reader->read_point());
  EXPECT_EQ(seen, (std::vector<double>{1002.25}));
  las.reader->set_stage(LASreader::STAGE_FILTER, nullptr);
  las.reader->inside_none();
  ASSERT_TRUE(las.reader->seek(0));
  ASSERT_TRUE(las.reader->read_point());
  EXPECT_EQ(las.reader->point.X, 50);
}

TEST(Requantize, RescaleReoffsetAndBothReexpressCoordinates) {
  las_test::Options o;
  o.scale[0] = o.scale[1] = o.scale[2] = 0.01;
  const std::vector<las_test::Point> pts = {{1000.25, 2000.5, 3.75}, {1001.0, 2001.0, -4.01}};

  MemoryLas rescaled(las_test::build(o, pts), requantizing(LASrequantizeStage::rescale(0.001, 0.0, 0.1)));
  ASSERT_TRUE(rescaled.opened);
  EXPECT_EQ(rescaled.reader->header.x_scale_factor, 0.001);
  EXPECT_EQ(rescaled.reader->header.y_scale_factor, 0.01);  // zero keeps the axis
  ASSERT_TRUE(rescaled.reader->read_point());
  EXPECT_EQ(rescaled.reader->point.X, 1000250);
  EXPECT_EQ(rescaled.reader->point.Y, 200050);
  EXPECT_EQ(rescaled.reader->point.Z, 38);  // 3.75 / 0.1 rounds half away from zero
  ASSERT_TRUE(rescaled.reader->read_point());
  EXPECT_EQ(rescaled.reader->point.Z, -40);

  MemoryLas reoffset(las_test::build(o, pts),
                     requantizing(LASrequantizeStage::reoffset(1000.0, 2000.0, 0.0)));
  ASSERT_TRUE(reoffset.reader->read_point());
  EXPECT_EQ(reoffset.reader->point.X, 25);
  EXPECT_EQ(reoffset.reader->point.Y, 50);
  EXPECT_DOUBLE_EQ(reoffset.reader->point.get_x(), 1000.25);

  MemoryLas both(las_test::build(o, pts), requantizing({std::array<double, 3>{0.001, 0.001, 0.001},
                                                        std::array<double, 3>{1000, 2000, 0}, false}));
  ASSERT_TRUE(both.reader->read_point());
  EXPECT_EQ(both.reader->point.X, 250);
  EXPECT_EQ(both.reader->point.Y, 500);
  EXPECT_EQ(both.reader->point.Z, 3750);

  MemoryLas automatic(las_test::build(o, {{12345678.0, 1.0, 0.0}, {12345679.0, 2.0, 0.0}}),
                      requantizing(LASrequantizeStage::auto_reoffset()));
  EXPECT_EQ(automatic.reader->header.x_offset, 12300000.0);  // the centre rounded to 10^7 units
  EXPECT_EQ(automatic.reader->header.y_offset, 0.0);
  ASSERT_TRUE(automatic.reader->read_point());
  EXPECT_DOUBLE_EQ(automatic.reader->point.get_x(), 12345678.0);
}

// Wrapped integers would put the points (and their contours) far from where they lie: a rescale or
// reoffset that cannot hold the header's bounds refuses the file with one line naming the
// operation, the bound and its value.
TEST(Requantize, OverflowRefusesTheFileNamingTheOperationAndTheBound) {
  struct Case {
    const char* name;
    LASrequantizeStage::Request request;
    const char* message;
  };
  const Case cases[] = {
      {"rescale", LASrequantizeStage::rescale(1e-7, 0, 0),
       "ERROR: rescaling from 0.01 to 1e-07 causes LAS integer overflow for min_x 636000\n"},
      {"reoffset", LASrequantizeStage::reoffset(0, 0, -30000000),
       "ERROR: reoffsetting from 0 to -3e+07 causes LAS integer overflow for min_z 100\n"},
      {"both",
       {std::array<double, 3>{0.01, 1e-6, 0.01}, std::array<double, 3>{0, 0, 0}, false},
       "ERROR: rescaling from 0.01 to 1e-06 and reoffsetting from 0 to 0 causes LAS integer overflow for "
       "min_y 5200000\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryLas las(las_test::build({}, {{636000.0, 5200000.0, 100.0}, {636100.0, 5200100.0, 200.0}}),
                  requantizing(c.request));
    EXPECT_FALSE(las.opened);
    EXPECT_EQ(las.messages, c.message);
  }
  // Bounds that fit still open.
  MemoryLas fits(las_test::build({}, {{636000.0, 5200000.0, 100.0}}),
                 requantizing(LASrequantizeStage::rescale(0.001, 0.01, 0.001)));
  EXPECT_TRUE(fits.opened);
  EXPECT_EQ(fits.messages, "");
}

TEST(LasReader, SeekPositionsTheNextRead) {
  std::vector<las_test::Point> pts;
  for (int i = 0; i < 10; i++) pts.push_back({double(i), 0, 0});
  MemoryLas las(las_test::build({}, pts));
  ASSERT_TRUE(las.reader->seek(7));
  ASSERT_TRUE(las.reader->read_point());
  EXPECT_DOUBLE_EQ(las.reader->point.get_x(), 7.0);
  ASSERT_TRUE(las.reader->seek(2));
  ASSERT_TRUE(las.reader->read_point());
  EXPECT_DOUBLE_EQ(las.reader->point.get_x(), 2.0);
  EXPECT_FALSE(las.reader->seek(10));
  EXPECT_FALSE(las.reader->seek(-1));
  EXPECT_EQ(las.read_all(), 7);
}

TEST(LasReader, OpensFilesByNameAndReportsMissingOnes) {
  const std::string path = ::testing::TempDir() + "reader_open.las";
  ASSERT_TRUE(las_test::write_file(path, plain()));
  LASreaderLAS reader;
  ASSERT_TRUE(reader.open(path.c_str()));
  EXPECT_NE(reader.get_stream(), nullptr);
  EXPECT_EQ(reader.max_points_in_file(), 3);
  int n = 0;
  while (reader.read_point()) n++;
  EXPECT_EQ(n, 3);
  reader.close();
  EXPECT_EQ(reader.get_stream(), nullptr);
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(reader.open((path + ".missing").c_str()));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "ERROR: cannot open file '" + path + ".missing' for read\n");
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(reader.open(static_cast<const char*>(nullptr)));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "ERROR: file name pointer is zero\n");
  std::remove(path.c_str());
}

TEST(LasReader, StandardInputSkipsEvlrsWithAWarning) {
  las_test::Options o;
  o.version_minor = 4;
  o.evlrs.push_back({"LASF_Projection", 2112, {'W', 0}});
  const std::string path = ::testing::TempDir() + "reader_stdin.las";
  ASSERT_TRUE(las_test::write_file(path, las_test::build(o, three_points())));
  ASSERT_NE(std::freopen(path.c_str(), "rb", stdin), nullptr);
  LASreaderLAS reader;
  ::testing::internal::CaptureStderr();
  ASSERT_TRUE(reader.open(stdin));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "WARNING: LAS 1.4 file has 1 EVLRs but stream is not seekable ...\n");
  EXPECT_TRUE(reader.header.evlrs.empty());
  EXPECT_EQ(reader.header.number_of_extended_variable_length_records, 0u);
  EXPECT_EQ(reader.max_points_in_file(), -1);
  int n = 0;
  while (reader.read_point()) n++;
  EXPECT_EQ(n, 3);
  EXPECT_FALSE(reader.seek(0));
  reader.close();
  std::remove(path.c_str());
}

TEST(Header, VlrAccountingAndViewsFollowRemovals) {
  LASheader h;
  h.add_vlr("LASF_Projection", 2112, {'A', 0});
  h.set_view(LASheader::GEO_OGC_WKT, {LASpayloadRef::VLR, 0});
  h.add_vlr("LASF_Projection", 34737, {'x', 'y', 'z'});
  h.set_view(LASheader::GEO_ASCII_PARAMS, {LASpayloadRef::VLR, 1});
  EXPECT_EQ(h.offset_to_point_data, 227u + 54 + 2 + 54 + 3);
  EXPECT_EQ(h.number_of_variable_length_records, 2u);
  h.add_vlr("LASF_Projection", 2112, {'L', 'O', 'N', 'G', 0});  // replaces the payload
  EXPECT_EQ(h.offset_to_point_data, 227u + 54 + 5 + 54 + 3);
  EXPECT_EQ(h.vlr_geo_ogc_wkt(), "LONG");
  ASSERT_TRUE(h.remove_vlr("LASF_Projection", 2112));
  EXPECT_EQ(h.offset_to_point_data, 227u + 54 + 3);
  EXPECT_FALSE(h.has_view(LASheader::GEO_OGC_WKT));
  EXPECT_EQ(h.vlr_geo_ascii_params(), "xyz");  // the view followed its record to index 0
  h.clean_vlrs();
  EXPECT_EQ(h.offset_to_point_data, 227u);
  EXPECT_TRUE(h.vlr_geo_ascii_params().empty());
  h.user_data_after_header = {1, 2, 3, 4};
  h.offset_to_point_data += 4;
  h.clean_user_data_after_header();
  EXPECT_EQ(h.offset_to_point_data, 227u);
}

TEST(Header, GeoKeyEntriesNeverExceedThePayload) {
  LASheader h;
  auto keys = geo_keys(1, 2);
  put<uint16_t>(keys, 6, 60000);  // claims 60000 keys, holds 2
  h.add_vlr("LASF_Projection", 34735, keys);
  h.set_view(LASheader::GEO_KEYS, {LASpayloadRef::VLR, 0});
  EXPECT_EQ(h.vlr_geo_keys()->number_of_keys, 60000);
  EXPECT_EQ(h.vlr_geo_key_entries().size(), 2u);
  EXPECT_EQ(h.vlr_geo_key_entries()[1].key_id, 1025);
}

TEST(Header, AttributeSizesAndStarts) {
  const struct {
    uint8_t type, options;
    int32_t size;
  } cases[] = {{0, 7, 7},  {1, 0, 1},  {4, 0, 2},   {6, 0, 4},   {9, 0, 4},
               {10, 0, 8}, {11, 0, 2}, {20, 0, 16}, {30, 0, 24}, {31, 0, 0}};
  LASattributeSet set;
  int32_t start = 0;
  for (const auto& c : cases) {
    LASattribute a;
    a.data_type = c.type;
    a.options = c.options;
    EXPECT_EQ(a.get_size(), c.size) << int(c.type);
    set.add_attribute(a);
    EXPECT_EQ(set.attribute_starts.back(), start);
    start += c.size;
  }
  EXPECT_EQ(set.get_attributes_size(), start);
  EXPECT_EQ(set.number_attributes, 10);
}

TEST(Point, PreparationZeroClearAndCopy) {
  LASquantizer q;
  LASpoint p;
  EXPECT_FALSE(p.init(&q, {{LASitem::POINT10, 20, 0}, {99, 4, 0}}));
  EXPECT_EQ(p.num_items, 0);
  ASSERT_TRUE(p.init(&q, {{LASitem::POINT14, 30, 0},
                          {LASitem::RGBNIR14, 8, 0},
                          {LASitem::WAVEPACKET14, 29, 0},
                          {LASitem::BYTE14, 3, 0}}));
  EXPECT_EQ(p.total_point_size, 70u);
  EXPECT_EQ(p.extended_point_type, 1);
  EXPECT_TRUE(p.have_gps_time && p.have_rgb && p.have_nir && p.have_wavepacket);
  EXPECT_EQ(p.point[0], reinterpret_cast<uint8_t*>(&p.X));
  EXPECT_EQ(p.point[3], p.extra_bytes.data());
  p.X = 5;
  p.classification = 3;
  p.extra_bytes[2] = 9;
  p.wavepacket.set_offset(1234567890123ull);
  LASpoint copy;
  ASSERT_TRUE(copy.init(&q, p.items));
  copy.copy_from(p);
  EXPECT_EQ(copy.X, 5);
  EXPECT_EQ(copy.extra_bytes[2], 9);
  EXPECT_EQ(copy.wavepacket.get_offset(), 1234567890123ull);
  p.zero();
  EXPECT_EQ(p.X, 0);
  EXPECT_EQ(p.extra_bytes[2], 0);
  EXPECT_EQ(p.return_number, 1);
  EXPECT_EQ(p.extended_number_of_returns, 1);
  EXPECT_EQ(p.extended_point_type, 1);
  p.clear();
  EXPECT_EQ(p.extended_point_type, 0);
  EXPECT_TRUE(p.point.empty() && p.extra_bytes.empty() && !p.have_rgb);
}

}  // namespace
