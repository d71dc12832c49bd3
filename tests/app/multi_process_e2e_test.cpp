// The multi-process run as users meet it: "-cores N" with several files runs one child per file
// and ends like the runs it stands for.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "run_tool.h"

namespace {

namespace fs = std::filesystem;

void make_tile(const fs::path& dir, const std::string& name, int points, int seed,
               const std::string& surface = "sample") {
  const ToolRun gen = run_tool(CM_LASGEN_BIN,
                               {"--surface", surface, "--points", std::to_string(points), "--size", "400",
                                "--seed", std::to_string(seed), "--jitter", "0.5", "--out", name},
                               dir);
  ASSERT_EQ(gen.exit_code, 0) << gen.err;
}

std::vector<std::string> files_with(const fs::path& dir, const std::string& extension) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().extension() == extension) names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool has_line_starting(const std::string& text, const std::string& start) {
  return text.rfind(start, 0) == 0 || text.find("\n" + start) != std::string::npos;
}

// Eight tiles on two cores give the files that eight separate runs give, byte for byte.
TEST(MultiProcess, EightTilesOnTwoCoresEqualSeparateRuns) {
  TempDir parallel("mp_parallel"), separate("mp_separate");
  std::vector<std::string> args = {"-i"};
  for (int k = 0; k < 8; k++) {
    const std::string name = "tile_" + std::to_string(k) + ".las";
    make_tile(parallel.path(), name, 20000, 10 + k);
    fs::copy_file(parallel / name, separate / name);
    args.push_back(name);
  }
  const std::vector<std::string> options = {"-iso_every", "5", "-simplify", "0.5", "-utm", "32N", "-odbf"};
  args.insert(args.end(), options.begin(), options.end());
  args.insert(args.end(), {"-cores", "2"});
  const ToolRun run = run_tool(CM_CONTOURMILL_BIN, args, parallel.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;

  for (int k = 0; k < 8; k++) {
    std::vector<std::string> one = {"-i", "tile_" + std::to_string(k) + ".las"};
    one.insert(one.end(), options.begin(), options.end());
    const ToolRun single = run_tool(CM_CONTOURMILL_BIN, one, separate.path());
    ASSERT_EQ(single.exit_code, 0) << single.err;
  }
  for (const char* extension : {".shp", ".shx", ".dbf", ".prj"}) {
    const std::vector<std::string> written = files_with(parallel.path(), extension);
    EXPECT_EQ(written.size(), 8u) << extension;
    EXPECT_EQ(written, files_with(separate.path(), extension));
    for (const std::string& name : written) {
      EXPECT_EQ(read_file(parallel / name), read_file(separate / name)) << name;
    }
  }
}

TEST(MultiProcess, ACorruptFileFailsAloneAndIsNamed) {
  TempDir dir("mp_corrupt");
  make_tile(dir.path(), "a.las", 5000, 1);
  make_tile(dir.path(), "c.las", 5000, 3);
  const std::string whole = read_file(dir / "a.las");
  std::ofstream(dir / "b.las", std::ios::binary) << whole.substr(0, 2000);  // cut inside its points
  const ToolRun run =
      run_tool(CM_CONTOURMILL_BIN, {"-i", "a.las", "b.las", "c.las", "-owkt", "-cores", "2"}, dir.path());
  EXPECT_EQ(run.exit_code, 1) << run.err;
  EXPECT_TRUE(has_line_starting(run.err, "ERROR: the run on 'b.las' failed: exit code 1\n")) << run.err;
  EXPECT_TRUE(has_line_starting(run.err, "b.las: ERROR: ")) << "the child's own message, with its input";
  EXPECT_EQ(run.err.find("the run on 'a.las' failed"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("the run on 'c.las' failed"), std::string::npos) << run.err;
  EXPECT_FALSE(read_file(dir / "a.wkt").empty());
  EXPECT_FALSE(read_file(dir / "c.wkt").empty());
}

// Names reach the children as they are: no shell reads them on the way.
TEST(MultiProcess, NamesWithBlanksQuotesAndDollarsArriveUnchanged) {
  TempDir dir("mp_names");
  const std::string odd = "my \"tile\" $HOME 'x'.las";
  make_tile(dir.path(), odd, 5000, 1);
  make_tile(dir.path(), "plain.las", 5000, 2);
  fs::create_directories(dir / "out $dir \"x\"");
  const ToolRun run =
      run_tool(CM_CONTOURMILL_BIN,
               {"-i", odd, "plain.las", "-owkt", "-odir", "out $dir \"x\"", "-v", "-cores", "2"}, dir.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_FALSE(read_file(dir / "out $dir \"x\"" / "my \"tile\" $HOME 'x'.wkt").empty()) << run.err;
  EXPECT_FALSE(read_file(dir / "out $dir \"x\"" / "plain.wkt").empty());
  EXPECT_TRUE(has_line_starting(run.err, odd + ": done with 'out $dir \"x\"/my \"tile\" $HOME 'x'.wkt'"))
      << run.err;
}

// A file whose name looks like a pattern is contoured once, by its own child only.
TEST(MultiProcess, NamesThatLookLikePatternsNameOneFile) {
  TempDir dir("mp_patterns");
  for (const char* name : {"a*b.las", "aXb.las", "a[1].las", "a1.las"}) make_tile(dir.path(), name, 2000, 1);
  const ToolRun run = run_tool(CM_CONTOURMILL_BIN, {"-i", "*.las", "-owkt", "-v", "-cores", "2"}, dir.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;
  for (const std::string name : {"a*b", "aXb", "a[1]", "a1"}) {
    const std::string done = ": done with '" + name + ".wkt'";
    size_t count = 0;
    for (size_t at = run.err.find(done); at != std::string::npos; at = run.err.find(done, at + 1)) count++;
    EXPECT_EQ(count, 1u) << name << "\n" << run.err;
  }
}

TEST(MultiProcess, CoresOutsideTheRangeAreRefused) {
  TempDir dir("mp_range");
  make_tile(dir.path(), "a.las", 2000, 1);
  make_tile(dir.path(), "b.las", 2000, 2);
  for (const char* cores : {"200", "0", "129", "-1"}) {
    const ToolRun run =
        run_tool(CM_CONTOURMILL_BIN, {"-i", "a.las", "b.las", "-owkt", "-cores", cores}, dir.path());
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err,
              std::string("ERROR: '-cores' needs a whole number from 1 to 128, not '") + cores + "'\n");
    EXPECT_TRUE(files_with(dir.path(), ".wkt").empty());
  }
}

// One core, one file or merged files: the run stays in this process (no child names its lines).
TEST(MultiProcess, OneCoreOneFileOrMergedRunsInProcess) {
  TempDir dir("mp_inprocess");
  make_tile(dir.path(), "a.las", 2000, 1);
  make_tile(dir.path(), "b.las", 2000, 2);
  ToolRun run =
      run_tool(CM_CONTOURMILL_BIN, {"-i", "a.las", "b.las", "-owkt", "-v", "-cores", "1"}, dir.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(has_line_starting(run.err, "done with 'a.wkt'")) << run.err;
  EXPECT_TRUE(has_line_starting(run.err, "done with 'b.wkt'")) << run.err;
  EXPECT_EQ(run.err.find("processes at a time"), std::string::npos) << run.err;

  fs::remove(dir / "a.wkt");
  fs::remove(dir / "b.wkt");
  run = run_tool(CM_CONTOURMILL_BIN, {"-i", "a.las", "b.las", "-merged", "-owkt", "-v", "-cores", "4"},
                 dir.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(
      has_line_starting(run.err, "WARNING: input files merged on-the-fly. ignoring '-cores 4' ...\n"));
  EXPECT_EQ(run.err.find("processes at a time"), std::string::npos) << run.err;
  EXPECT_EQ(files_with(dir.path(), ".wkt").size(), 1u) << "one merged run";

  // -cpu64 runs this program as it is.
  run = run_tool(CM_CONTOURMILL_BIN, {"-i", "a.las", "-owkt", "-v", "-cpu64"}, dir.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(has_line_starting(run.err, "'-cpu64': this program is the 64-bit build. running it as it is\n"))
      << run.err;
}

// Contours on standard output come in the order of the inputs, as from one run after another.
TEST(MultiProcess, StandardOutputKeepsTheInputOrder) {
  TempDir dir("mp_stdout");
  std::vector<std::string> args = {"-i"};
  for (int k = 0; k < 4; k++) {
    const std::string name = "t" + std::to_string(k) + ".las";
    make_tile(dir.path(), name, 3000 + 4000 * (3 - k), k);  // the first tile takes longest
    args.push_back(name);
  }
  args.insert(args.end(), {"-otxt", "-stdout", "-iso_every", "2"});
  const ToolRun sequential = run_tool(CM_CONTOURMILL_BIN, args, dir.path());
  ASSERT_EQ(sequential.exit_code, 0) << sequential.err;
  args.insert(args.end(), {"-cores", "3"});
  const ToolRun parallel = run_tool(CM_CONTOURMILL_BIN, args, dir.path());
  ASSERT_EQ(parallel.exit_code, 0) << parallel.err;
  EXPECT_FALSE(sequential.out.empty());
  EXPECT_TRUE(parallel.out == sequential.out) << "the outputs differ";
}

// Points passed on to standard output come file after file, as from one run after another.
TEST(MultiProcess, PointsPassedOnKeepTheInputOrder) {
  TempDir dir("mp_pipe_on");
  std::vector<std::string> args = {"-i"};
  for (int k = 0; k < 3; k++) {
    const std::string name = "p" + std::to_string(k) + ".las";
    make_tile(dir.path(), name, 2000 + 6000 * (2 - k), k);  // the first tile takes longest
    args.push_back(name);
  }
  args.insert(args.end(), {"-pipe_on", "-owkt", "-iso_every", "2"});
  const ToolRun sequential = run_tool(CM_CONTOURMILL_BIN, args, dir.path());
  ASSERT_EQ(sequential.exit_code, 0) << sequential.err;
  args.insert(args.end(), {"-cores", "3"});
  const ToolRun parallel = run_tool(CM_CONTOURMILL_BIN, args, dir.path());
  ASSERT_EQ(parallel.exit_code, 0) << parallel.err;
  EXPECT_GT(sequential.out.size(), 3u * 2000u * 20u);
  EXPECT_TRUE(parallel.out == sequential.out) << "the points passed on differ";
}

// Adjacent tiles, each buffered with its neighbours' points, on two cores give the files of the
// same buffered run in one process; the neighbour list lies in the -temp_files folder and is gone
// afterwards.
TEST(MultiProcess, BufferedTilesEqualTheBufferedRunInOneProcess) {
  TempDir parallel("mp_buffered"), one("mp_buffered_one");
  const std::vector<std::vector<std::string>> clips = {{"500000", "4000000", "500150", "4000150"},
                                                       {"500150", "4000000", "500300", "4000150"},
                                                       {"500000", "4000150", "500150", "4000300"},
                                                       {"500150", "4000150", "500300", "4000300"}};
  std::vector<std::string> args = {"-i"};
  for (size_t k = 0; k < clips.size(); k++) {
    const std::string name = "t" + std::to_string(k) + ".las";
    std::vector<std::string> gen = {"--surface", "sample", "--points", "40000", "--size",
                                    "300",       "--out",  name,       "--clip"};
    gen.insert(gen.end(), clips[k].begin(), clips[k].end());
    const ToolRun made = run_tool(CM_LASGEN_BIN, gen, parallel.path());
    ASSERT_EQ(made.exit_code, 0) << made.err;
    fs::copy_file(parallel / name, one / name);
    args.push_back(name);
  }
  fs::create_directories(parallel / "temp");
  fs::create_directories(one / "temp");
  args.insert(args.end(),
              {"-buffered", "10", "-temp_files", "temp", "-faf", "-owkt", "-iso_every", "1", "-v"});
  const ToolRun single = run_tool(CM_CONTOURMILL_BIN, args, one.path());
  ASSERT_EQ(single.exit_code, 0) << single.err;
  args.insert(args.end(), {"-cores", "2"});
  const ToolRun run = run_tool(CM_CONTOURMILL_BIN, args, parallel.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;

  // The run in one process reads the tiles in turn, each with the buffer points of its neighbours.
  std::vector<std::string> added;
  const std::string adding = "LASreaderBuffered: adding ";
  for (size_t at = single.err.find(adding); at != std::string::npos; at = single.err.find(adding, at + 1)) {
    added.push_back(single.err.substr(at, single.err.find('\n', at) + 1 - at));
  }
  ASSERT_EQ(added.size(), clips.size()) << single.err;
  for (size_t k = 0; k < clips.size(); k++) {
    const std::string name = "t" + std::to_string(k);
    EXPECT_NE(added[k], adding + "0 buffer points.\n");
    EXPECT_TRUE(has_line_starting(run.err, name + ".las: " + added[k])) << added[k] << run.err;
    const std::string lines = read_file(parallel / (name + ".wkt"));
    EXPECT_FALSE(lines.empty());
    EXPECT_TRUE(lines == read_file(one / (name + ".wkt"))) << name;
  }
  EXPECT_TRUE(fs::is_empty(parallel / "temp"));
  EXPECT_TRUE(files_with(parallel.path(), ".txt").empty());
}

pid_t start_in_background(const std::vector<std::string>& args, const fs::path& dir, const fs::path& err) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(127);
    const int fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, STDERR_FILENO);
    std::vector<char*> argv = {const_cast<char*>(CM_CONTOURMILL_BIN)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(CM_CONTOURMILL_BIN, argv.data());
    _exit(127);
  }
  return pid;
}

std::vector<pid_t> children_of(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
  std::vector<pid_t> children;
  for (pid_t child; in >> child;) children.push_back(child);
  return children;
}

// SIGTERM reaches the running children, no further child starts, and the launcher ends by the
// same signal after they ended.
TEST(MultiProcess, AnInterruptReachesTheChildrenAndStopsTheRun) {
  TempDir dir("mp_interrupt");
  make_tile(dir.path(), "big1.las", 1500000, 1);
  make_tile(dir.path(), "big2.las", 1500000, 2);
  make_tile(dir.path(), "small3.las", 2000, 3);
  make_tile(dir.path(), "small4.las", 2000, 4);
  const pid_t launcher =
      start_in_background({"-i", "big1.las", "big2.las", "small3.las", "small4.las", "-owkt", "-cores", "2"},
                          dir.path(), dir / "err.txt");
  ASSERT_GT(launcher, 0);
  std::vector<pid_t> children;
  for (int i = 0; i < 500 && children.size() < 2; i++) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    children = children_of(launcher);
  }
  kill(launcher, SIGTERM);
  int status = 0;
  ASSERT_EQ(waitpid(launcher, &status, 0), launcher);
  const std::string err = read_file(dir / "err.txt");
  ASSERT_TRUE(WIFSIGNALED(status)) << err;
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  EXPECT_TRUE(has_line_starting(err, "ERROR: interrupted by signal 15")) << err;
  EXPECT_TRUE(has_line_starting(err, "ERROR: 2 input file(s) were not started")) << err;
  EXPECT_EQ(err.find("small3.las:"), std::string::npos) << err;
  for (pid_t child : children) EXPECT_NE(kill(child, 0), 0) << "child " << child << " still runs";
}

}  // namespace
