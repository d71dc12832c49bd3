// The tracer's storage: the index-addressed record pool and the edge map.
#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "contour/contour_pool.h"
#include "contour/contour_tracer.h"
#include "contour/edge_map.h"

namespace {

using VertexPool = RecordPool<ContourVertex, &ContourVertex::a>;

TEST(RecordPool, IndicesAcrossDoublingBlocksNameDistinctRecords) {
  // first block rounded up from 3 to 4: blocks of 4, 8, 16, 32 hold 60 records
  VertexPool pool("vertex", 3, 4);
  std::vector<uint32_t> taken;
  for (int i = 0; i < 60; i++) {
    taken.push_back(pool.take());
    const ContourVertex& fresh = pool[taken.back()];
    EXPECT_EQ(fresh.a, NO_RECORD);
    EXPECT_EQ(fresh.b, NO_RECORD);
    EXPECT_EQ(fresh.key, -1);
    pool[taken.back()].key = i;
    if (i == 3) {
      EXPECT_EQ(pool.block_count(), 1);
    }
    if (i == 4) {
      EXPECT_EQ(pool.block_count(), 2);
    }
  }
  EXPECT_EQ(pool.block_count(), 4);
  for (int i = 0; i < 60; i++) EXPECT_EQ(pool[taken[i]].key, i) << "record " << i << " overwritten";
  EXPECT_EQ(pool.high_water(), 60u);
}

TEST(RecordPool, FreedRecordsComeBackFirstAndReset) {
  VertexPool pool("vertex", 512, 16);
  const uint32_t first = pool.take();
  const uint32_t second = pool.take();
  pool[first] = ContourVertex{7, 8, 9};
  pool[second].key = 5;
  pool.give(first);
  const uint32_t again = pool.take();
  EXPECT_EQ(again, first);
  EXPECT_EQ(pool[again].a, NO_RECORD);
  EXPECT_EQ(pool[again].b, NO_RECORD);
  EXPECT_EQ(pool[again].key, -1);
  EXPECT_EQ(pool[second].key, 5);
  EXPECT_EQ(pool.high_water(), 2u);
}

TEST(RecordPool, LimitNamesTheRefusedBlockAndReleaseStartsOver) {
  RecordPool<ContourComponent, &ContourComponent::parent> pool("component", 2, 3);  // 2 + 4 + 8
  for (int i = 0; i < 14; i++) pool.take();
  try {
    pool.take();
    FAIL() << "a fourth block was allocated";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(
        std::string(e.what()),
        "ERROR: malloc for component buffer 16 failed: the contour component pool is full at 14 records");
  }
  pool.release();
  EXPECT_EQ(pool.block_count(), 0);
  EXPECT_EQ(pool.take(), 0u);
  EXPECT_EQ(pool.block_count(), 1);
  EXPECT_EQ(pool.capacity(), 2u);
}

// Random puts and takes against a reference map. Keys come in runs of neighbours, the way
// neighbouring triangles name their edges, so that probe runs collide and deletion has to shift.
TEST(EdgeMap, MatchesAReferenceMapThroughGrowthAndShrinking) {
  std::mt19937 random(7);
  EdgeMap map;
  std::unordered_map<int32_t, uint32_t> reference;
  std::vector<int32_t> present;
  uint32_t next_value = 0;
  for (int round = 0; round < 3; round++) {
    // fill to a few thousand entries, mixing in removals and misses
    while (present.size() < 5000) {
      const int32_t key = static_cast<int32_t>(random() % 40000) * 3 + static_cast<int32_t>(random() % 3);
      if (reference.count(key)) {
        ASSERT_EQ(map.take(key), reference[key]);
        reference.erase(key);
        std::erase(present, key);
      } else if (random() % 4 == 0) {
        ASSERT_EQ(map.take(key), EdgeMap::NOT_FOUND);
      } else {
        map.put(key, next_value);
        reference[key] = next_value++;
        present.push_back(key);
      }
      ASSERT_EQ(map.size(), reference.size());
    }
    EXPECT_LE(2 * map.size(), map.capacity());
    const size_t busiest = map.capacity();
    // drain in random order: every value comes back once and the table follows the count down
    std::shuffle(present.begin(), present.end(), random);
    for (size_t i = 0; i < present.size(); i++) {
      ASSERT_EQ(map.take(present[i]), reference[present[i]]) << "key " << present[i];
      ASSERT_EQ(map.take(present[i]), EdgeMap::NOT_FOUND);
      if (i + 10 == present.size()) {
        EXPECT_LE(map.capacity(), busiest / 64);
      }
    }
    EXPECT_EQ(map.size(), 0u);
    EXPECT_EQ(map.capacity(), size_t{EdgeMap::SHRINK_FLOOR});
    present.clear();
    reference.clear();
  }
  map.release();
  EXPECT_EQ(map.capacity(), 0u);
  EXPECT_EQ(map.take(3), EdgeMap::NOT_FOUND);
}

}  // namespace
