// The panel's commands: for a table of panel states, the exact words RUN starts, and the same words
// parsed back by the command-line parser give the settings the panel shows.
#include "gui/command_builder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/run_tool.h"
#include "common/messages.h"
#include "common/option_text.h"
#include "gui/graphical_panel.h"

namespace {

using Words = std::vector<std::string>;

struct Case {
  const char* name;
  std::function<void(PanelState&)> set;
  Words expected;  // everything after "contourmill -i <tile>"
};

bool parse_words(Words words, CommandLine& line, std::string& messages_out) {
  // The program path leads the converter to its EPSG tables beside the built program.
  words[0] = CM_CONTOURMILL_BIN;
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  MessageCollector messages;
  const bool ok = parse_command_line(static_cast<int>(argv.size()), argv.data(), line).proceed;
  messages_out = messages.text();
  return ok;
}

float clamped(double value, double low, double high) {
  return static_cast<float>(std::clamp(value, low, high));
}

// What the parser made of the command against what the panel shows, option by option.
void expect_same_settings(const PanelState& s, const CommandLine& line) {
  const DriverSettings& d = line.driver;
  ASSERT_EQ(line.input.file_name_number(), s.input_files.size());
  for (uint32_t k = 0; k < line.input.file_name_number(); k++)
    EXPECT_EQ(line.input.get_file_name(k), s.input_files[k]);
  EXPECT_EQ(line.input.is_merged(), s.merged);
  EXPECT_EQ(d.cores, std::clamp(s.cores, 1, 128));
  EXPECT_EQ(d.concavity, clamped(s.concavity, 0, 1e6));
  const ContourLevelRequest& levels = d.levels;
  switch (s.isoline_mode) {
    case IsolineMode::kEvery:
      EXPECT_EQ(levels.every, s.value);
      EXPECT_TRUE(levels.given.empty());
      break;
    case IsolineMode::kSingle:
      EXPECT_EQ(levels.given, std::vector<float>{static_cast<float>(s.value)});
      break;
    case IsolineMode::kNumber:
      EXPECT_EQ(levels.number, static_cast<int32_t>(std::trunc(s.value)));
      break;
    case IsolineMode::kMultiple: {
      std::vector<float> expected;
      for (double v : s.value_list) expected.push_back(static_cast<float>(v));
      EXPECT_EQ(levels.given, expected);
      EXPECT_EQ(levels.every, 0.0);
      EXPECT_EQ(levels.number, 0);
      break;
    }
  }
  EXPECT_EQ(d.smooth_passes, s.smooth ? std::clamp(s.passes, 1, 50) : 0);
  EXPECT_EQ(d.simplify_length, s.simplify ? clamped(s.simplify_length, 0, 100) : 0.0f);
  EXPECT_EQ(d.clean, s.clean ? clamped(s.clean_length, 0, 1000) : 0.0f);
  EXPECT_EQ(d.loops_only, s.loops_only);
  EXPECT_EQ(d.extra_pass, s.extra_pass);
  const auto breakline = [](bool on, const std::string& file) {
    return on && !file.empty() ? std::optional<std::string>(file) : std::nullopt;
  };
  EXPECT_EQ(d.lakes_file, breakline(s.closed, s.closed_file));
  EXPECT_EQ(d.creeks_file, breakline(s.open, s.open_file));
  EXPECT_EQ(line.output.get_format(), s.output_format);
  EXPECT_STREQ(line.output.get_directory() ? line.output.get_directory() : "", s.output_directory.c_str());
  EXPECT_STREQ(line.output.get_appendix() ? line.output.get_appendix() : "", s.output_appendix.c_str());
  EXPECT_FALSE(d.gui);
}

class CommandBuilder : public ::testing::Test {
 protected:
  void SetUp() override {
    // The parser reads the input names, so they must exist; the blank proves the name stays one word.
    std::ofstream(dir_ / "tile one.las") << "x";
    std::ofstream(dir_ / "tile2.las") << "x";
    std::filesystem::create_directories(dir_ / "out dir");
  }
  std::string tile() const { return (dir_ / "tile one.las").string(); }
  TempDir dir_{"gui_commands"};
};

TEST_F(CommandBuilder, EveryPanelStateBuildsItsCommandAndParsesBackToIt) {
  const std::string out_dir = (dir_ / "out dir").string();
  const std::string tile2 = (dir_ / "tile2.las").string();
  const std::vector<Case> cases = {
      {"defaults", [](PanelState&) {}, {"-iso_every", "10", "-oshp"}},
      {"mode 0 with its spacing", [](PanelState& s) { s.value = 0.25; }, {"-iso_every", "0.25", "-oshp"}},
      {"mode 1 with one elevation",
       [](PanelState& s) {
         s.isoline_mode = IsolineMode::kSingle;
         s.value = 101.5;
       },
       {"-iso", "101.5", "-oshp"}},
      {"mode 2 with 12.7 takes 12",
       [](PanelState& s) {
         s.isoline_mode = IsolineMode::kNumber;
         s.value = 12.7;
       },
       {"-iso_number", "12", "-oshp"}},
      {"mode 3 with an empty list writes no iso option",
       [](PanelState& s) { s.isoline_mode = IsolineMode::kMultiple; },
       {"-oshp"}},
      {"mode 3 keeps the list order",
       [](PanelState& s) {
         s.isoline_mode = IsolineMode::kMultiple;
         s.value_list = {5, 2.5, -7, 5};
       },
       {"-iso", "5", "-iso", "2.5", "-iso", "-7", "-iso", "5", "-oshp"}},
      {"concavity other than 50",
       [](PanelState& s) { s.concavity = 100; },
       {"-concavity", "100", "-iso_every", "10", "-oshp"}},
      {"concavity 0 switches the hull off",
       [](PanelState& s) { s.concavity = 0; },
       {"-concavity", "0", "-iso_every", "10", "-oshp"}},
      {"concavity clamped",
       [](PanelState& s) { s.concavity = 5e6; },
       {"-concavity", "1e+06", "-iso_every", "10", "-oshp"}},
      {"smooth", [](PanelState& s) { s.smooth = true; }, {"-iso_every", "10", "-smooth", "2", "-oshp"}},
      {"smooth passes clamped",
       [](PanelState& s) {
         s.smooth = true;
         s.passes = 99;
       },
       {"-iso_every", "10", "-smooth", "50", "-oshp"}},
      {"simplify", [](PanelState& s) { s.simplify = true; }, {"-iso_every", "10", "-simplify", "1", "-oshp"}},
      {"clean",
       [](PanelState& s) {
         s.clean = true;
         s.clean_length = 12.5;
       },
       {"-iso_every", "10", "-clean", "12.5", "-oshp"}},
      {"only closed loops",
       [](PanelState& s) { s.loops_only = true; },
       {"-iso_every", "10", "-loops_only", "-oshp"}},
      {"extra pass",
       [](PanelState& s) { s.extra_pass = true; },
       {"-iso_every", "10", "-extra_pass", "-oshp"}},
      {"lengths and passes do nothing while their boxes are off",
       [](PanelState& s) {
         s.passes = 7;
         s.simplify_length = 3;
         s.clean_length = 9;
         s.closed_file = "lakes.shp";
         s.open_file = "creeks.txt";
       },
       {"-iso_every", "10", "-oshp"}},
      {"closed on with no file name", [](PanelState& s) { s.closed = true; }, {"-iso_every", "10", "-oshp"}},
      {"breaklines with blanks and quotes stay one word each",
       [](PanelState& s) {
         s.closed = true;
         s.closed_file = "my lakes \"2024\".shp";
         s.open = true;
         s.open_file = "\"creeks\".txt";
       },
       {"-iso_every", "10", "-lakes", "my lakes \"2024\".shp", "-creeks", "\"creeks\".txt", "-oshp"}},
      {"every checkbox, in panel order",
       [](PanelState& s) {
         s.concavity = 20;
         s.isoline_mode = IsolineMode::kNumber;
         s.value = 5;
         s.smooth = s.simplify = s.clean = s.loops_only = s.extra_pass = true;
         s.closed = s.open = true;
         s.closed_file = "l.shp";
         s.open_file = "c.txt";
       },
       {"-concavity", "20", "-iso_number", "5", "-smooth", "2", "-simplify", "1", "-clean", "5",
        "-loops_only", "-extra_pass", "-lakes", "l.shp", "-creeks", "c.txt", "-oshp"}},
      {"kml output with directory, appendix and name",
       [&](PanelState& s) {
         s.output_format = "kml";
         s.output_directory = out_dir;
         s.output_appendix = "_lines";
         s.output_name = "contours.shp";
       },
       {"-iso_every", "10", "-odir", out_dir, "-o", "contours.kml", "-odix", "_lines", "-okml"}},
      {"merged files get the merged name in the chosen format",
       [&](PanelState& s) {
         s.input_files.push_back(tile2);
         s.merged = true;
         s.output_format = "wkt";
       },
       {"-merged", "-iso_every", "10", "-o", "merged.wkt", "-owkt"}},
      {"several cores",
       [&](PanelState& s) {
         s.input_files.push_back(tile2);
         s.cores = 4;
       },
       {"-cores", "4", "-iso_every", "10", "-oshp"}},
      {"clip rectangle",
       [](PanelState& s) {
         s.clip = ClipArea::kRectangle;
         s.clip_values[0] = 100.5;
         s.clip_values[1] = 200;
         s.clip_values[2] = 300;
         s.clip_values[3] = 400;
       },
       {"-inside_rectangle", "100.500000", "200.000000", "300.000000", "400.000000", "-iso_every", "10",
        "-oshp"}},
      {"clip circle",
       [](PanelState& s) {
         s.clip = ClipArea::kCircle;
         s.clip_values[0] = 10;
         s.clip_values[1] = 20;
         s.clip_values[2] = 5;
       },
       {"-inside_circle", "10.000000", "20.000000", "5.000000", "-iso_every", "10", "-oshp"}},
      {"clip tile",
       [](PanelState& s) {
         s.clip = ClipArea::kTile;
         s.clip_values[0] = 1000;
         s.clip_values[1] = 2000;
         s.clip_values[2] = 500;
       },
       {"-inside_tile", "1000", "2000", "500", "-iso_every", "10", "-oshp"}},
      {"UTM zone and units",
       [](PanelState& s) {
         s.projection = ProjectionKind::kUtm;
         s.projection_zone = "14S";
         s.coordinate_unit = LengthUnitChoice::kFeet;
         s.elevation_unit = LengthUnitChoice::kSurveyFeet;
       },
       {"-iso_every", "10", "-oshp", "-utm", "14S", "-feet", "-elevation_survey_feet"}},
      {"EPSG code",
       [](PanelState& s) {
         s.projection = ProjectionKind::kEpsg;
         s.projection_zone = "32614";
       },
       {"-iso_every", "10", "-oshp", "-epsg", "32614"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PanelState state;
    state.input_files = {tile()};
    c.set(state);
    const Words words = build_run_command(state);
    Words expected = {"contourmill", "-i"};
    expected.insert(expected.end(), state.input_files.begin(), state.input_files.end());
    expected.insert(expected.end(), c.expected.begin(), c.expected.end());
    EXPECT_EQ(words, expected);

    // The command window's text reads back to the same words.
    EXPECT_EQ(split_command_words(command_text(words)), words);

    CommandLine line;
    std::string messages;
    ASSERT_TRUE(parse_words(words, line, messages)) << messages;
    expect_same_settings(state, line);
  }
}

TEST_F(CommandBuilder, DefaultsAsTheWindowOpensWith) {
  const PanelState state;
  EXPECT_EQ(state.sample_points, 5000000);
  EXPECT_EQ(state.concavity, 50.0);
  EXPECT_EQ(state.isoline_mode, IsolineMode::kEvery);
  EXPECT_EQ(state.value, 10.0);
  EXPECT_EQ(state.passes, 2);
  EXPECT_EQ(state.simplify_length, 1.0);
  EXPECT_EQ(state.clean_length, 5.0);
  EXPECT_EQ(state.output_format, "shp");
  const Words words = build_run_command(state);
  EXPECT_EQ(words, (Words{"contourmill", "-iso_every", "10", "-oshp"}));
}

TEST_F(CommandBuilder, ViewCommandNamesTheViewerAndItsSampleSize) {
  PanelState state;
  state.input_files = {tile()};
  EXPECT_EQ(build_view_command(state), (Words{"cloudscope", "-i", tile()}));
  state.sample_points = 200000;
  state.clip = ClipArea::kTile;
  state.clip_values[2] = 100;
  EXPECT_EQ(build_view_command(state),
            (Words{"cloudscope", "-i", tile(), "-inside_tile", "0", "0", "100", "-points", "200000"}));
  state.sample_points = 50;  // below the limit
  EXPECT_EQ(build_view_command(state).back(), "100000");
}

TEST_F(CommandBuilder, StatesThatWouldRunSomethingElseAreStopped) {
  PanelState state;
  EXPECT_FALSE(panel_problems(state).empty()) << "no input files";
  state.input_files = {tile()};
  EXPECT_TRUE(panel_problems(state).empty());
  // A spacing of 0 would be left out of the command and the run would silently make 10 levels.
  state.value = 0;
  EXPECT_EQ(panel_problems(state).size(), 1u);
  state.isoline_mode = IsolineMode::kNumber;
  state.value = 0.9;
  EXPECT_EQ(panel_problems(state).size(), 1u);
  state.value = std::nan("");
  EXPECT_FALSE(panel_problems(state).empty());
  state.isoline_mode = IsolineMode::kMultiple;  // the value field plays no part
  EXPECT_TRUE(panel_problems(state).empty());
  state.projection = ProjectionKind::kUtm;
  EXPECT_EQ(panel_problems(state).size(), 1u);
  state.projection_zone = "14S";
  state.clip = ClipArea::kRectangle;  // all zeros: empty rectangle
  EXPECT_EQ(panel_problems(state).size(), 1u);
}

TEST(BreaklineNames, TheReadersKnowShpAndTxtInEitherCase) {
  for (const char* name : {"a.shp", "a.SHP", "dir/b.txt", "B.TXT"})
    EXPECT_TRUE(has_breakline_extension(name)) << name;
  for (const char* name : {"a.dbf", "a.Shp", "lakes", ""})
    EXPECT_FALSE(has_breakline_extension(name)) << name;
}

}  // namespace

namespace {

// "-gui" with further options presets the panel; RUN then must do what those options asked, the
// ones without a control of their own included.
TEST_F(CommandBuilder, PanelPresetFromACommandLineRunsThatCommandLine) {
  const std::string tile2 = (dir_ / "tile2.las").string();
  const std::string out_dir = (dir_ / "out dir").string();
  const std::vector<Words> lines = {
      {"contourmill", "-i",    tile(), "-iso_range", "0",   "600",   "20", "-keep_class",
       "2",           "-kill", "100",  "-utm",       "14S", "-odix", "_x", "-owkt",
       "-inside",     "1",     "2",    "3",          "4",   "-v"},
      {"contourmill", "-i", tile(),           "-iso_every", "2",     "-iso",       "101.5",
       "-ocut",       "2",  "-odbf",          "-epsg",      "32614", "-concavity", "0",
       "-smooth",     "3",  "-inside_circle", "5",          "6",     "7"},
      {"contourmill", "-i",           tile(),      tile2,   "-merged", "-iso_number", "7",
       "-lakes",      "l a.shp",      "-creeks",   "c.txt", "-o",      "all.kml",     "-okml",
       "-odir",       out_dir,        "-simplify", "0.5",   "-clean",  "3",           "-loops_only",
       "-extra_pass", "-inside_tile", "10",        "20",    "500"},
      {"contourmill", "-i", tile(), tile2, "-cores", "2", "-iso", "1", "-iso", "2", "-tin", "-arrival_order",
       "-drop_z_above", "300", "-feet"},
  };
  for (const Words& words : lines) {
    SCOPED_TRACE(command_text(words));
    CommandLine given;
    std::string messages;
    ASSERT_TRUE(parse_words(words, given, messages)) << messages;
    const Words built = build_run_command(panel_state_from(given));
    CommandLine rebuilt;
    ASSERT_TRUE(parse_words(built, rebuilt, messages)) << command_text(built) << "\n" << messages;
    EXPECT_EQ(unparse_command_line(rebuilt, true), unparse_command_line(given, true)) << command_text(built);
    EXPECT_EQ(rebuilt.driver, given.driver) << command_text(built);
    ASSERT_EQ(rebuilt.input.file_name_number(), given.input.file_name_number());
    for (uint32_t k = 0; k < given.input.file_name_number(); k++)
      EXPECT_EQ(rebuilt.input.get_file_name(k), given.input.get_file_name(k));
  }
}

}  // namespace
