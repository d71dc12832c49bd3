#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "geo/geoprojectionconverter.h"
#include "lineio/kmlwriter.h"
#include "lineio/linewriter_reprojector.h"
#include "lineio_test_util.h"

namespace {

struct Point {
  double x, y, z;
};

// Records what a writer would print: every vertex as the double sum of the float and its offset.
class RecordingWriter : public LINEwriter {
 public:
  bool add_vertex(float x, float y, float z) override {
    points.push_back({double{x} + x_offset, double{y} + y_offset, double{z} + z_offset});
    events += 'v';
    return true;
  }
  bool add_segment(float x1, float y1, float z1, float x2, float y2, float z2) override {
    points.push_back({double{x1} + x_offset, double{y1} + y_offset, double{z1} + z_offset});
    points.push_back({double{x2} + x_offset, double{y2} + y_offset, double{z2} + z_offset});
    events += 's';
    return true;
  }
  bool end_line() override {
    events += 'e';
    return true;
  }
  bool close() override {
    events += 'c';
    return true;
  }

  std::vector<Point> points;
  std::string events;
};

struct SourceCase {
  const char* name;
  int utm_zone;     // 0: no UTM
  char utm_letter;  // 'N'..'X' north, otherwise south
  bool longlat;
  Point offset;
};

const SourceCase kSources[] = {
    {"longitude/latitude is the identity", 0, 0, true, {-122.0, 47.0, 10.0}},
    {"UTM 10 north", 10, 'T', false, {500000.0, 5200000.0, 50.0}},
    {"UTM 33 south", 33, 'H', false, {402000.0, 6300000.0, 0.0}},
};

struct Vertex {
  float x, y, z;
};

// Vertices relative to the offset: a few kilometres around it when the source is UTM.
std::vector<Vertex> vertices(const SourceCase& c) {
  const float scale = c.utm_zone != 0 ? 1.0f : 1e-4f;
  std::vector<Vertex> out = {
      {0.0f, 0.0f, 0.0f}, {123.25f, -456.5f, 3.0f}, {-2500.75f, 1800.5f, -7.25f}, {4999.5f, 4999.5f, 12.0f}};
  for (Vertex& v : out) v.x *= scale, v.y *= scale;
  return out;
}

Point absolute(const SourceCase& c, const Vertex& v) {
  return {double{v.x} + c.offset.x, double{v.y} + c.offset.y, double{v.z} + c.offset.z};
}

// What PROJ makes of the absolute points (or the points themselves for an identity source).
std::vector<Point> expected_lon_lat(const SourceCase& c, const std::vector<Point>& points) {
  if (c.utm_zone == 0) return points;
  const std::string dir = lineio_test::make_scratch_dir();
  const std::string input = dir + "/points.txt";
  FILE* f = std::fopen(input.c_str(), "w");
  if (f == nullptr) return {};
  for (const Point& p : points) std::fprintf(f, "%.6f %.6f %.6f\n", p.x, p.y, p.z);
  std::fclose(f);
  const bool south = c.utm_letter < 'N';
  const std::string command = "invproj +proj=utm +zone=" + std::to_string(c.utm_zone) +
                              (south ? " +south" : "") + " +ellps=WGS84 -f %.12f '" + input + "'";
  std::vector<Point> out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  Point p;
  while (std::fscanf(pipe, "%lf %lf %lf", &p.x, &p.y, &p.z) == 3) out.push_back(p);
  pclose(pipe);
  return out;
}

void set_source(GeoProjectionConverter& converter, const SourceCase& c) {
  if (c.longlat) {
    ASSERT_TRUE(converter.set_longlat());
  }
  if (c.utm_zone != 0) {
    ASSERT_TRUE(converter.set_utm(c.utm_zone, c.utm_letter, c.utm_letter >= 'N'));
  }
}

TEST(LINEwriterReprojectorTest, VerticesReachTheInnerWriterInLongitudeLatitude) {
  if (std::system("command -v invproj > /dev/null 2>&1") != 0) GTEST_SKIP() << "invproj is not installed";
  for (const SourceCase& c : kSources) {
    SCOPED_TRACE(c.name);
    GeoProjectionConverter converter;
    set_source(converter, c);
    auto recording = std::make_unique<RecordingWriter>();
    RecordingWriter& inner = *recording;
    inner.set_offset(1.0, 2.0, 3.0);
    LINEwriterReprojector reprojector(converter, std::move(recording));
    // Until set_offset the converted offset, and so the inner writer's offsets, are 0.
    EXPECT_EQ(inner.x_offset, 0.0);
    EXPECT_EQ(inner.y_offset, 0.0);
    EXPECT_EQ(inner.z_offset, 0.0);
    reprojector.set_offset(c.offset.x, c.offset.y, c.offset.z);

    const std::vector<Vertex> relative = vertices(c);
    std::vector<Point> points = {c.offset};
    for (const Vertex& v : relative) {
      ASSERT_TRUE(reprojector.add_vertex(v.x, v.y, v.z));
      points.push_back(absolute(c, v));
    }
    ASSERT_TRUE(reprojector.end_line());
    const Vertex& a = relative[1];
    const Vertex& b = relative[3];
    ASSERT_TRUE(reprojector.add_segment(a.x, a.y, a.z, b.x, b.y, b.z));
    ASSERT_TRUE(reprojector.close());
    EXPECT_EQ(inner.events, "vvvvesc");

    const std::vector<Point> expected = expected_lon_lat(c, points);
    ASSERT_EQ(expected.size(), points.size());
    // The inner writer's offsets are the converted offset point.
    EXPECT_NEAR(inner.x_offset, expected[0].x, 1e-7);
    EXPECT_NEAR(inner.y_offset, expected[0].y, 1e-7);
    EXPECT_NEAR(inner.z_offset, expected[0].z, 1e-7);

    std::vector<Point> want(expected.begin() + 1, expected.end());
    want.push_back(expected[2]);
    want.push_back(expected[4]);
    ASSERT_EQ(inner.points.size(), want.size());
    for (std::size_t i = 0; i < want.size(); i++) {
      SCOPED_TRACE(i);
      EXPECT_NEAR(inner.points[i].x, want[i].x, 1e-7);
      EXPECT_NEAR(inner.points[i].y, want[i].y, 1e-7);
      EXPECT_NEAR(inner.points[i].z, want[i].z, 1e-3);
    }
  }
}

// The chain the driver builds for KML: projected contours in, the document's coordinates match
// PROJ's longitude and latitude to the printed precision.
TEST(LINEwriterReprojectorTest, KmlFileHoldsProjConvertedCoordinates) {
  if (std::system("command -v invproj > /dev/null 2>&1") != 0) GTEST_SKIP() << "invproj is not installed";
  const SourceCase& c = kSources[2];
  GeoProjectionConverter converter;
  set_source(converter, c);
  const std::string name = lineio_test::make_scratch_dir() + "/utm.kml";
  auto kml = std::make_unique<KMLwriter>();
  ASSERT_TRUE(kml->open(name.c_str()));
  kml->set_elevation_offset(2.5f);
  LINEwriterReprojector reprojector(converter, std::move(kml));
  reprojector.set_offset(c.offset.x, c.offset.y, c.offset.z);
  std::vector<Point> points;
  for (const Vertex& v : vertices(c)) {
    ASSERT_TRUE(reprojector.add_vertex(v.x, v.y, v.z));
    points.push_back(absolute(c, v));
  }
  ASSERT_TRUE(reprojector.close());

  const std::vector<Point> expected = expected_lon_lat(c, points);
  std::vector<Point> written;
  std::istringstream text(lineio_test::read_text(name));
  for (std::string line; std::getline(text, line);) {
    Point p;
    if (std::sscanf(line.c_str(), "%lf,%lf,%lf", &p.x, &p.y, &p.z) == 3) written.push_back(p);
  }
  ASSERT_EQ(written.size(), expected.size());
  for (std::size_t i = 0; i < written.size(); i++) {
    SCOPED_TRACE(i);
    EXPECT_NEAR(written[i].x, expected[i].x, 1e-7);
    EXPECT_NEAR(written[i].y, expected[i].y, 1e-7);
    EXPECT_NEAR(written[i].z, expected[i].z + 2.5, 0.006);
  }
}

}  // namespace

namespace {

// Projected coordinates must never reach a KML file as degrees: a vertex the converter cannot place
// on the globe fails, with one error line however many follow.
TEST(LINEwriterReprojectorTest, VerticesThatCannotBePlacedFail) {
  GeoProjectionConverter without_projection;
  auto recording = std::make_unique<RecordingWriter>();
  RecordingWriter& inner = *recording;
  LINEwriterReprojector reprojector(without_projection, std::move(recording));
  reprojector.set_offset(500000.0, 5200000.0, 0.0);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(reprojector.add_vertex(1.0f, 2.0f, 3.0f));
  EXPECT_FALSE(reprojector.add_vertex(4.0f, 5.0f, 6.0f));
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_EQ(errors.rfind("ERROR: cannot place point 500000.000 5200000.000 on the globe", 0), 0u) << errors;
  EXPECT_EQ(errors.find('\n'), errors.size() - 1) << errors;

  // UTM gives up past the pole: such a vertex fails too, where it used to pass unconverted.
  GeoProjectionConverter utm;
  ASSERT_TRUE(utm.set_utm(32, 'U', true));
  LINEwriterReprojector beyond(utm, std::make_unique<RecordingWriter>());
  beyond.set_offset(500000.0, 0.0, 0.0);
  testing::internal::CaptureStderr();
  EXPECT_TRUE(beyond.add_vertex(0.0f, 1000.0f, 0.0f));
  EXPECT_FALSE(beyond.add_vertex(0.0f, 12000000.0f, 0.0f));
  EXPECT_NE(testing::internal::GetCapturedStderr().find("ERROR: cannot place point"), std::string::npos);
  (void)inner;
}

}  // namespace
