// The command line written back from the parsed settings (as the multi-process run and the
// graphical panel build command lines) parses to the same settings.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/messages.h"
#include "common/option_text.h"

namespace {

bool parse_words(std::vector<std::string> words, CommandLine& line) {
  // The program path leads the converter to its EPSG tables beside the built program.
  words.insert(words.begin(), CM_CONTOURMILL_BIN);
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  MessageCollector messages;
  const bool ok = parse_command_line(static_cast<int>(argv.size()), argv.data(), line).proceed;
  EXPECT_TRUE(ok) << messages.text();
  return ok;
}

TEST(CommandLineText, WrittenBackItParsesToTheSameSettings) {
  const std::vector<std::vector<std::string>> lines = {
      {"-v",          "-concavity",
       "12.5",        "-kill",
       "0",           "-smooth",
       "3",           "-simplify",
       "0.1",         "-simplify_area",
       "0.3",         "-clean",
       "7",           "-loops_only",
       "-iso",        "101.7",
       "-iso_range",  "0",
       "600",         "0.1",
       "-extra_pass", "-arrival_order",
       "-owkt",       "-only_2d",
       "-rescale",    "0.001",
       "0.001",       "0.01",
       "-reoffset",   "1e6",
       "2e6",         "0",
       "-inside",     "1",
       "2",           "3",
       "4",           "-utm",
       "32N",         "-elevation_feet"},
      {"-iso_every", "0.30000001", "-okml", "-kml_absolute", "-kml_elevation_offset", "17.5", "-epsg", "2056",
       "-auto_reoffset", "-lakes", "lake file.shp", "-tin"},
      {"-iso_number", "7", "-oshp", "-odbf", "-inside_circle", "10", "20", "5", "-sp83", "CA_I", "-feet"},
  };
  for (const std::vector<std::string>& words : lines) {
    CommandLine first;
    ASSERT_TRUE(parse_words(words, first));
    const std::string text = unparse_command_line(first, true);
    CommandLine second;
    ASSERT_TRUE(parse_words(split_command_words(text), second)) << text;
    EXPECT_EQ(unparse_command_line(second, true), text);
    const DriverSettings& a = first.driver;
    const DriverSettings& b = second.driver;
    EXPECT_EQ(a.levels.given, b.levels.given) << text;
    EXPECT_EQ(a.levels.every, b.levels.every) << text;
    EXPECT_EQ(a.levels.number, b.levels.number) << text;
    EXPECT_EQ(a.concavity, b.concavity) << text;
    EXPECT_EQ(a.kill, b.kill) << text;
    EXPECT_EQ(a.simplify_length, b.simplify_length) << text;
    EXPECT_EQ(a.smooth_passes, b.smooth_passes) << text;
    EXPECT_EQ(a.lakes_file, b.lakes_file) << text;
    EXPECT_EQ(a.verbose, b.verbose) << text;
  }
}

TEST(CommandLineText, FilterAndTransformOptionsComeBackExactly) {
  CommandLine line;
  ASSERT_TRUE(
      parse_words({"-keep_class", "2", "8", "-drop_z_below", "0.1234567891", "-keep_point_source", "3", "7",
                   "-translate_z", "-0.3", "-scale_intensity", "1.1", "-keep_class", "2", "-owkt"},
                  line));
  const std::string text = unparse_command_line(line, false);
  // The second class list does not join the first, which is no longer the last criterion.
  EXPECT_EQ(
      text,
      "-keep_classification_mask 260 -drop_z_below 0.1234567891 -keep_point_source 3 -keep_point_source 7 "
      "-filter_and -keep_classification_mask 4 -translate_z -0.3 -scale_intensity 1.1 ");
  CommandLine again;
  ASSERT_TRUE(parse_words(split_command_words(text), again));
  EXPECT_EQ(unparse_command_line(again, false), text);
}

TEST(CommandLineText, RangesStayRangesAndDefaultsStayUnwritten) {
  CommandLine line;
  ASSERT_TRUE(parse_words({"-iso_range", "0", "3000000", "1", "-concavity", "50", "-cores", "4"}, line));
  // Three million levels are written back as the three numbers they came from; the default
  // concavity and the mode option are not written.
  EXPECT_EQ(unparse_command_line(line, false), "-iso_range 0 3e+06 1 ");
}

TEST(CommandLineText, WordsWithBlanksStayOneWord) {
  std::string text;
  append_option(text, "-lakes");
  append_word(text, "my lakes.shp");
  append_word(text, "");
  append_number(text, 0.1f);
  append_number(text, 1e-7);
  EXPECT_EQ(text, "-lakes \"my lakes.shp\" \"\" 0.1 1e-07 ");
  EXPECT_EQ(split_command_words(text),
            (std::vector<std::string>{"-lakes", "my lakes.shp", "", "0.1", "1e-07"}));
}

}  // namespace

namespace {

// Quotes in names survive the round trip, wherever they stand.
TEST(CommandLineText, QuotesInWordsComeBack) {
  const std::vector<std::string> words = {
      "a \"quoted\" description", "\"lead", "mid\"dle", "end\" ", "\"\"", "$HOME 'x'", "D:\\tiles\\"};
  std::string text;
  for (const std::string& word : words) append_word(text, word);
  append_quoted(text, "plain");
  append_quoted(text, "x\" y");
  std::vector<std::string> expected = words;
  expected.push_back("plain");
  expected.push_back("x\" y");
  EXPECT_EQ(split_command_words(text), expected) << text;
}

// Numbers keep their documented form unless that form would change them.
TEST(CommandLineText, DocumentedNumberFormsOnlyWhenExact) {
  std::string text;
  append_number_in_form(text, 0.01, "%lf");
  append_number_in_form(text, 1e-7, "%lf");
  append_number_in_form(text, 4830000.5f, "%g");
  append_number_in_form(text, 1000.0f, "%g");
  append_number_in_form(text, 17.123456f, "%g");
  EXPECT_EQ(text, "0.010000 1e-07 4830000.5 1000 17.123455 ");  // the float nearest 17.123456
}

}  // namespace
