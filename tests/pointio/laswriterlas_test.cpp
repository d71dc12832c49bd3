// LASwriterLAS: every shared file written uncompressed and compressed reads back to the same
// points, the independent reader accepts what is written, and the header updates, EVLRs, the
// embedded spatial index and failed writes behave.
#include "pointio/laswriterlas.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "common/messages.h"
#include "independent_las.h"
#include "pointio/lasreaderlas.h"
#include "pointio/spatialindex.h"
#include "temp_dir.h"
#include "tools/las_writer.h"

namespace {

// Every field a point carries, for comparing points read from different files.
auto fields(const LASpoint& p) {
  return std::make_tuple(
      p.X, p.Y, p.Z, p.intensity, int(p.return_number), int(p.number_of_returns), int(p.scan_direction_flag),
      int(p.edge_of_flight_line), int(p.classification), int(p.synthetic_flag), int(p.keypoint_flag),
      int(p.withheld_flag), p.scan_angle_rank, p.user_data, p.point_source_ID, p.extended_scan_angle,
      int(p.extended_scanner_channel), int(p.extended_classification_flags), p.extended_classification,
      int(p.extended_return_number), int(p.extended_number_of_returns), p.gps_time,
      std::vector<uint16_t>(p.rgb, p.rgb + 4),
      std::vector<uint8_t>(p.wavepacket.data, p.wavepacket.data + 29), p.extra_bytes);
}
using Fields = decltype(fields(std::declval<const LASpoint&>()));

std::vector<Fields> read_all(const std::string& file, std::string* error = nullptr) {
  LASreaderLAS reader;
  std::vector<Fields> points;
  if (!reader.open(file.c_str())) {
    if (error) *error = "cannot open";
    return points;
  }
  while (reader.read_point()) points.push_back(fields(reader.point));
  if (reader.is_incomplete() && error) *error = "incomplete";
  return points;
}

std::vector<uint8_t> file_bytes(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Copies a file through the writer; answers the bytes written or -1.
int64_t copy(const std::string& from, const std::string& to, uint32_t compressor,
             const LASspatialIndex* index = nullptr) {
  LASreaderLAS reader;
  if (!reader.open(from.c_str())) return -1;
  LASwriterLAS writer;
  if (!writer.open(to.c_str(), &reader.header, compressor)) return -1;
  writer.set_index(index);
  while (reader.read_point()) {
    if (!writer.write_point(reader.point)) return -1;
  }
  writer.update_header(&reader.header, true);
  return writer.close();
}

std::vector<std::string> shared_point_files() {
  std::vector<std::string> files;
  DIR* dir = opendir(CM_SHARED_DATA_DIR);
  if (!dir) return files;
  while (dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name.ends_with(".las") || name.ends_with(".rkp"))
      files.push_back(std::string(CM_SHARED_DATA_DIR) + "/" + name);
  }
  closedir(dir);
  return files;
}

TEST(LASwriterLAS, EverySharedFileRoundTripsUncompressedAndCompressed) {
  const auto files = shared_point_files();
  if (files.empty()) GTEST_SKIP() << "no shared point files in " << CM_SHARED_DATA_DIR;
  TempDir dir("cm_writer_");
  for (const std::string& file : files) {
    MessageCollector quiet;
    std::string error;
    const auto original = read_all(file, &error);
    ASSERT_EQ(error, "") << file;
    ASSERT_FALSE(original.empty()) << file;
    LASreaderLAS probe;
    ASSERT_TRUE(probe.open(file.c_str()));
    const uint32_t evlrs =
        probe.header.version_minor >= 4 ? static_cast<uint32_t>(probe.header.evlrs.size()) : 0;
    for (uint32_t compressor : {uint32_t(LASwriterLAS::NONE), uint32_t(LASwriterLAS::CHUNKED)}) {
      const std::string out = dir.file(compressor ? "copy.rkp" : "copy.las");
      ASSERT_GT(copy(file, out, compressor), 0) << file << quiet.text();
      EXPECT_EQ(read_all(out), original) << file << " compressor " << compressor;
      const independent_las::File parsed = independent_las::parse(file_bytes(out));
      EXPECT_EQ(parsed.error, "") << file;
      EXPECT_EQ(parsed.number_of_points, original.size()) << file;
      EXPECT_EQ(parsed.evlrs.size(), evlrs) << file;
      EXPECT_EQ(parsed.scale[0], probe.header.x_scale_factor);
      EXPECT_EQ(parsed.offset[1], probe.header.y_offset);
      if (compressor) {
        EXPECT_EQ(parsed.point_data_format & 0x80, 0x80);
        bool has_record = false;
        for (const auto& v : parsed.vlrs)
          has_record = has_record || (v.user_id == "rekomp encoded" && v.record_id == 22204);
        EXPECT_TRUE(has_record) << file;
      } else {
        ASSERT_EQ(parsed.records.size(), original.size());
        for (size_t i = 0; i < original.size(); i += 97) {
          EXPECT_EQ(parsed.records[i].X, std::get<0>(original[i]));
          EXPECT_EQ(parsed.records[i].Z, std::get<2>(original[i]));
        }
      }
    }
  }
}

TEST(LASwriterLAS, HeaderTakesTheCountsAndBoundsOfThePointsWritten) {
  TempDir dir("cm_writer_");
  las_test::Options o;
  o.point_data_format = 1;
  std::vector<las_test::Point> points(3);
  points[0].x = 5, points[0].y = 6, points[0].z = 7, points[0].return_number = 2,
  points[0].number_of_returns = 2;
  points[1].x = -1, points[1].y = 60, points[1].z = 0.5;
  points[2].x = 2, points[2].y = 0, points[2].z = 70;
  const std::string in = dir.file("in.las"), out = dir.file("out.las");
  ASSERT_TRUE(las_test::write_file(in, las_test::build(o, points)));
  LASreaderLAS reader;
  ASSERT_TRUE(reader.open(in.c_str()));
  LASheader announced = reader.header;
  announced.number_of_point_records = 10;  // the writer must correct what it was told
  announced.min_x = announced.max_x = 0;
  LASwriterLAS writer;
  MessageCollector messages;
  ASSERT_TRUE(writer.open(out.c_str(), &announced));
  while (reader.read_point()) ASSERT_TRUE(writer.write_point(reader.point));
  ASSERT_GT(writer.close(), 0);
  EXPECT_NE(messages.text().find("WARNING: written 3 points but expected 10 points"), std::string::npos)
      << messages.text();
  auto parsed = independent_las::parse(file_bytes(out));
  EXPECT_EQ(parsed.number_of_points, 3u);

  // With the inventory, the bounds and counts per return follow the points.
  LASreaderLAS again;
  ASSERT_TRUE(again.open(in.c_str()));
  LASwriterLAS inventory;
  ASSERT_TRUE(inventory.open(out.c_str(), &announced));
  while (again.read_point()) inventory.write_point(again.point);
  ASSERT_TRUE(inventory.update_header(&announced, true));
  ASSERT_GT(inventory.close(), 0);
  parsed = independent_las::parse(file_bytes(out));
  EXPECT_EQ(parsed.number_of_points, 3u);
  EXPECT_DOUBLE_EQ(parsed.min_x, -1);
  EXPECT_DOUBLE_EQ(parsed.max_y, 60);
  EXPECT_DOUBLE_EQ(parsed.max_z, 70);
  const auto bytes = file_bytes(out);
  EXPECT_EQ(independent_las::get<uint32_t>(bytes, 111), 2u);  // first returns
  EXPECT_EQ(independent_las::get<uint32_t>(bytes, 115), 1u);  // second returns
}

TEST(LASwriterLAS, CompressedFilesCarryTheirSpatialIndex) {
  TempDir dir("cm_writer_");
  las_test::Options o;
  std::vector<las_test::Point> points;
  for (int64_t i = 0; i < 60000; i++) {
    las_test::Point p;
    p.x = double(i % 300) / 3.0;
    p.y = double(i / 300) / 2.0;
    p.z = double(i % 100);
    points.push_back(p);
  }
  const std::string in = dir.file("in.las"), out = dir.file("out.rkp");
  ASSERT_TRUE(las_test::write_file(in, las_test::build(o, points)));
  LASspatialIndex index;
  index.prepare(0, 0, 100, 100, points.size());
  {
    LASreaderLAS reader;
    ASSERT_TRUE(reader.open(in.c_str()));
    uint32_t i = 0;
    while (reader.read_point()) index.add(reader.point.get_x(), reader.point.get_y(), i++);
  }
  index.complete();
  ASSERT_GT(copy(in, out, LASwriterLAS::CHUNKED, &index), 0);
  LASreaderLAS indexed, plain;
  ASSERT_TRUE(indexed.open(out.c_str()));
  ASSERT_NE(indexed.get_index(), nullptr);
  ASSERT_TRUE(plain.open(in.c_str()));
  indexed.inside_rectangle(20, 30, 45, 41);
  plain.inside_rectangle(20, 30, 45, 41);
  std::vector<Fields> a, b;
  while (indexed.read_point()) a.push_back(fields(indexed.point));
  while (plain.read_point()) b.push_back(fields(plain.point));
  EXPECT_FALSE(a.empty());
  EXPECT_EQ(a, b);
  EXPECT_LT(indexed.get_index()->get_total(), points.size() / 2);
}

TEST(LASwriterLAS, FailedWritesAndBadHeadersAreErrors) {
  MessageCollector messages;
  LASwriterLAS writer;
  EXPECT_FALSE(writer.open(static_cast<ByteStreamOut*>(nullptr), nullptr));
  EXPECT_NE(messages.text().find("ERROR: ByteStreamOut pointer is zero"), std::string::npos);
  ByteStreamOutArray array;
  EXPECT_FALSE(writer.open(&array, nullptr));
  EXPECT_NE(messages.text().find("ERROR: LASheader pointer is zero"), std::string::npos);
  LASheader bad;
  bad.point_data_format = 11;
  EXPECT_FALSE(writer.open(&array, &bad));
  EXPECT_NE(messages.text().find("ERROR: unknown point type 11 with point size 20"), std::string::npos);
  LASheader short_record;
  short_record.point_data_format = 1;  // 28 bytes a point, but the header says 20
  EXPECT_FALSE(writer.open(&array, &short_record));
  EXPECT_NE(messages.text().find("ERROR: point size 20 too small by 8 bytes for point type 1"),
            std::string::npos);

  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  LASheader header;
  LASpoint point;
  std::vector<LASitem> items;
  ASSERT_TRUE(las_point_format_items(0, 20, items));
  ASSERT_TRUE(point.init(&header, items));
  for (uint32_t compressor : {uint32_t(LASwriterLAS::NONE), uint32_t(LASwriterLAS::CHUNKED)}) {
    LASwriterLAS full;
    bool ok = full.open("/dev/full", &header, compressor);
    for (int i = 0; ok && i < 100000; i++) {
      point.X = i;
      ok = full.write_point(point);
    }
    EXPECT_EQ(full.close(), -1) << compressor;
  }
  EXPECT_NE(messages.text().find("ERROR: "), std::string::npos);
}

}  // namespace
