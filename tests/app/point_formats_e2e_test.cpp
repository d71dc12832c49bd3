// The same points given in every format a user may have: LAS, text (plain, gzip, zip, 7z, on
// standard input), PLY (ascii and both binary orders), terrasolid BIN and point Shapefiles give
// byte-identical contours when the same scale and offset are requested. Compressed input that
// is damaged stops the run with an error, never with the contours of a short input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "run_tool.h"
#include "tests/pointio/point_file_writers.h"

namespace {

namespace pf = point_files;

// -rescale and -reoffset every run asks for, so that every format quantizes alike.
const std::vector<std::string> kQuantization = {"-rescale",  "0.01",   "0.01",    "0.01",
                                                "-reoffset", "500000", "4000000", "0"};

// A generated tile as LAS and as "x,y,z" text with a header line.
struct Tile {
  explicit Tile(const TempDir& dir, const std::string& points = "12000") {
    const ToolRun gen = run_tool(CM_LASGEN_BIN,
                                 {"--surface", "sample", "--points", points, "--size", "110", "--out",
                                  "tile.las", "--csv", "tile.csv"},
                                 dir.path());
    EXPECT_EQ(gen.exit_code, 0) << gen.err;
    csv = read_file(dir / "tile.csv");
    std::istringstream in(csv);
    std::string line;
    std::getline(in, line);  // "x,y,z"
    while (std::getline(in, line)) {
      pf::XYZ p;
      EXPECT_EQ(std::sscanf(line.c_str(), "%lf,%lf,%lf", &p.x, &p.y, &p.z), 3) << line;
      xyz.push_back(p);
    }
  }
  std::string csv;
  std::vector<pf::XYZ> xyz;
};

ToolRun contours(const TempDir& dir, std::vector<std::string> args, const std::string& in = "/dev/null") {
  args.insert(args.end(), kQuantization.begin(), kQuantization.end());
  args.insert(args.end(), {"-owkt", "-stdout", "-iso_every", "2"});
  return run_tool(CM_CONTOURMILL_BIN, args, dir.path(), in);
}

TEST(PointFormats, TheSamePointsGiveByteIdenticalContoursInEveryFormat) {
  TempDir dir("formats_same");
  Tile tile(dir);
  ASSERT_GT(tile.xyz.size(), 10000u);
  const std::string text = pf::text_lines(tile.xyz);
  ASSERT_TRUE(pf::write_file((dir / "tile.txt").string(), text));
  ASSERT_TRUE(pf::write_archive((dir / "tile.txt.gz").string(), ARCHIVE_FORMAT_RAW, {{"tile.txt", text}}));
  ASSERT_TRUE(pf::write_archive((dir / "tile.zip").string(), ARCHIVE_FORMAT_ZIP, {{"tile.txt", text}}));
  ASSERT_TRUE(pf::write_archive((dir / "tile.7z").string(), ARCHIVE_FORMAT_7ZIP, {{"tile.txt", text}}));
  ASSERT_TRUE(pf::write_file((dir / "ascii.ply").string(), pf::ply(tile.xyz, "ascii", true)));
  ASSERT_TRUE(pf::write_file((dir / "le.ply").string(), pf::ply(tile.xyz, "binary_little_endian")));
  ASSERT_TRUE(pf::write_file((dir / "be.ply").string(), pf::ply(tile.xyz, "binary_big_endian", true)));
  pf::BinOptions bin;  // integers in centimetres from (0, 0, 0): the requested offset re-expresses them
  ASSERT_TRUE(pf::write_file((dir / "tile.bin").string(), pf::bin(tile.xyz, bin)));
  pf::BinOptions old_bin;
  old_bin.version = 1;
  old_bin.units = 1000;
  old_bin.origin[0] = -500000000.0;  // millimetres from the tile's corner
  old_bin.origin[1] = -4000000000.0;
  old_bin.time = old_bin.color = true;
  ASSERT_TRUE(pf::write_file((dir / "old.bin").string(), pf::bin(tile.xyz, old_bin)));
  ASSERT_TRUE(pf::write_file((dir / "points.shp").string(), pf::shp(11, tile.xyz)));
  ASSERT_TRUE(pf::write_file((dir / "multi.shp").string(), pf::shp(18, tile.xyz, 700)));

  const ToolRun las = contours(dir, {"-i", "tile.las"});
  ASSERT_EQ(las.exit_code, 0) << las.err;
  ASSERT_GT(las.out.size(), 10000u);
  const std::vector<std::vector<std::string>> inputs = {
      {"-i", "tile.csv", "-iparse", "xyz", "-iskip", "1"},
      {"-i", "tile.txt"},
      {"-i", "tile.txt.gz"},
      {"-i", "tile.zip"},
      {"-i", "tile.7z"},
      {"-i", "ascii.ply"},
      {"-i", "le.ply"},
      {"-i", "be.ply"},
      {"-i", "tile.bin"},
      {"-i", "old.bin"},
      {"-i", "points.shp"},
      {"-i", "multi.shp"},
  };
  for (const auto& input : inputs) {
    const ToolRun run = contours(dir, input);
    EXPECT_EQ(run.exit_code, 0) << input[1] << ": " << run.err;
    EXPECT_TRUE(run.out == las.out) << input[1] << " gives other contours than the LAS file";
  }
  // Standard input cannot be read twice: it is read without a counting pass, and says so.
  const ToolRun piped = contours(dir, {"-stdin", "-itxt"}, (dir / "tile.txt").string());
  EXPECT_EQ(piped.exit_code, 0) << piped.err;
  EXPECT_NE(piped.err.find("WARNING: cannot populate the header of text read from stdin"), std::string::npos);
  EXPECT_TRUE(piped.out == las.out) << "text on standard input gives other contours than the LAS file";
  // A PTX header on standard input cannot be checked against its points: one that claims more
  // points than a run can hold neither refuses the input nor sizes its buffer.
  const std::string lying_ptx =
      "2000000000\n2000000000\n0 0 0\n1 0 0\n0 1 0\n0 0 1\n"
      "1 0 0 0\n0 1 0 0\n0 0 1 0\n0 0 0 1\n" +
      text;
  ASSERT_TRUE(pf::write_file((dir / "lying.ptx").string(), lying_ptx));
  const ToolRun ptx = contours(dir, {"-stdin", "-itxt", "-iptx"}, (dir / "lying.ptx").string());
  EXPECT_EQ(ptx.exit_code, 0) << ptx.err;
  EXPECT_NE(ptx.err.find("WARNING: end-of-file after " + std::to_string(tile.xyz.size()) +
                         " of 4000000000000000000 points"),
            std::string::npos)
      << ptx.err;
  EXPECT_TRUE(ptx.out == las.out) << "PTX on standard input gives other contours than the LAS file";
}

TEST(PointFormats, DamagedArchivesStopTheRunWithTheirNameAndStatus) {
  TempDir dir("formats_damaged");
  Tile tile(dir, "3000");
  const std::string text = pf::text_lines(tile.xyz);
  ASSERT_TRUE(pf::write_archive((dir / "t.txt.gz").string(), ARCHIVE_FORMAT_RAW, {{"t.txt", text}}));
  ASSERT_TRUE(pf::write_archive((dir / "t.zip").string(), ARCHIVE_FORMAT_ZIP, {{"t.txt", text}}));
  for (const std::string name : {"t.txt.gz", "t.zip"}) {
    const std::string bytes = read_file(dir / name);
    const std::string cut = "cut_" + name;
    std::ofstream(dir / cut, std::ios::binary) << bytes.substr(0, bytes.size() * 2 / 3);
    const ToolRun run = contours(dir, {"-i", cut});
    EXPECT_EQ(run.exit_code, 1) << cut;
    EXPECT_NE(run.err.find("ERROR: cannot decompress"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("'" + cut + "'"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("(status "), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
  }
  // The endings are case-sensitive: a capitalised one is read as text, in which nothing parses.
  std::ofstream(dir / "T.TXT.GZ", std::ios::binary) << read_file(dir / "t.txt.gz");
  const ToolRun upper = contours(dir, {"-i", "T.TXT.GZ"});
  EXPECT_EQ(upper.exit_code, 1);
  EXPECT_NE(upper.err.find("ERROR: could not parse any lines with 'xyz'"), std::string::npos) << upper.err;
}

TEST(PointFormats, SeveralArchivesInOneRunEachGetTheirOwnStream) {
  TempDir dir("formats_several");
  Tile tile(dir, "3000");
  const std::string text = pf::text_lines(tile.xyz);
  ASSERT_TRUE(pf::write_archive((dir / "a.zip").string(), ARCHIVE_FORMAT_ZIP, {{"a.txt", text}}));
  ASSERT_TRUE(pf::write_archive((dir / "b.7z").string(), ARCHIVE_FORMAT_7ZIP, {{"b.txt", text}}));
  ASSERT_TRUE(pf::write_archive((dir / "c.txt.gz").string(), ARCHIVE_FORMAT_RAW, {{"c.txt", text}}));
  std::vector<std::string> args = {"-i", "a.zip", "b.7z", "c.txt.gz", "-owkt", "-iso_every", "2"};
  const ToolRun run = run_tool(CM_CONTOURMILL_BIN, args, dir.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const std::string a = read_file(dir / "a.wkt");
  EXPECT_GT(a.size(), 1000u);
  EXPECT_EQ(read_file(dir / "b.wkt"), a);
  EXPECT_EQ(read_file(dir / "c.txt.wkt"), a);
}

// Merged text archives are one cloud, each file read through its own stream.
TEST(PointFormats, MergedArchivesGiveTheContoursOfAllTheirPoints) {
  TempDir dir("formats_merged");
  Tile tile(dir, "6000");
  const size_t half = tile.xyz.size() / 2;
  const std::vector<pf::XYZ> first(tile.xyz.begin(), tile.xyz.begin() + static_cast<std::ptrdiff_t>(half));
  const std::vector<pf::XYZ> second(tile.xyz.begin() + static_cast<std::ptrdiff_t>(half), tile.xyz.end());
  ASSERT_TRUE(
      pf::write_archive((dir / "a.zip").string(), ARCHIVE_FORMAT_ZIP, {{"a.txt", pf::text_lines(first)}}));
  ASSERT_TRUE(pf::write_archive((dir / "b.txt.gz").string(), ARCHIVE_FORMAT_RAW,
                                {{"b.txt", pf::text_lines(second)}}));
  const ToolRun las = contours(dir, {"-i", "tile.las"});
  ASSERT_EQ(las.exit_code, 0) << las.err;
  const ToolRun merged = contours(dir, {"-i", "a.zip", "b.txt.gz", "-merged"});
  ASSERT_EQ(merged.exit_code, 0) << merged.err;
  EXPECT_TRUE(merged.out == las.out) << "merged archives give other contours than the whole tile";
  // A file of the list in which nothing parses stops the run, with the cause and the file's name.
  std::ofstream(dir / "junk.txt") << "no points here\n";
  const ToolRun junk = contours(dir, {"-i", "a.zip", "junk.txt", "-merged"});
  EXPECT_EQ(junk.exit_code, 1);
  EXPECT_NE(junk.err.find("ERROR: could not parse any lines with 'xyz'\n       in file 'junk.txt'"),
            std::string::npos)
      << junk.err;
  EXPECT_EQ(junk.out, "");
}

}  // namespace

namespace {

// The tile split at its middle column into a west and an east half.
struct Halves {
  explicit Halves(const std::vector<pf::XYZ>& all) {
    double low = all.front().x, high = low;
    for (const auto& p : all) low = std::min(low, p.x), high = std::max(high, p.x);
    split = (low + high) / 2;
    for (const auto& p : all) (p.x < split ? west : east).push_back(p);
  }
  double split = 0;
  std::vector<pf::XYZ> west, east;
};

// A bash command line that pipes contourmill's standard output through cat, keeping its status.
std::vector<std::string> piped_through_cat(const std::vector<std::string>& args, const std::string& to) {
  std::string line = "set -o pipefail; " + shell_quote(CM_CONTOURMILL_BIN);
  for (const auto& a : args) line += " " + shell_quote(a);
  return {"-c", line + " | cat > " + shell_quote(to)};
}

}  // namespace

// A tile buffered with its neighbour, kept in memory for later passes or passed on as LAS: every
// source kind takes part, the main file and the neighbours alike.
TEST(PointFormats, EveryKindIsBufferedStoredAndPipedOn) {
  TempDir dir("formats_wrapped");
  Tile tile(dir, "6000");
  const Halves halves(tile.xyz);
  ASSERT_FALSE(halves.west.empty() || halves.east.empty());
  ASSERT_TRUE(pf::write_file((dir / "west.txt").string(), pf::text_lines(halves.west)));
  ASSERT_TRUE(pf::write_file((dir / "east.txt").string(), pf::text_lines(halves.east)));
  ASSERT_TRUE(pf::write_file((dir / "east.ply").string(), pf::ply(halves.east, "binary_little_endian")));
  ASSERT_TRUE(pf::write_file((dir / "east.bin").string(), pf::bin(halves.east)));
  ASSERT_TRUE(pf::write_archive((dir / "west.zip").string(), ARCHIVE_FORMAT_ZIP,
                                {{"west.txt", pf::text_lines(halves.west)}}));

  // A buffer wider than the tile takes in the whole neighbour, after the main file's points: the
  // same cloud, in the same order, as the two files merged.
  const ToolRun merged = contours(dir, {"-i", "west.txt", "east.txt", "-merged"});
  ASSERT_EQ(merged.exit_code, 0) << merged.err;
  ASSERT_GT(merged.out.size(), 5000u);
  const std::string everything = "LASreaderBuffered: adding " + std::to_string(halves.east.size());
  for (const auto& [main, neighbour] : std::vector<std::pair<std::string, std::string>>{
           {"west.txt", "east.txt"}, {"west.txt", "east.ply"}, {"west.zip", "east.bin"}}) {
    const ToolRun run = contours(dir, {"-i", main, "-neighbors", neighbour, "-buffered", "500"});
    EXPECT_EQ(run.exit_code, 0) << main << " + " << neighbour << ": " << run.err;
    EXPECT_NE(run.err.find(everything + " buffer points"), std::string::npos) << run.err;
    EXPECT_TRUE(run.out == merged.out) << main << " buffered with " << neighbour;
  }
  // A narrow buffer takes the neighbour's points within it and no others.
  double west_edge = halves.west.front().x;
  for (const auto& p : halves.west) west_edge = std::max(west_edge, p.x);
  size_t within = 0;
  for (const auto& p : halves.east) within += p.x <= west_edge + 5 ? 1 : 0;
  const ToolRun narrow = contours(dir, {"-i", "west.txt", "-neighbors", "east.ply", "-buffered", "5"});
  EXPECT_EQ(narrow.exit_code, 0) << narrow.err;
  EXPECT_NE(narrow.err.find("LASreaderBuffered: adding " + std::to_string(within) + " buffer points"),
            std::string::npos)
      << narrow.err << " expected " << within;

  // Stored: the same contours as the file read directly.
  for (const std::string name : {"west.txt", "west.zip", "east.ply", "east.bin"}) {
    const ToolRun direct = contours(dir, {"-i", name});
    const ToolRun stored = contours(dir, {"-i", name, "-stored"});
    EXPECT_EQ(stored.exit_code, 0) << name << ": " << stored.err;
    EXPECT_TRUE(stored.out == direct.out) << name << " read through -stored";
  }

  // Piped on into a pipe: the run succeeds, and the LAS it passed on holds the same points.
  const ToolRun piped = run_tool(
      "bash",
      piped_through_cat({"-i", "west.zip", "-pipe_on", "-rescale", "0.01", "0.01", "0.01", "-reoffset",
                         "500000", "4000000", "0", "-owkt", "-o", "west.wkt", "-iso_every", "2"},
                        "passed.las"),
      dir.path());
  ASSERT_EQ(piped.exit_code, 0) << piped.err;
  const ToolRun again = contours(dir, {"-i", "passed.las"});
  EXPECT_EQ(again.exit_code, 0) << again.err;
  EXPECT_TRUE(again.out == read_file(dir / "west.wkt")) << "the points passed on give other contours";
  EXPECT_TRUE(again.out == contours(dir, {"-i", "west.txt"}).out);
}

// An area of interest is tested point by point on sources whose bounds are not known in full
// when the area is set: text merged from several files (read without a counting pass) and BIN
// (whose bounds come from a sample of its points).
TEST(PointFormats, AnAreaKeepsThePointsOfSourcesWhoseBoundsAreEstimates) {
  TempDir dir("formats_area");
  Tile tile(dir, "6000");
  const Halves halves(tile.xyz);
  // The files begin with their westernmost points, far from the area on the east side.
  auto west_first = [](std::vector<pf::XYZ> points) {
    std::sort(points.begin(), points.end(), [](const pf::XYZ& a, const pf::XYZ& b) { return a.x < b.x; });
    return points;
  };
  const std::vector<pf::XYZ> sorted = west_first(tile.xyz);
  ASSERT_TRUE(pf::write_file((dir / "all.txt").string(), pf::text_lines(sorted)));
  ASSERT_TRUE(pf::write_file((dir / "a.txt").string(), pf::text_lines(west_first(halves.west))));
  ASSERT_TRUE(pf::write_file((dir / "b.txt").string(), pf::text_lines(west_first(halves.east))));
  // BIN samples every tenth of the file: put the points of the area between the samples.
  std::vector<pf::XYZ> bin_order;
  std::vector<pf::XYZ> inside, outside;
  const double east_edge = sorted.back().x;
  for (const auto& p : sorted) (p.x > east_edge - 10 ? inside : outside).push_back(p);
  ASSERT_GT(inside.size(), 20u);
  ASSERT_GT(outside.size(), 10u);  // the ten sampled points, all from the far west
  const size_t n = sorted.size();
  for (size_t i = 0, in = 0, out = 0; i < n; i++) {
    bool sample = false;
    for (size_t k = 0; k < 10; k++) sample = sample || i == k * n / 10;
    bin_order.push_back(!sample && in < inside.size() ? inside[in++] : outside[out++]);
    if (out == outside.size()) {
      bin_order.insert(bin_order.end(), inside.begin() + static_cast<std::ptrdiff_t>(in), inside.end());
      break;
    }
  }
  ASSERT_EQ(bin_order.size(), sorted.size());
  ASSERT_TRUE(pf::write_file((dir / "all.bin").string(), pf::bin(bin_order)));

  char area[4][32];
  std::snprintf(area[0], sizeof area[0], "%.2f", east_edge - 10);
  std::snprintf(area[1], sizeof area[1], "%.2f", halves.west.front().y - 1000);
  std::snprintf(area[2], sizeof area[2], "%.2f", east_edge + 1);
  std::snprintf(area[3], sizeof area[3], "%.2f", halves.west.front().y + 1000);
  const std::vector<std::string> inside_area = {"-inside", area[0], area[1], area[2], area[3]};
  auto with_area = [&](std::vector<std::string> args) {
    args.insert(args.end(), inside_area.begin(), inside_area.end());
    return contours(dir, args);
  };
  const ToolRun expected = with_area({"-i", "all.txt"});
  ASSERT_EQ(expected.exit_code, 0) << expected.err;
  ASSERT_GT(expected.out.size(), 200u) << expected.err;
  for (const std::vector<std::string>& input :
       std::vector<std::vector<std::string>>{{"-i", "a.txt", "b.txt", "-merged"}, {"-i", "all.bin"}}) {
    const ToolRun run = with_area(input);
    EXPECT_EQ(run.exit_code, 0) << input[1] << ": " << run.err;
    EXPECT_TRUE(run.out == expected.out) << input[1] << " loses points of the area";
  }
}
