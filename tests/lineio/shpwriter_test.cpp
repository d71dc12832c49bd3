#include "lineio/shpwriter.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "lineio/dbfwriter.h"
#include "lineio_test_util.h"

namespace {

using lineio_test::be32;
using lineio_test::le16;
using lineio_test::le32;
using lineio_test::le64f;
using lineio_test::read_bytes;
using lineio_test::run_command;

// Expected bytes, encoded independently of the writer.
struct Bytes {
  std::vector<std::uint8_t> v;
  Bytes& be(std::uint32_t x) {
    for (int s = 24; s >= 0; s -= 8) v.push_back(static_cast<std::uint8_t>(x >> s));
    return *this;
  }
  Bytes& le(std::uint32_t x) {
    for (int s = 0; s < 32; s += 8) v.push_back(static_cast<std::uint8_t>(x >> s));
    return *this;
  }
  Bytes& f64(double d) {
    std::uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    for (int s = 0; s < 64; s += 8) v.push_back(static_cast<std::uint8_t>(bits >> s));
    return *this;
  }
  Bytes& header(std::uint32_t words, std::uint32_t type, std::initializer_list<double> box) {
    be(9994).be(0).be(0).be(0).be(0).be(0).be(words).le(1000).le(type);
    for (double d : box) f64(d);
    return f64(0).f64(0);
  }
};

class SHPwriterTest : public testing::Test {
 protected:
  std::string dir = lineio_test::make_scratch_dir();
  std::string path(const char* leaf) const { return dir + "/" + leaf; }
};

// Two vertices relative to offsets (1000, 2000, 100): (1,2,3) and (4,5,6).
TEST_F(SHPwriterTest, PolyLineZHeaderRecordAndIndexMatchTheLayoutByteForByte) {
  const std::string name = path("tiny.shp");
  SHPwriter writer;
  ASSERT_TRUE(writer.open(name.c_str(), 13));
  writer.set_offset(1000.0, 2000.0, 100.0);
  ASSERT_TRUE(writer.add_vertex(1, 2, 3));
  ASSERT_TRUE(writer.add_vertex(4, 5, 6));
  ASSERT_TRUE(writer.end_line());
  ASSERT_TRUE(writer.close());

  // Content 80 + 32 * 2 = 144 bytes = 72 words; file 100 + 8 + 144 = 252 bytes = 126 words.
  Bytes shp;
  shp.header(126, 13, {1001, 2002, 1004, 2005, 103, 106});
  shp.be(1).be(72).le(13).f64(1001).f64(2002).f64(1004).f64(2005);
  shp.le(1).le(2).le(0).f64(1001).f64(2002).f64(1004).f64(2005);
  shp.f64(103).f64(106).f64(103).f64(106);
  shp.f64(-1e39).f64(-1e39).f64(-1e39).f64(-1e39);  // no measures: M range and values are "no data"
  const std::vector<std::uint8_t> got = read_bytes(name);
  ASSERT_EQ(got.size(), 252u);
  EXPECT_EQ(got, shp.v);
  // A few literal bytes, so the encoder above is not the only judge.
  EXPECT_EQ(std::vector<std::uint8_t>(got.begin(), got.begin() + 4),
            (std::vector<std::uint8_t>{0, 0, 0x27, 0x0A}));
  EXPECT_EQ(std::vector<std::uint8_t>(got.begin() + 24, got.begin() + 36),
            (std::vector<std::uint8_t>{0, 0, 0, 126, 0xE8, 0x03, 0, 0, 13, 0, 0, 0}));
  EXPECT_EQ(std::vector<std::uint8_t>(got.begin() + 36, got.begin() + 44),
            (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0x48, 0x8F, 0x40}));  // 1001.0

  Bytes shx;
  shx.header(54, 13, {1001, 2002, 1004, 2005, 103, 106});
  shx.be(50).be(72);
  EXPECT_EQ(read_bytes(path("tiny.shx")), shx.v);

  Bytes dbf;
  dbf.v = {3, 9, 9, 9, 1, 0, 0, 0, 33, 0, 1, 0};
  dbf.v.resize(32, 0);
  dbf.v[29] = 0x57;
  dbf.v.push_back(0x0D);
  dbf.v.push_back(0x20);
  EXPECT_EQ(read_bytes(path("tiny.dbf")), dbf.v);
}

TEST_F(SHPwriterTest, ZAttributeGoesIntoATwentyCharacterFloatColumn) {
  const std::string name = path("z.shp");
  SHPwriter writer;
  ASSERT_TRUE(writer.open(name.c_str(), 13, 0, false, true));
  writer.set_offset(0, 0, 100);
  for (float z : {25.5f, -3.25f}) {
    ASSERT_TRUE(writer.add_vertex(0, 0, z));
    ASSERT_TRUE(writer.add_vertex(1, 1, z));
    ASSERT_TRUE(writer.end_line());
  }
  ASSERT_TRUE(writer.close());
  const std::vector<std::uint8_t> dbf = read_bytes(path("z.dbf"));
  ASSERT_EQ(dbf.size(), 65u + 2 * 21 + 1);
  EXPECT_EQ(dbf[0], 3);
  EXPECT_EQ(le32(dbf, 4), 2u);
  EXPECT_EQ(le16(dbf, 8), 65);
  EXPECT_EQ(le16(dbf, 10), 21);
  EXPECT_EQ(dbf[29], 0x57);
  const std::vector<std::uint8_t> descriptor(dbf.begin() + 32, dbf.begin() + 64);
  std::vector<std::uint8_t> expected(32, 0);
  expected[0] = 'z';
  expected[11] = 'F';
  expected[12] = 1;
  expected[16] = 20;
  expected[17] = 3;
  EXPECT_EQ(descriptor, expected);
  EXPECT_EQ(dbf[64], 0x0D);
  EXPECT_EQ(std::string(dbf.begin() + 65, dbf.begin() + 86),
            std::string(16, ' ') + "125.5");  // flag + 15 blanks
  EXPECT_EQ(std::string(dbf.begin() + 86, dbf.begin() + 107), std::string(16, ' ') + "96.75");
  EXPECT_EQ(dbf.back(), 0x0A);
}

TEST_F(SHPwriterTest, FilesWithoutRecordsAreValidAndEmpty) {
  for (bool z_attribute : {false, true}) {
    const std::string name = path(z_attribute ? "empty_z.shp" : "empty.shp");
    {
      SHPwriter writer;
      ASSERT_TRUE(writer.open(name.c_str(), 13, 0, false, z_attribute));
      EXPECT_TRUE(writer.end_line());  // nothing pending: no record
      ASSERT_TRUE(writer.close());
    }
    Bytes header;
    header.header(50, 13, {0, 0, 0, 0, 0, 0});
    EXPECT_EQ(read_bytes(name), header.v);
    std::string shx = name;
    shx.back() = 'x';
    EXPECT_EQ(read_bytes(shx), header.v);
    std::string dbf_name = name.substr(0, name.size() - 3) + "dbf";
    const std::vector<std::uint8_t> dbf = read_bytes(dbf_name);
    ASSERT_EQ(dbf.size(), z_attribute ? 66u : 33u);
    EXPECT_EQ(le32(dbf, 4), 0u);
    EXPECT_EQ(le16(dbf, 8), z_attribute ? 65 : 33);
  }
}

TEST_F(SHPwriterTest, Only2dZeroesEveryElevationAndTheZRange) {
  const std::string name = path("flat.shp");
  SHPwriter writer;
  writer.only_2d = true;
  ASSERT_TRUE(writer.open(name.c_str(), 13));
  writer.set_offset(10, 20, 500);
  ASSERT_TRUE(writer.add_vertex(1, 1, 7));
  ASSERT_TRUE(writer.add_vertex(2, 3, 9));
  ASSERT_TRUE(writer.close());  // close writes the pending record
  const std::vector<std::uint8_t> shp = read_bytes(name);
  ASSERT_EQ(shp.size(), 100u + 8 + 144);
  EXPECT_EQ(le32(shp, 32), 13u);
  EXPECT_EQ(le64f(shp, 68), 0.0);
  EXPECT_EQ(le64f(shp, 76), 0.0);
  const std::size_t z_range = 100 + 8 + 48 + 32;
  for (std::size_t i = 0; i < 4; i++) EXPECT_EQ(le64f(shp, z_range + 8 * i), 0.0);
  EXPECT_EQ(le64f(shp, 36), 11.0);
  EXPECT_EQ(le64f(shp, 60), 23.0);
}

// Record i starts at the .shx offset; NumParts sits 44 bytes after the record header start.
std::vector<std::uint32_t> record_element_counts(const std::vector<std::uint8_t>& shp,
                                                 const std::vector<std::uint8_t>& shx, std::size_t count_at) {
  std::vector<std::uint32_t> counts;
  for (std::size_t at = 100; at + 8 <= shx.size(); at += 8) {
    const std::size_t offset = 2 * std::size_t{be32(shx, at)};
    EXPECT_EQ(be32(shp, offset), counts.size() + 1);  // records are numbered from 1
    EXPECT_EQ(be32(shp, offset + 4), be32(shx, at + 4));
    counts.push_back(le32(shp, offset + count_at));
  }
  return counts;
}

TEST_F(SHPwriterTest, MultiPatchSplitsIntoRecordsOfMaxElementsTriangles) {
  const std::string name = path("tin.shp");
  SHPwriter writer;
  ASSERT_TRUE(writer.open(name.c_str(), 31, 2048));
  for (int i = 0; i < 5000; i++) {
    const float x = static_cast<float>(i);
    ASSERT_TRUE(writer.add_triangle(x, 0, 1, x + 1, 0, 2, x, 1, 3));
  }
  ASSERT_TRUE(writer.close());
  const std::vector<std::uint8_t> shp = read_bytes(name), shx = read_bytes(path("tin.shx"));
  ASSERT_EQ(shx.size(), 100u + 3 * 8);
  EXPECT_EQ(record_element_counts(shp, shx, 44), (std::vector<std::uint32_t>{2048, 2048, 904}));
  for (std::size_t at = 100; at < shx.size(); at += 8) {
    const std::uint32_t parts = le32(shp, 2 * std::size_t{be32(shx, at)} + 44);
    EXPECT_EQ(be32(shx, at + 4), (76 + 104 * parts) / 2);
    EXPECT_EQ(le32(shp, 2 * std::size_t{be32(shx, at)} + 48), 3 * parts);  // NumPoints
  }
  EXPECT_EQ(shp.size(), 100u + 3 * (8 + 76) + 104 * 5000);
  EXPECT_EQ(2 * std::size_t{be32(shp, 24)}, shp.size());
  EXPECT_EQ(le64f(shp, 52), 5000.0);  // Xmax
  EXPECT_EQ(le64f(shp, 76), 3.0);     // Zmax
  EXPECT_EQ(read_bytes(path("tin.dbf")).size(), 33u + 3);
}

TEST_F(SHPwriterTest, SplitPolylinesStayConnectedAndKeepTheTableInStep) {
  const std::string name = path("split.shp");
  SHPwriter writer;
  ASSERT_TRUE(writer.open(name.c_str(), 13, 3, true, true));
  for (int i = 0; i < 5; i++) ASSERT_TRUE(writer.add_vertex(static_cast<float>(i), 0, 10));
  ASSERT_TRUE(writer.end_line());  // only the handed-on vertex would remain: nothing more
  ASSERT_TRUE(writer.close());
  const std::vector<std::uint8_t> shp = read_bytes(name), shx = read_bytes(path("split.shx"));
  EXPECT_EQ(record_element_counts(shp, shx, 48), (std::vector<std::uint32_t>{3, 3}));
  const std::size_t second = 2 * std::size_t{be32(shx, 108)};
  EXPECT_EQ(le64f(shp, second + 56), 2.0);  // its first point is the first record's last
  EXPECT_EQ(le32(read_bytes(path("split.dbf")), 4), 2u);
}

TEST_F(SHPwriterTest, MultiPointRecordsUseTheirOwnLayout) {
  const std::string name = path("points.shp");
  SHPwriter writer;
  ASSERT_TRUE(writer.open(name.c_str(), 18, 2));
  for (int i = 0; i < 3; i++) ASSERT_TRUE(writer.add_vertex(static_cast<float>(i), 1, 2));
  ASSERT_TRUE(writer.close());
  const std::vector<std::uint8_t> shp = read_bytes(name), shx = read_bytes(path("points.shx"));
  EXPECT_EQ(record_element_counts(shp, shx, 44), (std::vector<std::uint32_t>{2, 1}));
  EXPECT_EQ(be32(shx, 104), (72u + 32 * 2) / 2);
  EXPECT_EQ(be32(shx, 112), (72u + 32 * 1) / 2);
}

TEST_F(SHPwriterTest, RefusesWhatTheFormatCannotHold) {
  const std::string name = path("bad.shp");
  struct Open {
    int type, max_elements;
    const char* file;
    const char* err;
  };
  const std::vector<Open> refused = {
      {11, 0, "p.shp", "ERROR: the shapefile type 11 is not supported\n"},
      {1, 0, "p.shp", "ERROR: the shapefile type 1 is not supported\n"},
      {15, 10, "p.shp", "ERROR: max_elements 10 is not usable with shapefile type 15\n"},
      {13, 1, "p.shp", "ERROR: max_elements 1 is not usable with shapefile type 13\n"},
      {31, -1, "p.shp", "ERROR: max_elements -1 is not usable with shapefile type 31\n"},
      {31, std::numeric_limits<int>::max(), "p.shp",
       "ERROR: max_elements 2147483647 is not usable with shapefile type 31\n"},
      {13, 0, "p.SHP", nullptr},
  };
  for (const Open& o : refused) {
    SHPwriter writer;
    const std::string file = path(o.file);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(writer.open(file.c_str(), o.type, o.max_elements));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(
        err, o.err ? std::string(o.err) : "ERROR: the shapefile name '" + file + "' does not end in *.shp\n");
  }

  // Elements of the wrong kind are refused, and close reports the loss.
  SHPwriter lines, tin;
  ASSERT_TRUE(lines.open(name.c_str(), 13));
  ASSERT_TRUE(tin.open(path("bad_tin.shp").c_str(), 31));
  testing::internal::CaptureStderr();
  EXPECT_FALSE(lines.add_triangle(0, 0, 0, 1, 0, 0, 0, 1, 0));
  EXPECT_FALSE(tin.add_vertex(0, 0, 0));
  EXPECT_TRUE(tin.end_line());  // the refused vertex left nothing to write
  EXPECT_FALSE(lines.close());
  EXPECT_FALSE(tin.close());
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("ERROR: SHP type is 13. cannot add_triangle().\n"), std::string::npos) << err;
  EXPECT_NE(err.find("ERROR: SHP type is 31. cannot add_vertex().\n"), std::string::npos) << err;
  // A Shapefile that lost records is never put in place.
  EXPECT_TRUE(read_bytes(name).empty());
}

// A record must end within 2^31 - 1 words of file and state its length in a signed 32-bit word count.
TEST(SHPwriterLimits, RecordsThatOverflowTheWordCountsAreRefused) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  EXPECT_EQ(SHPwriter::content_length_words(13, 2), 72);
  EXPECT_EQ(SHPwriter::content_length_words(18, 2), 68);
  EXPECT_EQ(SHPwriter::content_length_words(31, 2), 142);
  EXPECT_TRUE(SHPwriter::record_fits(50, kMax - 54));
  EXPECT_FALSE(SHPwriter::record_fits(50, kMax - 53));
  EXPECT_FALSE(SHPwriter::record_fits(kMax - 100, 100));
  EXPECT_FALSE(SHPwriter::record_fits(50, SHPwriter::content_length_words(13, std::int64_t{1} << 27)));
  for (int type : {13, 18, 31}) {
    const std::int64_t n = SHPwriter::max_elements_per_record(type);
    EXPECT_TRUE(SHPwriter::record_fits(50, SHPwriter::content_length_words(type, n))) << type;
    EXPECT_FALSE(SHPwriter::record_fits(50, SHPwriter::content_length_words(type, n + 1))) << type;
  }
}

TEST(DBFwriterTest, ValuesAlwaysFitTheirTwentyCharacters) {
  const std::string dir = lineio_test::make_scratch_dir();
  const std::string name = dir + "/t.dbf";
  DBFwriter dbf;
  ASSERT_TRUE(dbf.open((dir + "/t.shp").c_str()));
  ASSERT_EQ(dbf.add_float_field("elevation_m"), 0);
  ASSERT_EQ(dbf.add_float_field("b"), 1);
  EXPECT_FALSE(dbf.add_field("c", 0, 'C'));
  EXPECT_FALSE(dbf.add_field("c", 256, 'C'));
  testing::internal::CaptureStderr();
  EXPECT_FALSE(dbf.set_float(2, 1.0, 2));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: index 2 out of bounds\n");
  ASSERT_TRUE(dbf.set_float(0, 125.5, 3));
  ASSERT_TRUE(dbf.set_float(1, -1.5e300, 2));  // "%20.2f" would need 300 digits
  ASSERT_TRUE(dbf.write_record());
  EXPECT_FALSE(dbf.add_float_field("late") >= 0);  // the header is written
  ASSERT_TRUE(dbf.close());
  const std::vector<std::uint8_t> bytes = read_bytes(name);
  ASSERT_EQ(bytes.size(), 32u * 3 + 1 + 41 + 1);
  EXPECT_EQ(std::string(bytes.begin() + 32, bytes.begin() + 43), std::string("elevation_\0", 11));
  EXPECT_EQ(le32(bytes, 64 + 12), 21u);  // second field's offset
  EXPECT_EQ(std::string(bytes.begin() + 97, bytes.begin() + 138),
            std::string(14, ' ') + "125.500" + std::string(11, ' ') + "-1.5e+300");
}

TEST(DBFwriterTest, RejectsNamesWithoutAThreeLetterExtension) {
  DBFwriter dbf;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(dbf.open("table.db"));
  EXPECT_FALSE(dbf.close());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: invalid file name 'table.db' for DBF file\n");
}

// A shapefile whose parts point at /dev/full: every failed write must surface at close.
TEST_F(SHPwriterTest, WriteFailureInAnyOfTheThreeFilesMakesCloseAnswerFalse) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  for (const char* full_part : {"shp", "shx", "dbf"}) {
    SCOPED_TRACE(full_part);
    const std::string stem = path(full_part);
    const std::string full_name = stem + "." + full_part;
    ASSERT_EQ(symlink("/dev/full", full_name.c_str()), 0);
    SHPwriter writer;
    ASSERT_TRUE(writer.open((stem + ".shp").c_str(), 13, 0, false, true));
    ASSERT_TRUE(writer.add_vertex(0, 0, 1));
    writer.add_vertex(1, 1, 1);
    writer.end_line();
    testing::internal::CaptureStderr();
    EXPECT_FALSE(writer.close());
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("ERROR: cannot write to '" + full_name + "'\n"), std::string::npos) << err;
  }
}

// An independent reader must open what we write without complaint.
TEST_F(SHPwriterTest, OgrinfoReadsTheShapefileWithoutWarnings) {
  if (std::system("which ogrinfo > /dev/null 2>&1") != 0) GTEST_SKIP() << "ogrinfo is not installed";
  for (bool z_attribute : {true, false}) {
    const std::string name = path(z_attribute ? "ogr_z.shp" : "ogr.shp");
    SHPwriter writer;
    ASSERT_TRUE(writer.open(name.c_str(), 13, 0, false, z_attribute));
    writer.set_offset(500000.0, 4000000.0, 100.0);
    for (float z : {25.5f, 30.0f}) {
      for (float x : {0.0f, 10.0f, 10.0f, 0.0f}) ASSERT_TRUE(writer.add_vertex(x, x * 0.5f + z, z));
      ASSERT_TRUE(writer.end_line());
    }
    ASSERT_TRUE(writer.close());
    const std::string out = run_command("ogrinfo -ro -al '" + name + "' 2>&1");
    EXPECT_EQ(out.find("Warning"), std::string::npos) << out;
    EXPECT_EQ(out.find("ERROR"), std::string::npos) << out;
    EXPECT_NE(out.find("Feature Count: 2"), std::string::npos) << out;
    const bool line_z = out.find("Geometry: 3D Line String") != std::string::npos ||
                        out.find("Geometry: LineString25D") != std::string::npos;
    EXPECT_TRUE(line_z) << out;
    EXPECT_NE(out.find("LINESTRING Z (500000.0 4000025.5 125.5,500010.0 4000030.5 125.5,"), std::string::npos)
        << out;
    EXPECT_NE(out.find("LINESTRING Z (500000 4000030 130,500010 4000035 130,"), std::string::npos) << out;
    EXPECT_NE(out.find("Extent: (500000.000000, 4000025.500000) - (500010.000000, 4000035.000000)"),
              std::string::npos)
        << out;
    if (z_attribute) {
      EXPECT_NE(out.find("z (Real) = 125.500\n"), std::string::npos) << out;
      EXPECT_NE(out.find("z (Real) = 130.000\n"), std::string::npos) << out;
    }
  }
}

}  // namespace
