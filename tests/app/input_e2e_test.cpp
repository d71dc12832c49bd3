// Input selection as users give it: wildcards, file lists, merged runs, standard input, areas of
// interest and the extra pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "run_tool.h"
#include "wkt_reader.h"

namespace {

void make_tile(const TempDir& dir, const std::string& name, std::vector<std::string> extra = {}) {
  std::vector<std::string> args = {"--surface", "cone", "--points", "10000", "--size", "100", "--out", name};
  args.insert(args.end(), extra.begin(), extra.end());
  const ToolRun gen = run_tool(CM_LASGEN_BIN, args, dir.path());
  ASSERT_EQ(gen.exit_code, 0) << gen.err;
}

// Contour lengths, sorted, as a fingerprint of the contours that does not depend on the order
// in which lines were completed.
std::vector<double> sorted_lengths(const std::string& wkt) {
  std::vector<WktLine> lines;
  EXPECT_TRUE(parse_wkt_lines(wkt, lines));
  std::vector<double> lengths;
  for (const auto& l : lines) lengths.push_back(l.length());
  std::sort(lengths.begin(), lengths.end());
  return lengths;
}

void expect_same_contours(const std::string& a, const std::string& b, double tolerance) {
  const auto la = sorted_lengths(a), lb = sorted_lengths(b);
  ASSERT_EQ(la.size(), lb.size());
  ASSERT_FALSE(la.empty());
  for (size_t i = 0; i < la.size(); i++) EXPECT_NEAR(la[i], lb[i], tolerance * (1.0 + la[i])) << i;
}

ToolRun contours_to_stdout(const TempDir& dir, std::vector<std::string> args,
                           const std::string& in = "/dev/null") {
  args.insert(args.end(), {"-owkt", "-stdout", "-iso_every", "5"});
  return run_tool(CM_CONTOURMILL_BIN, args, dir.path(), in);
}

TEST(Input, WildcardsExpandInTheFolderAndEmptyPatternsFail) {
  TempDir dir("in_wild");
  std::filesystem::create_directories(dir / "tiles");
  make_tile(dir, "tiles/a.las");
  make_tile(dir, "tiles/b.las", {"--seed", "2"});
  std::ofstream(dir / "tiles/notes.txt") << "not a tile\n";
  const ToolRun run =
      run_tool(CM_CONTOURMILL_BIN, {"-i", "tiles/*.las", "-owkt", "-iso_every", "10"}, dir.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(std::filesystem::exists(dir / "tiles/a.wkt"));
  EXPECT_TRUE(std::filesystem::exists(dir / "tiles/b.wkt"));
  EXPECT_FALSE(std::filesystem::exists(dir / "tiles/notes.wkt"));

  const ToolRun none = run_tool(CM_CONTOURMILL_BIN, {"-i", "tiles/*.rkp", "-owkt"}, dir.path());
  EXPECT_EQ(none.exit_code, 1);
  EXPECT_NE(none.err.find("ERROR: no file matches 'tiles/*.rkp'"), std::string::npos) << none.err;
}

TEST(Input, FileListsSkipEmptyLinesAndRefuseMissingFilesAndLongLines) {
  TempDir dir("in_lof");
  make_tile(dir, "a.las");
  make_tile(dir, "b.las", {"--seed", "2"});
  std::ofstream(dir / "good.txt") << "a.las\n\n   \n7,b.las\n";
  const ToolRun good =
      run_tool(CM_CONTOURMILL_BIN, {"-lof", "good.txt", "-owkt", "-iso_every", "10"}, dir.path());
  ASSERT_EQ(good.exit_code, 0) << good.err;
  EXPECT_TRUE(std::filesystem::exists(dir / "a.wkt"));
  EXPECT_TRUE(std::filesystem::exists(dir / "b.wkt"));

  // A missing tile is reported before anything is written, so a batch never half-completes.
  std::filesystem::remove(dir / "a.wkt");
  std::ofstream(dir / "missing.txt") << "a.las\nmissing.las\n";
  const ToolRun missing = run_tool(CM_CONTOURMILL_BIN, {"-lof", "missing.txt", "-owkt"}, dir.path());
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_NE(missing.err.find("'missing.las'"), std::string::npos) << missing.err;
  EXPECT_NE(missing.err.find("ERROR: cannot load list of files 'missing.txt'"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir / "a.wkt"));

  std::ofstream(dir / "long.txt") << "a.las\n" << std::string(5000, 'x') << ".las\n";
  const ToolRun long_line = run_tool(CM_CONTOURMILL_BIN, {"-lof", "long.txt", "-owkt"}, dir.path());
  EXPECT_EQ(long_line.exit_code, 1);
  EXPECT_NE(long_line.err.find("longer than 2048 characters"), std::string::npos) << long_line.err;

  const ToolRun no_list = run_tool(CM_CONTOURMILL_BIN, {"-lof", "absent.txt"}, dir.path());
  EXPECT_EQ(no_list.exit_code, 1);
  EXPECT_NE(no_list.err.find("ERROR: cannot open 'absent.txt'"), std::string::npos);
}

// Two files that split a tile's points between them, merged, give the contours of the tile.
TEST(Input, MergedPartsEqualTheWholeTile) {
  TempDir dir("in_merged");
  make_tile(dir, "whole.las");
  make_tile(dir, "p0.las", {"--part", "0/2"});
  make_tile(dir, "p1.las", {"--part", "1/2"});
  const ToolRun whole = contours_to_stdout(dir, {"-i", "whole.las"});
  const ToolRun merged = contours_to_stdout(dir, {"-i", "p0.las", "p1.las", "-merged"});
  ASSERT_EQ(whole.exit_code, 0) << whole.err;
  ASSERT_EQ(merged.exit_code, 0) << merged.err;
  expect_same_contours(whole.out, merged.out, 1e-9);
  // Without -merged each part is a tile of its own, with its own contours.
  const ToolRun separate = contours_to_stdout(dir, {"-i", "p0.las", "p1.las"});
  ASSERT_EQ(separate.exit_code, 0) << separate.err;
  EXPECT_NE(sorted_lengths(separate.out).size(), sorted_lengths(whole.out).size());
}

TEST(Input, LasOnStandardInputGivesTheContoursOfTheFile) {
  TempDir dir("in_stdin");
  make_tile(dir, "t.las");
  const ToolRun file = contours_to_stdout(dir, {"-i", "t.las"});
  const ToolRun piped = contours_to_stdout(dir, {"-stdin", "-extra_pass", "-v"}, (dir / "t.las").string());
  ASSERT_EQ(file.exit_code, 0) << file.err;
  ASSERT_EQ(piped.exit_code, 0) << piped.err;
  EXPECT_EQ(file.out, piped.out);
  EXPECT_NE(piped.err.find("WARNING: disabling -extra_pass because input is piped"), std::string::npos);
}

// A pipe cannot prove its header's point count: a header that claims a billion points must not
// make contourmill claim gigabytes for the ten thousand that arrive.
TEST(Input, PipedHeaderCannotClaimMemoryForPointsThatNeverCome) {
  TempDir dir("in_stdin_lie");
  make_tile(dir, "t.las");
  std::string bytes = read_file(dir / "t.las");
  const uint32_t claimed = 1000000000;
  std::memcpy(&bytes[107], &claimed, sizeof claimed);  // number_of_point_records
  std::ofstream(dir / "lie.las", std::ios::binary) << bytes;
  const ToolRun honest = contours_to_stdout(dir, {"-stdin"}, (dir / "t.las").string());
  const ToolRun lying = contours_to_stdout(dir, {"-stdin"}, (dir / "lie.las").string());
  ASSERT_EQ(honest.exit_code, 0) << honest.err;
  EXPECT_EQ(lying.exit_code, 1);
  EXPECT_EQ(lying.err.find("cannot alloc"), std::string::npos) << lying.err;
  EXPECT_NE(lying.err.find("after 10000 of 1000000000 points"), std::string::npos) << lying.err;
  EXPECT_EQ(honest.out, lying.out);
}

// An area of interest keeps exactly the points inside it: the same contours as a tile that holds
// only those points (compared loosely, as the area also moves the coordinate origin).
TEST(Input, AreasKeepExactlyThePointsInside) {
  TempDir dir("in_area");
  make_tile(dir, "t.las");
  make_tile(dir, "rect.las", {"--clip", "500010", "4000020", "500070", "4000090"});
  const ToolRun area =
      contours_to_stdout(dir, {"-i", "t.las", "-inside", "500010", "4000020", "500070", "4000090"});
  const ToolRun clipped = contours_to_stdout(dir, {"-i", "rect.las"});
  ASSERT_EQ(area.exit_code, 0) << area.err;
  ASSERT_EQ(clipped.exit_code, 0) << clipped.err;
  expect_same_contours(area.out, clipped.out, 1e-6);
  std::vector<WktLine> lines;
  ASSERT_TRUE(parse_wkt_lines(area.out, lines));
  for (const auto& l : lines) {
    for (size_t i = 0; i < l.x.size(); i++) {
      EXPECT_GE(l.x[i], 500010.0);
      EXPECT_LT(l.x[i], 500070.0);
      EXPECT_GE(l.y[i], 4000020.0);
      EXPECT_LT(l.y[i], 4000090.0);
    }
  }
  const ToolRun bad =
      run_tool(CM_CONTOURMILL_BIN, {"-i", "t.las", "-inside", "10", "0", "5", "20"}, dir.path());
  EXPECT_EQ(bad.exit_code, 1);
  EXPECT_NE(bad.err.find("are not a valid min_x / max_x pair."), std::string::npos) << bad.err;
}

// The extra pass counts the kept points first and sizes the buffer from them.
TEST(Input, ExtraPassSizesTheBufferFromTheKeptPoints) {
  TempDir dir("in_extra");
  make_tile(dir, "t.las");
  const std::vector<std::string> circle = {"-i", "t.las", "-inside_circle", "500050", "4000050", "20"};
  auto with_extra = circle;
  with_extra.insert(with_extra.end(), {"-extra_pass", "-v"});
  const ToolRun plain = contours_to_stdout(dir, circle);
  const ToolRun extra = contours_to_stdout(dir, with_extra);
  ASSERT_EQ(plain.exit_code, 0) << plain.err;
  ASSERT_EQ(extra.exit_code, 0) << extra.err;
  EXPECT_EQ(plain.out, extra.out);
  unsigned announced = 0, kept = 0;
  const auto at = extra.err.find("extra pass reading ");
  ASSERT_NE(at, std::string::npos) << extra.err;
  ASSERT_EQ(std::sscanf(extra.err.c_str() + at, "extra pass reading %u points", &announced), 1);
  const auto took = extra.err.find("keeping ");
  ASSERT_NE(took, std::string::npos);
  ASSERT_EQ(std::sscanf(extra.err.c_str() + took, "keeping %u points", &kept), 1);
  EXPECT_EQ(announced, 10000u);
  // pi * 20^2 m^2 at one point per m^2
  EXPECT_NEAR(kept, 1257.0, 80.0);
  EXPECT_NE(extra.err.find("triangulating " + std::to_string(kept) + " points"), std::string::npos)
      << extra.err;
}

// A header whose bounding box does not hold its points (some writers store it unscaled) must not
// collapse the points onto a far-away single-precision origin or put every contour off the terrain.
TEST(Input, HeaderBoundsThatMissThePointsAreNotTrusted) {
  TempDir dir("in_badbox");
  make_tile(dir, "t.las");
  std::string bytes = read_file(dir / "t.las");
  const double unscaled[6] = {50010000.0, 50000000.0, 400010000.0, 400000000.0, 10000.0, 5000.0};
  std::memcpy(&bytes[179], unscaled, sizeof unscaled);  // max_x, min_x, max_y, min_y, max_z, min_z
  std::ofstream(dir / "box.las", std::ios::binary) << bytes;
  const ToolRun good = contours_to_stdout(dir, {"-i", "t.las"});
  const ToolRun bad = contours_to_stdout(dir, {"-i", "box.las"});
  ASSERT_EQ(good.exit_code, 0) << good.err;
  ASSERT_EQ(bad.exit_code, 0) << bad.err;
  EXPECT_NE(bad.err.find("lie outside its header's bounding box"), std::string::npos) << bad.err;
  EXPECT_NE(bad.err.find("leave its header's range"), std::string::npos) << bad.err;
  expect_same_contours(good.out, bad.out, 1e-6);
}

TEST(Input, UnwritableOutputIsAnError) {
  TempDir dir("in_unwritable");
  make_tile(dir, "t.las");
  const ToolRun missing_dir =
      run_tool(CM_CONTOURMILL_BIN, {"-i", "t.las", "-odir", "no/such/dir"}, dir.path());
  EXPECT_EQ(missing_dir.exit_code, 1);
  EXPECT_NE(missing_dir.err.find("ERROR: 'no/such/dir' is not a valid directory"), std::string::npos);
  // /proc exists but takes no new files, not even from root.
  for (const char* format : {"-owkt", "-oshp", "-otxt"}) {
    const ToolRun run = run_tool(CM_CONTOURMILL_BIN, {"-i", "t.las", "-odir", "/proc", format}, dir.path());
    EXPECT_EQ(run.exit_code, 1) << format;
    // One line names the file that could not be created.
    EXPECT_EQ(run.err.find("ERROR: cannot open"), 0u) << run.err;
    EXPECT_NE(run.err.find("'/proc/t."), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("ERROR", 1), std::string::npos) << run.err;
  }
}

}  // namespace
