// Breaklines end to end: the contourmill binary on generated tiles with lake polygons and creek
// polylines, from text files and from Shapefiles written by GDAL, and the "-tin" triangle file
// read back by an independent reader and by ogrinfo.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "run_tool.h"
#include "tools/las_writer.h"
#include "wkt_reader.h"

namespace {

constexpr double kX0 = 300000.0, kY0 = 5000000.0;  // the tile's corner
constexpr double kSize = 100.0;

using Surface = double (*)(double x, double y);

// A bowl: 90 m at the centre of the tile, rising with the square of the distance.
double bowl(double x, double y) {
  const double dx = x - kX0 - 50, dy = y - kY0 - 50;
  return 90.0 + 0.01 * (dx * dx + dy * dy);
}
// A valley along x = 50 falling towards y = 0.
double valley(double x, double y) {
  return 50.0 + 0.2 * std::fabs(x - kX0 - 50) + 0.05 * (y - kY0);
}

// About one point per square metre, jittered off the grid lines so that no point lies on a
// breakline by chance.
void write_tile(const std::filesystem::path& path, Surface surface) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> jitter(0.1, 0.9);
  std::vector<las_test::Point> points;
  for (int i = 0; i < 100; i++) {
    for (int j = 0; j < 100; j++) {
      las_test::Point p;
      p.x = kX0 + i + jitter(rng);
      p.y = kY0 + j + jitter(rng);
      p.z = surface(p.x, p.y);
      points.push_back(p);
    }
  }
  las_test::Options o;
  o.scale[0] = o.scale[1] = o.scale[2] = 0.001;
  o.offset[0] = kX0;
  o.offset[1] = kY0;
  const std::vector<uint8_t> bytes = las_test::build(o, points);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

struct Polyline {
  std::vector<double> x, y, z;
};

// The lake: a 32-gon of radius 20 around the bowl's centre at the bowl's height there (94 m).
Polyline lake_polygon() {
  Polyline p;
  for (int k = 0; k <= 32; k++) {
    const double a = (k % 32) * M_PI / 16;
    p.x.push_back(kX0 + 50 + 20 * std::cos(a));
    p.y.push_back(kY0 + 50 + 20 * std::sin(a));
    p.z.push_back(94.0);
  }
  return p;
}

Polyline valley_creek() {
  Polyline p;
  for (int k = 0; k <= 10; k++) {
    p.x.push_back(kX0 + 50);
    p.y.push_back(kY0 + 10 * k);
    p.z.push_back(valley(kX0 + 50, kY0 + 10 * k));
  }
  return p;
}

void write_text(const std::filesystem::path& path, const std::vector<Polyline>& lines) {
  std::ofstream out(path);
  out.precision(12);
  for (const Polyline& l : lines) {
    for (size_t i = 0; i < l.x.size(); i++) out << l.x[i] << " " << l.y[i] << " " << l.z[i] << "\n";
    out << "END\n";
  }
}

bool gdal_available() {
  return std::system("ogr2ogr --version > /dev/null 2>&1") == 0;
}

// The same lines as a Shapefile written by GDAL from WKT.
void write_shapefile_with_gdal(const TempDir& dir, const std::string& name,
                               const std::vector<Polyline>& lines, bool polygons) {
  std::ofstream csv(dir / (name + ".csv"));
  csv.precision(12);
  csv << "WKT,id\n";
  int id = 1;
  for (const Polyline& l : lines) {
    csv << (polygons ? "\"POLYGON Z ((" : "\"LINESTRING Z (");
    for (size_t i = 0; i < l.x.size(); i++) csv << (i ? "," : "") << l.x[i] << " " << l.y[i] << " " << l.z[i];
    csv << (polygons ? "))\"," : ")\",") << id++ << "\n";
  }
  csv.close();
  const std::string cmd = "cd " + shell_quote(dir.path().string()) + " && ogr2ogr -f 'ESRI Shapefile' " +
                          name + ".shp " + name + ".csv -nlt " + (polygons ? "POLYGON25D" : "LINESTRING25D") +
                          " > /dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
}

std::vector<WktLine> contours(const TempDir& dir, const std::vector<std::string>& options,
                              ToolRun* out = nullptr) {
  std::vector<std::string> args = {"-i", "tile.las", "-o", "contours.wkt"};
  args.insert(args.end(), options.begin(), options.end());
  const ToolRun run = run_tool(CM_CONTOURMILL_BIN, args, dir.path());
  EXPECT_EQ(run.exit_code, 0) << run.err;
  if (out) *out = run;
  std::vector<WktLine> lines;
  EXPECT_TRUE(parse_wkt_lines(read_file(dir / "contours.wkt"), lines));
  return lines;
}

bool inside_polygon(const Polyline& poly, double x, double y) {
  bool in = false;
  for (size_t i = 0, j = poly.x.size() - 2; i + 1 < poly.x.size(); j = i++) {
    if ((poly.y[i] > y) != (poly.y[j] > y) &&
        x < (poly.x[j] - poly.x[i]) * (y - poly.y[i]) / (poly.y[j] - poly.y[i]) + poly.x[i]) {
      in = !in;
    }
  }
  return in;
}

double distance_to_segment(double px, double py, double ax, double ay, double bx, double by) {
  const double dx = bx - ax, dy = by - ay;
  const double t = std::clamp(((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
  return std::hypot(px - ax - t * dx, py - ay - t * dy);
}

double distance_to_polyline(const Polyline& l, double x, double y) {
  double d = INFINITY;
  for (size_t i = 0; i + 1 < l.x.size(); i++) {
    d = std::min(d, distance_to_segment(x, y, l.x[i], l.y[i], l.x[i + 1], l.y[i + 1]));
  }
  return d;
}

// Whether segments p1-p2 and q1-q2 cross at a point inside both (touching does not count).
bool properly_cross(double p1x, double p1y, double p2x, double p2y, double q1x, double q1y, double q2x,
                    double q2y) {
  const auto side = [](double ax, double ay, double bx, double by, double cx, double cy) {
    const double o = (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
    // Contour vertices on a breakline went through single precision: touching is within 1e-3.
    return o > 1e-3 ? 1 : (o < -1e-3 ? -1 : 0);
  };
  return side(p1x, p1y, p2x, p2y, q1x, q1y) * side(p1x, p1y, p2x, p2y, q2x, q2y) < 0 &&
         side(q1x, q1y, q2x, q2y, p1x, p1y) * side(q1x, q1y, q2x, q2y, p2x, p2y) < 0;
}

int crossings(const std::vector<WktLine>& lines, const Polyline& breakline) {
  int n = 0;
  for (const WktLine& l : lines) {
    for (size_t i = 0; i + 1 < l.x.size(); i++) {
      for (size_t k = 0; k + 1 < breakline.x.size(); k++) {
        n += properly_cross(l.x[i], l.y[i], l.x[i + 1], l.y[i + 1], breakline.x[k], breakline.y[k],
                            breakline.x[k + 1], breakline.y[k + 1]);
      }
    }
  }
  return n;
}

TEST(BreaklinesE2e, LakeDropsItsPointsAndContoursFollowItsShore) {
  TempDir dir("lake");
  write_tile(dir / "tile.las", bowl);
  const Polyline lake = lake_polygon();
  write_text(dir / "lake.txt", {lake});

  // Without the lake, the bowl's floor has contours; with it, none inside and none across it.
  const std::vector<WktLine> plain = contours(dir, {"-iso_every", "0.5"});
  int inside_plain = 0;
  for (const WktLine& l : plain) {
    for (size_t i = 0; i < l.x.size(); i++) inside_plain += inside_polygon(lake, l.x[i], l.y[i]);
  }
  EXPECT_GT(inside_plain, 0) << "the test needs contours inside the lake's shore without the lake";

  const std::vector<WktLine> with_lake = contours(dir, {"-iso_every", "0.5", "-lakes", "lake.txt"});
  ASSERT_FALSE(with_lake.empty());
  for (const WktLine& l : with_lake) {
    for (size_t i = 0; i < l.x.size(); i++) {
      EXPECT_FALSE(inside_polygon(lake, l.x[i], l.y[i]) && distance_to_polyline(lake, l.x[i], l.y[i]) > 1e-3)
          << "contour vertex " << l.x[i] << " " << l.y[i] << " inside the lake";
    }
  }
  EXPECT_EQ(crossings(with_lake, lake), 0);

  // Just above the water the contour is one loop hugging the shore.
  const std::vector<WktLine> shore = contours(dir, {"-iso", "94.05", "-lakes", "lake.txt"});
  ASSERT_EQ(shore.size(), 1u);
  EXPECT_TRUE(shore[0].closed());
  for (size_t i = 0; i < shore[0].x.size(); i++) {
    EXPECT_LT(distance_to_polyline(lake, shore[0].x[i], shore[0].y[i]), 1.0);
  }
}

TEST(BreaklinesE2e, CreekBendsEveryContourOnItsLine) {
  TempDir dir("creek");
  write_tile(dir / "tile.las", valley);
  write_text(dir / "creek.txt", {valley_creek()});
  const auto on_creek = [](const std::vector<WktLine>& lines, int& crossing, int& on_line) {
    crossing = on_line = 0;
    for (const WktLine& l : lines) {
      const auto [lo, hi] = std::minmax_element(l.x.begin(), l.x.end());
      if (*lo >= kX0 + 49 || *hi <= kX0 + 51) continue;
      crossing++;
      on_line += std::any_of(l.x.begin(), l.x.end(), [](double x) { return std::fabs(x - kX0 - 50) < 1e-3; });
    }
  };
  int crossing = 0, on_line = 0;
  on_creek(contours(dir, {"-iso_every", "1"}), crossing, on_line);
  EXPECT_LT(on_line, crossing) << "without the creek the contours should miss its line";
  on_creek(contours(dir, {"-iso_every", "1", "-creeks", "creek.txt"}), crossing, on_line);
  EXPECT_GE(crossing, 5);
  EXPECT_EQ(on_line, crossing);
}

TEST(BreaklinesE2e, ShapefilesFromGdalGiveTheContoursOfTheSameText) {
  if (!gdal_available()) GTEST_SKIP() << "ogr2ogr is not installed";
  TempDir dir("gdal");
  write_tile(dir / "tile.las", bowl);
  write_text(dir / "lake.txt", {lake_polygon()});
  write_text(dir / "creek.txt", {valley_creek()});
  write_shapefile_with_gdal(dir, "lake", {lake_polygon()}, true);
  write_shapefile_with_gdal(dir, "creek", {valley_creek()}, false);
  // GDAL turns the rings clockwise, so the vertices arrive in another order and loops may start
  // elsewhere: the lines are compared with every loop started at its lowest vertex.
  const auto canonical = [](std::vector<WktLine> lines) {
    std::vector<std::vector<std::pair<double, double>>> out;
    for (const WktLine& l : lines) {
      std::vector<std::pair<double, double>> v;
      for (size_t i = 0; i < l.x.size(); i++) v.emplace_back(l.x[i], l.y[i]);
      if (l.closed()) {
        v.pop_back();
        std::rotate(v.begin(), std::min_element(v.begin(), v.end()), v.end());
      }
      out.push_back(v);
    }
    std::sort(out.begin(), out.end());
    return out;
  };
  const auto from_text =
      canonical(contours(dir, {"-iso_every", "0.5", "-lakes", "lake.txt", "-creeks", "creek.txt"}));
  const auto from_gdal =
      canonical(contours(dir, {"-iso_every", "0.5", "-lakes", "lake.shp", "-creeks", "creek.shp"}));
  EXPECT_GT(from_text.size(), 10u);
  EXPECT_TRUE(from_gdal == from_text);
}

// Counts the triangles of a MultiPatch Shapefile: every part of every record, each a triangle of
// three points.
int64_t multipatch_triangles(const std::string& bytes, int& records) {
  const auto be = [&](size_t at) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) << 24 |
                                static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 16 |
                                static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 2])) << 8 |
                                static_cast<uint8_t>(bytes[at + 3]));
  };
  const auto le = [&](size_t at) {
    int32_t v;
    std::memcpy(&v, bytes.data() + at, 4);
    return v;
  };
  records = 0;
  int64_t triangles = 0;
  if (bytes.size() < 100 || le(32) != 31) return -1;
  for (size_t at = 100; at + 8 <= bytes.size();) {
    const size_t length = 2 * static_cast<size_t>(be(at + 4));
    const size_t content = at + 8;
    if (le(content) != 31) return -1;
    const int32_t parts = le(content + 36), points = le(content + 40);
    if (points != 3 * parts) return -1;
    triangles += parts;
    records++;
    at = content + length;
  }
  return triangles;
}

TEST(BreaklinesE2e, TinOutputHoldsEveryTriangleBesideTheContours) {
  TempDir dir("tin");
  write_tile(dir / "tile.las", bowl);
  write_text(dir / "lake.txt", {lake_polygon()});
  ToolRun run;
  contours(dir, {"-iso_every", "1", "-lakes", "lake.txt", "-tin", "-v"}, &run);
  ASSERT_TRUE(std::filesystem::exists(dir / "contours_tin.shp")) << run.err;
  // n vertices, h of them on the hull: 2n - 2 - h triangles.
  const auto number_after = [&](const std::string& text) {
    const size_t at = run.err.find(text);
    return at == std::string::npos ? -1LL : std::atoll(run.err.c_str() + at + text.size());
  };
  const long long vertices = number_after("\ntriangulating ");
  const long long written = number_after("outputting TIN with ");
  ASSERT_GT(vertices, 8000);
  int records = 0;
  const int64_t triangles = multipatch_triangles(read_file(dir / "contours_tin.shp"), records);
  EXPECT_EQ(triangles, written);
  // The tile's hull has a few hundred vertices at most: the count is 2n - 2 - h.
  EXPECT_LE(triangles, 2 * vertices - 2 - 3);
  EXPECT_GE(triangles, 2 * vertices - 2 - 400);
  EXPECT_EQ(records, (triangles + 2047) / 2048);
  if (gdal_available()) {
    const std::string cmd =
        "cd " + shell_quote(dir.path().string()) + " && ogrinfo -so -al contours_tin.shp > ogrinfo.txt 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_NE(read_file(dir / "ogrinfo.txt").find("Feature Count: " + std::to_string(records)),
              std::string::npos)
        << read_file(dir / "ogrinfo.txt");
  }
}

TEST(BreaklinesE2e, TinOutputIsRefusedOnStandardOutput) {
  TempDir dir("tin_stdout");
  write_tile(dir / "tile.las", bowl);
  const ToolRun run =
      run_tool(CM_CONTOURMILL_BIN, {"-i", "tile.las", "-owkt", "-stdout", "-tin"}, dir.path());
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("ERROR: '-tin'"), std::string::npos) << run.err;
}

// A Polygon (type 5) Shapefile of one square, written byte by byte; `points` is the count the
// record claims, `cut` bytes are left off the end.
std::string square_shapefile(int32_t points, size_t cut) {
  std::string s;
  const auto be = [&](int32_t v) {
    for (int k = 3; k >= 0; k--) s += static_cast<char>((static_cast<uint32_t>(v) >> (8 * k)) & 0xff);
  };
  const auto le = [&](int32_t v) {
    for (int k = 0; k < 4; k++) s += static_cast<char>((static_cast<uint32_t>(v) >> (8 * k)) & 0xff);
  };
  const auto f64 = [&](double v) {
    char b[8];
    std::memcpy(b, &v, 8);
    s.append(b, 8);
  };
  const double x[5] = {kX0 + 10, kX0 + 20, kX0 + 20, kX0 + 10, kX0 + 10};
  const double y[5] = {kY0 + 10, kY0 + 10, kY0 + 20, kY0 + 20, kY0 + 10};
  const int32_t content = 44 + 4 + 16 * 5;
  be(9994);
  for (int i = 0; i < 5; i++) be(0);
  be((100 + 8 + content) / 2);
  le(1000);
  le(5);
  for (double v : {x[0], y[0], x[1], y[2], 0.0, 0.0, 0.0, 0.0}) f64(v);
  be(1);
  be(content / 2);
  le(5);
  for (double v : {x[0], y[0], x[1], y[2]}) f64(v);
  le(1);
  le(points);
  le(0);
  for (int i = 0; i < 5; i++) f64(x[i]), f64(y[i]);
  s.resize(s.size() - cut);
  return s;
}

// Damaged breakline files stop the run with one clear error.
TEST(BreaklinesE2e, BadBreaklineFilesAreErrors) {
  TempDir dir("bad");
  write_tile(dir / "tile.las", bowl);
  const auto write = [&](const std::string& name, const std::string& text) {
    std::ofstream(dir / name, std::ios::binary) << text;
  };
  write("open.txt", "10 10 1\n20 10 1\n20 20 1\n");
  write("two.txt", "300010 5000010 1\n300020 5000010 1\n300010 5000010 1\n");
  write("crossing.txt", "300010 5000010 1\n300090 5000090 1\nEND\n300010 5000090 1\n300090 5000010 1\n");
  write("long.txt", std::string(600, '1') + " 2 3\n");
  write("bad.shp", std::string(100, '\0'));
  write("lake.kml", "x");
  write("square.shp", square_shapefile(5, 0));
  write("lying.shp", square_shapefile(100000000, 0));
  write("cut.shp", square_shapefile(5, 20));
  struct Case {
    std::vector<std::string> options;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"-lakes", "open.txt"}, "ERROR: lakes polygon 0 in 'open.txt' is not closed"},
      {{"-lakes", "two.txt"}, "has only 2 distinct points"},
      {{"-creeks", "crossing.txt"}, "ERROR: crossing constraint segments"},
      {{"-creeks", "long.txt"}, "longer than 511 characters"},
      {{"-lakes", "bad.shp"}, "ERROR: wrong file code 0 != 9994"},
      {{"-lakes", "lying.shp"}, "ERROR: record 1 of 'lying.shp' claims 1 parts and 100000000 points"},
      {{"-lakes", "cut.shp"}, "ERROR: record 1 of 'cut.shp' has a content length beyond the end of the file"},
      {{"-lakes", "missing.txt"}, "ERROR: could not open lake file 'missing.txt' for read"},
      {{"-creeks", "lake.kml"}, "ERROR: unknown input format 'lake.kml' specified for creeks"},
  };
  // The intact square is a lake.
  const ToolRun good =
      run_tool(CM_CONTOURMILL_BIN, {"-i", "tile.las", "-o", "out.wkt", "-lakes", "square.shp"}, dir.path());
  EXPECT_EQ(good.exit_code, 0) << good.err;
  for (const Case& c : cases) {
    std::vector<std::string> args = {"-i", "tile.las", "-o", "out.wkt"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const ToolRun run = run_tool(CM_CONTOURMILL_BIN, args, dir.path());
    EXPECT_EQ(run.exit_code, 1) << c.options[1];
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.options[1] << ": " << run.err;
  }
}

}  // namespace
