// LINEwriterClipper: lines cut at the rectangle's borders, loops opened where they leave it, and
// pieces of neighbouring rectangles meeting on their shared border.
#include "lineio/linewriter_clipper.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <vector>

namespace {

// Collects what reaches it, in real coordinates.
class Recorder : public LINEwriter {
 public:
  using Line = std::vector<std::array<double, 2>>;
  explicit Recorder(std::vector<Line>& lines) : lines_(lines) {}
  bool add_vertex(float x, float y, float) override {
    current_.push_back({double(x) + x_offset, double(y) + y_offset});
    return true;
  }
  bool add_segment(float, float, float, float, float, float) override { return false; }
  bool end_line() override {
    if (!current_.empty()) lines_.push_back(current_);
    current_.clear();
    return true;
  }
  bool close() override { return end_line(); }

 private:
  std::vector<Line>& lines_;
  Line current_;
};

std::vector<Recorder::Line> clip(const std::vector<std::array<float, 2>>& line, double min_x, double min_y,
                                 double max_x, double max_y) {
  std::vector<Recorder::Line> out;
  LINEwriterClipper clipper(std::make_unique<Recorder>(out), min_x, min_y, max_x, max_y);
  clipper.set_offset(1000, 2000, 0);
  for (const auto& v : line) clipper.add_vertex(v[0], v[1], 5);
  clipper.end_line();
  clipper.close();
  return out;
}

TEST(LINEwriterClipper, CutsLinesAtTheBorders) {
  // In, out through the right border, back in, out again.
  const auto pieces = clip({{0, 5}, {5, 5}, {15, 5}, {15, 8}, {5, 8}, {5, 12}}, 1000, 2000, 1010, 2010);
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0], (Recorder::Line{{1000, 2005}, {1005, 2005}, {1010, 2005}}));
  EXPECT_EQ(pieces[1], (Recorder::Line{{1010, 2008}, {1005, 2008}, {1005, 2010}}));
  // Wholly inside: unchanged, a loop stays closed; wholly outside: nothing.
  const auto loop = clip({{1, 1}, {4, 1}, {4, 4}, {1, 1}}, 1000, 2000, 1010, 2010);
  ASSERT_EQ(loop.size(), 1u);
  EXPECT_EQ(loop[0].size(), 4u);
  EXPECT_TRUE(clip({{20, 20}, {30, 30}}, 1000, 2000, 1010, 2010).empty());
  // A segment that only touches a corner adds nothing.
  EXPECT_TRUE(clip({{-5, 5}, {5, -5}}, 1000, 2000, 1010, 2010).empty());
}

TEST(LINEwriterClipper, ALoopAcrossTheBorderBecomesOnePieceNotTwo) {
  // The loop starts inside, leaves through the right border and comes back.
  const auto pieces = clip({{8, 4}, {12, 4}, {12, 6}, {8, 6}, {8, 4}}, 1000, 2000, 1010, 2010);
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_EQ(pieces[0], (Recorder::Line{{1010, 2006}, {1008, 2006}, {1008, 2004}, {1010, 2004}}));
  // The other side of the border gets the rest; the ends meet.
  const auto right = clip({{8, 4}, {12, 4}, {12, 6}, {8, 6}, {8, 4}}, 1010, 2000, 1020, 2010);
  ASSERT_EQ(right.size(), 1u);
  EXPECT_EQ(right[0].front(), pieces[0].back());
  EXPECT_EQ(right[0].back(), pieces[0].front());
}

}  // namespace
