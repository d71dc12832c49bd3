#include "lineio/line_output_opener.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "geo/geoprojectionconverter.h"
#include "lineio/linewriter.h"
#include "lineio_test_util.h"

namespace {

// A mutable argv built from words; argv[0] is the program name.
class Args {
 public:
  explicit Args(const std::vector<std::string>& words) {
    storage.push_back("contourmill");
    storage.insert(storage.end(), words.begin(), words.end());
    for (std::string& s : storage) pointers.push_back(s.data());
  }
  int argc() { return static_cast<int>(pointers.size()); }
  char** argv() { return pointers.data(); }
  // The words after argv[0] as the parser left them ("" for consumed ones).
  std::vector<std::string> remaining() const {
    std::vector<std::string> out;
    for (std::size_t i = 1; i < pointers.size(); i++) out.emplace_back(pointers[i]);
    return out;
  }

 private:
  std::vector<std::string> storage;
  std::vector<char*> pointers;
};

bool parse_words(LineOutputOpener& opener, const std::vector<std::string>& words, std::string* err = nullptr,
                 std::vector<std::string>* remaining = nullptr) {
  Args args(words);
  testing::internal::CaptureStderr();
  const bool ok = opener.parse(args.argc(), args.argv());
  const std::string captured = testing::internal::GetCapturedStderr();
  if (err != nullptr) *err = captured;
  if (remaining != nullptr) *remaining = args.remaining();
  return ok;
}

const std::string kScratch = lineio_test::make_scratch_dir();

const char* const kUsage =
    "Supported Line Outputs\n  -o lines.shp\n  -o boundary.wkt\n  -o contours.kml\n  -o output.txt\n"
    "  -odir C:\\footprints (specify output directory)\n  -odix _isolines (specify file name appendix)\n"
    "  -ocut 2 (cut the last two characters from name)\n  -oshp -owkt -okml -otxt\n"
    "  -stdout (pipe to stdout)\nOptional Settings\n  -only_2d\n  -kml_absolute\n"
    "  -kml_elevation_offset 17.5\n";

struct ParseCase {
  const char* label;
  std::vector<std::string> words;
  bool ok;
  std::vector<std::string> remaining;
  std::string err;
};

class ParseTest : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseTest, ConsumesKnownWordsAndReportsMissingArguments) {
  const ParseCase& c = GetParam();
  LineOutputOpener opener;
  std::string err;
  std::vector<std::string> remaining;
  EXPECT_EQ(parse_words(opener, c.words, &err, &remaining), c.ok);
  EXPECT_EQ(remaining, c.remaining);
  EXPECT_EQ(err, c.err);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseTest,
    testing::Values(
        ParseCase{
            "all_flags",
            {"-odbf", "-stdout", "-foo", "-only_2d", "-2d", "-kml_absolute", "-otxt", "", "-O", "x.shp"},
            true,
            {"", "", "-foo", "", "", "", "", "", "-O", "x.shp"},
            ""},
        ParseCase{"arguments",
                  {"-o", "a.shp", "-odix", "_b", "-ocut", "1", "-kml_elevation_offset", "2", "keep"},
                  true,
                  {"", "", "", "", "", "", "", "", "keep"},
                  ""},
        ParseCase{"help_stops", {"-odbf", "-h", "-stdout"}, true, {"", "-h", "-stdout"}, kUsage},
        ParseCase{"help_long", {"-help"}, true, {"-help"}, kUsage},
        ParseCase{
            "o_missing", {"-odbf", "-o"}, false, {"", "-o"}, "ERROR: '-o' needs 1 argument: file_name\n"},
        ParseCase{
            "odir_missing", {"-odir"}, false, {"-odir"}, "ERROR: '-odir' needs 1 argument: directory\n"},
        ParseCase{"odix_missing", {"-odix"}, false, {"-odix"}, "ERROR: '-odix' needs 1 argument: appendix\n"},
        ParseCase{"ocut_missing",
                  {"-ocut"},
                  false,
                  {"-ocut"},
                  "ERROR: '-ocut' needs 1 argument: number of characters to cut\n"},
        ParseCase{"offset_missing",
                  {"-kml_elevation_offset"},
                  false,
                  {"-kml_elevation_offset"},
                  "ERROR: '-kml_elevation_offset' needs 1 argument: offset\n"},
        ParseCase{"ocut_negative",
                  {"-ocut", "-3"},
                  false,
                  {"-ocut", "-3"},
                  "ERROR: '-ocut' needs a whole number from 0 to 4294967295, not '-3'\n"},
        ParseCase{"ocut_huge",
                  {"-ocut", "99999999999"},
                  false,
                  {"-ocut", "99999999999"},
                  "ERROR: '-ocut' needs a whole number from 0 to 4294967295, not '99999999999'\n"},
        ParseCase{"offset_not_finite",
                  {"-kml_elevation_offset", "nan"},
                  false,
                  {"-kml_elevation_offset", "nan"},
                  "ERROR: '-kml_elevation_offset' needs a number, not 'nan'\n"},
        ParseCase{"odir_missing_directory",
                  {"-odir", kScratch + "/nowhere"},
                  false,
                  {"-odir", kScratch + "/nowhere"},
                  "ERROR: '" + kScratch + "/nowhere' is not a valid directory\n"},
        ParseCase{"odir_plain_file",
                  {"-odir", "/dev/null"},
                  false,
                  {"-odir", "/dev/null"},
                  "ERROR: '/dev/null' is not a valid directory\n"},
        ParseCase{"odir_valid",
                  {"-odir", kScratch + "/", "-odir", "D:", "-odir", ""},
                  true,
                  {"", "", "", "", "", ""},
                  ""},
        ParseCase{"unknown_extension",
                  {"-o", "lines.dat"},
                  false,
                  {"", ""},
                  "ERROR: unknown file format. file name 'lines.dat' must end in\n"
                  "       *.shp *.kml *.wkt *.txt\n"},
        ParseCase{"unknown_extension_with_format",
                  {"-o", "lines.dat", "-otxt"},
                  true,
                  {"", "", ""},
                  "WARNING: unknown file format of 'lines.dat'. writing it in the '-otxt' format as named\n"},
        ParseCase{"short_name",
                  {"-o", ".shp"},
                  false,
                  {"", ""},
                  "ERROR: bad file name. file name '.shp' must end in\n"
                  "       *.shp *.kml *.wkt *.txt\n"},
        ParseCase{"no_writer",
                  {"-o", "a.pef"},
                  false,
                  {"", ""},
                  "ERROR: cannot write the 'pef' format. use -oshp, -okml, -owkt or -otxt\n"},
        ParseCase{"shapefile_upper_case",
                  {"-o", "A.SHP"},
                  false,
                  {"", ""},
                  "ERROR: the shapefile name 'A.SHP' does not end in *.shp\n"},
        ParseCase{"shapefile_named_otherwise",
                  {"-o", "a.txt", "-oshp"},
                  false,
                  {"", "", ""},
                  "ERROR: the shapefile name 'a.txt' does not end in *.shp\n"},
        ParseCase{"shapefile_to_stdout",
                  {"-stdout"},
                  false,
                  {""},
                  "ERROR: a shapefile cannot go to standard output. name it with '-o'\n"}),
    [](const testing::TestParamInfo<ParseCase>& case_info) { return std::string(case_info.param.label); });

TEST(LineOutputOpenerTest, ParsedValuesReachTheFields) {
  LineOutputOpener opener;
  ASSERT_TRUE(parse_words(opener, {"-o", "lines.wkt", "-odbf", "-stdout", "-2d", "-kml_absolute",
                                   "-kml_elevation_offset", "17.5", "-ocut", "2", "-odix", "_x"}));
  EXPECT_STREQ(opener.get_file_name(), "lin_x.wkt");
  EXPECT_TRUE(opener.format_is("wkt"));
  EXPECT_FALSE(opener.format_is("wk"));
  EXPECT_TRUE(opener.get_dbf() && opener.get_use_stdout() && opener.get_only_2d());
  EXPECT_FALSE(opener.get_kml_clamp_to_ground());
  EXPECT_FLOAT_EQ(opener.get_kml_elevation_offset(), 17.5f);
  EXPECT_EQ(opener.get_cut(), 2u);
  EXPECT_TRUE(opener.is_active());

  LineOutputOpener other;
  EXPECT_FALSE(other.is_active());
  ASSERT_TRUE(parse_words(other, {"-kml_elevation_offset", "-2.5", "-okml", "-odir", kScratch + "/"}));
  EXPECT_EQ(other.get_kml_elevation_offset(), -2.5f);
  EXPECT_TRUE(other.format_is("kml"));
  EXPECT_STREQ(other.get_directory(), kScratch.c_str());
  EXPECT_FALSE(other.is_active());

  EXPECT_FALSE(parse_words(other, {"-odir", "out\\"}));  // stored as "out", which does not exist
  EXPECT_STREQ(other.get_directory(), "out");
}

struct NameCase {
  std::vector<std::string> words;
  const char* input;  // nullptr: use the -o name; otherwise make_file_name(input), "" meaning none
  const char* expected;
  const char* format;
};

class NameTest : public testing::TestWithParam<NameCase> {};

TEST_P(NameTest, DerivesTheOutputName) {
  const NameCase& c = GetParam();
  LineOutputOpener opener;
  ASSERT_TRUE(parse_words(opener, c.words));
  if (c.input != nullptr) opener.make_file_name(c.input[0] ? c.input : nullptr);
  ASSERT_NE(opener.get_file_name(), nullptr);
  EXPECT_STREQ(opener.get_file_name(), c.expected);
  EXPECT_EQ(opener.get_format(), c.format);
}

INSTANTIATE_TEST_SUITE_P(
    Names, NameTest,
    testing::Values(
        NameCase{{"-o", "lines.shp", "-odix", "_isolines"}, nullptr, "lines_isolines.shp", "shp"},
        // Directory, cut and appendix compose the same way in any order.
        NameCase{{"-ocut", "3", "-odix", "_a", "-o", "tile_0001.shp"}, nullptr, "tile_0_a.shp", "shp"},
        NameCase{{"-o", "tile_0001.shp", "-odix", "_a", "-ocut", "3"}, nullptr, "tile_0_a.shp", "shp"},
        NameCase{{"-odix", "_a", "-o", "tile_0001.shp", "-ocut", "3"}, nullptr, "tile_0_a.shp", "shp"},
        NameCase{{"-o", "sub/t.shp", "-odir", "D:", "-odix", "_a"}, nullptr, "D:/t_a.shp", "shp"},
        NameCase{{"-odir", "D:\\", "-o", "sub\\t.shp"}, nullptr, "D:/t.shp", "shp"},
        NameCase{{"-o", "lines.shp", "-odix", "_a", "-odix", "_b"}, nullptr, "lines_b.shp", "shp"},
        NameCase{{"-o", "lines.shp", "-okml"}, nullptr, "lines.shp", "kml"},
        NameCase{{"-o", "LINES.SHP", "-otxt"}, nullptr, "LINES.SHP", "txt"},
        NameCase{{"-okml", "-o", "c.TXT"}, nullptr, "c.TXT", "txt"},
        NameCase{{"-o", "lines.dat", "-owkt"}, nullptr, "lines.dat", "wkt"},
        NameCase{{"-o", "a.shp", "-ocut", "5"}, nullptr, "a.shp", "shp"},
        NameCase{{"-o", "dir/abc", "-ocut", "9", "-otxt"}, nullptr, "dir/a", "txt"},
        NameCase{{}, "tile_01.las", "tile_01.shp", "shp"},
        NameCase{{"-okml"}, "tile_01.las", "tile_01.kml", "kml"},
        NameCase{{"-odix", "_iso", "-odir", "D:"}, "data\\tile_01.las", "D:/tile_01_iso.shp", "shp"},
        NameCase{{"-ocut", "3", "-odix", "_a"}, "tile_0001.las", "tile_0_a.shp", "shp"},
        NameCase{{"-owkt"}, "data/tile_01.las", "data/tile_01.wkt", "wkt"},
        NameCase{{}, "", "output.shp", "shp"}, NameCase{{"-otxt"}, "", "output.txt", "txt"},
        // Odd input names stay inside their bounds and keep a usable extension.
        NameCase{{}, "tile", "tile.shp", "shp"}, NameCase{{}, "tile.la", "tile.shp", "shp"},
        NameCase{{}, "tile.lasx", "tile.shp", "shp"}, NameCase{{}, "dir.v2/tile", "dir.v2/tile.shp", "shp"},
        NameCase{{}, ".hidden", ".hidden.shp", "shp"}, NameCase{{"-ocut", "9"}, "tile.las", "t.shp", "shp"},
        NameCase{{"-ocut", "20"}, "dir/tile", "dir/t.shp", "shp"}));

TEST(LineOutputOpenerTest, ClearingTheNameLetsTheNextInputDeriveItsOwn) {
  LineOutputOpener opener;
  ASSERT_TRUE(parse_words(opener, {"-odix", "_iso"}));
  opener.make_file_name("a.las");
  EXPECT_STREQ(opener.get_file_name(), "a_iso.shp");
  opener.set_file_name(nullptr);
  EXPECT_EQ(opener.get_file_name(), nullptr);
  EXPECT_FALSE(opener.is_active());
  opener.make_file_name("b.las");
  EXPECT_STREQ(opener.get_file_name(), "b_iso.shp");
}

TEST(LineOutputOpenerTest, UnparseWritesOptionsBackAndNeverOverflows) {
  char buffer[1024];
  LineOutputOpener defaults;
  EXPECT_EQ(defaults.unparse(buffer, sizeof buffer, true), 6);
  EXPECT_STREQ(buffer, "-oshp ");
  EXPECT_EQ(defaults.unparse(buffer, sizeof buffer, false), 0);
  EXPECT_STREQ(buffer, "");

  LineOutputOpener opener;
  ASSERT_TRUE(parse_words(
      opener, {"-odir", "D:", "-o", "tile_0001.shp", "-odix", "_a", "-ocut", "3", "-owkt", "-odbf", "-stdout",
               "-only_2d", "-kml_absolute", "-kml_elevation_offset", "17.5"}));
  const std::string full =
      "-odir \"D:\" -o \"tile_0001.shp\" -odix \"_a\" -ocut 3 -owkt -odbf -stdout -only_2d -kml_absolute "
      "-kml_elevation_offset 17.5 ";
  EXPECT_EQ(opener.unparse(buffer, sizeof buffer, true), static_cast<int>(full.size()));
  EXPECT_EQ(std::string(buffer), full);
  const std::string nameless = "-stdout -only_2d -kml_absolute -kml_elevation_offset 17.5 ";
  EXPECT_EQ(opener.unparse(buffer, sizeof buffer, false), static_cast<int>(nameless.size()));
  EXPECT_EQ(std::string(buffer), nameless);

  // The written text parses back to the same output name.
  std::vector<std::string> split;
  opener.unparse(buffer, sizeof buffer, true);
  for (char* token = std::strtok(buffer, " "); token; token = std::strtok(nullptr, " ")) {
    std::string t(token);
    if (t.size() >= 2 && t.front() == '"') t = t.substr(1, t.size() - 2);
    split.push_back(t);
  }
  LineOutputOpener again;
  ASSERT_TRUE(parse_words(again, split));
  EXPECT_STREQ(again.get_file_name(), "D:/tile_0_a.shp");
  EXPECT_STREQ(again.get_file_name(), opener.get_file_name());
  EXPECT_TRUE(again.format_is("wkt"));

  // Too small: nothing beyond the buffer is touched and the answer says so.
  char small[16 + 4];
  std::memset(small, '#', sizeof small);
  EXPECT_EQ(opener.unparse(small, 16, true), -1);
  EXPECT_EQ(small[0], '\0');
  for (std::size_t i = 16; i < sizeof small; i++) EXPECT_EQ(small[i], '#');
  EXPECT_EQ(defaults.unparse(small, 7, true), 6);
  EXPECT_EQ(defaults.unparse(small, 6, true), -1);
}

std::unique_ptr<LINEwriter> open_with(LineOutputOpener& opener, std::string* err) {
  testing::internal::CaptureStderr();
  auto writer = opener.open_writer(false);
  *err = testing::internal::GetCapturedStderr();
  return writer;
}

TEST(LineOutputOpenerTest, OpenWriterPicksTheFormatOrExplainsWhyNot) {
  struct Case {
    std::vector<std::string> words;
    bool opens;
    std::string err;
  };
  const std::string dir = lineio_test::make_scratch_dir();
  const std::vector<Case> cases = {
      {{"-o", dir + "/a.shp", "-only_2d"}, true, ""},
      {{"-o", dir + "/a.txt"}, true, ""},
      {{"-o", dir + "/a.wkt"}, true, ""},
      {{"-otxt", "-stdout"}, true, ""},
      {{"-o", dir + "/a.kml"}, true, ""},
      {{"-okml", "-stdout"}, true, ""},
      {{"-okml"}, false, "ERROR: no file name for the KML output\n"},
      {{"-o", dir + "/no/a.kml"}, false, "ERROR: cannot open KML file '" + dir + "/no/a.kml'\n"},
      {{"-otxt"}, false, "ERROR: no file name for the TXT output\n"},
      {{"-o", dir + "/no/a.wkt"}, false, "ERROR: cannot open WKT file '" + dir + "/no/a.wkt'\n"},
      {{"-o", dir + "/no/a.shp"}, false, "ERROR: cannot open SHP file '" + dir + "/no/a.shp'\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.words.back());
    LineOutputOpener opener;
    ASSERT_TRUE(parse_words(opener, c.words));
    std::string err;
    auto writer = open_with(opener, &err);
    EXPECT_EQ(writer != nullptr, c.opens);
    EXPECT_EQ(err, c.err);
    if (writer) {
      EXPECT_EQ(writer->only_2d, opener.get_only_2d());
      EXPECT_TRUE(writer->close());
    }
  }
}

TEST(LineOutputOpenerTest, PrjFileComesFromTheAttachedConverter) {
  const std::string dir = lineio_test::make_scratch_dir();
  LineOutputOpener opener;
  std::string err;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(opener.write_prj((dir + "/a.shp").c_str()));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: cannot produce prj file without geoprojectionconverter\n");

  GeoProjectionConverter converter;
  opener.set_converter(&converter);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(opener.write_prj((dir + "/a.shp").c_str()));  // no source projection: silent
  ASSERT_TRUE(converter.set_utm(10, 'T', true));
  std::string wkt;
  ASSERT_TRUE(converter.get_ogc_wkt(wkt, GeoSide::source));
  EXPECT_FALSE(opener.write_prj(nullptr));
  EXPECT_FALSE(opener.write_prj((dir + "/no/a.shp").c_str()));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: cannot produce prj file without file name\n"
            "ERROR: cannot open '" +
                dir + "/no/a.prj' for write: No such file or directory\n");

  ASSERT_TRUE(parse_words(opener, {"-o", dir + "/lines.shp"}));
  auto writer = open_with(opener, &err);
  ASSERT_NE(writer, nullptr);
  EXPECT_EQ(err, "");
  EXPECT_TRUE(writer->close());
  EXPECT_FALSE(wkt.empty());
  EXPECT_EQ(lineio_test::read_text(dir + "/lines.prj"), wkt);
}

}  // namespace
