#include "contour/line_thinning.h"

#include <gtest/gtest.h>

#include <array>
#include <set>
#include <string>
#include <vector>

namespace {

// The links of a hand-made line's vertex.
struct ChainLinks {
  uint32_t a = NO_RECORD;
  uint32_t b = NO_RECORD;
};

using Xy = std::array<float, 2>;

// A hand-made chain. Inner vertices alternate which link points forward, as the tracer's do.
struct TestChain {
  std::vector<ChainLinks> records;
  std::vector<Xy> where;
  std::set<uint32_t> released;

  TestChain(const std::vector<Xy>& points, bool loop) : records(points.size()), where(points) {
    const uint32_t n = static_cast<uint32_t>(points.size());
    for (uint32_t i = 0; i < n; i++) {
      const uint32_t forward = i + 1 < n ? i + 1 : (loop ? 0 : NO_RECORD);
      const uint32_t backward = i > 0 ? i - 1 : (loop ? n - 1 : NO_RECORD);
      if (i == 0 || i % 2 == 1) {
        records[i] = {forward, backward};
      } else {
        records[i] = {backward, forward};
      }
    }
    if (!loop && n > 1) records[n - 1] = {n - 2, NO_RECORD};  // an end keeps its link in a
  }

  ChainLinks& links(uint32_t v) {
    EXPECT_EQ(released.count(v), 0u) << "released vertex " << v << " still reached";
    return records[v];
  }
  void position(uint32_t v, float& x, float& y) const {
    x = where[v][0];
    y = where[v][1];
  }
  void release(uint32_t v) { EXPECT_TRUE(released.insert(v).second) << "vertex " << v << " released twice"; }

  // The positions along the chain from vertex 0, a loop's start repeated at its end.
  std::vector<Xy> walk() {
    std::vector<Xy> out{where[0]};
    uint32_t prev = 0;
    uint32_t cur = records[0].a;
    while (cur != NO_RECORD) {
      out.push_back(where[cur]);
      if (cur == 0) break;
      const uint32_t next = records[cur].a == prev ? records[cur].b : records[cur].a;
      prev = cur;
      cur = next;
    }
    return out;
  }
};

struct ThinningCase {
  std::string name;
  std::vector<Xy> points;
  bool loop;
  double threshold;
  std::vector<Xy> expected;  // the chain after thinning, a loop's start repeated at its end
};

void expect_thinned(TestChain& chain, const ThinningCase& c, int64_t removed) {
  EXPECT_EQ(chain.walk(), c.expected);
  const size_t kept = c.expected.size() - (c.loop ? 1 : 0);
  EXPECT_EQ(removed, static_cast<int64_t>(c.points.size() - kept));
  EXPECT_EQ(chain.released.size(), c.points.size() - kept);
}

TEST(LineThinning, ByArea) {
  const std::vector<ThinningCase> cases = {
      {"collinear middle goes", {{0, 0}, {1, 0}, {2, 0}}, false, 0.001, {{0, 0}, {2, 0}}},
      // Each triple has doubled area 0.05, but the chord from the first to the last vertex
      // deviates more: the window slides over the line as it was, so both middles go.
      {"gentle curve", {{0, 0}, {1, 0.1f}, {2, 0.25f}, {3, 0.45f}}, false, 0.06, {{0, 0}, {3, 0.45f}}},
      {"one segment stays", {{0, 0}, {5, 0}}, false, 100, {{0, 0}, {5, 0}}},
      {"zigzag stays", {{0, 0}, {1, 1}, {2, 0}, {3, 1}}, false, 1.5, {{0, 0}, {1, 1}, {2, 0}, {3, 1}}},
      {"area equal to threshold stays", {{0, 0}, {1, 1}, {2, 0}}, false, 2.0, {{0, 0}, {1, 1}, {2, 0}}},
      {"loop side midpoints go",
       {{0, 0}, {1, 0}, {2, 0}, {2, 2}, {0, 2}, {0, 1}},
       true,
       0.001,
       {{0, 0}, {2, 0}, {2, 2}, {0, 2}, {0, 0}}},
      {"loop start stays even when collinear",
       {{1, 0}, {2, 0}, {2, 2}, {0, 2}, {0, 0}},
       true,
       0.001,
       {{1, 0}, {2, 0}, {2, 2}, {0, 2}, {0, 0}, {1, 0}}},
      {"tiny loop keeps three vertices",
       {{0, 0}, {0.1f, 0}, {0.1f, 0.1f}, {0, 0.1f}},
       true,
       1.0,
       {{0, 0}, {0.1f, 0.1f}, {0, 0.1f}, {0, 0}}},
  };
  for (const ThinningCase& c : cases) {
    SCOPED_TRACE(c.name);
    TestChain chain(c.points, c.loop);
    expect_thinned(chain, c, thin_by_area(chain, 0, c.loop, c.threshold));
  }
}

TEST(LineThinning, ByDistance) {
  const std::vector<ThinningCase> cases = {
      {"reference moves to each kept vertex; the last kept becomes the end",
       {{0, 0}, {0.3f, 0}, {0.6f, 0}, {1.2f, 0}, {1.3f, 0}},
       false,
       0.5,
       {{0, 0}, {0.6f, 0}, {1.2f, 0}}},
      {"far end kept when far enough", {{0, 0}, {0.2f, 0}, {1, 0}}, false, 0.5, {{0, 0}, {1, 0}}},
      {"distance equal to threshold stays", {{0, 0}, {0.5f, 0}}, false, 0.5, {{0, 0}, {0.5f, 0}}},
      {"short line vanishes to its start", {{0, 0}, {0.3f, 0}}, false, 0.5, {{0, 0}}},
      // The closing segment back to the start is not tested: (0,0.1) stays though it is close.
      {"loop closing segment untested",
       {{0, 0}, {1, 0}, {1, 1}, {0, 0.1f}},
       true,
       0.5,
       {{0, 0}, {1, 0}, {1, 1}, {0, 0.1f}, {0, 0}}},
      {"small loop leaves its start linked to itself",
       {{0, 0}, {0.1f, 0}, {0.1f, 0.1f}, {0, 0.1f}},
       true,
       0.5,
       {{0, 0}, {0, 0}}},
  };
  for (const ThinningCase& c : cases) {
    SCOPED_TRACE(c.name);
    TestChain chain(c.points, c.loop);
    expect_thinned(chain, c, thin_by_distance(chain, 0, c.threshold));
  }
}

TEST(LineThinning, VanishedChainsAreRecognisableByTheirStart) {
  TestChain line({{0, 0}, {0.1f, 0}, {0.2f, 0}}, false);
  thin_by_distance(line, 0, 1.0);
  EXPECT_EQ(line.records[0].a, NO_RECORD);
  EXPECT_EQ(line.records[0].b, NO_RECORD);

  TestChain loop({{0, 0}, {0.1f, 0}, {0, 0.1f}}, true);
  thin_by_distance(loop, 0, 1.0);
  EXPECT_EQ(loop.records[0].a, 0u);
  EXPECT_EQ(loop.records[0].b, 0u);
}

TEST(LineThinning, LengthAndVertexCount) {
  TestChain line({{0, 0}, {3, 4}, {3, 5}}, false);
  EXPECT_DOUBLE_EQ(chain_length(line, 0), 6.0);
  EXPECT_EQ(chain_vertex_count(line, 0), 3);

  TestChain loop({{0, 0}, {3, 0}, {3, 4}}, true);
  EXPECT_DOUBLE_EQ(chain_length(loop, 0), 12.0);  // closing segment included
  EXPECT_EQ(chain_vertex_count(loop, 0), 3);
}

}  // namespace
