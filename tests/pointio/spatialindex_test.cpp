// Spatial index: quadtree numbering and borders, run merging, the LAX layout and its damaged
// forms, and area queries through the index against a brute-force selection on generated and
// real files.
#include "pointio/spatialindex.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "common/messages.h"
#include "pointio/bytestreamin.h"
#include "pointio/bytestreamout.h"
#include "pointio/laskdtreerectangles.h"
#include "pointio/lasreaderlas.h"
#include "temp_dir.h"
#include "tools/las_writer.h"

namespace {

std::vector<uint8_t> index_bytes(const LASspatialIndex& index) {
  ByteStreamOutArray out;
  EXPECT_TRUE(index.write(out));
  return std::vector<uint8_t>(out.get_data(), out.get_data() + out.get_size());
}

std::unique_ptr<LASspatialIndex> index_from(const std::vector<uint8_t>& bytes) {
  ByteStreamInArray in(bytes.data(), int64_t(bytes.size()));
  auto index = std::make_unique<LASspatialIndex>();
  if (!index->read(in)) return nullptr;
  return index;
}

TEST(LASquadtree, NumbersCellsLevelByLevel) {
  const uint32_t expected[] = {0, 1, 5, 21, 85};
  for (uint32_t l = 0; l < 5; l++) EXPECT_EQ(LASquadtree::level_offset(l), expected[l]);
  LASquadtree tree;
  tree.setup(2, 0, 4, 0, 4);
  EXPECT_EQ(tree.level_of(11), 2u);  // level 2, local index 6
  float min_x, max_x, min_y, max_y;
  tree.cell_bounds(11, min_x, max_x, min_y, max_y);  // child 2 of child 1: upper left of lower right
  EXPECT_EQ(min_x, 2.0f);
  EXPECT_EQ(max_x, 3.0f);
  EXPECT_EQ(min_y, 1.0f);
  EXPECT_EQ(max_y, 2.0f);
  // A point exactly on a split belongs to the right and upper child.
  EXPECT_EQ(tree.cell_at(2.0, 0.5), 5u + 4u * 1u + 0u);
  EXPECT_EQ(tree.cell_at(1.0, 2.0), 5u + 4u * 2u + 1u);
}

TEST(LASquadtree, RootBordersFollowTheHalfOpenArea) {
  LASquadtree tree;
  tree.setup(3, 0, 8, 0, 8);
  EXPECT_FALSE(tree.intersect_rectangle(8, 2, 12, 4).empty());  // min_x on the root's right edge
  EXPECT_TRUE(tree.intersect_rectangle(-4, 2, 0, 4).empty());   // max_x on the root's left edge
  // An area ending exactly on a split does not reach into the right half.
  for (uint32_t cell : tree.intersect_rectangle(0, 0, 4, 1)) {
    float min_x, max_x, min_y, max_y;
    tree.cell_bounds(cell, min_x, max_x, min_y, max_y);
    EXPECT_LT(min_x, 4.0f);
  }
  EXPECT_EQ(tree.intersect_tile(0, 0, 8).size(), 64u);
  // A circle does not take the corner cells its bounding square touches.
  const auto& cells = tree.intersect_circle(4, 4, 3.9);
  EXPECT_EQ(std::count(cells.begin(), cells.end(), tree.cell_at(0.5, 0.5)), 0);
  EXPECT_EQ(std::count(cells.begin(), cells.end(), tree.cell_at(3.5, 3.5)), 1);
}

TEST(LASquadtree, AdaptiveQueriesListEveryStoredCellAndNoEmptyDepths) {
  auto sorted = [](std::vector<uint32_t> cells) {
    std::sort(cells.begin(), cells.end());
    return cells;
  };
  // Cell 1 and its child 5 both stored, as a damaged file may have them: both are listed, with the
  // leaves beside them, whichever is marked first.
  const std::vector<uint32_t> expected = {1, 2, 3, 4, 5, 6, 7, 8};
  for (bool ancestor_first : {true, false}) {
    LASquadtree tree;
    tree.setup(15, 0, 100, 0, 100);
    tree.register_cell(ancestor_first ? 1 : 5);
    tree.register_cell(ancestor_first ? 5 : 1);
    EXPECT_EQ(sorted(tree.intersect_rectangle(0, 0, 100, 100)), expected) << ancestor_first;
    EXPECT_EQ(sorted(tree.intersect_tile(0, 0, 100)), expected) << ancestor_first;
    EXPECT_EQ(sorted(tree.intersect_circle(50, 50, 100)), expected) << ancestor_first;
  }
  // Fifteen levels declared, only the root stored: one cell, not 4^15.
  LASquadtree tree;
  tree.setup(15, 0, 100, 0, 100);
  tree.register_cell(0);
  EXPECT_EQ(tree.intersect_rectangle(10, 10, 20, 20), std::vector<uint32_t>{0});
}

TEST(LASinterval, MergesRunsWithinTheThreshold) {
  struct Case {
    LASinterval::Run a, b;
    size_t runs;
  } cases[] = {{{0, 99}, {1050, 1200}, 1}, {{0, 99}, {1200, 1300}, 2}, {{0, 99}, {50, 60}, 1}};
  for (const Case& c : cases) {
    LASinterval interval;
    interval.cells()[1].runs = {c.a};
    interval.cells()[1].full = 100;
    interval.cells()[2].runs = {c.b};
    interval.cells()[2].full = 10;
    ASSERT_TRUE(interval.merge_cells({1, 2, 3}));
    EXPECT_EQ(interval.merged_runs().size(), c.runs);
    EXPECT_EQ(interval.get_full(), 110u);
    EXPECT_EQ(interval.merged_runs().front().start, 0u);
    EXPECT_EQ(interval.merged_runs().back().end, std::max(c.a.end, c.b.end));
  }
  LASinterval empty;
  EXPECT_FALSE(empty.merge_cells({4}));
  // A cell stored without runs is found but holds nothing to read.
  LASinterval runless;
  runless.cells()[4].full = 7;
  ASSERT_TRUE(runless.merge_cells({4}));
  EXPECT_TRUE(runless.merged_runs().empty());
  EXPECT_EQ(runless.get_total(), 0u);
  uint32_t start = 0, end = 0;
  EXPECT_FALSE(runless.next_run(start, end));
}

TEST(LASkdtreeRectangles, FindsExactlyTheOverlappingRectanglesInOrder) {
  LASkdtreeRectangles tree;
  tree.init();
  tree.add(0, 0, 10, 10);
  tree.add(10, 0, 20, 10);
  tree.build();
  ASSERT_TRUE(tree.overlap(0, 0, 10, 10));
  uint32_t i = 99;
  ASSERT_TRUE(tree.get_overlap(i));
  EXPECT_EQ(i, 0u);
  ASSERT_TRUE(tree.get_overlap(i));
  EXPECT_EQ(i, 1u);  // touching counts
  EXPECT_FALSE(tree.get_overlap(i));

  std::mt19937 rng(7);
  std::uniform_real_distribution<double> pos(0, 1000), len(1, 80);
  std::vector<std::array<double, 4>> rects;
  tree.init();
  for (int k = 0; k < 500; k++) {
    const double x = pos(rng), y = pos(rng);
    rects.push_back({x, y, x + len(rng), y + len(rng)});
    tree.add(rects.back()[0], rects.back()[1], rects.back()[2], rects.back()[3]);
  }
  tree.build();
  EXPECT_TRUE(tree.was_built());
  for (int q = 0; q < 100; q++) {
    const double x = pos(rng), y = pos(rng), w = len(rng) * 2;
    std::vector<uint32_t> expected, found;
    for (uint32_t k = 0; k < rects.size(); k++) {
      const auto& r = rects[k];
      if (r[2] >= x && r[3] >= y && x + w >= r[0] && y + w >= r[1]) expected.push_back(k);
    }
    tree.overlap(x, y, x + w, y + w);
    while (tree.get_overlap(i)) found.push_back(i);
    EXPECT_EQ(found, expected);
  }
}

// The LAX layout written by hand: one cell with one run.
std::vector<uint8_t> lax_image(bool with_signature, uint32_t levels, int32_t cell, uint32_t runs,
                               uint32_t start, uint32_t end) {
  std::vector<uint8_t> b;
  auto text = [&](const char* s) {
    for (int k = 0; k < 4; k++) b.push_back(uint8_t(s[k]));
  };
  auto u32 = [&](uint32_t v) { las_test::append(b, v); };
  text("LASX");
  u32(0);
  text("LASS");
  u32(0);
  if (with_signature) {
    text("LASQ");
    u32(0);
  }
  u32(levels);
  u32(0);
  u32(0);
  for (float f : {0.0f, 100.0f, 0.0f, 100.0f}) las_test::append(b, f);
  text("LASV");
  u32(0);
  u32(1);
  las_test::append(b, cell);
  u32(runs);
  u32(end - start + 1);
  for (uint32_t r = 0; r < runs && r < 4; r++) {
    u32(start);
    u32(end);
  }
  return b;
}

TEST(LASspatialIndexFile, ReadsBothLayouts) {
  for (bool with_signature : {true, false}) {
    auto index = index_from(lax_image(with_signature, 2, 5, 1, 10, 20));
    ASSERT_TRUE(index) << with_signature;
    EXPECT_EQ(index->get_quadtree().levels, 2u);
    ASSERT_TRUE(index->intersect_rectangle(1, 1, 2, 2));
    EXPECT_EQ(index->get_total(), 11u);
    EXPECT_FALSE(index->intersect_rectangle(60, 60, 70, 70));  // no stored cell there
  }
}

TEST(LASspatialIndexFile, DamagedIndicesAreReportedNeverTrusted) {
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    const char* message;
  } cases[] = {
      {"cell beyond the levels", lax_image(true, 2, 21, 1, 0, 5), "is not a cell"},
      {"negative cell", lax_image(true, 2, -3, 1, 0, 5), "is not a cell"},
      {"top cell of a deep tree", lax_image(true, 15, int32_t(LASquadtree::level_offset(16)), 1, 0, 5),
       "is not a cell"},
      {"too many levels", lax_image(true, 16, 0, 1, 0, 5), "levels are more than"},
      {"run ends before it starts", lax_image(true, 2, 5, 1, 9, 3), "before its start"},
      {"more runs than bytes", lax_image(true, 2, 5, 0x7FFFFFFF, 0, 5), "do not fit"},
  };
  for (auto& c : cases) {
    MessageCollector messages;
    EXPECT_FALSE(index_from(c.bytes)) << c.what;
    EXPECT_NE(messages.text().find(c.message), std::string::npos) << c.what << ": " << messages.text();
  }
  // A count of cells no file can hold, and every cut of a valid index.
  auto bytes = lax_image(true, 2, 5, 1, 0, 5);
  auto huge = bytes;
  std::memcpy(huge.data() + 60, "\xff\xff\xff\x7f", 4);  // number of cells
  MessageCollector messages;
  EXPECT_FALSE(index_from(huge));
  EXPECT_NE(messages.text().find("cells do not fit"), std::string::npos) << messages.text();
  for (size_t cut = 0; cut < bytes.size(); cut++) {
    EXPECT_FALSE(index_from(std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(cut)))) << cut;
  }
}

TEST(LASspatialIndexBuild, NoStoredCellLiesAboveAnotherStoredCell) {
  // Four dense clusters fill every quarter of the lower left quadrant down to the deepest level;
  // a few points spread over the other three quadrants are joined upwards. The root must not take
  // them over the clusters' cells.
  std::vector<std::array<double, 2>> points;
  for (const double cx : {60.0, 310.0}) {
    for (const double cy : {60.0, 310.0}) {
      for (int i = 0; i < 8000; i++) points.push_back({cx + (i % 100) * 0.5, cy + (i / 100) * 0.3});
    }
  }
  for (int i = 0; i < 300; i++) points.push_back({500.0 + (i % 20) * 24.0, (i / 20) * 66.0});
  LASspatialIndex index;
  index.prepare(0, 0, 1000, 1000, points.size());
  ASSERT_EQ(index.get_quadtree().levels, 3u);
  for (uint32_t i = 0; i < points.size(); i++) index.add(points[i][0], points[i][1], i);
  index.complete();
  const LASquadtree& tree = index.get_quadtree();
  const auto& cells = index.get_interval().cells();
  uint64_t full = 0;
  for (const auto& [cell, data] : cells) {
    full += data.full;
    uint32_t level = tree.level_of(cell), local = cell - LASquadtree::level_offset(level);
    while (level > 0) {
      level--, local >>= 2;
      EXPECT_EQ(cells.count(LASquadtree::level_offset(level) + local), 0u) << "above " << cell;
    }
  }
  EXPECT_EQ(full, points.size());
}

TEST(LASspatialIndexFile, AnIndexWithoutCellsFindsNothingQuickly) {
  auto bytes = lax_image(true, 15, 0, 1, 0, 5);
  bytes.resize(64);
  std::memset(bytes.data() + 60, 0, 4);  // number of cells
  auto index = index_from(bytes);
  ASSERT_TRUE(index);
  EXPECT_FALSE(index->intersect_rectangle(0, 0, 100, 100));
  EXPECT_FALSE(index->intersect_circle(50, 50, 10));
}

// Points in scan lines over a square, like an airborne strip; x, y, z as quantized integers.
std::vector<las_test::Point> scan_points(size_t n, double size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> jitter(-0.3, 0.3);
  const size_t per_line = size_t(std::sqrt(double(n)));
  std::vector<las_test::Point> points(n);
  for (size_t i = 0; i < n; i++) {
    const size_t line = i / per_line, k = i % per_line;
    const double step = size / double(per_line);
    points[i].x =
        1000 + std::clamp((double(line % 2 ? per_line - 1 - k : k) + 0.5) * step + jitter(rng), 0.0, size);
    points[i].y = 2000 + std::clamp((double(line) + 0.5) * step + jitter(rng), 0.0, size);
    points[i].z = double(i % 1000) * 0.01;
  }
  return points;
}

struct Area {
  enum Kind { RECTANGLE, TILE, CIRCLE } kind;
  double a = 0, b = 0, c = 0, d = 0;
};

// The indices of the points read through `reader` (which must have its area set).
std::vector<int64_t> read_indices(LASreader& reader) {
  std::vector<int64_t> found;
  while (reader.read_point()) found.push_back(reader.get_p_count() - 1);
  return found;
}

void set_area(LASreader& reader, const Area& area) {
  switch (area.kind) {
    case Area::RECTANGLE:
      reader.inside_rectangle(area.a, area.b, area.c, area.d);
      break;
    case Area::TILE:
      reader.inside_tile(float(area.a), float(area.b), float(area.c));
      break;
    case Area::CIRCLE:
      reader.inside_circle(area.a, area.b, area.c);
      break;
  }
}

// Brute force on every point's real coordinates, with the borders of the area tests.
bool inside(const Area& area, double x, double y) {
  switch (area.kind) {
    case Area::RECTANGLE:
      return area.a <= x && x < area.c && area.b <= y && y < area.d;
    case Area::TILE: {
      const float ll_x = float(area.a), ll_y = float(area.b), size = float(area.c);
      const float ur_x = ll_x + size, ur_y = ll_y + size;
      return double(ll_x) <= x && x < double(ur_x) && double(ll_y) <= y && y < double(ur_y);
    }
    case Area::CIRCLE:
      return (area.a - x) * (area.a - x) + (area.b - y) * (area.b - y) < area.c * area.c;
  }
  return false;
}

// Builds the index of a file as cm_laxindex does, keeping every point's coordinates.
std::unique_ptr<LASspatialIndex> build_index(const std::string& file,
                                             std::vector<std::array<double, 2>>& xy) {
  LASreaderLAS reader;
  if (!reader.open(file.c_str())) return nullptr;
  auto index = std::make_unique<LASspatialIndex>();
  const LASheader& h = reader.header;
  xy.clear();
  while (reader.read_point()) xy.push_back({reader.point.get_x(), reader.point.get_y()});
  double min_x = h.min_x, min_y = h.min_y, max_x = h.max_x, max_y = h.max_y;
  for (const auto& p : xy) {
    min_x = std::min(min_x, p[0]), max_x = std::max(max_x, p[0]);
    min_y = std::min(min_y, p[1]), max_y = std::max(max_y, p[1]);
  }
  index->prepare(min_x, min_y, max_x, max_y, xy.size());
  for (size_t i = 0; i < xy.size(); i++) index->add(xy[i][0], xy[i][1], uint32_t(i));
  index->complete();
  // Through the file layout and back, as the reader meets it.
  return index_from(index_bytes(*index));
}

// Every area, through the index and without it, gives exactly the brute-force selection. Answers
// the fraction of the file's points the indexed reads touched.
void expect_queries_match(const std::string& file, const std::vector<Area>& areas) {
  std::vector<std::array<double, 2>> xy;
  auto index_bytes_of = build_index(file, xy);
  ASSERT_TRUE(index_bytes_of) << file;
  const std::vector<uint8_t> bytes = index_bytes(*index_bytes_of);
  for (const Area& area : areas) {
    std::vector<int64_t> expected;
    for (size_t i = 0; i < xy.size(); i++) {
      if (inside(area, xy[i][0], xy[i][1])) expected.push_back(int64_t(i));
    }
    LASreaderLAS indexed, plain;
    ASSERT_TRUE(indexed.open(file.c_str()));
    indexed.set_index(index_from(bytes));
    set_area(indexed, area);
    EXPECT_EQ(read_indices(indexed), expected)
        << file << " area " << area.kind << " " << area.a << " " << area.b;
    ASSERT_TRUE(plain.open(file.c_str()));
    set_area(plain, area);
    EXPECT_EQ(read_indices(plain), expected) << file;
  }
}

TEST(LASspatialIndexQueries, GeneratedFourMillionPointsMatchBruteForce) {
  TempDir dir("cm_laxindex_");
  const std::string file = dir.file("scan.las");
  las_test::Options o;
  ASSERT_TRUE(las_test::write_file(file, las_test::build(o, scan_points(4000000, 2000, 3))));
  {
    // A query over 1% of the area reads only a few percent of the points.
    std::vector<std::array<double, 2>> xy;
    auto index = build_index(file, xy);
    ASSERT_TRUE(index);
    ASSERT_TRUE(index->intersect_rectangle(1500, 2500, 1700, 2700));
    EXPECT_LT(index->get_total(), 4000000u / 20);
    EXPECT_GE(index->get_full(), 4000000u / 100);
  }
  expect_queries_match(file, {
                                 {Area::RECTANGLE, 1500, 2500, 1700, 2700},
                                 {Area::RECTANGLE, 1000, 2000, 1001, 3000},    // a strip at the border
                                 {Area::RECTANGLE, 500, 1500, 4000, 5000},     // everything
                                 {Area::RECTANGLE, 2000, 2000, 2000.5, 4000},  // on the root's split
                                 {Area::RECTANGLE, 3000, 2000, 3100, 2100},    // touching the right edge
                                 {Area::TILE, 1250, 2250, 100},
                                 {Area::TILE, 1999.99, 2999.99, 0.5},
                                 {Area::CIRCLE, 2000, 3000, 150},
                                 {Area::CIRCLE, 1000, 2000, 40},
                                 {Area::CIRCLE, 5000, 5000, 10},
                             });
}

TEST(LASspatialIndexQueries, SharedFilesMatchBruteForce) {
  const std::string folder = CM_SHARED_DATA_DIR;
  DIR* dir = opendir(folder.c_str());
  if (!dir) GTEST_SKIP() << "no shared point files in " << folder;
  std::vector<std::string> files;
  while (dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name.size() > 4 && (name.ends_with(".las") || name.ends_with(".rkp")))
      files.push_back(folder + "/" + name);
  }
  closedir(dir);
  ASSERT_FALSE(files.empty());
  for (const std::string& file : files) {
    LASreaderLAS reader;
    MessageCollector quiet;
    if (!reader.open(file.c_str())) continue;
    const LASheader& h = reader.header;
    const double w = h.max_x - h.min_x, d = h.max_y - h.min_y;
    const double cx = (h.min_x + h.max_x) / 2, cy = (h.min_y + h.max_y) / 2;
    reader.close();
    expect_queries_match(file, {
                                   {Area::RECTANGLE, h.min_x + w * 0.2, h.min_y + d * 0.3, h.min_x + w * 0.4,
                                    h.min_y + d * 0.5},
                                   {Area::TILE, cx - w * 0.05, cy - d * 0.05, std::max(w, d) * 0.1 + 0.01},
                                   {Area::CIRCLE, cx, cy, std::max(w, d) * 0.25 + 0.01},
                               });
  }
}

TEST(LASspatialIndexQueries, HostileRunsStillDeliverExactlyThePointsInside) {
  TempDir dir("cm_laxindex_");
  const std::string file = dir.file("small.las");
  las_test::Options o;
  const auto points = scan_points(400, 100, 5);
  ASSERT_TRUE(las_test::write_file(file, las_test::build(o, points)));
  // Runs past the last point, overlapping, and one the reader cannot seek to.
  LASspatialIndex built;
  built.prepare(1000, 2000, 1100, 2100, 400);
  built.get_interval().cells()[0].runs = {{5000, 6000}, {10, 4000000000u}, {20, 30}};
  built.get_interval().cells()[0].full = 7;
  built.complete(0, 0);
  LASreaderLAS reader;
  ASSERT_TRUE(reader.open(file.c_str()));
  reader.set_index(index_from(index_bytes(built)));
  const Area area{Area::RECTANGLE, 1000, 2000, 1100, 2100};
  set_area(reader, area);
  std::vector<int64_t> expected;
  for (int64_t i = 10; i < 400; i++) expected.push_back(i);
  EXPECT_EQ(read_indices(reader), expected);
}

}  // namespace
