// Decoding the shared compressed files: each equals its uncompressed twin record for record.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>
#include <tuple>

#include "tests/compression/rkp_test_file.h"

namespace {

bool have_shared_data() {
  return std::filesystem::exists(shared_file("simple.las"));
}

#define REQUIRE_SHARED_DATA() \
  if (!have_shared_data()) GTEST_SKIP() << "no shared data in " << CM_SHARED_DATA_DIR

struct Twin {
  const char* compressed;
  const char* plain;
  uint32_t bytes_compared;  // of each record, from its start; 0 for all
  bool reordered = false;   // the points are stored in another order: compare them as sets
};

std::vector<std::vector<uint8_t>> sorted_records(const uint8_t* data, uint64_t count, uint32_t length,
                                                 uint32_t stride) {
  std::vector<std::vector<uint8_t>> records;
  for (uint64_t i = 0; i < count; i++) records.emplace_back(data + i * stride, data + i * stride + length);
  std::sort(records.begin(), records.end());
  return records;
}

class TwinTest : public testing::TestWithParam<Twin> {};

TEST_P(TwinTest, EveryRecordEqualsTheTwin) {
  REQUIRE_SHARED_DATA();
  LasFile rkp, las;
  ASSERT_TRUE(load_las(shared_file(GetParam().compressed), rkp));
  ASSERT_TRUE(load_las(shared_file(GetParam().plain), las));
  ASSERT_TRUE(rkp.descriptor.has_value());
  ASSERT_EQ(rkp.points, las.points);
  std::vector<uint8_t> records;
  std::string error;
  ASSERT_EQ(decode_all(rkp, records, &error), rkp.points) << error;
  const uint32_t n = GetParam().bytes_compared ? GetParam().bytes_compared : las.record_length;
  const uint32_t length = rkp.descriptor->record_length();
  if (GetParam().reordered) {
    EXPECT_EQ(sorted_records(records.data(), rkp.points, n, length),
              sorted_records(las.record(0), las.points, n, las.record_length));
    return;
  }
  for (uint64_t i = 0; i < rkp.points; i++) {
    ASSERT_EQ(0, std::memcmp(records.data() + i * length, las.record(i), n)) << "point " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(SharedFiles, TwinTest,
                         testing::Values(Twin{"simple-pointwise-v1.rkp", "simple.las", 0},
                                         Twin{"simple-pointwise-v1-old.rkp", "simple.las", 0},
                                         Twin{"simple-chunked-v2.rkp", "simple.las", 0},
                                         Twin{"simple-fmt0-chunked-v2.rkp", "simple.las", 20},
                                         Twin{"extrabytes-a.rkp", "extrabytes.las", 0},
                                         Twin{"extrabytes-b.rkp", "extrabytes.las", 0},
                                         Twin{"autzen-trim.rkp", "autzen-trim.las", 0},
                                         Twin{"evlr-1.4-fmt6.rkp", "evlr-1.4-fmt6.las", 0},
                                         Twin{"autzen-core-layered.rkp", "autzen-core.las", 0, true}));

// The layered copy of simple.las holds its points in another order, in another point type and
// with another offset: the same points are the same real coordinates and attributes.
TEST(LayeredFiles, ReorderedAndReoffsetPointsAreTheSameSet) {
  REQUIRE_SHARED_DATA();
  LasFile rkp, las;
  ASSERT_TRUE(load_las(shared_file("simple-layered-varchunks.rkp"), rkp));
  ASSERT_TRUE(load_las(shared_file("simple.las"), las));
  std::vector<uint8_t> records;
  std::string error;
  ASSERT_EQ(decode_all(rkp, records, &error), las.points) << error;
  using Point = std::tuple<long, long, long, int, int, int, int, double, int, int, int>;
  auto real = [](const LasFile& f, const uint8_t* r, int axis) {
    return std::lround((load_le<int32_t>(r + 4 * axis) * f.scale[axis] + f.offset[axis]) * 100);
  };
  std::vector<Point> compressed, plain;
  for (uint64_t i = 0; i < las.points; i++) {
    const uint8_t* r = records.data() + i * 36;
    compressed.emplace_back(real(rkp, r, 0), real(rkp, r, 1), real(rkp, r, 2), load_le<uint16_t>(r + 12),
                            r[14] & 15, r[14] >> 4, r[16], load_le<double>(r + 22), load_le<uint16_t>(r + 30),
                            load_le<uint16_t>(r + 32), load_le<uint16_t>(r + 34));
    const uint8_t* p = las.record(i);
    plain.emplace_back(real(las, p, 0), real(las, p, 1), real(las, p, 2), load_le<uint16_t>(p + 12),
                       p[14] & 7, (p[14] >> 3) & 7, p[15] & 31, load_le<double>(p + 20),
                       load_le<uint16_t>(p + 28), load_le<uint16_t>(p + 30), load_le<uint16_t>(p + 32));
  }
  std::sort(compressed.begin(), compressed.end());
  std::sort(plain.begin(), plain.end());
  EXPECT_EQ(compressed, plain);
}

// Files without a twin decode completely, and their points agree with their headers.
class HeaderTest : public testing::TestWithParam<const char*> {};

TEST_P(HeaderTest, CountsReturnsAndBoundsMatchTheHeader) {
  REQUIRE_SHARED_DATA();
  LasFile f;
  ASSERT_TRUE(load_las(shared_file(GetParam()), f));
  ASSERT_TRUE(f.descriptor.has_value());
  std::vector<uint8_t> records;
  std::string error;
  ASSERT_EQ(decode_all(f, records, &error), f.points) << error;
  const uint32_t length = f.descriptor->record_length();
  const bool las14 = f.descriptor->items[0].type == RkpItem::POINT14;
  uint64_t by_return[16] = {};
  int32_t lo[3] = {INT32_MAX, INT32_MAX, INT32_MAX}, hi[3] = {INT32_MIN, INT32_MIN, INT32_MIN};
  for (uint64_t i = 0; i < f.points; i++) {
    const uint8_t* r = records.data() + i * length;
    // Writers count points without a return number (fmt0-500k.rkp has only those) as first returns.
    const int number = las14 ? (r[14] & 15) : (r[14] & 7);
    by_return[number == 0 ? 1 : number]++;
    for (int a = 0; a < 3; a++) {
      lo[a] = std::min(lo[a], load_le<int32_t>(r + 4 * a));
      hi[a] = std::max(hi[a], load_le<int32_t>(r + 4 * a));
    }
  }
  for (int k = 1; k <= (las14 ? 15 : 5); k++) EXPECT_EQ(by_return[k], f.by_return[k - 1]) << "return " << k;
  for (int a = 0; a < 3; a++) {
    EXPECT_NEAR(lo[a] * f.scale[a] + f.offset[a], f.min[a], f.scale[a] / 2) << "axis " << a;
    EXPECT_NEAR(hi[a] * f.scale[a] + f.offset[a], f.max[a], f.scale[a] / 2) << "axis " << a;
  }
}

INSTANTIATE_TEST_SUITE_P(SharedFiles, HeaderTest,
                         testing::Values("fmt8-small.rkp", "fmt8-extra-bytes.rkp", "fmt10-waveform.rkp",
                                         "las11-fmt1.rkp", "ahn3-crop.rkp", "fmt0-500k.rkp"));

// Any shared compressed file cut short at a random place never crashes, never decodes a point
// that differs from the whole file's, and never passes for complete unless nothing was missing.
class CutTest : public testing::TestWithParam<const char*> {};

TEST_P(CutTest, DeliversOnlyTruePointsAndFailsUnlessAllWereThere) {
  REQUIRE_SHARED_DATA();
  LasFile f;
  ASSERT_TRUE(load_las(shared_file(GetParam()), f));
  std::vector<uint8_t> whole;
  ASSERT_EQ(decode_all(f, whole), f.points);
  int cuts = 20;
#if defined(__SANITIZE_ADDRESS__)
  if (f.points > 100000) cuts = 4;  // the sanitizer build decodes ten times slower
#endif
  std::mt19937 rng(static_cast<unsigned>(f.bytes.size()));
  for (int k = 0; k < cuts; k++) {
    const size_t cut = f.offset_to_point_data + rng() % (f.bytes.size() - f.offset_to_point_data);
    std::vector<uint8_t> records;
    std::string error;
    const uint64_t n = decode_all(f, records, &error, field_mask::kAll, 2, cut);
    ASSERT_EQ(0, std::memcmp(records.data(), whole.data(), records.size())) << "cut at " << cut;
    if (n < f.points) {
      EXPECT_FALSE(error.empty()) << "cut at " << cut;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(SharedFiles, CutTest,
                         testing::Values("simple-pointwise-v1.rkp", "simple-pointwise-v1-old.rkp",
                                         "simple-chunked-v2.rkp", "simple-fmt0-chunked-v2.rkp",
                                         "simple-layered-varchunks.rkp", "extrabytes-a.rkp",
                                         "extrabytes-b.rkp", "evlr-1.4-fmt6.rkp", "autzen-trim.rkp",
                                         "autzen-core-layered.rkp", "fmt8-small.rkp", "fmt8-extra-bytes.rkp",
                                         "fmt10-waveform.rkp", "las11-fmt1.rkp", "ahn3-crop.rkp",
                                         "fmt0-500k.rkp", "bad/bad-chunk-table.rkp",
                                         "bad/zero-bounds-pointwise.rkp"));

}  // namespace
