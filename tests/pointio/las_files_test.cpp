// Reading the real public files: header facts against the data folder's table, every point
// delivered and inside the header bounds; compressed files refused cleanly; broken files never crash.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "pointio/lasreaderlas.h"
#include "shared_data.h"

namespace {

namespace fs = std::filesystem;

struct FileFacts {
  const char* name;
  int version_major, version_minor, format, record_length;
  int64_t points;
  double min[3], max[3];
  std::vector<std::pair<std::string, int>> vlrs;  // user_id / record_id in file order
  // The header bounds of this file hold the quantized integers instead of real coordinates.
  bool integer_bounds = false;
};

const std::vector<FileFacts>& facts() {
  static const std::vector<FileFacts> kFacts = {
      {"autzen-core.las",
       1,
       4,
       7,
       36,
       68,
       {194472.820, 259224.630, 423.200},
       {194506.860, 259264.090, 434.120},
       {{"LASF_Projection", 2112}}},
      {"autzen-extra-fields.las",
       1,
       4,
       6,
       82,
       104,
       {194472.820, 259222.190, 423.200},
       {194506.860, 259263.940, 433.960},
       {{"LASF_Projection", 2112}, {"liblas", 2112}, {"LASF_Spec", 4}}},
      {"autzen-trim-fmt7.las",
       1,
       4,
       7,
       36,
       110000,
       {636001.760, 848935.200, 406.260},
       {637179.220, 849497.900, 520.510},
       {{"LASF_Projection", 2112}, {"liblas", 2112}}},
      {"autzen-trim.las",
       1,
       2,
       3,
       34,
       110000,
       {636001.760, 848935.200, 406.260},
       {637179.220, 849497.900, 520.510},
       {{"LASF_Projection", 34735},
        {"LASF_Projection", 34736},
        {"LASF_Projection", 34737},
        {"LASF_Projection", 2112},
        {"liblas", 2112}}},
      {"evlr-1.4-fmt6.las",
       1,
       4,
       6,
       30,
       1000,
       {1694038.446, 1816492.706, 5592.750},
       {1694539.677, 1816497.976, 5599.070},
       {{"LASF_Projection", 2112}, {"liblas", 2112}}},
      {"example-1.3-fmt3.las",
       1,
       3,
       3,
       34,
       11737,
       {723869.287, 5756524.200, 95.263},
       {723911.438, 5756674.348, 116.388},
       {{"LASF_Projection", 34735},
        {"LASF_Projection", 34736},
        {"LASF_Projection", 34737},
        {"LASF_Projection", 2112}}},
      {"extrabytes.las",
       1,
       4,
       3,
       61,
       1065,
       {635619.850, 848899.700, 406.590},
       {638982.550, 853535.430, 586.380},
       {{"LASF_Spec", 4}}},
      {"hexbin-crop.las",
       1,
       2,
       1,
       28,
       38367,
       {393775.823, 3689071.943, 3107.863},
       {394069.238, 3689273.095, 3209.321},
       {{"LASF_Projection", 34735}, {"LASF_Projection", 34737}, {"LASF_Projection", 2112}, {"liblas", 2112}}},
      {"simple-1.1-fmt1.las",
       1,
       1,
       1,
       28,
       1065,
       {635619.850, 848899.700, 406.590},
       {638982.550, 853535.430, 586.380},
       {}},
      {"simple-1.3-fmt4.las",
       1,
       3,
       4,
       57,
       999,
       {-235434519.000, 800843145.000, 265094.000},
       {-234935841.000, 800946249.000, 273811.000},
       {{"LeicaGeo", 1001},
        {"LeicaGeo", 1002},
        {"LeicaGeo", 1003},
        {"LASF_Projection", 34735},
        {"LASF_Spec", 100}},
       true},
      {"simple-1.4-fmt7.las",
       1,
       4,
       7,
       36,
       22600,
       {1.000, 1.000, 44.000},
       {226.000, 100.000, 254.000},
       {{"LASF_Projection", 34735}, {"LASF_Projection", 34736}}},
      {"simple.las",
       1,
       2,
       3,
       34,
       1065,
       {635619.850, 848899.700, 406.590},
       {638982.550, 853535.430, 586.380},
       {}},
      {"wkt-and-geokeys-fmt6.las",
       1,
       4,
       6,
       30,
       25408,
       {2445180.000, 604300.000, 1352.700},
       {2445239.990, 604339.980, 1403.960},
       {{"LASF_Projection", 34735},
        {"LASF_Projection", 34736},
        {"LASF_Projection", 34737},
        {"LASF_Projection", 2112}}},
      {"versions/1.0-fmt0.las",
       1,
       0,
       0,
       20,
       1,
       {470692.440, 4602888.900, 16.000},
       {470692.440, 4602888.900, 16.000},
       {{"LASF_Projection", 34735}, {"LASF_Projection", 34737}, {"liblas", 2112}}},
      {"versions/1.0-fmt1.las",
       1,
       0,
       1,
       28,
       1,
       {470692.440, 4602888.900, 16.000},
       {470692.440, 4602888.900, 16.000},
       {{"LASF_Projection", 34735}, {"LASF_Projection", 34737}, {"liblas", 2112}}},
      {"versions/1.1-fmt0.las",
       1,
       1,
       0,
       20,
       1,
       {470692.440, 4602888.900, 16.000},
       {470692.440, 4602888.900, 16.000},
       {{"LASF_Projection", 34735}, {"LASF_Projection", 34737}, {"liblas", 2112}}},
      {"versions/1.1-fmt1.las",
       1,
       1,
       1,
       28,
       1,
       {470692.440, 4602888.900, 16.000},
       {470692.440, 4602888.900, 16.000},
       {{"LASF_Projection", 34735}, {"LASF_Projection", 34737}, {"liblas", 2112}}},
      {"versions/1.2-fmt0.las",
       1,
       2,
       0,
       20,
       1,
       {470692.440, 4602888.900, 16.000},
       {470692.440, 4602888.900, 16.000},
       {{"LASF_Projection", 34735}, {"LASF_Projection", 34737}, {"liblas", 2112}}},
      {"versions/1.2-fmt1.las",
       1,
       2,
       1,
       28,
       1,
       {470692.440, 4602888.900, 16.000},
       {470692.440, 4602888.900, 16.000},
       {{"LASF_Projection", 34735}, {"LASF_Projection", 34737}, {"liblas", 2112}}},
      {"versions/1.2-fmt2.las",
       1,
       2,
       2,
       26,
       1,
       {470692.440, 4602888.900, 16.000},
       {470692.440, 4602888.900, 16.000},
       {{"LASF_Projection", 34735}, {"LASF_Projection", 34737}, {"liblas", 2112}}},
      {"versions/1.2-fmt3.las",
       1,
       2,
       3,
       34,
       1,
       {470692.440, 4602888.900, 16.000},
       {470692.440, 4602888.900, 16.000},
       {{"LASF_Projection", 34735}, {"LASF_Projection", 34737}, {"liblas", 2112}}},
  };
  return kFacts;
}

std::string data_path(const std::string& name) {
  return std::string(CM_SHARED_DATA_DIR) + "/" + name;
}

std::vector<std::string> files_with_extension(const std::string& folder, const std::string& extension) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(data_path(folder), ec)) {
    if (entry.path().extension() == extension)
      names.push_back((folder.empty() ? "" : folder + "/") + entry.path().filename().string());
  }
  return names;
}

class RealFile : public ::testing::TestWithParam<FileFacts> {};

TEST_P(RealFile, HeaderMatchesTableAndEveryPointIsInsideTheBounds) {
  CM_SKIP_WITHOUT_SHARED_DATA();
  const FileFacts& f = GetParam();
  LASreaderLAS reader;
  ASSERT_TRUE(reader.open(data_path(f.name).c_str()));
  const LASheader& h = reader.header;
  EXPECT_EQ(h.version_major, f.version_major);
  EXPECT_EQ(h.version_minor, f.version_minor);
  EXPECT_EQ(h.point_data_format, f.format);
  EXPECT_EQ(h.point_data_record_length, f.record_length);
  EXPECT_EQ(reader.get_npoints(), f.points);
  EXPECT_EQ(reader.get_format(), LASreader::FORMAT_LAS);
  double min[3] = {h.min_x, h.min_y, h.min_z};
  double max[3] = {h.max_x, h.max_y, h.max_z};
  const double scale[3] = {h.x_scale_factor, h.y_scale_factor, h.z_scale_factor};
  const double offset[3] = {h.x_offset, h.y_offset, h.z_offset};
  for (int a = 0; a < 3; a++) {
    // The table prints three decimals.
    EXPECT_NEAR(min[a], f.min[a], 0.0005 + 1e-9) << "axis " << a;
    EXPECT_NEAR(max[a], f.max[a], 0.0005 + 1e-9) << "axis " << a;
    if (f.integer_bounds) {
      min[a] = min[a] * scale[a] + offset[a];
      max[a] = max[a] * scale[a] + offset[a];
    }
  }
  std::vector<std::pair<std::string, int>> vlrs;
  for (const LASvlr& v : h.vlrs) vlrs.emplace_back(std::string(v.get_user_id()), v.record_id);
  EXPECT_EQ(vlrs, f.vlrs);
  EXPECT_EQ(h.number_of_variable_length_records, f.vlrs.size());
  EXPECT_GE(reader.max_points_in_file(), f.points);

  const double* tolerance = scale;
  int64_t count = 0, outside = 0;
  while (reader.read_point()) {
    const double v[3] = {reader.point.get_x(), reader.point.get_y(), reader.point.get_z()};
    for (int a = 0; a < 3; a++) {
      if (v[a] < min[a] - tolerance[a] || v[a] > max[a] + tolerance[a]) outside++;
    }
    count++;
  }
  EXPECT_EQ(count, f.points);
  EXPECT_EQ(reader.get_p_count(), f.points);
  EXPECT_EQ(outside, 0);
  EXPECT_FALSE(reader.read_point());  // stays at the end
}

INSTANTIATE_TEST_SUITE_P(SharedData, RealFile, ::testing::ValuesIn(facts()),
                         [](const ::testing::TestParamInfo<FileFacts>& p) {
                           std::string n = p.param.name;
                           for (char& c : n) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return n;
                         });

TEST(RealFiles, EveryLasFileOfTheDataFolderIsInTheTable) {
  CM_SKIP_WITHOUT_SHARED_DATA();
  std::set<std::string> known;
  for (const FileFacts& f : facts()) known.insert(f.name);
  auto names = files_with_extension("", ".las");
  const auto versions = files_with_extension("versions", ".las");
  names.insert(names.end(), versions.begin(), versions.end());
  ASSERT_FALSE(names.empty()) << "no data in " << CM_SHARED_DATA_DIR;
  for (const std::string& n : names) EXPECT_TRUE(known.count(n)) << n;
}

TEST(RealFiles, GeoViewsAndExtraBytesDescribeKeptRecords) {
  CM_SKIP_WITHOUT_SHARED_DATA();
  LASreaderLAS reader;
  ASSERT_TRUE(reader.open(data_path("autzen-trim.las").c_str()));
  const auto keys = reader.header.vlr_geo_keys();
  ASSERT_TRUE(keys.has_value());
  EXPECT_EQ(keys->key_directory_version, 1);
  EXPECT_EQ(reader.header.vlr_geo_key_entries().size(), keys->number_of_keys);
  EXPECT_FALSE(reader.header.vlr_geo_double_params().empty());
  EXPECT_FALSE(reader.header.vlr_geo_ascii_params().empty());
  EXPECT_NE(reader.header.vlr_geo_ogc_wkt().find("PROJCS"), std::string_view::npos);

  LASreaderLAS extra;
  ASSERT_TRUE(extra.open(data_path("extrabytes.las").c_str()));
  EXPECT_GT(extra.header.number_attributes, 0);
  EXPECT_EQ(extra.header.get_attributes_size(), 61 - 34);
  EXPECT_EQ(extra.point.extra_bytes_number, 27);
  ASSERT_TRUE(extra.read_point());
}

// The fields a consumer sees, for comparing points read from different files.
std::vector<double> fields(const LASpoint& p) {
  std::vector<double> f = {p.get_x(),
                           p.get_y(),
                           p.get_z(),
                           double(p.intensity),
                           double(p.return_number),
                           double(p.number_of_returns),
                           double(p.scan_direction_flag),
                           double(p.edge_of_flight_line),
                           double(p.classification),
                           double(p.synthetic_flag),
                           double(p.keypoint_flag),
                           double(p.withheld_flag),
                           double(p.scan_angle_rank),
                           double(p.user_data),
                           double(p.point_source_ID),
                           double(p.extended_scan_angle),
                           double(p.extended_scanner_channel),
                           double(p.extended_classification_flags),
                           double(p.extended_classification),
                           double(p.extended_return_number),
                           double(p.extended_number_of_returns),
                           p.gps_time};
  for (uint16_t c : p.rgb) f.push_back(c);
  for (uint8_t b : p.wavepacket.data) f.push_back(b);
  for (uint8_t b : p.extra_bytes) f.push_back(b);
  return f;
}

// Every compressed file with an uncompressed twin delivers the twin's points, field for field.
TEST(RealFiles, CompressedFilesReadLikeTheirTwins) {
  CM_SKIP_WITHOUT_SHARED_DATA();
  const std::pair<const char*, const char*> twins[] = {
      {"simple-pointwise-v1.rkp", "simple.las"},      {"simple-pointwise-v1-old.rkp", "simple.las"},
      {"simple-chunked-v2.rkp", "simple.las"},        {"extrabytes-a.rkp", "extrabytes.las"},
      {"extrabytes-b.rkp", "extrabytes.las"},         {"evlr-1.4-fmt6.rkp", "evlr-1.4-fmt6.las"},
      {"autzen-trim.rkp", "autzen-trim.las"},         {"bad/bad-chunk-table.rkp", "simple.las"},
      {"bad/zero-bounds-pointwise.rkp", "simple.las"}};
  for (const auto& [compressed, plain] : twins) {
    SCOPED_TRACE(compressed);
    LASreaderLAS rkp, las;
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(rkp.open(data_path(compressed).c_str()));
    ASSERT_TRUE(las.open(data_path(plain).c_str()));
    EXPECT_EQ(rkp.get_format(), LASreader::FORMAT_RKP);
    EXPECT_EQ(rkp.get_npoints(), las.get_npoints());
    int64_t n = 0;
    while (las.read_point()) {
      ASSERT_TRUE(rkp.read_point()) << "point " << n;
      ASSERT_EQ(fields(rkp.point), fields(las.point)) << "point " << n;
      n++;
    }
    EXPECT_FALSE(rkp.read_point());
    EXPECT_EQ(n, las.get_npoints());
    EXPECT_FALSE(rkp.is_incomplete());
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find("ERROR"), std::string::npos) << err;
  }
  // The file whose points are stored in another order holds the same points.
  LASreaderLAS rkp, las;
  ASSERT_TRUE(rkp.open(data_path("autzen-core-layered.rkp").c_str()));
  ASSERT_TRUE(las.open(data_path("autzen-core.las").c_str()));
  std::vector<std::vector<double>> a, b;
  while (rkp.read_point()) a.push_back(fields(rkp.point));
  while (las.read_point()) b.push_back(fields(las.point));
  std::sort(a.begin(), a.end());
  std::sort(b.begin(), b.end());
  EXPECT_EQ(a, b);
}

// Seeking through the chunk table lands on the point sequential reading delivers.
TEST(RealFiles, SeekInACompressedFile) {
  CM_SKIP_WITHOUT_SHARED_DATA();
  LASreaderLAS rkp, las;
  ASSERT_TRUE(rkp.open(data_path("autzen-trim.rkp").c_str()));
  ASSERT_TRUE(las.open(data_path("autzen-trim.las").c_str()));
  for (int64_t target : {109999, 0, 50000, 49999, 77777, 3, 100001}) {
    SCOPED_TRACE(target);
    ASSERT_TRUE(rkp.seek(target));
    ASSERT_TRUE(las.seek(target));
    ASSERT_TRUE(rkp.read_point());
    ASSERT_TRUE(las.read_point());
    EXPECT_EQ(fields(rkp.point), fields(las.point));
  }
  EXPECT_FALSE(rkp.seek(110000));
}

// Only the fields the consumer asks for are decoded from layered files; x and y always are.
TEST(RealFiles, LayeredFileWithZOnly) {
  CM_SKIP_WITHOUT_SHARED_DATA();
  LASreaderLAS all, z_only;
  ASSERT_TRUE(all.open(data_path("fmt8-small.rkp").c_str()));
  ASSERT_TRUE(z_only.open(data_path("fmt8-small.rkp").c_str(), 262144, false, 1));
  int64_t n = 0;
  bool other_fields_differ = false;
  while (all.read_point()) {
    ASSERT_TRUE(z_only.read_point());
    ASSERT_EQ(all.point.X, z_only.point.X);
    ASSERT_EQ(all.point.Y, z_only.point.Y);
    ASSERT_EQ(all.point.Z, z_only.point.Z);
    ASSERT_EQ(all.point.extended_return_number, z_only.point.extended_return_number);
    other_fields_differ |=
        all.point.gps_time != z_only.point.gps_time || all.point.rgb[0] != z_only.point.rgb[0];
    n++;
  }
  EXPECT_EQ(n, 37805);
  EXPECT_TRUE(other_fields_differ);  // they were not decoded
}

TEST(RealFiles, PeekOnCompressedFileReadsOnlyTheHeader) {
  CM_SKIP_WITHOUT_SHARED_DATA();
  LASreaderLAS reader;
  ASSERT_TRUE(reader.open(data_path("simple-chunked-v2.rkp").c_str(), 262144, true));
  EXPECT_EQ(reader.header.point_data_format, 3);
  EXPECT_TRUE(reader.header.vlrs.empty());
  EXPECT_EQ(reader.get_npoints(), 1065);
  EXPECT_FALSE(reader.read_point());
}

// Each broken file of the data folder: a clean refusal, or the points that are really there with
// the message that says what was wrong.
struct BadFile {
  const char* name;
  bool opens;
  int64_t points_read;
  const char* message;  // expected on standard error ("" for none)
};

TEST(BadFiles, EachGivesAClearErrorOrACorrectPartialRead) {
  CM_SKIP_WITHOUT_SHARED_DATA();
  const BadFile cases[] = {
      // The damaged table is ignored and the chunks are found while reading.
      {"bad/bad-chunk-table.rkp", true, 1065, "WARNING: 'corrupt chunk table'\n"},
      {"bad/zero-bounds-pointwise.rkp", true, 1065, ""},
      {"bad/bad-vlr-count.las", true, 10,
       "WARNING: only 0 bytes until point block after reading 2 of 3 vlrs. skipping remaining vlrs ...\n"},
      {"bad/count-without-points.las", true, 0, "WARNING: 'end-of-file' after 0 of 1065 points for '"},
      {"bad/garbage-vlr-count.las", true, 718, "WARNING: 'end-of-file' after 718 of 719 points for '"},
      {"bad/long-header.las", true, 1, ""},
      {"bad/no-points.las", true, 0, ""},
      {"bad/truncated-points.las", true, 1064, "WARNING: 'end-of-file' after 1064 of 1065 points for '"},
  };
  std::set<std::string> covered;
  for (const BadFile& c : cases) {
    covered.insert(c.name);
    SCOPED_TRACE(c.name);
    LASreaderLAS reader;
    ::testing::internal::CaptureStderr();
    const bool opened = reader.open(data_path(c.name).c_str());
    int64_t n = 0;
    while (opened && reader.read_point()) n++;
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(opened, c.opens) << err;
    EXPECT_EQ(n, c.points_read);
    if (*c.message) {
      EXPECT_NE(err.find(c.message), std::string::npos) << err;
    } else {
      EXPECT_EQ(err, "");
    }
    if (opened && reader.max_points_in_file() >= 0) {
      EXPECT_LE(n, reader.max_points_in_file());
    }
  }
  for (const std::string& n : files_with_extension("bad", ".las")) EXPECT_TRUE(covered.count(n)) << n;
  for (const std::string& n : files_with_extension("bad", ".rkp")) EXPECT_TRUE(covered.count(n)) << n;
}

}  // namespace
