// A run never destroys a file it was not asked to write, never leaves a half-written output in
// place of a good one, and never reports a failure as a success.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>

#include "run_tool.h"
#include "tools/las_writer.h"
#include "wkt_reader.h"

namespace {

namespace fs = std::filesystem;

void make_tile(const TempDir& dir, const std::string& name) {
  const ToolRun gen = run_tool(
      CM_LASGEN_BIN, {"--surface", "cone", "--points", "10000", "--size", "100", "--out", name}, dir.path());
  ASSERT_EQ(gen.exit_code, 0) << gen.err;
}

std::set<std::string> names_in(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
  return names;
}

// The input LAS file, reached by any name, is never overwritten, and the run stops before it
// writes anything.
TEST(OutputSafety, AnOutputThatIsAnInputIsRefused) {
  TempDir dir("safe_same");
  make_tile(dir, "in.las");
  const std::string original = read_file(dir / "in.las");
  fs::create_symlink("in.las", dir / "link.las");
  fs::create_hard_link(dir / "in.las", dir / "hard.las");
  fs::create_directories(dir / "sub");
  fs::create_symlink("../in.las", dir / "sub" / "in.las");
  const std::vector<std::vector<std::string>> cases = {
      {"-i", "in.las", "-otxt", "-o", "in.las"},
      {"-i", "in.las", "-otxt", "-o", "./in.las"},
      {"-i", "in.las", "-otxt", "-o", "link.las"},
      {"-i", "link.las", "-otxt", "-o", "in.las"},
      {"-i", "in.las", "-owkt", "-o", "hard.las"},
      {"-i", "in.las", "-owkt", "-odir", "sub", "-o", "x.las"},  // sub/x.las does not exist: fine
      {"-i", "in.las", "-owkt", "-odir", "sub", "-o", "in.las"},
      {"-i", "in.las", "-odix", "_x", "-o", "in.shp", "-ocut", "0"},  // the name differs: fine
  };
  for (const auto& args : cases) {
    const std::string label = args[args.size() - 1] + " " + args[args.size() - 2];
    SCOPED_TRACE(label);
    const bool allowed = args.back() == "x.las" || args.back() == "0";
    std::set<std::string> before = names_in(dir.path());
    const ToolRun run = run_tool(CM_CONTOURMILL_BIN, args, dir.path());
    EXPECT_EQ(read_file(dir / "in.las"), original);
    if (allowed) {
      EXPECT_EQ(run.exit_code, 0) << run.err;
      continue;
    }
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(error_lines(run.err), 1) << run.err;
    EXPECT_NE(run.err.find("is the input"), std::string::npos) << run.err;
    std::set<std::string> after = names_in(dir.path());
    for (auto* names : {&before, &after}) {
      names->erase("tool.stdout");
      names->erase("tool.stderr");
    }
    EXPECT_EQ(after, before) << "nothing is written";
  }
}

// An -o name whose extension names no format stops the run unless a format option says what to
// write into it.
TEST(OutputSafety, UnknownOutputExtensionNeedsAFormatOption) {
  TempDir dir("safe_ext");
  make_tile(dir, "t.las");
  const ToolRun refused = run_tool(CM_CONTOURMILL_BIN, {"-i", "t.las", "-o", "out.dat"}, dir.path());
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_EQ(error_lines(refused.err), 1) << refused.err;
  EXPECT_NE(refused.err.find("ERROR: unknown file format. file name 'out.dat' must end in"),
            std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "out.dat"));

  const ToolRun stated =
      run_tool(CM_CONTOURMILL_BIN, {"-i", "t.las", "-otxt", "-o", "out.dat", "-iso_every", "5"}, dir.path());
  ASSERT_EQ(stated.exit_code, 0) << stated.err;
  EXPECT_EQ(error_lines(stated.err), 0) << stated.err;
  EXPECT_NE(stated.err.find("WARNING: unknown file format of 'out.dat'"), std::string::npos) << stated.err;
  const std::string text = read_file(dir / "out.dat");
  EXPECT_NE(text.find("#\n"), std::string::npos);
  EXPECT_EQ(text.find("LINESTRING"), std::string::npos);
}

// Two inputs of the same name from different folders would write one file in the -odir folder;
// the run refuses before reading either.
TEST(OutputSafety, InputsWithTheSameNameCannotShareAnOutputFolder) {
  TempDir dir("safe_odir");
  fs::create_directories(dir / "d1");
  fs::create_directories(dir / "d2");
  fs::create_directories(dir / "out");
  make_tile(dir, "d1/a.las");
  make_tile(dir, "d2/a.las");
  const ToolRun run =
      run_tool(CM_CONTOURMILL_BIN, {"-i", "d1/a.las", "d2/a.las", "-odir", "out", "-owkt"}, dir.path());
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(error_lines(run.err), 1) << run.err;
  EXPECT_NE(run.err.find("ERROR: inputs 'd1/a.las' and 'd2/a.las' would both write 'out/a.wkt'"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("-odix"), std::string::npos);
  EXPECT_TRUE(fs::is_empty(dir / "out"));
  // The children of a multi-process run would clash the same way.
  const ToolRun children = run_tool(
      CM_CONTOURMILL_BIN, {"-i", "d1/a.las", "d2/a.las", "-odir", "out", "-owkt", "-cores", "2"}, dir.path());
  EXPECT_EQ(children.exit_code, 1);
  EXPECT_EQ(error_lines(children.err), 1) << children.err;
  EXPECT_NE(children.err.find("would both write 'out/a.wkt'"), std::string::npos) << children.err;
  EXPECT_TRUE(fs::is_empty(dir / "out"));

  // Each beside its own input, the two outputs are distinct.
  const ToolRun beside = run_tool(CM_CONTOURMILL_BIN, {"-i", "d1/a.las", "d2/a.las", "-owkt"}, dir.path());
  EXPECT_EQ(beside.exit_code, 0) << beside.err;
  EXPECT_TRUE(fs::exists(dir / "d1" / "a.wkt") && fs::exists(dir / "d2" / "a.wkt"));
}

// Writing that fails half-way (here: the file-size limit of the process) leaves the output of an
// earlier run exactly as it was, and no temporary file behind.
TEST(OutputSafety, AFailedWriteLeavesTheExistingOutputUntouched) {
  TempDir dir("safe_late");
  make_tile(dir, "t.las");
  for (const char* format : {"-owkt", "-oshp", "-otxt", "-okml"}) {
    SCOPED_TRACE(format);
    const std::string extension = std::string(format + 2);
    const std::vector<std::string> files = extension == "shp"
                                               ? std::vector<std::string>{"t.shp", "t.shx", "t.dbf"}
                                               : std::vector<std::string>{"t." + extension};
    for (const std::string& f : files) std::ofstream(dir / f) << "earlier result of " << f;
    std::set<std::string> before = names_in(dir.path());
    // 25 is SIGXFSZ: ignored, a write past the limit fails with an error instead of killing the run.
    const std::string cmd = "cd " + shell_quote(dir.path().string()) + " && trap '' 25 && ulimit -f 8 && " +
                            shell_quote(CM_CONTOURMILL_BIN) + " -i t.las " + format +
                            " -iso_every 0.5 -utm 10T 2> err.txt";
    const int status = std::system(cmd.c_str());
    const std::string err = read_file(dir / "err.txt");
    EXPECT_EQ(WEXITSTATUS(status), 1) << err;
    EXPECT_EQ(error_lines(err), 1) << err;
    for (const std::string& f : files) EXPECT_EQ(read_file(dir / f), "earlier result of " + f);
    std::set<std::string> after = names_in(dir.path());
    before.erase("err.txt");
    after.erase("err.txt");
    EXPECT_EQ(after, before);
  }
}

// Failures found before tracing (a KML without georeferencing, a Shapefile companion or .prj that
// cannot be written) stop the run with the earlier outputs as they were.
TEST(OutputSafety, AFailureBeforeWritingLeavesTheExistingOutputsUntouched) {
  TempDir dir("safe_before");
  make_tile(dir, "t.las");
  struct Case {
    std::vector<std::string> options;
    std::vector<std::string> existing;
    std::string blocker;  // a folder where a companion file would go
    std::string error;
  };
  const std::vector<Case> cases = {
      {{"-okml"}, {"t.kml"}, "", "ERROR: cannot parse or guess georeferencing"},
      {{"-oshp"}, {"t.shp", "t.dbf"}, "t.shx", "ERROR: cannot open SHX file"},
      {{"-oshp", "-utm", "10T"}, {"t.shp", "t.shx", "t.dbf"}, "t.prj", "ERROR: cannot open 't.prj'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options[0] + " " + c.blocker);
    for (const std::string& f : c.existing) std::ofstream(dir / f) << "earlier result of " << f;
    if (!c.blocker.empty()) fs::create_directory(dir / c.blocker);
    std::set<std::string> before = names_in(dir.path());
    std::vector<std::string> args = {"-i", "t.las"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const ToolRun run = run_tool(CM_CONTOURMILL_BIN, args, dir.path());
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(error_lines(run.err), 1) << run.err;
    EXPECT_NE(run.err.find(c.error), std::string::npos) << run.err;
    for (const std::string& f : c.existing) EXPECT_EQ(read_file(dir / f), "earlier result of " + f);
    std::set<std::string> after = names_in(dir.path());
    for (auto* names : {&before, &after}) {
      names->erase("tool.stdout");
      names->erase("tool.stderr");
    }
    EXPECT_EQ(after, before);
    for (const std::string& f : c.existing) fs::remove(dir / f);
    if (!c.blocker.empty()) fs::remove(dir / c.blocker);
  }
}

// A file that ends before its announced points gives the contours of the points it has, in a
// complete output file, and the run fails.
TEST(OutputSafety, AnInputThatEndsEarlyGetsCompleteContoursAndFails) {
  TempDir dir("safe_short");
  std::vector<las_test::Point> points;
  for (int i = 0; i < 60; i++) {
    for (int j = 0; j < 60; j++) {
      const double dx = i - 30.0, dy = j - 30.0;
      points.push_back({1000.0 + i, 2000.0 + j, 100.0 - std::sqrt(dx * dx + dy * dy)});
    }
  }
  const std::vector<uint8_t> whole = las_test::build({}, points);
  const size_t offset = whole.size() - points.size() * 20;
  const size_t kept = 2000;
  // The same first 2000 points, once announced honestly and once as a cut-off file of 3600.
  std::vector<uint8_t> honest(whole.begin(), whole.begin() + static_cast<long>(offset + kept * 20));
  las_test::put(honest, las_test::kNumberOfPointRecords, uint32_t(kept));
  std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(offset + kept * 20 + 7));
  ASSERT_TRUE(las_test::write_file((dir / "honest.las").string(), honest));
  ASSERT_TRUE(las_test::write_file((dir / "cut.las").string(), cut));
  const std::vector<std::string> options = {"-owkt", "-iso_every", "2", "-kill", "0", "-concavity", "0"};
  std::vector<std::string> args = {"-i", "honest.las"};
  args.insert(args.end(), options.begin(), options.end());
  const ToolRun good = run_tool(CM_CONTOURMILL_BIN, args, dir.path());
  ASSERT_EQ(good.exit_code, 0) << good.err;
  args[1] = "cut.las";
  const ToolRun run = run_tool(CM_CONTOURMILL_BIN, args, dir.path());
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(error_lines(run.err), 1) << run.err;
  EXPECT_NE(run.err.find("ERROR: 1 input(s) ended before all their points were read"), std::string::npos)
      << run.err;
  const std::string contours = read_file(dir / "cut.wkt");
  std::vector<WktLine> lines;
  ASSERT_TRUE(parse_wkt_lines(contours, lines));
  EXPECT_FALSE(lines.empty());
  EXPECT_EQ(contours, read_file(dir / "honest.wkt"));
}

// Every failing run says why in one "ERROR:" line and exits with 1.
TEST(OutputSafety, AFailingRunPrintsOneErrorLine) {
  TempDir dir("safe_one_error");
  make_tile(dir, "t.las");
  const std::vector<std::vector<std::string>> cases = {
      {"-i", "missing.las"},
      {"-i", "t.las", "-odir", "/proc"},
      {"-i", "t.las", "-o", "/proc/t.wkt"},
      {"-i", "t.las", "-o", "no/such/dir/t.txt"},
      {"-i", "t.las", "-okml"},
      {"-i", "t.las", "-o", "t.xyz"},
      {"-i", "t.las", "-o", "t.pef"},
      {"-i", "t.las", "-stdout"},
      {"-i", "t.las", "-owkt", "-o", "t.las"},
      {"-i", "t.las", "-iso_number", "-5"},
      {"-i", "t.las", "-owkt", "-o", "/dev/full"},
      {"-i", "t.las", "-owkt", "-o", "/dev/full", "-merged"},
  };
  for (const auto& args : cases) {
    std::string label;
    for (const auto& a : args) label += a + " ";
    SCOPED_TRACE(label);
    const ToolRun run = run_tool(CM_CONTOURMILL_BIN, args, dir.path());
    EXPECT_EQ(run.exit_code, 1) << run.err;
    EXPECT_EQ(error_lines(run.err), 1) << run.err;
  }
}

// Started through a link in a folder on PATH, from another folder, the program still finds its
// EPSG tables beside its real executable.
TEST(Installation, ALinkOnThePathFindsTheTables) {
  TempDir dir("install_path");
  make_tile(dir, "t.las");
  fs::create_directories(dir / "bin");
  fs::create_symlink(fs::absolute(CM_CONTOURMILL_BIN), dir / "bin" / "contourmill");
  const std::string cmd = "cd " + shell_quote(dir.path().string()) +
                          " && PATH=" + shell_quote((dir / "bin").string()) +
                          ":/usr/bin:/bin contourmill -i t.las -oshp -epsg 2994 2> err.txt";
  const int status = std::system(cmd.c_str());
  const std::string err = read_file(dir / "err.txt");
  EXPECT_EQ(WEXITSTATUS(status), 0) << err;
  EXPECT_EQ(err.find("ERROR"), std::string::npos) << err;
  EXPECT_TRUE(fs::exists(dir / "t.prj"));
}

}  // namespace
