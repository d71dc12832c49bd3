// contourmill on the real public point files beside the repository, and on the broken ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "run_tool.h"
#include "wkt_reader.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> files_with_extension(const fs::path& dir, const std::string& ext) {
  std::vector<fs::path> files;
  if (!fs::is_directory(dir)) return files;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().extension() == ext) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Every LAS file traces without error, and every contour vertex lies inside the header's bounds.
TEST(RealFiles, EveryLasFileGivesContoursInsideItsBounds) {
  const fs::path data = CM_SHARED_DATA_DIR;
  auto files = files_with_extension(data, ".las");
  const auto versions = files_with_extension(data / "versions", ".las");
  files.insert(files.end(), versions.begin(), versions.end());
  if (files.empty()) GTEST_SKIP() << "no real point files at " << data;
  TempDir dir("real_las");
  int with_contours = 0;
  for (const auto& file : files) {
    SCOPED_TRACE(file.string());
    const ToolRun run = run_tool(CM_CONTOURMILL_BIN,
                                 {"-i", file.string(), "-owkt", "-stdout", "-iso_number", "10"}, dir.path());
    ASSERT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(run.err.find("ERROR"), std::string::npos) << run.err;
    std::vector<WktLine> lines;
    ASSERT_TRUE(parse_wkt_lines(run.out, lines));
    with_contours += !lines.empty();
  }
  // All but the one-point files of versions/ hold terrain.
  EXPECT_GE(with_contours, static_cast<int>(files.size() - versions.size()));
}

TEST(RealFiles, TerrainContoursStayInsideTheTile) {
  const fs::path file = fs::path(CM_SHARED_DATA_DIR) / "hexbin-crop.las";
  if (!fs::exists(file)) GTEST_SKIP() << "missing " << file;
  TempDir dir("real_hexbin");
  const ToolRun run =
      run_tool(CM_CONTOURMILL_BIN, {"-i", file.string(), "-owkt", "-stdout", "-iso_every", "10"}, dir.path());
  ASSERT_EQ(run.exit_code, 0) << run.err;
  std::vector<WktLine> lines;
  ASSERT_TRUE(parse_wkt_lines(run.out, lines));
  ASSERT_FALSE(lines.empty());
  // Header bounds of hexbin-crop.las, to three decimals.
  for (const auto& l : lines) {
    for (size_t i = 0; i < l.x.size(); i++) {
      EXPECT_GE(l.x[i], 393775.823 - 1e-3);
      EXPECT_LE(l.x[i], 394069.238 + 1e-3);
      EXPECT_GE(l.y[i], 3689071.943 - 1e-3);
      EXPECT_LE(l.y[i], 3689273.095 + 1e-3);
    }
  }
}

// A compressed file gives the very contours of its uncompressed twin.
TEST(RealFiles, CompressedTwinsGiveByteIdenticalContours) {
  const fs::path data = CM_SHARED_DATA_DIR;
  if (!fs::exists(data / "simple.las")) GTEST_SKIP() << "no real point files at " << data;
  const std::pair<const char*, const char*> twins[] = {
      {"simple-pointwise-v1.rkp", "simple.las"},      {"simple-pointwise-v1-old.rkp", "simple.las"},
      {"simple-chunked-v2.rkp", "simple.las"},        {"simple-fmt0-chunked-v2.rkp", "simple.las"},
      {"simple-layered-varchunks.rkp", "simple.las"}, {"extrabytes-a.rkp", "extrabytes.las"},
      {"extrabytes-b.rkp", "extrabytes.las"},         {"evlr-1.4-fmt6.rkp", "evlr-1.4-fmt6.las"},
      {"autzen-trim.rkp", "autzen-trim.las"},         {"autzen-core-layered.rkp", "autzen-core.las"}};
  TempDir dir("real_rkp");
  for (const auto& [compressed, plain] : twins) {
    SCOPED_TRACE(compressed);
    const ToolRun rkp =
        run_tool(CM_CONTOURMILL_BIN,
                 {"-i", (data / compressed).string(), "-owkt", "-stdout", "-iso_every", "1"}, dir.path());
    const ToolRun las =
        run_tool(CM_CONTOURMILL_BIN, {"-i", (data / plain).string(), "-owkt", "-stdout", "-iso_every", "1"},
                 dir.path());
    EXPECT_EQ(rkp.exit_code, 0) << rkp.err;
    EXPECT_EQ(las.exit_code, 0) << las.err;
    EXPECT_FALSE(rkp.out.empty());
    EXPECT_TRUE(rkp.out == las.out);
  }
}

// A compressed file cut anywhere never crashes and never passes for complete: either the run
// fails, or everything it needed was there and the contours are those of the whole file.
TEST(RealFiles, CompressedFilesCutShortNeverPassForComplete) {
  const fs::path data = CM_SHARED_DATA_DIR;
  if (!fs::exists(data / "simple.las")) GTEST_SKIP() << "no real point files at " << data;
  TempDir dir("real_rkp_cut");
  for (const char* name : {"simple-pointwise-v1.rkp", "simple-chunked-v2.rkp", "simple-layered-varchunks.rkp",
                           "extrabytes-a.rkp", "evlr-1.4-fmt6.rkp", "las11-fmt1.rkp", "fmt8-small.rkp"}) {
    SCOPED_TRACE(name);
    const std::string bytes = read_file(data / name);
    const ToolRun whole =
        run_tool(CM_CONTOURMILL_BIN, {"-i", (data / name).string(), "-owkt", "-stdout", "-iso_every", "5"},
                 dir.path());
    ASSERT_EQ(whole.exit_code, 0) << whole.err;
    std::mt19937 rng(static_cast<unsigned>(bytes.size()));
    for (int k = 0; k < 20; k++) {
      const size_t cut = 400 + rng() % (bytes.size() - 400);
      {
        std::ofstream out(dir / "cut.rkp", std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(cut));
      }
      const ToolRun run =
          run_tool(CM_CONTOURMILL_BIN, {"-i", "cut.rkp", "-owkt", "-stdout", "-iso_every", "5"}, dir.path());
      ASSERT_TRUE(run.exit_code == 0 || run.exit_code == 1) << "cut at " << cut << ": " << run.err;
      if (run.exit_code == 0) {
        EXPECT_TRUE(run.out == whole.out) << "cut at " << cut << ": " << run.err;
      } else {
        EXPECT_NE(run.err.find("ERROR"), std::string::npos) << "cut at " << cut;
      }
    }
  }
}

// A damaged chunk is found before any of its points reaches the triangulation: the points of the
// chunks before it are contoured, the run fails and says where.
TEST(RealFiles, ACorruptChunkStopsTheRunBeforeItsPoints) {
  const fs::path data = CM_SHARED_DATA_DIR;
  if (!fs::exists(data / "autzen-trim.rkp")) GTEST_SKIP() << "no real point files at " << data;
  TempDir dir("real_rkp_corrupt");
  std::string bytes = read_file(data / "autzen-trim.rkp");
  // The second of the three chunks holds the middle of the file's coded points.
  bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x5A);
  {
    std::ofstream out(dir / "damaged.rkp", std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  const ToolRun run =
      run_tool(CM_CONTOURMILL_BIN, {"-i", "damaged.rkp", "-owkt", "-stdout", "-iso_every", "5"}, dir.path());
  EXPECT_EQ(run.exit_code, 1);
  // The chunk is named in a warning; the run's one error reports the incomplete input.
  EXPECT_NE(run.err.find("WARNING: 'chunk with index 1 of 3 is corrupt' after 50000 of 110000 points"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("ERROR: 1 input(s) ended before all their points were read"), std::string::npos);
  std::vector<WktLine> lines;
  ASSERT_TRUE(parse_wkt_lines(run.out, lines));
  EXPECT_FALSE(lines.empty());
}

struct BadFile {
  const char* name;
  int exit_code;
  const char* message;  // expected on standard error
};

// Damaged files give their message; where points could be read their contours are still
// written, but a file that ended early fails the run.
const BadFile kBadFiles[] = {
    {"bad-vlr-count.las", 0, "WARNING: only 0 bytes until point block after reading 2 of 3 vlrs"},
    {"garbage-vlr-count.las", 1, "WARNING: 'end-of-file' after 718 of 719 points"},
    {"count-without-points.las", 1, "WARNING: 'end-of-file' after 0 of 1065 points"},
    {"truncated-points.las", 1, "WARNING: 'end-of-file' after 1064 of 1065 points"},
    {"no-points.las", 0, "form degenerate TIN"},
    {"long-header.las", 0, "form degenerate TIN"},
    {"bad-chunk-table.rkp", 0, "WARNING: 'corrupt chunk table'"},
    {"zero-bounds-pointwise.rkp", 0, "lie outside its header's bounding box"},
};

TEST(RealFiles, BrokenFilesGiveTheirMessage) {
  const fs::path bad = fs::path(CM_SHARED_DATA_DIR) / "bad";
  if (!fs::is_directory(bad)) GTEST_SKIP() << "no broken sample files";
  TempDir dir("real_bad");
  for (const auto& c : kBadFiles) {
    SCOPED_TRACE(c.name);
    const ToolRun run =
        run_tool(CM_CONTOURMILL_BIN, {"-i", (bad / c.name).string(), "-owkt", "-o", "out.wkt"}, dir.path());
    EXPECT_EQ(run.exit_code, c.exit_code) << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    if (c.exit_code == 1 && c.name[std::strlen(c.name) - 1] == 's') {
      EXPECT_NE(run.err.find("ERROR: 1 input(s) ended before all their points were read"), std::string::npos);
    }
  }
  // The truncated tile's contours are written all the same.
  const ToolRun run = run_tool(
      CM_CONTOURMILL_BIN, {"-i", (bad / "truncated-points.las").string(), "-owkt", "-stdout"}, dir.path());
  std::vector<WktLine> lines;
  ASSERT_TRUE(parse_wkt_lines(run.out, lines));
  EXPECT_FALSE(lines.empty());
}

}  // namespace
