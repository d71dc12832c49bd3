// Coordinates that cannot be represented, headers that describe records they do not hold, and
// memory that runs out: each stops the run with one clear "ERROR: ..." line and exit code 1 (or,
// for a count that claims too much, the contours of the real points and exit code 1), never
// contours in the wrong place, NaN coordinates or an empty output reported as success.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "run_tool.h"
#include "tools/las_writer.h"

namespace {

namespace fs = std::filesystem;

// The first line that starts with "ERROR", the one that names the cause.
std::string first_error_line(const std::string& err) {
  const size_t at = err.rfind("ERROR", 0) == 0 ? 0 : err.find("\nERROR");
  if (at == std::string::npos) return "";
  const size_t begin = at == 0 ? 0 : at + 1;
  return err.substr(begin, err.find('\n', begin) - begin + 1);
}

// A 30 x 30 cone of 2 m cells far from the origin, as UTM tiles are.
std::vector<las_test::Point> cone_points(double x0 = 636000.0, double y0 = 5200000.0) {
  std::vector<las_test::Point> points;
  for (int i = 0; i < 30; i++) {
    for (int j = 0; j < 30; j++) {
      const double dx = 2.0 * i - 29.0, dy = 2.0 * j - 29.0;
      points.push_back({x0 + 2.0 * i, y0 + 2.0 * j, 100.0 - 0.2 * std::hypot(dx, dy)});
    }
  }
  return points;
}

void write_las(const fs::path& path, const las_test::Options& o, const std::vector<las_test::Point>& points) {
  ASSERT_TRUE(las_test::write_file(path.string(), las_test::build(o, points)));
}

void write_bytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
  ASSERT_TRUE(las_test::write_file(path.string(), bytes));
}

// A scale or offset that wraps the 32-bit integers is refused before any point is triangulated,
// naming the operation and the bound; with -merged too.
TEST(HostileCoordinates, RescaleAndReoffsetOverflowAreRefused) {
  TempDir dir("hostile_rescale");
  write_las(dir / "a.las", {}, cone_points());
  write_las(dir / "b.las", {}, cone_points(636060.0));
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"-i", "a.las", "-owkt", "-rescale", "0.0000001", "0.0000001", "0.01"},
       "ERROR: rescaling from 0.01 to 1e-07 causes LAS integer overflow for min_x 636000\n"},
      {{"-i", "a.las", "-owkt", "-reoffset", "0", "0", "-30000000"},
       "ERROR: reoffsetting from 0 to -3e+07 causes LAS integer overflow for min_z"},
      {{"-i", "a.las", "b.las", "-merged", "-owkt", "-o", "merged.wkt", "-rescale", "0.0000001", "0.0000001",
        "0.01"},
       "causes LAS integer overflow for min_x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[1] + " " + c.args.back());
    const ToolRun run = run_tool(CM_CONTOURMILL_BIN, c.args, dir.path());
    EXPECT_EQ(run.exit_code, 1) << run.err;
    EXPECT_EQ(error_lines(run.err), 1) << run.err;
    EXPECT_NE(first_error_line(run.err).find(c.message), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir / "a.wkt"));
    EXPECT_FALSE(fs::exists(dir / "merged.wkt"));
  }
  // A rescale that fits still traces.
  const ToolRun fits = run_tool(CM_CONTOURMILL_BIN,
                                {"-i", "a.las", "-owkt", "-rescale", "0.001", "0.01", "0.001"}, dir.path());
  EXPECT_EQ(fits.exit_code, 0) << fits.err;
  EXPECT_TRUE(fs::exists(dir / "a.wkt"));
}

// A z scale of 1e308 made NaN coordinates and an all-NaN Shapefile box, 1e200 an empty output,
// both with exit code 0.
TEST(HostileCoordinates, CoordinatesBeyondSinglePrecisionAreAnError) {
  TempDir dir("hostile_scale");
  for (const double z_scale : {1e308, 1e200}) {
    SCOPED_TRACE(z_scale);
    std::vector<uint8_t> bytes = las_test::build({}, cone_points());
    las_test::put(bytes, las_test::kScaleFactors + 16, z_scale);
    write_bytes(dir / "huge.las", bytes);
    const ToolRun run =
        run_tool(CM_CONTOURMILL_BIN, {"-i", "huge.las", "-otxt", "-iso_every", "10"}, dir.path());
    EXPECT_EQ(run.exit_code, 1) << run.err;
    EXPECT_EQ(error_lines(run.err), 1) << run.err;
    EXPECT_NE(run.err.find("does not fit single precision"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir / "huge.txt"));
  }
}

// Format 7 claimed with a 34-byte record (it needs 36) was read as garbage after a warning.
TEST(HostileCoordinates, ARecordShorterThanItsPointFormatIsRefused) {
  TempDir dir("hostile_record");
  las_test::Options o;
  o.version_minor = 4;
  o.point_data_format = 7;
  o.point_data_record_length = 34;
  write_las(dir / "short.las", o, cone_points());
  const ToolRun run = run_tool(CM_CONTOURMILL_BIN, {"-i", "short.las", "-owkt"}, dir.path());
  EXPECT_EQ(run.exit_code, 1) << run.err;
  EXPECT_EQ(error_lines(run.err), 1) << run.err;
  EXPECT_EQ(first_error_line(run.err).rfind("ERROR: point size 34 too small by 2 bytes for point type 7", 0),
            0u)
      << run.err;
  EXPECT_FALSE(fs::exists(dir / "short.wkt"));
}

// A LAS 1.4 count that reaches into the EVLRs read their bytes as points. The count now ends at
// the first EVLR: a warning, the contours of the real points, and exit code 1.
TEST(HostileCoordinates, AnExtendedCountIsCappedAtTheFirstEvlr) {
  TempDir dir("hostile_evlr");
  las_test::Options o;
  o.version_minor = 4;
  o.point_data_format = 6;
  // Room for 30 records of 30 bytes of 0x7F: points 10^7 units away, had they been read.
  o.evlrs.push_back({"some maker", 1, std::vector<uint8_t>(900, 0x7F)});
  const std::vector<las_test::Point> points = cone_points();
  std::vector<uint8_t> bytes = las_test::build(o, points);
  write_bytes(dir / "true.las", bytes);
  las_test::put(bytes, las_test::kExtendedNumberOfPointRecords, uint64_t{points.size() + 25});
  write_bytes(dir / "lying.las", bytes);

  const ToolRun truthful =
      run_tool(CM_CONTOURMILL_BIN, {"-i", "true.las", "-owkt", "-iso_every", "1"}, dir.path());
  ASSERT_EQ(truthful.exit_code, 0) << truthful.err;
  const ToolRun lying =
      run_tool(CM_CONTOURMILL_BIN, {"-i", "lying.las", "-owkt", "-iso_every", "1"}, dir.path());
  EXPECT_EQ(lying.exit_code, 1) << lying.err;
  EXPECT_NE(
      lying.err.find("WARNING: 'lying.las' announces 925 points but only 900 lie before its first EVLR"),
      std::string::npos)
      << lying.err;
  EXPECT_EQ(error_lines(lying.err), 1) << lying.err;
  const std::string expected = read_file(dir / "true.wkt");
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(read_file(dir / "lying.wkt"), expected);
}

// However little memory the run gets, it either succeeds or stops with one ERROR line that says
// what could not be allocated, exit code 1 and no output left behind: never an abort, a raw
// exception text or a half-written file. The limits step from too little for the program to start
// to enough for the whole run, so every allocation of the run is in turn the one that fails.
TEST(HostileCoordinates, RunningOutOfMemoryIsOneClearErrorAtAnyPoint) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer reserves more address space than the limits leave";
#else
  TempDir dir("hostile_memory");
  const ToolRun gen =
      run_tool(CM_LASGEN_BIN,
               {"--surface", "cone", "--points", "50000", "--size", "200", "--out", "cone.las"}, dir.path());
  ASSERT_EQ(gen.exit_code, 0) << gen.err;
  const auto limited = [&dir](int megabytes, const std::string& args) {
    const std::string line = "ulimit -v " + std::to_string(megabytes * 1024) + " && exec " +
                             shell_quote(CM_CONTOURMILL_BIN) + " " + args;
    return run_tool("/bin/sh", {"-c", line}, dir.path());
  };
  // The program and its libraries first need their own address space (more with the window
  // toolkit linked in); the run then needs some 30 MB more, where the point buffer, the TIN, the
  // edge maps and the contour pools each fail at some limit.
  int loaded = 8;
  while (loaded < 1024 && limited(loaded, "-version").exit_code != 0) loaded += 8;
  ASSERT_LT(loaded, 1024);
  int succeeded = 0, failed = 0;
  for (int megabytes = loaded - 8; megabytes <= loaded + 60; megabytes += 3) {
    SCOPED_TRACE(std::to_string(megabytes) + " MB");
    const ToolRun run = limited(megabytes, "-i cone.las -oshp -iso_every 0.05");
    // The dynamic loader itself may be refused its memory; that is not the program's doing.
    if (run.exit_code == 127 || run.err.find("error while loading shared libraries") != std::string::npos)
      continue;
    if (run.exit_code == 0) {
      succeeded++;
      EXPECT_EQ(run.err.find("ERROR"), std::string::npos) << run.err;
      fs::remove(dir / "cone.shp");
      fs::remove(dir / "cone.shx");
      fs::remove(dir / "cone.dbf");
      continue;
    }
    failed++;
    EXPECT_EQ(run.exit_code, 1) << run.err;
    EXPECT_EQ(error_lines(run.err), 1) << run.err;
    EXPECT_EQ(run.err.rfind("ERROR", 0), 0u) << run.err;
    EXPECT_EQ(run.err.find("std::bad_alloc"), std::string::npos) << run.err;
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
      const std::string name = entry.path().filename().string();
      if (name != "cone.las" && name != "tool.stdout" && name != "tool.stderr") left.push_back(name);
    }
    EXPECT_TRUE(left.empty()) << "left behind: " << left.front();
  }
  EXPECT_GT(failed, 0);
  EXPECT_GT(succeeded, 0);
#endif
}

}  // namespace
