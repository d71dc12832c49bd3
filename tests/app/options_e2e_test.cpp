// The command line as users meet it: messages, usage text, exit codes and multi-file runs.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "run_tool.h"
#include "wkt_reader.h"

namespace {

struct OptionCase {
  const char* name;
  std::vector<std::string> args;
  int exit_code;
  const char* stderr_has;  // must appear on standard error
  bool usage;              // the usage text follows
  bool press_enter;        // "<press ENTER>" follows the usage
};

const OptionCase kOptionCases[] = {
    {"no_input", {"-v"}, 1, "ERROR: no input specified\n", true, false},
    {"iso_range_empty",
     {"-iso_range", "10", "10", "1"},
     1,
     "ERROR: 'iso_from' larger or equal to 'iso_to'\n",
     true,
     true},
    {"iso_range_step",
     {"-iso_range", "1", "10", "0"},
     1,
     "ERROR: iso_step smaller or equal to zero\n",
     true,
     true},
    {"iso_range_missing",
     {"-iso_range", "1", "10"},
     1,
     "ERROR: '-iso_range' needs 3 arguments: from to step\n",
     false,
     false},
    {"concavity_last",
     {"-concavity"},
     1,
     "ERROR: '-concavity' needs 1 argument: concavity_value\n",
     true,
     false},
    {"kill_last", {"-kill"}, 1, "ERROR: '-kill' needs 1 argument: threshold\n", false, false},
    {"iso_every_zero", {"-iso_every", "0"}, 1, "ERROR: iso_every set to zero\n", true, true},
    {"iso_number_zero", {"-iso_number", "0"}, 1, "ERROR: iso_number set to zero\n", true, true},
    {"simplify_zero", {"-simplify", "0"}, 1, "ERROR: simplify_length set to zero\n", true, true},
    {"clean_zero", {"-clean", "0"}, 1, "ERROR: clean set to zero\n", true, true},
    {"smooth_zero", {"-smooth", "0"}, 1, "ERROR: smooth set to zero\n", true, true},
    {"lakes_missing", {"-lakes"}, 1, "ERROR: '-lakes' needs 1 argument: file_name\n", false, false},
    {"unknown", {"-frobnicate"}, 1, "ERROR: cannot understand argument '-frobnicate'\n", true, false},
    {"projection_bad_zone",
     {"-utm", "32"},
     1,
     "ERROR: utm zone '32' is unknown. use '32north', '55south', '10n', '56s', '17U', or '49L'\n",
     false,
     false},
    {"help", {"-h"}, 1, "contourmill -i *.las -oshp\n", true, false},
    {"version", {"-version"}, 0, "240521", false, false},
};

class Options : public ::testing::TestWithParam<OptionCase> {};

TEST_P(Options, PrintMessageUsageAndExitCode) {
  const OptionCase& c = GetParam();
  TempDir dir(std::string("opt_") + c.name);
  const ToolRun run = run_tool(CM_CONTOURMILL_BIN, c.args, dir.path());
  EXPECT_EQ(run.exit_code, c.exit_code) << run.err;
  EXPECT_NE(run.err.find(c.stderr_has), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("usage:\n") != std::string::npos, c.usage) << run.err;
  EXPECT_EQ(run.err.find("<press ENTER>\n") != std::string::npos, c.press_enter) << run.err;
  EXPECT_TRUE(run.out.empty()) << "messages belong on standard error";
}

void PrintTo(const OptionCase& c, std::ostream* os) {
  *os << c.name;
}

INSTANTIATE_TEST_SUITE_P(CommandLine, Options, ::testing::ValuesIn(kOptionCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// The wait for ENTER must not stall when standard input is an open pipe nobody writes to.
TEST(Options, PressEnterDoesNotHangOnAnIdlePipe) {
  TempDir dir("opt_pipe");
  // The sleep keeps the pipe open without writing; contourmill must answer without reading it.
  const std::string cmd = "sleep 15 | { " + shell_quote(CM_CONTOURMILL_BIN) +
                          " -iso_every 0 > /dev/null 2>&1; echo $? > " + shell_quote((dir / "rc").string()) +
                          "; }";
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(std::system(("timeout 20 sh -c " + shell_quote(cmd) + " > /dev/null 2>&1 &").c_str()), 0);
  for (int i = 0; i < 100 && !std::filesystem::exists(dir / "rc"); i++) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(read_file(dir / "rc"), "1\n");
}

std::vector<WktLine> contours_of(const std::filesystem::path& wkt) {
  std::vector<WktLine> lines;
  EXPECT_TRUE(parse_wkt_lines(read_file(wkt), lines));
  return lines;
}

void make_tile(const TempDir& dir, const std::string& name, const std::string& surface) {
  const ToolRun gen = run_tool(
      CM_LASGEN_BIN, {"--surface", surface, "--points", "2500", "--size", "50", "--out", name}, dir.path());
  ASSERT_EQ(gen.exit_code, 0) << gen.err;
}

// Each file gets elevations of its own range; -iso values ride along only until the computed
// list is emptied after the first file.
TEST(Options, TwoFilesGetTheirOwnElevations) {
  TempDir dir("opt_two");
  make_tile(dir, "a.las", "plane");  // 50 .. 55 m
  make_tile(dir, "b.las", "cone");   // about 82 .. 100 m
  const ToolRun run =
      run_tool(CM_CONTOURMILL_BIN, {"-i", "a.las", "b.las", "-owkt", "-iso_every", "1", "-iso", "90", "-v"},
               dir.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.err.find("done with 'a.wkt'"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("done with 'b.wkt'"), std::string::npos) << run.err;
  const auto a = contours_of(dir / "a.wkt");
  const auto b = contours_of(dir / "b.wkt");
  // plane: z = 50 + 0.1 x over x in [0, 50]: one straight line at each of 51..54 plus the 90 m
  // value, which lies outside this tile's range.
  EXPECT_EQ(a.size(), 4u);
  // cone: circles above 87.5 m lie inside the 50 m tile. The -iso value was emptied with the
  // first file's list, so there is no second 90 m loop: one loop per level from 88 to 99.
  int loops = 0;
  for (const auto& l : b) loops += l.closed();
  EXPECT_EQ(loops, 12);
}

TEST(Options, CoresWithOneFileWarnsAndRunsNormally) {
  TempDir dir("opt_cores");
  make_tile(dir, "t.las", "cone");
  const ToolRun run = run_tool(CM_CONTOURMILL_BIN, {"-i", "t.las", "-cores", "4", "-owkt"}, dir.path());
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_NE(run.err.find("WARNING: only 1 input file(s). ignoring '-cores 4' ...\n"), std::string::npos);
  EXPECT_FALSE(contours_of(dir / "t.wkt").empty());
}

TEST(Options, StdoutReceivesTheLinesAndNoFileIsWritten) {
  TempDir dir("opt_stdout");
  make_tile(dir, "t.las", "cone");
  const ToolRun run =
      run_tool(CM_CONTOURMILL_BIN, {"-i", "t.las", "-owkt", "-stdout", "-iso", "95"}, dir.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;
  std::vector<WktLine> lines;
  ASSERT_TRUE(parse_wkt_lines(run.out, lines)) << run.out;
  EXPECT_EQ(lines.size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(dir / "t.wkt"));
}

// A full disk must fail the run, not end it with exit code 0 and a truncated file.
TEST(Options, FailedOutputWriteIsAnError) {
  TempDir dir("opt_full");
  make_tile(dir, "t.las", "cone");
  for (const std::string to_stdout : {"", "> /dev/full"}) {
    const std::string out = to_stdout.empty() ? "-o /dev/full -owkt" : "-owkt -stdout";
    const std::string cmd = "cd " + shell_quote(dir.path().string()) + " && " +
                            shell_quote(CM_CONTOURMILL_BIN) + " -i t.las " + out + " " + to_stdout +
                            " 2> err.txt";
    const int status = std::system(cmd.c_str());
    EXPECT_EQ(WEXITSTATUS(status), 1) << cmd;
    EXPECT_NE(read_file(dir / "err.txt").find("ERROR: writing contours of 't.las' failed"), std::string::npos)
        << read_file(dir / "err.txt");
  }
}

}  // namespace
