#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "lineio/txtwriter.h"
#include "lineio/wktwriter.h"
#include "lineio_test_util.h"

namespace {

using lineio_test::read_text;

struct Vertex {
  float x, y, z;
};

const Vertex kLine[] = {{10, 20, 5}, {11, 20, 5}, {11, 21, 5}};
const Vertex kLoop[] = {{0, 0, 7}, {1, 0, 7}, {1, 1, 7}, {0, 1, 7}, {0, 0, 7}};

template <typename Writer, std::size_t N>
void write_line(Writer& writer, const Vertex (&line)[N]) {
  for (const Vertex& v : line) ASSERT_TRUE(writer.add_vertex(v.x, v.y, v.z));
  ASSERT_TRUE(writer.end_line());
}

class TextWriterTest : public testing::Test {
 protected:
  std::string dir = lineio_test::make_scratch_dir();
  std::string path(const char* leaf) const { return dir + "/" + leaf; }
};

TEST_F(TextWriterTest, TxtWritesOneVertexPerLineAndHashAfterEachContour) {
  for (bool only_2d : {false, true}) {
    const std::string name = path(only_2d ? "2d.txt" : "3d.txt");
    TXTwriter writer;
    writer.only_2d = only_2d;
    ASSERT_TRUE(writer.open(name.c_str()));
    write_line(writer, kLine);
    write_line(writer, kLoop);
    ASSERT_TRUE(writer.close());
    EXPECT_EQ(writer.get_line_count(), 2u);
    const std::string expected = only_2d
                                     ? "10,20\n11,20\n11,21\n#\n0,0\n1,0\n1,1\n0,1\n0,0\n#\n"
                                     : "10,20,5\n11,20,5\n11,21,5\n#\n0,0,7\n1,0,7\n1,1,7\n0,1,7\n0,0,7\n#\n";
    EXPECT_EQ(read_text(name), expected);
  }
}

TEST_F(TextWriterTest, WktWritesOpenLinesAsLinestringAndLoopsAsPolygon) {
  const std::string name = path("lines.wkt");
  WKTwriter writer;
  writer.only_2d = false;  // WKT lines stay 2D whatever the setting
  ASSERT_TRUE(writer.open(name.c_str()));
  write_line(writer, kLine);
  write_line(writer, kLoop);
  ASSERT_TRUE(writer.end_line());  // a second end_line writes nothing
  ASSERT_TRUE(writer.add_vertex(3, 4, 5));
  ASSERT_TRUE(writer.end_line());
  ASSERT_TRUE(writer.close());
  EXPECT_EQ(read_text(name),
            "LINESTRING(10 20, 11 20, 11 21)\n"
            "POLYGON((0 0, 1 0, 1 1, 0 1, 0 0))\n"
            "POINT(3 4)\n");
}

TEST_F(TextWriterTest, ThreeVerticesReturningToTheStartAreNoPolygon) {
  const std::string name = path("short.wkt");
  WKTwriter writer;
  ASSERT_TRUE(writer.open(name.c_str()));
  const Vertex back_and_forth[] = {{0, 0, 1}, {1, 0, 1}, {0, 0, 1}};
  write_line(writer, back_and_forth);
  ASSERT_TRUE(writer.close());
  EXPECT_EQ(read_text(name), "LINESTRING(0 0, 1 0, 0 0)\n");
}

TEST_F(TextWriterTest, LargeProjectedCoordinatesKeepTwoDecimals) {
  const std::string txt_name = path("big.txt"), wkt_name = path("big.wkt");
  TXTwriter txt;
  WKTwriter wkt;
  ASSERT_TRUE(txt.open(txt_name.c_str()));
  ASSERT_TRUE(wkt.open(wkt_name.c_str()));
  for (LINEwriter* writer : {static_cast<LINEwriter*>(&txt), static_cast<LINEwriter*>(&wkt)}) {
    writer->set_offset(1234567.0, 7654321.0, 100.0);
    ASSERT_TRUE(writer->add_vertex(0.12f, 0.25f, 0.5f));
    ASSERT_TRUE(writer->add_vertex(1.5f, 0.75f, 0.5f));
    ASSERT_TRUE(writer->end_line());
    ASSERT_TRUE(writer->close());
  }
  EXPECT_EQ(read_text(txt_name), "1234567.12,7654321.25,100.5\n1234568.5,7654321.75,100.5\n#\n");
  EXPECT_EQ(read_text(wkt_name), "LINESTRING(1234567.12 7654321.25, 1234568.5 7654321.75)\n");
}

TEST_F(TextWriterTest, EmptyOutputSegmentsAndPendingLines) {
  const std::string empty_txt = path("empty.txt"), empty_wkt = path("empty.wkt");
  {
    TXTwriter txt;
    WKTwriter wkt;
    ASSERT_TRUE(txt.open(empty_txt.c_str()));
    ASSERT_TRUE(wkt.open(empty_wkt.c_str()));
    EXPECT_TRUE(txt.close());
    EXPECT_TRUE(wkt.close());
  }
  EXPECT_EQ(read_text(empty_txt), "");
  EXPECT_EQ(read_text(empty_wkt), "");

  const std::string txt_name = path("seg.txt"), wkt_name = path("seg.wkt");
  {
    TXTwriter txt;
    WKTwriter wkt;
    ASSERT_TRUE(txt.open(txt_name.c_str()));
    ASSERT_TRUE(wkt.open(wkt_name.c_str()));
    ASSERT_TRUE(txt.add_segment(1, 2, 3, 4, 5, 6));
    txt.only_2d = true;
    ASSERT_TRUE(txt.add_segment(1, 2, 3, 4, 5, 6));
    ASSERT_TRUE(txt.add_vertex(7, 8, 9));  // left open: close ends it
    ASSERT_TRUE(wkt.add_vertex(7, 8, 9));
    ASSERT_TRUE(wkt.add_vertex(9, 8, 9));
    ASSERT_TRUE(wkt.add_segment(1, 2, 3, 4, 5, 6));  // ends the pending line first
    ASSERT_TRUE(wkt.add_segment(4, 5, 6, 7, 8, 9));
    ASSERT_TRUE(wkt.add_vertex(7, 8, 9));
    ASSERT_TRUE(wkt.add_vertex(1, 1, 9));
    EXPECT_TRUE(txt.close());  // ends the open lines
    EXPECT_TRUE(wkt.close());
  }
  EXPECT_EQ(read_text(txt_name), "1,2,3,4,5,6\n1,2,4,5\n7,8\n#\n");
  EXPECT_EQ(read_text(wkt_name),
            "LINESTRING(7 8, 9 8)\nLINESTRING(1 2, 4 5)\nLINESTRING(4 5, 7 8)\nLINESTRING(7 8, 1 1)\n");
}

TEST_F(TextWriterTest, StandardOutputIsFlushedButNeverClosed) {
  testing::internal::CaptureStdout();
  {
    TXTwriter txt;
    ASSERT_TRUE(txt.open(nullptr));
    write_line(txt, kLine);
    EXPECT_TRUE(txt.close());
    WKTwriter wkt;
    ASSERT_TRUE(wkt.open(nullptr));
    write_line(wkt, kLine);
    EXPECT_TRUE(wkt.close());
  }
  std::printf("still open\n");
  std::fflush(stdout);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "10,20,5\n11,20,5\n11,21,5\n#\nLINESTRING(10 20, 11 20, 11 21)\nstill open\n");
}

TEST_F(TextWriterTest, OpenFailureNamesTheFile) {
  const std::string name = path("missing/x.txt");
  testing::internal::CaptureStderr();
  TXTwriter txt;
  WKTwriter wkt;
  EXPECT_FALSE(txt.open(name.c_str()));
  EXPECT_FALSE(wkt.open(name.c_str()));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: cannot open file '" + name + "'\nERROR: cannot open WKT file '" + name + "'\n");
}

// /dev/full accepts the open and fails every write: the failure must surface at close.
TEST_F(TextWriterTest, WriteFailureMakesCloseAnswerFalse) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  for (int vertices : {1, 100000}) {  // caught at the final flush, and while writing
    TXTwriter txt;
    WKTwriter wkt;
    ASSERT_TRUE(txt.open("/dev/full"));
    ASSERT_TRUE(wkt.open("/dev/full"));
    for (int i = 0; i < vertices; i++) {
      txt.add_vertex(static_cast<float>(i), 1.5f, 2.5f);
      wkt.add_vertex(static_cast<float>(i), 1.5f, 2.5f);
    }
    testing::internal::CaptureStderr();
    EXPECT_FALSE(txt.close());
    EXPECT_FALSE(wkt.close());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ERROR: cannot write to '/dev/full'\nERROR: cannot write to '/dev/full'\n");
  }
}

}  // namespace
