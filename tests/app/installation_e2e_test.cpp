// The program finds its EPSG parameter files wherever it is installed and however it is started,
// and says where it looked when it cannot.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "run_tool.h"

namespace {

namespace fs = std::filesystem;

void make_tile(const TempDir& dir, const std::string& name) {
  const ToolRun gen = run_tool(
      CM_LASGEN_BIN, {"--surface", "cone", "--points", "2000", "--size", "100", "--out", name}, dir.path());
  ASSERT_EQ(gen.exit_code, 0) << gen.err;
}

// Runs a shell command line in `dir`, with the tables variable unset unless the line sets it.
ToolRun run_shell(const fs::path& dir, const std::string& line) {
  const std::string cmd = "cd " + shell_quote(dir.string()) + " && unset CONTOURMILL_TABLES && " + line +
                          " > " + shell_quote((dir / "shell.out").string()) + " 2> " +
                          shell_quote((dir / "shell.err").string());
  const int status = std::system(cmd.c_str());
  ToolRun r;
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = read_file(dir / "shell.out");
  r.err = read_file(dir / "shell.err");
  return r;
}

// A copy of the program in a folder of its own, without any tables beside it.
fs::path lone_program(const TempDir& dir) {
  fs::create_directories(dir / "lone");
  const fs::path program = dir / "lone" / "contourmill";
  fs::copy_file(CM_CONTOURMILL_BIN, program);
  return program;
}

// `cmake --install` puts the program in bin/ and its tables in share/contourmill/; the installed
// program, started through a link in a folder on PATH from an unrelated folder, finds them there.
TEST(Installation, AnInstalledProgramFindsItsTablesThroughALinkOnThePath) {
  TempDir dir("install_prefix");
  const fs::path prefix = dir / "prefix";
  const ToolRun install =
      run_tool(CM_CMAKE_COMMAND, {"--install", CM_BUILD_DIR, "--prefix", prefix.string()}, dir.path());
  ASSERT_EQ(install.exit_code, 0) << install.out << install.err;
  ASSERT_TRUE(fs::exists(prefix / "bin" / "contourmill"));
  for (const char* table : {"pcs.csv", "gcs.csv", "vertcs.csv", "datums.csv", "towgs84.csv"}) {
    EXPECT_TRUE(fs::exists(prefix / "share" / "contourmill" / table)) << table;
  }
  EXPECT_FALSE(fs::exists(prefix / "bin" / "serf"));

  fs::create_directories(dir / "path");
  fs::create_symlink(prefix / "bin" / "contourmill", dir / "path" / "contourmill");
  fs::create_directories(dir / "work");
  make_tile(dir, "work/t.las");
  const ToolRun run = run_shell(dir / "work", "PATH=" + shell_quote((dir / "path").string()) +
                                                  ":/usr/bin:/bin contourmill -i t.las -oshp -epsg 2994");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.err.find("ERROR"), std::string::npos) << run.err;
  const std::string prj = read_file(dir / "work" / "t.prj");
  EXPECT_NE(prj.find("NAD83(HARN) / Oregon GIC Lambert (ft)"), std::string::npos) << prj;
}

// The folder the environment variable names is searched before every other place: a table there
// wins over the one beside the program, and a program without tables works with it.
TEST(Installation, TheEnvironmentVariableNamesTheTablesFolderAndComesFirst) {
  TempDir dir("install_variable");
  make_tile(dir, "t.las");
  const fs::path program = lone_program(dir);
  const std::string tables = fs::absolute(fs::path(CM_GEO_DATA_DIR)).string();

  ToolRun run = run_shell(dir.path(), "CONTOURMILL_TABLES=" + shell_quote(tables) + " " +
                                          shell_quote(program.string()) + " -i t.las -oshp -epsg 2994");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(fs::exists(dir / "t.prj"));

  // A pcs.csv without the code in the variable's folder hides the complete one beside the real
  // program.
  fs::create_directories(dir / "partial");
  std::ofstream(dir / "partial" / "pcs.csv")
      << "32633,\"WGS 84 / UTM zone 33N\",9001,4326,16033,9807,1,9001,1\n";
  run = run_shell(dir.path(), "CONTOURMILL_TABLES=" + shell_quote((dir / "partial").string()) + " " +
                                  shell_quote(fs::absolute(CM_CONTOURMILL_BIN).string()) +
                                  " -i t.las -otxt -epsg 2994");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("EPSG code 2994 not found in 'pcs.csv' file"), std::string::npos) << run.err;
}

// Without tables anywhere the message names the variable and every folder searched, so the user
// knows where to put them.
TEST(Installation, AMissingTableNamesEveryPlaceSearched) {
  TempDir dir("install_missing");
  make_tile(dir, "t.las");
  const fs::path program = lone_program(dir);
  const ToolRun run = run_shell(dir.path(), shell_quote(program.string()) + " -i t.las -epsg 2994");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("ERROR: cannot open 'pcs.csv' file."), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("(CONTOURMILL_TABLES is not set)"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find((dir / "lone" / "serf" / "geo").string() + "\n"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find((dir / "share" / "contourmill").string() + "\n"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("set CONTOURMILL_TABLES to the folder that holds it"), std::string::npos) << run.err;
}

TEST(Installation, TheHelpNamesTheTablesVariable) {
  TempDir dir("install_help");
  const ToolRun run = run_tool(CM_CONTOURMILL_BIN, {"-h"}, dir.path());
  EXPECT_NE(run.err.find("CONTOURMILL_TABLES"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("../share/contourmill"), std::string::npos) << run.err;
}

}  // namespace
