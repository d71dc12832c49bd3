// Every numeric option of the command line, each of its number positions given words that are no
// number ("abc", "1x", "nan", "inf", "1e400") and the two values at the edge of most ranges ("-1",
// "0"). A word that is no number always stops the run with one "ERROR:" line; -1 and 0 are taken
// only where they mean something (an elevation, an offset, 0 switching a step off).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "common/messages.h"

namespace {

enum Verdict { kTaken, kRefused };

struct NumericOption {
  std::vector<std::string> words;  // the option with valid arguments
  int position;                    // which word the tested value replaces (1 = first argument)
  Verdict minus_one;
  Verdict zero;
};

// Positions of multi-argument options are listed one by one where their ranges differ.
const NumericOption kOptions[] = {
    // the driver's own
    {{"-cores", "2"}, 1, kRefused, kRefused},
    {{"-simplify", "1"}, 1, kRefused, kRefused},
    {{"-simplify_length", "1"}, 1, kRefused, kRefused},
    {{"-simplify_area", "1"}, 1, kRefused, kRefused},
    {{"-clean", "1"}, 1, kRefused, kRefused},
    {{"-smooth", "2"}, 1, kRefused, kRefused},
    {{"-concavity", "50"}, 1, kRefused, kTaken},
    {{"-kill", "500"}, 1, kRefused, kTaken},
    {{"-iso", "5"}, 1, kTaken, kTaken},
    {{"-iso_value", "5"}, 1, kTaken, kTaken},
    {{"-iso_every", "1"}, 1, kRefused, kRefused},
    {{"-iso_number", "10"}, 1, kRefused, kRefused},
    {{"-iso_range", "0", "600", "20"}, 1, kTaken, kTaken},
    {{"-iso_range", "0", "600", "20"}, 2, kRefused, kRefused},
    {{"-iso_range", "-10", "600", "20"}, 2, kTaken, kTaken},
    {{"-iso_range", "0", "600", "20"}, 3, kRefused, kRefused},
    {{"-ilay", "2"}, 1, kTaken, kTaken},
    // line output
    {{"-kml_elevation_offset", "17.5"}, 1, kTaken, kTaken},
    {{"-ocut", "2"}, 1, kRefused, kTaken},
    // point input
    {{"-buffered", "50"}, 1, kRefused, kRefused},
    {{"-faf", "2"}, 1, kRefused, kRefused},
    {{"-faf_index", "2"}, 1, kRefused, kTaken},
    {{"-rescale", "0.01", "0.01", "0.01"}, 1, kRefused, kTaken},
    {{"-rescale", "0.01", "0.01", "0.01"}, 3, kRefused, kTaken},
    {{"-rescale_xy", "0.01", "0.01"}, 2, kRefused, kTaken},
    {{"-rescale_z", "0.01"}, 1, kRefused, kTaken},
    {{"-reoffset", "0", "0", "0"}, 1, kTaken, kTaken},
    {{"-reoffset", "0", "0", "0"}, 3, kTaken, kTaken},
    {{"-inside", "-5", "-5", "10", "10"}, 1, kTaken, kTaken},
    {{"-inside_rectangle", "-5", "-5", "10", "10"}, 4, kTaken, kTaken},
    {{"-inside_rectangle", "5", "5", "10", "10"}, 3, kRefused, kRefused},
    {{"-inside_tile", "0", "0", "100"}, 2, kTaken, kTaken},
    {{"-inside_tile", "0", "0", "100"}, 3, kRefused, kRefused},
    {{"-inside_circle", "0", "0", "10"}, 1, kTaken, kTaken},
    {{"-inside_circle", "0", "0", "10"}, 3, kRefused, kRefused},
    {{"-iadd_extra", "4", "name", "text"}, 1, kTaken, kTaken},  // an unknown type is ignored, as documented
    {{"-iskip", "2"}, 1, kRefused, kRefused},
    {{"-io_ibuffer", "65536"}, 1, kRefused, kRefused},
    {{"-itranslate_intensity", "1024"}, 1, kTaken, kRefused},
    {{"-itranslate_scan_angle", "1"}, 1, kTaken, kRefused},
    {{"-iscale_intensity", "2"}, 1, kTaken, kRefused},
    {{"-iscale_scan_angle", "2"}, 1, kTaken, kRefused},
    // georeferencing
    {{"-ellipsoid", "23"}, 1, kRefused, kRefused},
    {{"-epsg", "32632"}, 1, kRefused, kRefused},
    {{"-target_epsg", "32632"}, 1, kRefused, kRefused},
    {{"-vertical_epsg", "5703"}, 1, kRefused, kRefused},
    {{"-utm", "32N"}, 1, kRefused, kRefused},
    {{"-target_utm", "32N"}, 1, kRefused, kRefused},
    {{"-lcc", "609601.22", "0", "meter", "33.75", "-79", "34.33333", "36.16666"}, 1, kTaken, kTaken},
    {{"-lcc", "609601.22", "0", "meter", "33.75", "-79", "34.33333", "36.16666"}, 5, kTaken, kTaken},
    {{"-target_lcc", "609601.22", "0", "meter", "33.75", "-79", "34.33333", "36.16666"}, 2, kTaken, kTaken},
    {{"-tm", "500000", "0", "meter", "0", "-93", "0.99996"}, 4, kTaken, kTaken},
    {{"-tm", "500000", "0", "meter", "0", "-93", "0.99996"}, 6, kRefused, kRefused},
    {{"-target_tm", "500000", "0", "meter", "0", "-93", "0.99996"}, 5, kTaken, kTaken},
    {{"-aeac", "0", "0", "m", "23", "-96", "29.5", "45.5"}, 4, kTaken, kTaken},
    {{"-target_aeac", "0", "0", "m", "23", "-96", "29.5", "45.5"}, 7, kTaken, kTaken},
    {{"-target_precision", "0.01"}, 1, kRefused, kTaken},
    {{"-target_elevation_precision", "0.01"}, 1, kRefused, kTaken},
};

const char* const kNoNumbers[] = {"abc", "1x", "nan", "inf", "1e400"};

struct Outcome {
  bool proceed = false;
  int error_lines = 0;
  std::string messages;
};

Outcome parse(std::vector<std::string> words) {
  // The program path leads the converter to its EPSG tables beside the built program.
  words.insert(words.begin(), CM_CONTOURMILL_BIN);
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  MessageCollector messages;
  CommandLine line;
  const ParseOutcome parsed = parse_command_line(static_cast<int>(argv.size()), argv.data(), line);
  Outcome outcome;
  outcome.proceed = parsed.proceed;
  outcome.messages = messages.text();
  for (size_t at = 0; (at = outcome.messages.find("ERROR:", at)) != std::string::npos; at++) {
    if (at == 0 || outcome.messages[at - 1] == '\n') outcome.error_lines++;
  }
  return outcome;
}

std::string command(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& w : words) text += w + " ";
  return text;
}

class NumericOptions : public testing::Test {
 protected:
  // A refused zero may print the usage and wait for ENTER; nobody is there to press it.
  void SetUp() override { ASSERT_NE(std::freopen("/dev/null", "r", stdin), nullptr); }
};

TEST_F(NumericOptions, TheValidCommandIsTaken) {
  for (const NumericOption& o : kOptions) {
    const Outcome out = parse(o.words);
    EXPECT_TRUE(out.proceed) << command(o.words) << "\n" << out.messages;
    EXPECT_EQ(out.error_lines, 0) << command(o.words) << "\n" << out.messages;
  }
}

TEST_F(NumericOptions, WordsThatAreNoNumberStopTheRunWithOneError) {
  for (const NumericOption& o : kOptions) {
    for (const char* word : kNoNumbers) {
      std::vector<std::string> words = o.words;
      words[static_cast<size_t>(o.position)] = word;
      const Outcome out = parse(words);
      EXPECT_FALSE(out.proceed) << command(words);
      EXPECT_EQ(out.error_lines, 1) << command(words) << "\n" << out.messages;
    }
  }
}

TEST_F(NumericOptions, MinusOneAndZeroWhereTheyMeanSomething) {
  for (const NumericOption& o : kOptions) {
    for (const auto& [word, verdict] : {std::pair{"-1", o.minus_one}, std::pair{"0", o.zero}}) {
      std::vector<std::string> words = o.words;
      words[static_cast<size_t>(o.position)] = word;
      const Outcome out = parse(words);
      EXPECT_EQ(out.proceed, verdict == kTaken) << command(words) << "\n" << out.messages;
      EXPECT_EQ(out.error_lines, verdict == kTaken ? 0 : 1) << command(words) << "\n" << out.messages;
    }
  }
}

// The messages users asked for, word for word.
TEST_F(NumericOptions, MessagesNameTheOptionAndTheWord) {
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"-concavity", "abc"}, "ERROR: '-concavity' needs a number, not 'abc'\n"},
      {{"-iso_every", "5abc"}, "ERROR: '-iso_every' needs a number, not '5abc'\n"},
      {{"-iso_range", "abc", "600", "20"}, "ERROR: '-iso_range' needs a number, not 'abc'\n"},
      {{"-kill", "-5"}, "ERROR: '-kill' needs a non-negative number, not '-5'\n"},
      {{"-iso_number", "-5"}, "ERROR: '-iso_number' needs a whole number from 1 to 10000000, not '-5'\n"},
      {{"-smooth", "2147483647"}, "ERROR: '-smooth' needs a whole number from 1 to 1000, not '2147483647'\n"},
      {{"-iso_range", "0", "1e9", "0.001"},
       "ERROR: '-iso_range 0 1e9 0.001' asks for more than 10000000 iso values\n"},
      {{"-kml_elevation_offset", "nan"}, "ERROR: '-kml_elevation_offset' needs a number, not 'nan'\n"},
  };
  for (const auto& [words, message] : cases) {
    const Outcome out = parse(words);
    EXPECT_FALSE(out.proceed) << command(words);
    EXPECT_EQ(out.messages, message) << command(words);
  }
}

TEST_F(NumericOptions, LevelCountsAreCheckedBeforeTheListIsBuilt) {
  // Two ranges that fit alone but not together.
  const Outcome out = parse({"-iso_range", "0", "6000000", "1", "-iso_range", "0", "6000000", "1"});
  EXPECT_FALSE(out.proceed);
  EXPECT_EQ(out.error_lines, 1) << out.messages;
  CommandLine line;
  std::string a = CM_CONTOURMILL_BIN, b = "-iso_range", c = "0", d = "3000000", e = "1";
  char* argv[] = {a.data(), b.data(), c.data(), d.data(), e.data()};
  ASSERT_TRUE(parse_command_line(5, argv, line).proceed);
  EXPECT_EQ(line.driver.levels.given.size(), 3000001u);
}

}  // namespace
