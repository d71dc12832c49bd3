// Decoding the shared compressed files: each equals its uncompressed twin record for record.
#include <gtest/gtest.h>

#include <filesystem>

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
};

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
                                         Twin{"autzen-trim.rkp", "autzen-trim.las", 0}));

}  // namespace
