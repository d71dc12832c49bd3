// contourmill with the filter and transform options: ground-only contours, transforms of some
// points only, the refusal of coordinates that no longer fit, and the messages of bad options.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "run_tool.h"
#include "wkt_reader.h"

namespace {

namespace fs = std::filesystem;

const fs::path kAutzen = fs::path(CM_SHARED_DATA_DIR) / "autzen-trim.las";

uint32_t u32_at(const std::string& b, size_t at) {
  uint32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}
uint16_t u16_at(const std::string& b, size_t at) {
  uint16_t v;
  std::memcpy(&v, b.data() + at, 2);
  return v;
}

// A copy of a LAS 1.2 file (point format 3) with its header and VLRs as they are, whose records
// are those `keep` accepts, each possibly changed by `change`. The point counts are rewritten, the
// bounds are left as they were, so a run reads the same header as on the original.
template <class Keep, class Change>
void write_selection(const fs::path& from, const fs::path& to, Keep keep, Change change) {
  const std::string bytes = read_file(from);
  const uint32_t offset = u32_at(bytes, 96);
  const uint16_t length = u16_at(bytes, 105);
  const uint32_t count = u32_at(bytes, 107);
  std::string out = bytes.substr(0, offset);
  uint32_t kept = 0, by_return[5] = {0, 0, 0, 0, 0};
  for (uint32_t i = 0; i < count; i++) {
    std::string record = bytes.substr(offset + size_t{i} * length, length);
    if (!keep(record)) continue;
    change(record);
    out += record;
    kept++;
    const int r = record[14] & 7;
    if (r >= 1 && r <= 5) by_return[r - 1]++;
  }
  std::memcpy(out.data() + 107, &kept, 4);
  std::memcpy(out.data() + 111, by_return, sizeof by_return);
  std::ofstream(to, std::ios::binary) << out;
}

int class_of(const std::string& record) {
  return record[15] & 31;
}

TEST(FilterE2E, GroundOnlyContoursEqualThoseOfAFileOfGroundPoints) {
  if (!fs::exists(kAutzen)) GTEST_SKIP() << "missing " << kAutzen << " (the shared data folder)";
  TempDir dir("filter_ground");
  write_selection(
      kAutzen, dir / "ground.las", [](const std::string& r) { return class_of(r) == 2; },
      [](std::string&) {});
  const std::vector<std::string> common = {"-owkt", "-iso_every", "2", "-v"};
  std::vector<std::string> filtered = {"-i", kAutzen.string(), "-keep_class", "2", "-o", "filtered.wkt"};
  std::vector<std::string> plain = {"-i", (dir / "ground.las").string(), "-o", "plain.wkt"};
  filtered.insert(filtered.end(), common.begin(), common.end());
  plain.insert(plain.end(), common.begin(), common.end());
  const ToolRun a = run_tool(CM_CONTOURMILL_BIN, filtered, dir.path());
  const ToolRun b = run_tool(CM_CONTOURMILL_BIN, plain, dir.path());
  ASSERT_EQ(a.exit_code, 0) << a.err;
  ASSERT_EQ(b.exit_code, 0) << b.err;
  EXPECT_NE(a.err.find("triangulating 26107 points"), std::string::npos) << a.err;
  const std::string contours = read_file(dir / "filtered.wkt");
  std::vector<WktLine> lines;
  ASSERT_TRUE(parse_wkt_lines(contours, lines));
  EXPECT_GT(lines.size(), 10u);
  EXPECT_EQ(contours, read_file(dir / "plain.wkt"));
}

TEST(FilterE2E, FilteredTransformRaisesOnlyTheKeptPointsAndDropsNone) {
  if (!fs::exists(kAutzen)) GTEST_SKIP() << "missing " << kAutzen << " (the shared data folder)";
  TempDir dir("filter_transform");
  // The same change made to the file's records: Z of class 2 up by 10 m (1000 integer steps).
  write_selection(
      kAutzen, dir / "raised.las", [](const std::string&) { return true; },
      [](std::string& r) {
        if (class_of(r) != 2) return;
        int32_t z;
        std::memcpy(&z, r.data() + 8, 4);
        z += 1000;
        std::memcpy(r.data() + 8, &z, 4);
      });
  const ToolRun a =
      run_tool(CM_CONTOURMILL_BIN,
               {"-i", kAutzen.string(), "-keep_class", "2", "-filtered_transform", "-translate_z", "10",
                "-owkt", "-o", "transformed.wkt", "-iso_every", "20", "-v"},
               dir.path());
  const ToolRun b = run_tool(
      CM_CONTOURMILL_BIN,
      {"-i", (dir / "raised.las").string(), "-owkt", "-o", "raised.wkt", "-iso_every", "20"}, dir.path());
  ASSERT_EQ(a.exit_code, 0) << a.err;
  ASSERT_EQ(b.exit_code, 0) << b.err;
  EXPECT_NE(a.err.find("triangulating 110000 points"), std::string::npos) << a.err;
  EXPECT_EQ(read_file(dir / "transformed.wkt"), read_file(dir / "raised.wkt"));
}

TEST(FilterE2E, CoordinatesPastTheIntegersRefuseTheRunBeforeAnyContour) {
  if (!fs::exists(kAutzen)) GTEST_SKIP() << "missing " << kAutzen << " (the shared data folder)";
  TempDir dir("filter_overflow");
  // Raised by 21474362 m, only points above 474.47 m leave the 32-bit integers of a 0.01 scale.
  const ToolRun run =
      run_tool(CM_CONTOURMILL_BIN, {"-i", kAutzen.string(), "-translate_z", "21474362", "-owkt", "-stdout"},
               dir.path());
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.out.find("LINESTRING"), std::string::npos);
  const size_t at = run.err.find("ERROR: total of ");
  ASSERT_NE(at, std::string::npos) << run.err;
  EXPECT_NE(
      run.err.find(" overflows caused by '-translate_z 21474362.000000': the new coordinates do not fit "
                   "32-bit integers with the file's scale and offset\n"),
      std::string::npos)
      << run.err;
  // The count is that of the points above that height (records of 34 bytes).
  const std::string bytes = read_file(kAutzen);
  const uint32_t offset = u32_at(bytes, 96), count = u32_at(bytes, 107);
  long above = 0;
  for (uint32_t i = 0; i < count; i++) {
    int32_t z;
    std::memcpy(&z, bytes.data() + offset + size_t{i} * 34 + 8, 4);
    above += int64_t{z} + 2147436200 > INT32_MAX;
  }
  EXPECT_GT(above, 0);
  EXPECT_EQ(run.err.substr(at, 16 + std::to_string(above).size()),
            "ERROR: total of " + std::to_string(above));
}

TEST(FilterE2E, BadOptionsGiveTheirMessageAndExitOne) {
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"-keep_class", "40"},
       "ERROR: '-keep_class' needs arguments between 0 and 31 but '40' is out of range\n"},
      {{"-drop_class"}, "ERROR: '-drop_class' needs at least 1 argument: classification\n"},
      {{"-keep_xy", "1", "2", "3"}, "ERROR: '-keep_xy' needs 4 arguments: min_x min_y max_x max_y\n"},
      {{"-thin_with_grid", "0"},
       "ERROR: '-thin_with_grid' needs 1 argument: grid spacing but '0' is no valid value\n"},
      {{"-set_classification", "300"},
       "ERROR: cannot set classification because classification of 300 is larger than 255\n"},
      {{"-translate_z", "up"},
       "ERROR: '-translate_z' needs 1 argument: offset but 'up' is no valid offset\n"},
      {{"-map_intensity", "no_such_map.txt"},
       "ERROR: '-map_intensity' needs text file with map but 'no_such_map.txt' cannot be opened\n"},
      {{"-keep_class", "2", "-filter_or"},
       "ERROR: '-filter_or' needs to be preceeded by at least two filters\n"},
      {{"-ignore_class", "7"}, "ERROR: this tool does not process '-ignore_xxxx' options\n"},
  };
  TempDir dir("filter_bad");
  // Any readable tile serves: each option is refused before a point is read.
  const fs::path input = dir / "t.las";
  const ToolRun gen = run_tool(
      CM_LASGEN_BIN, {"--surface", "plane", "--points", "100", "--size", "10", "--out", input.string()},
      dir.path());
  ASSERT_EQ(gen.exit_code, 0) << gen.err;
  for (const auto& c : cases) {
    std::vector<std::string> args = {"-i", input.string(), "-owkt", "-stdout"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(c.args.front());
    const ToolRun run = run_tool(CM_CONTOURMILL_BIN, args, dir.path());
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.err, c.message);
    EXPECT_EQ(run.out, "");
  }
  // A word of the families that no option has is nobody's, as any unknown word.
  const ToolRun run = run_tool(CM_CONTOURMILL_BIN, {"-i", input.string(), "-keep_ground"}, dir.path());
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.err.rfind("ERROR: cannot understand argument '-keep_ground'\nusage:", 0), 0u) << run.err;
}

}  // namespace
