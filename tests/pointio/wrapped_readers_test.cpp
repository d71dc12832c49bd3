// The readers that wrap others: stored (later passes from memory), pipe-on (points passed on as
// LAS) and buffered (a main file with its neighbours' points around it).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "common/messages.h"
#include "independent_las.h"
#include "pointio/lasreaderbuffered.h"
#include "pointio/lasreaderlas.h"
#include "pointio/lasreaderpipeon.h"
#include "pointio/lasreaderstored.h"
#include "temp_dir.h"
#include "tools/las_writer.h"

namespace {

std::vector<las_test::Point> grid(double x0, double y0, int n, double step) {
  std::vector<las_test::Point> points;
  for (int i = 0; i < n * n; i++) {
    las_test::Point p;
    p.x = x0 + (i % n) * step;
    p.y = y0 + (i / n) * step;
    p.z = 100 + std::sin(p.x * 0.05) * 10 + (i % 7) * 0.01;
    p.intensity = uint16_t(i);
    p.gps_time = i * 0.5;
    p.classification = uint8_t(i % 3);
    points.push_back(p);
  }
  return points;
}

struct Snapshot {
  int32_t X, Y, Z;
  uint16_t intensity;
  double gps_time;
  uint8_t classification;
  bool operator==(const Snapshot&) const = default;
};

std::vector<Snapshot> read_all(LASreader& reader) {
  std::vector<Snapshot> out;
  while (reader.read_point()) {
    const LASpoint& p = reader.point;
    out.push_back({p.X, p.Y, p.Z, p.intensity, p.gps_time, p.classification});
  }
  return out;
}

TEST(LASreaderStored, LaterPassesComeFromMemoryAfterTheFileIsGone) {
  TempDir dir("cm_wrapped_");
  const std::string file = dir.file("points.las");
  las_test::Options o;
  o.point_data_format = 1;
  ASSERT_TRUE(las_test::write_file(file, las_test::build(o, grid(1000, 2000, 300, 0.37))));
  auto las = std::make_unique<LASreaderLAS>();
  ASSERT_TRUE(las->open(file.c_str()));
  LASreaderStored stored;
  ASSERT_TRUE(stored.open(std::move(las)));
  const std::vector<Snapshot> first = read_all(stored);
  ASSERT_EQ(first.size(), 90000u);
  // Compressed in memory, the points take far less than their 28-byte records.
  EXPECT_LT(stored.stored_bytes(), int64_t(first.size() * 28 / 2));
  ASSERT_TRUE(std::filesystem::remove(file));
  for (int pass = 0; pass < 2; pass++) {
    ASSERT_TRUE(stored.reopen());
    EXPECT_EQ(read_all(stored), first) << pass;
    EXPECT_FALSE(stored.is_incomplete());
  }
}

TEST(LASreaderStored, AFirstPassThatStopsEarlyIsCompletedBeforeTheSecond) {
  TempDir dir("cm_wrapped_");
  const std::string file = dir.file("points.las");
  ASSERT_TRUE(las_test::write_file(file, las_test::build(las_test::Options{}, grid(0, 0, 50, 1))));
  auto las = std::make_unique<LASreaderLAS>();
  ASSERT_TRUE(las->open(file.c_str()));
  LASreaderStored stored;
  ASSERT_TRUE(stored.open(std::move(las)));
  for (int i = 0; i < 10; i++) ASSERT_TRUE(stored.read_point());
  ASSERT_TRUE(stored.reopen());
  EXPECT_EQ(read_all(stored).size(), 2500u);
}

TEST(LASreaderPipeOn, PassesOnEveryPointItDelivers) {
  TempDir dir("cm_wrapped_");
  const std::string file = dir.file("points.las"), piped = dir.file("piped.las");
  las_test::Options o;
  o.point_data_format = 3;
  const auto bytes = las_test::build(o, grid(10, 20, 40, 0.5));
  ASSERT_TRUE(las_test::write_file(file, bytes));
  FILE* out = std::fopen(piped.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  {
    auto las = std::make_unique<LASreaderLAS>();
    ASSERT_TRUE(las->open(file.c_str()));
    LASreaderPipeOn pipe;
    ASSERT_TRUE(pipe.open(std::move(las), out));
    EXPECT_EQ(read_all(pipe).size(), 1600u);
  }
  std::fclose(out);
  std::ifstream in(piped, std::ios::binary);
  const independent_las::File written =
      independent_las::parse(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}));
  const independent_las::File original = independent_las::parse(bytes);
  ASSERT_EQ(written.error, "");
  ASSERT_EQ(written.records.size(), original.records.size());
  for (size_t i = 0; i < original.records.size(); i++)
    EXPECT_EQ(written.records[i].bytes, original.records[i].bytes) << i;
}

// Opens LAS sources for the buffered reader, in the main file's quantization when asked.
std::unique_ptr<LASreader> open_las(const std::string& name, const LASquantizer*) {
  auto reader = std::make_unique<LASreaderLAS>();
  if (!reader->open(name.c_str())) return nullptr;
  return reader;
}

TEST(LASreaderBuffered, NeighbourPointsWithinTheBufferFollowTheMainFile) {
  TempDir dir("cm_wrapped_");
  const std::string main = dir.file("main.las"), east = dir.file("east.las");
  ASSERT_TRUE(
      las_test::write_file(main, las_test::build(las_test::Options{}, grid(0, 0, 11, 10))));  // 0..100
  ASSERT_TRUE(
      las_test::write_file(east, las_test::build(las_test::Options{}, grid(130, 0, 11, 10))));  // 130..230
  LASreaderBuffered buffered;
  buffered.set_source_opener(open_las);
  ASSERT_TRUE(buffered.set_file_name(main));
  ASSERT_TRUE(buffered.add_neighbor_file_name(east));
  buffered.set_buffer_size(50);
  MessageCollector messages;
  ASSERT_TRUE(buffered.open());
  EXPECT_NE(messages.text().find("LASreaderBuffered: adding 22 buffer points."), std::string::npos)
      << messages.text();
  EXPECT_DOUBLE_EQ(buffered.header.max_x, 140);
  EXPECT_DOUBLE_EQ(buffered.main_header().max_x, 100);
  const auto points = read_all(buffered);
  ASSERT_EQ(points.size(), 121u + 22u);
  for (size_t i = 0; i < 121; i++) EXPECT_LE(points[i].X, 10000);
  for (size_t i = 121; i < points.size(); i++) EXPECT_GE(points[i].X, 13000);
  ASSERT_TRUE(buffered.reopen());
  EXPECT_EQ(read_all(buffered).size(), 143u);
  buffered.remove_buffer();
  ASSERT_TRUE(buffered.reopen());
  EXPECT_EQ(read_all(buffered).size(), 121u);
  EXPECT_DOUBLE_EQ(buffered.header.max_x, 100);
}

TEST(LASreaderBuffered, ANeighbourCutShortIsAnErrorWithItsName) {
  TempDir dir("cm_wrapped_");
  const std::string main = dir.file("main.las"), east = dir.file("east.las");
  ASSERT_TRUE(las_test::write_file(main, las_test::build(las_test::Options{}, grid(0, 0, 11, 10))));
  auto bytes = las_test::build(las_test::Options{}, grid(110, 0, 11, 10));
  bytes.resize(bytes.size() - 20 * 60);
  ASSERT_TRUE(las_test::write_file(east, bytes));
  LASreaderBuffered buffered;
  buffered.set_source_opener(open_las);
  ASSERT_TRUE(buffered.set_file_name(main));
  ASSERT_TRUE(buffered.add_neighbor_file_name(east));
  buffered.set_buffer_size(50);
  MessageCollector messages;
  EXPECT_FALSE(buffered.open());
  EXPECT_NE(messages.text().find("ERROR: neighbor '" + east + "' could not be read to its end"),
            std::string::npos)
      << messages.text();
}

// A reader of no points whose header names a point type that does not exist.
class UnknownTypeReader : public LASreader {
 public:
  UnknownTypeReader() { header.point_data_format = 11; }
  int32_t get_format() const override { return FORMAT_LAS; }
  bool seek(int64_t) override { return false; }
  ByteStreamIn* get_stream() const override { return nullptr; }
  void close(bool) override {}
  bool read_point_unfiltered() override { return false; }
};

TEST(WrappedReaders, AnUnknownPointTypeIsReportedOnce) {
  for (const char* name : {"stored", "pipe-on"}) {
    ::testing::internal::CaptureStderr();
    bool opened;
    if (std::string(name) == "stored") {
      LASreaderStored reader;
      opened = reader.open(std::make_unique<UnknownTypeReader>());
    } else {
      LASreaderPipeOn reader;
      opened = reader.open(std::make_unique<UnknownTypeReader>(), nullptr);
    }
    const std::string messages = ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(opened) << name;
    EXPECT_EQ(messages, "ERROR: unknown point type 11 with point size 20\n") << name;
  }
}

}  // namespace
