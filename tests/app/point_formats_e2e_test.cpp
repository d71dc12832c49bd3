// The same points given in every format a user may have: LAS, text (plain, gzip, zip, 7z, on
// standard input), PLY (ascii and both binary orders), terrasolid BIN and point Shapefiles give
// byte-identical contours when the same scale and offset are requested. Compressed input that
// is damaged stops the run with an error, never with the contours of a short input.
#include <gtest/gtest.h>

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
}

}  // namespace
