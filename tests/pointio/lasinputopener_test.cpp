// The input options: what parse consumes and refuses, what write_options reproduces, and the
// readers open() hands out.
#include "pointio/lasinputopener.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "pointio/lasreader.h"
#include "test_argv.h"
#include "tools/las_writer.h"

namespace {

struct ParseCase {
  const char* name;
  std::vector<std::string> args;
  bool ok;
  const char* left;     // words left for the other parsers
  const char* options;  // write_options afterwards ("" when parse fails)
};

const ParseCase kParseCases[] = {
    {"rescale_xy", {"-rescale_xy", "0.01", "0.01"}, true, "", "-rescale_xy 0.010000 0.010000 "},
    {"rescale_z", {"-rescale_z", "0.001", "-v"}, true, "-v", "-rescale_z 0.001000 "},
    {"reoffset",
     {"-reoffset", "600000", "4000000", "0"},
     true,
     "",
     "-reoffset 600000.000000 4000000.000000 0.000000 "},
    {"auto_reoffset", {"-auto_reoffset", "-merged"}, true, "", "-merged -auto_reoffset "},
    {"faf_zero_stays", {"-faf", "0"}, true, "0", "-faf "},
    {"faf_start", {"-faf", "7"}, true, "", "-faf 7 "},
    {"tile", {"-inside_tile", "100", "200", "50"}, true, "", "-inside_tile 100 200 50 "},
    {"circle", {"-inside_circle", "1", "2", "3"}, true, "", "-inside_circle 1.000000 2.000000 3.000000 "},
    {"io_ibuffer", {"-io_ibuffer", "65536", "-keep_class", "2"}, true, "-keep_class 2", "-io_ibuffer 65536 "},
    {"text_options_kept",
     {"-iparse", "xyz", "-iskip", "2", "-itxt"},
     true,
     "",
     "-itxt -iparse xyz -iskip 2 "},
    {"inside_pair", {"-inside", "10", "0", "5", "20"}, false, "", ""},
    {"inside_missing", {"-inside", "10", "0", "5"}, false, "", ""},
    {"inside_unknown", {"-inside_polygon", "x"}, false, "", ""},
    {"rescale_word", {"-rescale", "0.01", "abc", "0.01"}, false, "", ""},
    {"buffered_zero", {"-buffered", "0"}, false, "", ""},
    {"ignore", {"-ignore_class", "7"}, false, "", ""},
    {"neighbors_unbuffered", {"-neighbors", "CMakeLists.txt"}, false, "", ""},
    {"i_without_name", {"-i", "-v"}, false, "", ""},
    {"iskip_zero", {"-iskip", "0"}, false, "", ""},
};

class InputOptions : public ::testing::TestWithParam<ParseCase> {};

TEST_P(InputOptions, ConsumeOrRefuse) {
  const ParseCase& c = GetParam();
  Argv a(c.args);
  LASinputOpener opener;
  ASSERT_EQ(opener.parse(a.argc(), a.argv()), c.ok);
  if (!c.ok) return;
  EXPECT_EQ(a.left(), c.left);
  char buffer[512] = "";
  opener.write_options(buffer, sizeof buffer);
  EXPECT_STREQ(buffer, c.options);
}

void PrintTo(const ParseCase& c, std::ostream* os) {
  *os << c.name;
}

INSTANTIATE_TEST_SUITE_P(Table, InputOptions, ::testing::ValuesIn(kParseCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

class InputFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("cm_opener_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
    for (const char* name : {"a.las", "b.las"}) {
      las_test::write_file((dir_ / name).string(), las_test::build({}, {{1, 2, 3}, {4, 5, 6}, {7, 9, 8}}));
    }
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string path(const char* name) const { return (dir_ / name).string(); }
  std::filesystem::path dir_;
};

TEST_F(InputFiles, EachFileGetsItsReaderThenNone) {
  Argv a({"-i", path("a.las"), path("b.las")});
  LASinputOpener opener;
  ASSERT_TRUE(opener.parse(a.argc(), a.argv()));
  for (const char* name : {"a.las", "b.las"}) {
    ASSERT_TRUE(opener.active());
    auto reader = opener.open();
    ASSERT_TRUE(reader);
    EXPECT_EQ(std::string(opener.get_file_name()), path(name));
    EXPECT_EQ(reader->get_npoints(), 3);
  }
  EXPECT_FALSE(opener.active());
  EXPECT_FALSE(opener.open());
}

TEST_F(InputFiles, UniqueSkipsRepeatedNamesAndMergedReadsAllAsOne) {
  Argv a({"-unique", "-i", path("a.las"), path("a.las"), path("b.las"), "-merged"});
  LASinputOpener opener;
  ASSERT_TRUE(opener.parse(a.argc(), a.argv()));
  EXPECT_EQ(opener.file_name_number(), 2u);
  auto reader = opener.open();
  ASSERT_TRUE(reader);
  EXPECT_EQ(reader->get_npoints(), 6);
  int count = 0;
  while (reader->read_point()) count++;
  EXPECT_EQ(count, 6);
  ASSERT_TRUE(opener.reopen(reader));
  count = 0;
  while (reader->read_point()) count++;
  EXPECT_EQ(count, 6);
  EXPECT_FALSE(opener.active());
}

TEST_F(InputFiles, ReopenRewindsAndKeepsTheArea) {
  Argv a({"-i", path("a.las"), "-inside", "0", "0", "5", "6"});
  LASinputOpener opener;
  ASSERT_TRUE(opener.parse(a.argc(), a.argv()));
  auto reader = opener.open();
  ASSERT_TRUE(reader);
  for (int pass = 0; pass < 2; pass++) {
    int count = 0;
    while (reader->read_point()) count++;
    EXPECT_EQ(count, 2) << "pass " << pass;  // (7, 9) lies outside
    if (pass == 0) {
      ASSERT_TRUE(opener.reopen(reader));
    }
  }
}

}  // namespace
