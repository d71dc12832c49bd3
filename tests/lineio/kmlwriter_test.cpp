#include "lineio/kmlwriter.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "lineio/line_output_opener.h"
#include "lineio_test_util.h"

namespace {

using lineio_test::read_text;
using lineio_test::run_command;

const std::string kStyles =
    "  <Style id=\"yellow\">\n"
    "   <LineStyle>\n"
    "   <color>ff00ffff</color>\n"
    "   <width>1</width>\n"
    "   </LineStyle>\n"
    "  </Style>\n"
    "  <Style id=\"red\">\n"
    "   <LineStyle>\n"
    "   <color>ffff0000</color>\n"
    "   <width>2</width>\n"
    "   </LineStyle>\n"
    "  </Style>\n"
    "  <Style id=\"green\">\n"
    "   <LineStyle>\n"
    "   <color>ff00ff00</color>\n"
    "   <width>1</width>\n"
    "   </LineStyle>\n"
    "  </Style>\n";
const std::string kHeader = "<kml>\n <Document>\n" + kStyles;
const std::string kBalloonHeader =
    "<kml>\n <Document>\n"
    "  <Style id=\"no_dd\">\n"
    "    <BalloonStyle>\n"
    "      <text>$[name]<br/>$[description]</text>\n"
    "    </BalloonStyle>\n"
    "  </Style>\n" +
    kStyles;
const std::string kPlacemark = "  <Placemark>\n  <styleUrl>#yellow</styleUrl>\n   <MultiGeometry>\n";
const std::string kPlacemarkEnd = "   </MultiGeometry>\n  </Placemark>\n";
const std::string kFooter = " </Document>\n</kml>\n";
const std::string kLineString = "    <LineString>\n     <coordinates>\n";
const std::string kAbsoluteLineString =
    "    <LineString>\n    <altitudeMode>absolute</altitudeMode>\n     <coordinates>\n";
const std::string kLineStringEnd = "     </coordinates>\n    </LineString>\n";

struct Vertex {
  float x, y, z;
};

void draw(KMLwriter& writer, std::initializer_list<Vertex> line) {
  for (const Vertex& v : line) ASSERT_TRUE(writer.add_vertex(v.x, v.y, v.z));
  ASSERT_TRUE(writer.end_line());
}

struct DocumentCase {
  const char* name;
  bool clamp_to_ground;
  float elevation_offset;
  bool one_placemark_per_line;
  std::function<void(KMLwriter&)> write;
  std::string expected;
};

class KMLwriterTest : public testing::Test {
 protected:
  std::string dir = lineio_test::make_scratch_dir();
  std::string path(const std::string& leaf) const { return dir + "/" + leaf; }
};

TEST_F(KMLwriterTest, WritesTheDocumentByteForByte) {
  const std::vector<DocumentCase> cases = {
      {"two contours share one placemark", true, 0.0f, false,
       [](KMLwriter& w) {
         draw(w, {{-122.5f, 47.25f, 100.0f}, {-122.25f, 47.25f, 100.0f}});
         draw(w, {{1.0f, 2.0f, 110.0f}, {1.5f, 2.0f, 110.0f}, {1.0f, 2.0f, 110.0f}});
       },
       kHeader + kPlacemark + kLineString +
           "-122.50000000,47.25000000,100.00\n-122.25000000,47.25000000,100.00\n" + kLineStringEnd +
           kLineString +
           "1.00000000,2.00000000,110.00\n1.50000000,2.00000000,110.00\n1.00000000,2.00000000,110.00\n" +
           kLineStringEnd + kPlacemarkEnd + kFooter},
      {"absolute altitudes and an elevation offset", false, 17.5f, false,
       [](KMLwriter& w) {
         draw(w, {{10.0f, 20.0f, 100.0f}, {10.5f, 20.0f, 100.0f}});
         draw(w, {{11.0f, 21.0f, -17.5f}});
       },
       kHeader + kPlacemark + kAbsoluteLineString + "10.00000000,20.00000000,117.50\n" +
           "10.50000000,20.00000000,117.50\n" + kLineStringEnd + kAbsoluteLineString +
           "11.00000000,21.00000000,0.00\n" + kLineStringEnd + kPlacemarkEnd + kFooter},
      {"no contours", true, 0.0f, false, [](KMLwriter&) {}, kHeader + kFooter},
      {"no contours, one placemark per line", true, 0.0f, true, [](KMLwriter&) {}, kBalloonHeader + kFooter},
      // Offsets are added in double precision (in float, -122 + 0.1f would print as -121.90000153);
      // 1000.625 is an exact tie and rounds to even like printf.
      {"offsets and a line left open at close", true, 0.5f, false,
       [](KMLwriter& w) {
         w.set_offset(-122.0, 47.0, 1000.0);
         ASSERT_TRUE(w.add_vertex(-0.5f, 0.25f, 0.125f));
         ASSERT_TRUE(w.add_vertex(0.1f, -0.0f, -0.25f));
       },
       kHeader + kPlacemark + kLineString + "-122.50000000,47.25000000,1000.62\n" +
           "-121.90000000,47.00000000,1000.25\n" + kLineStringEnd + kPlacemarkEnd + kFooter},
      {"one placemark per line", true, 0.0f, true,
       [](KMLwriter& w) {
         draw(w, {{1.0f, 2.0f, 3.0f}});
         draw(w, {{4.0f, 5.0f, 6.0f}});
       },
       kBalloonHeader + kPlacemark + kLineString + "1.00000000,2.00000000,3.00\n" + kLineStringEnd +
           kPlacemarkEnd + kPlacemark + kLineString + "4.00000000,5.00000000,6.00\n" + kLineStringEnd +
           kPlacemarkEnd + kFooter},
      // A segment ends the open LineString first; a repeated end_line adds no stray closing tags.
      {"segments and repeated end_line", true, 0.0f, false,
       [](KMLwriter& w) {
         ASSERT_TRUE(w.end_line());
         ASSERT_TRUE(w.add_vertex(1.0f, 2.0f, 3.0f));
         ASSERT_TRUE(w.add_segment(4.0f, 5.0f, 6.0f, 7.0f, 8.0f, 9.0f));
         ASSERT_TRUE(w.end_line());
       },
       kHeader + kPlacemark + kLineString + "1.00000000,2.00000000,3.00\n" + kLineStringEnd + kLineString +
           "4.00000000,5.00000000,6.00\n7.00000000,8.00000000,9.00\n" + kLineStringEnd + kPlacemarkEnd +
           kFooter},
  };
  for (const DocumentCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = path("doc.kml");
    KMLwriter writer;
    writer.only_2d = true;  // ignored: KML vertices always carry their elevation
    ASSERT_TRUE(writer.open(name.c_str(), c.one_placemark_per_line));
    writer.set_clamp_to_ground(c.clamp_to_ground);
    writer.set_elevation_offset(c.elevation_offset);
    c.write(writer);
    ASSERT_TRUE(writer.close());
    EXPECT_TRUE(writer.close());  // a second close is harmless
    EXPECT_EQ(read_text(name), c.expected);
  }
}

// Coordinates are formatted without printf; they must still match it byte for byte, including
// exact ties (rounded to even), values that round up into the next integer, signed zeros, tiny and
// huge magnitudes, NaN and infinity. Each vertex is 0 plus offsets, so any double can be written.
TEST_F(KMLwriterTest, CoordinatesPrintExactlyAsPrintfDoes) {
  std::vector<double> values = {
      0.0,    -0.0,         -122.5,       1000.625,      1000.375,     0.125,
      -0.125, 0.005,        0.995,        -0.995,        9.999999995,  762.939453125,
      1e-20,  -1e-20,       4.9e-324,     1e17,          -1e17,        9007199254740991.0,
      1e300,  -1e300,       HUGE_VAL,     -HUGE_VAL,     std::nan(""), 2.5e-9,
      5e-9,   0.0000000150, 47.123456785, -179.999999995};
  std::mt19937_64 random(20261210);
  for (int i = 0; i < 20000; i++) {
    std::uniform_real_distribution<double> degrees(-400.0, 400.0);
    std::uniform_int_distribution<int> exponent(-40, 60);
    values.push_back(degrees(random));
    values.push_back(std::ldexp(degrees(random), exponent(random)));
    values.push_back(std::round(degrees(random) * 512.0) / 512.0);  // many exact ties
  }
  const std::string name = path("numbers.kml");
  KMLwriter writer;
  ASSERT_TRUE(writer.open(name.c_str()));
  std::string expected;
  char line[1100];
  for (std::size_t i = 0; i < values.size(); i++) {
    const double x = values[i], y = values[(i + 1) % values.size()], z = values[(i + 2) % values.size()];
    writer.set_offset(x, y, z);
    ASSERT_TRUE(writer.add_vertex(0.0f, 0.0f, 0.0f));
    // What the writer prints: the float vertex plus the offset (0 + -0.0 is +0.0).
    std::snprintf(line, sizeof line, "%4.8f,%4.8f,%4.2f\n", 0.0 + x, 0.0 + y, 0.0 + z + 0.0);
    expected += line;
  }
  ASSERT_TRUE(writer.close());
  std::istringstream written(read_text(name)), wanted(expected);
  std::string got, want;
  while (std::getline(written, got) && got != "     <coordinates>") {
  }
  while (std::getline(wanted, want)) {
    ASSERT_TRUE(std::getline(written, got));
    ASSERT_EQ(got, want);
  }
}

TEST_F(KMLwriterTest, FailuresAreReported) {
  const std::string missing = path("no/such.kml");
  KMLwriter writer;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(writer.open(missing.c_str()));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: cannot open KML file '" + missing + "'\n");

  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  for (int vertices : {0, 1, 100000}) {  // caught at the final flush, and while writing
    KMLwriter full;
    ASSERT_TRUE(full.open("/dev/full"));
    for (int i = 0; i < vertices; i++) full.add_vertex(static_cast<float>(i), 1.5f, 2.5f);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(full.close());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: cannot write to '/dev/full'\n");
  }
}

// The opener hands its KML settings and the flag to the writer.
TEST_F(KMLwriterTest, OpenerAppliesTheKmlOptions) {
  const std::string name = path("opened.kml");
  std::vector<std::string> words = {"contourmill",           "-o",  name, "-kml_absolute",
                                    "-kml_elevation_offset", "17.5"};
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  LineOutputOpener opener;
  ASSERT_TRUE(opener.parse(static_cast<int>(argv.size()), argv.data()));
  for (bool one_per_line : {false, true}) {
    auto writer = opener.open_writer(one_per_line);
    ASSERT_NE(writer, nullptr);
    writer->set_offset(0.0, 0.0, 2.0);
    ASSERT_TRUE(writer->add_vertex(-122.5f, 47.25f, 100.0f));
    ASSERT_TRUE(writer->close());
    const std::string expected = (one_per_line ? kBalloonHeader : kHeader) + kPlacemark +
                                 kAbsoluteLineString + "-122.50000000,47.25000000,119.50\n" + kLineStringEnd +
                                 kPlacemarkEnd + kFooter;
    EXPECT_EQ(read_text(name), expected);
  }
}

struct Point {
  double x, y, z;
};

// The lines of every (MULTI)LINESTRING Z geometry ogrinfo prints, as x y z triples.
std::vector<std::vector<Point>> ogr_lines(const std::string& out) {
  std::vector<std::vector<Point>> lines;
  for (std::size_t at = 0; (at = out.find("LINESTRING Z (", at)) != std::string::npos;) {
    const std::size_t end = out.find('\n', at);
    const std::string geometry = out.substr(at, end - at);
    at = end;
    // Every innermost "(x y z,x y z,...)" group is one line.
    for (std::size_t open = geometry.find('('); open != std::string::npos;
         open = geometry.find('(', open + 1)) {
      if (geometry[open + 1] == '(') continue;
      const std::size_t close = geometry.find(')', open);
      const std::string text = geometry.substr(open + 1, close - open - 1);
      std::vector<Point> line;
      for (const char* p = text.c_str(); *p != '\0';) {
        char* next = nullptr;
        Point v{};
        v.x = std::strtod(p, &next);
        v.y = std::strtod(next, &next);
        v.z = std::strtod(next, &next);
        line.push_back(v);
        if (next == p) break;
        p = next + (*next == ',' ? 1 : 0);
      }
      lines.push_back(line);
    }
  }
  return lines;
}

// An independent reader sees one feature holding every contour with its coordinates.
TEST_F(KMLwriterTest, OgrinfoReadsTheContours) {
  if (std::system("command -v ogrinfo > /dev/null 2>&1") != 0) GTEST_SKIP() << "ogrinfo is not installed";
  const std::vector<std::vector<Vertex>> contours = {
      {{-122.5f, 47.25f, 100.0f}, {-122.4f, 47.25f, 100.0f}},
      {{-122.5f, 47.35f, 110.0f},
       {-122.4f, 47.35f, 110.0f},
       {-122.3f, 47.3f, 110.0f},
       {-122.5f, 47.35f, 110.0f}},
      {{-122.45f, 47.3f, 120.0f}, {-122.44f, 47.31f, 120.0f}},
  };
  for (bool clamp : {true, false}) {
    SCOPED_TRACE(clamp ? "clamped" : "absolute");
    const std::string name = path(clamp ? "ogr_clamped.kml" : "ogr_absolute.kml");
    KMLwriter writer;
    ASSERT_TRUE(writer.open(name.c_str()));
    writer.set_clamp_to_ground(clamp);
    for (const auto& line : contours) {
      for (const Vertex& v : line) ASSERT_TRUE(writer.add_vertex(v.x, v.y, v.z));
      ASSERT_TRUE(writer.end_line());
    }
    ASSERT_TRUE(writer.close());
    const std::string out = run_command("ogrinfo -al -ro '" + name + "' 2>&1");
    EXPECT_EQ(out.find("ERROR"), std::string::npos) << out;
    EXPECT_NE(out.find("Feature Count: 1\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("altitudeMode (String) = absolute") != std::string::npos, !clamp) << out;
    const auto lines = ogr_lines(out);
    ASSERT_EQ(lines.size(), contours.size()) << out;
    for (std::size_t i = 0; i < lines.size(); i++) {
      ASSERT_EQ(lines[i].size(), contours[i].size()) << out;
      for (std::size_t k = 0; k < lines[i].size(); k++) {
        EXPECT_NEAR(lines[i][k].x, contours[i][k].x, 1e-8);
        EXPECT_NEAR(lines[i][k].y, contours[i][k].y, 1e-8);
        EXPECT_NEAR(lines[i][k].z, contours[i][k].z, 1e-8);
      }
    }
  }
}

}  // namespace
