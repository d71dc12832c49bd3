// Byte streams: the end-of-data contract, seeking limits, byte order and buffer growth.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "pointio/bytestreamin.h"
#include "pointio/bytestreamout.h"

namespace {

std::string temp_path(const char* name) {
  return ::testing::TempDir() + name;
}

// The same checks run against both input variants.
struct InputCase {
  const char* name;
  std::function<std::unique_ptr<ByteStreamIn>(const std::vector<uint8_t>&)> make;
};

class ByteStreamInBoth : public ::testing::TestWithParam<InputCase> {
 protected:
  void TearDown() override {
    if (file_) fclose(file_);
  }
  std::unique_ptr<ByteStreamIn> make(const std::vector<uint8_t>& bytes) {
    data_ = bytes;
    if (std::string(GetParam().name) == "array")
      return std::make_unique<ByteStreamInArray>(data_.data(), data_.size());
    file_ = tmpfile();
    fwrite(data_.data(), 1, data_.size(), file_);
    rewind(file_);
    return std::make_unique<ByteStreamInFile>(file_);
  }
  std::vector<uint8_t> data_;
  FILE* file_ = nullptr;
};

TEST_P(ByteStreamInBoth, ShortReadThrowsEndOfData) {
  auto in = make({1, 2, 3, 4, 5, 6, 7});
  uint8_t buffer[8];
  in->get_bytes(buffer, 2);
  try {
    in->get_bytes(buffer, 8);
    FAIL() << "no exception";
  } catch (const ByteStreamError& e) {
    EXPECT_EQ(e.code, kEndOfData);
  }
  if (std::string(GetParam().name) == "array") {
    EXPECT_EQ(in->tell(), 2);
  }
  EXPECT_TRUE(in->seek(6));
  EXPECT_EQ(in->get_byte(), 7u);
  EXPECT_THROW(in->get_byte(), ByteStreamError);
}

TEST_P(ByteStreamInBoth, EndianReads) {
  auto in = make({0x00, 0x00, 0x27, 0x0A, 0x0A, 0x27, 0x00, 0x00, 0x12, 0x34, 1, 2, 3, 4, 5, 6, 7, 8});
  uint32_t be = 0, le = 0;
  uint16_t be16 = 0;
  uint64_t be64 = 0;
  in->get32_be(reinterpret_cast<uint8_t*>(&be));
  in->get32_le(reinterpret_cast<uint8_t*>(&le));
  in->get16_be(reinterpret_cast<uint8_t*>(&be16));
  in->get64_be(reinterpret_cast<uint8_t*>(&be64));
  EXPECT_EQ(be, 9994u);
  EXPECT_EQ(le, 9994u);
  EXPECT_EQ(be16, 0x1234);
  EXPECT_EQ(be64, 0x0102030405060708ull);
}

TEST_P(ByteStreamInBoth, SeekingAndSize) {
  auto in = make(std::vector<uint8_t>(100, 7));
  EXPECT_TRUE(in->is_seekable());
  EXPECT_EQ(in->size(), 100);
  EXPECT_EQ(in->tell(), 0);  // size() leaves the position alone
  EXPECT_TRUE(in->skip_bytes(10));
  EXPECT_EQ(in->tell(), 10);
  EXPECT_TRUE(in->seek_end(4));
  EXPECT_EQ(in->tell(), 96);
  EXPECT_TRUE(in->seek(100));
  EXPECT_THROW(in->get_byte(), ByteStreamError);
}

INSTANTIATE_TEST_SUITE_P(Variants, ByteStreamInBoth,
                         ::testing::Values(InputCase{"array", nullptr}, InputCase{"file", nullptr}),
                         [](const ::testing::TestParamInfo<InputCase>& p) {
                           return std::string(p.param.name);
                         });

TEST(ByteStreamInArray, SeekBeyondSizeIsRefusedAndKeepsPosition) {
  const uint8_t bytes[5] = {1, 2, 3, 4, 5};
  ByteStreamInArray in(bytes, 5);
  in.get_byte();
  EXPECT_FALSE(in.seek(6));
  EXPECT_FALSE(in.seek(-1));
  EXPECT_FALSE(in.seek_end(6));
  EXPECT_EQ(in.tell(), 1);
}

TEST(ByteStreamInFile, SeekToCurrentPositionDoesNotTouchTheFile) {
  FILE* f = tmpfile();
  fputs("abcdef", f);
  rewind(f);
  ByteStreamInFile in(f);
  uint8_t three[3];
  in.get_bytes(three, 3);
  // A pushed-back character survives only if no real seek happens.
  ungetc('Z', f);
  const int64_t here = in.tell();
  EXPECT_EQ(here, 2);
  EXPECT_TRUE(in.seek(here));
  EXPECT_EQ(in.get_byte(), uint32_t('Z'));
  fclose(f);
}

TEST(ByteStreamInFile, StandardInputIsNotSeekable) {
  ByteStreamInFile in(stdin);
  EXPECT_FALSE(in.is_seekable());
  EXPECT_EQ(in.size(), -1);
  ByteStreamOutFile out(stdout);
  EXPECT_FALSE(out.is_seekable());
}

TEST(ByteStreamOutArray, GrowsGeometricallyAndTracksSize) {
  ByteStreamOutArray out(0);
  std::vector<int64_t> capacities;
  for (int i = 0; i < 40000; i++) {
    ASSERT_TRUE(out.put_byte(uint8_t(i)));
    if (capacities.empty() || capacities.back() != out.get_capacity())
      capacities.push_back(out.get_capacity());
  }
  EXPECT_EQ(capacities, (std::vector<int64_t>{4096, 8192, 16384, 32768, 65536}));
  EXPECT_EQ(out.get_size(), 40000);
  EXPECT_EQ(out.tell(), 40000);
  EXPECT_EQ(out.get_data()[39999], uint8_t(39999 % 256));
  // A large block grows the buffer to what it needs at once.
  std::vector<uint8_t> block(200000, 7);
  ASSERT_TRUE(out.put_bytes(block.data(), uint32_t(block.size())));
  EXPECT_EQ(out.get_capacity(), 240000);
  const std::vector<uint8_t> taken = out.take_data();
  EXPECT_EQ(taken.size(), 240000u);
  EXPECT_EQ(taken[40000], 7);
  EXPECT_EQ(out.get_size(), 0);
}

TEST(ByteStreamOutArray, OverwriteAfterSeekKeepsSizeAndReadsBack) {
  ByteStreamOutArray out(4);
  const uint32_t value = 9994;
  const uint64_t big = 0x0102030405060708ull;
  ASSERT_TRUE(out.put32_be(reinterpret_cast<const uint8_t*>(&value)));
  ASSERT_TRUE(out.put64_le(reinterpret_cast<const uint8_t*>(&big)));
  EXPECT_EQ(out.get_size(), 12);
  ASSERT_TRUE(out.seek(0));
  ASSERT_TRUE(out.put_byte(0xFF));
  EXPECT_EQ(out.get_size(), 12);
  EXPECT_FALSE(out.seek(13));
  ASSERT_TRUE(out.seek_end());
  EXPECT_EQ(out.tell(), 12);

  ByteStreamInArray in(out.get_data(), out.get_size());
  EXPECT_EQ(in.get_byte(), 0xFFu);
  in.seek(0);
  uint32_t back = 0;
  in.skip_bytes(1);
  in.seek(0);
  in.get_bytes(reinterpret_cast<uint8_t*>(&back), 4);
  EXPECT_EQ(back & 0xFFFFFF00u, 0x0A270000u);  // the big-endian bytes 00 00 27 0A, first overwritten
  uint64_t big_back = 0;
  in.get64_le(reinterpret_cast<uint8_t*>(&big_back));
  EXPECT_EQ(big_back, big);
}

TEST(ByteStreamOutFile, WritesAndReportsFailure) {
  const std::string path = temp_path("bytestream_out.bin");
  FILE* f = fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  {
    ByteStreamOutFile out(f);
    const uint16_t v = 0x1234;
    EXPECT_TRUE(out.put16_be(reinterpret_cast<const uint8_t*>(&v)));
    EXPECT_TRUE(out.put_byte(7));
    EXPECT_EQ(out.tell(), 3);
  }
  fclose(f);
  FILE* r = fopen(path.c_str(), "rb");
  ByteStreamInFile in(r);
  EXPECT_EQ(in.get_byte(), 0x12u);
  EXPECT_EQ(in.get_byte(), 0x34u);
  EXPECT_EQ(in.get_byte(), 7u);
  fclose(r);

  // A stream opened for reading cannot take bytes: the failure is reported, not swallowed.
  FILE* ro = fopen(path.c_str(), "rb");
  ByteStreamOutFile bad(ro);
  const uint8_t bytes[4] = {1, 2, 3, 4};
  EXPECT_FALSE(bad.put_bytes(bytes, 4));
  EXPECT_FALSE(bad.put_byte(1));
  fclose(ro);
  unlink(path.c_str());
}

}  // namespace
