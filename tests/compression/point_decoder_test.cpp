// The point decoder on streams written by the encoder: the field mask, seeking through the chunk
// table and without it, corrupt chunks, files cut short and damaged chunk tables.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "compression/record_writer.h"
#include "tests/compression/rkp_test_file.h"

namespace {

constexpr size_t kHeader = 100;

// A file of random terrain-like records of the given items, written with the given chunk size.
struct Encoded {
  LasFile file;
  std::vector<uint8_t> records;
  uint32_t length = 0;
};

Encoded encode(std::vector<RkpItem> items, uint16_t compressor, uint32_t chunk_size, uint32_t points,
               uint32_t seed = 1) {
  Encoded e;
  RekompDescriptor d;
  d.compressor = compressor;
  d.items = std::move(items);
  d.chunk_size = chunk_size;
  e.length = d.record_length();
  std::mt19937 rng(seed);
  e.records.resize(size_t(points) * e.length);
  for (uint32_t i = 0; i < points; i++) {
    uint8_t* r = e.records.data() + size_t(i) * e.length;
    for (uint32_t b = 0; b < e.length; b++) r[b] = static_cast<uint8_t>(rng() % 5 ? b * 3 : rng());
    store_le(r, static_cast<int32_t>(i * 10 + rng() % 7));
    store_le(r + 8, static_cast<int32_t>(rng() % 2000));
    if (d.items[0].type == RkpItem::POINT14) {
      r[14] = 0x11;
      r[15] &= 0xCF;
      store_le(r + 22, 100.0 + i * 0.25);
    }
  }
  CompressedRecordWriter writer;
  EXPECT_TRUE(writer.setup(d));
  e.file.bytes.assign(kHeader, 0);
  writer.init(&e.file.bytes);
  for (uint32_t i = 0; i < points; i++) {
    if (chunk_size == RekompDescriptor::kVaryingChunks && i > 0 && i % 700 == (i / 700) % 3) writer.chunk();
    writer.write(e.records.data() + size_t(i) * e.length);
  }
  writer.done();
  e.file.offset_to_point_data = kHeader;
  e.file.points = points;
  e.file.descriptor = d;
  return e;
}

const std::vector<RkpItem> kLegacy = {
    {RkpItem::POINT10, 20, 2}, {RkpItem::GPSTIME11, 8, 2}, {RkpItem::RGB12, 6, 2}};
const std::vector<RkpItem> kLayered = {
    {RkpItem::POINT14, 30, 3}, {RkpItem::RGB14, 6, 3}, {RkpItem::BYTE14, 20, 3}};

TEST(FieldMask, OnlyTheSelectedLayersChangeAndTheRestKeepTheChunksFirstPoint) {
  const Encoded e = encode(kLayered, 3, 1000, 3500);
  std::vector<uint8_t> all, z_only;
  ASSERT_EQ(decode_all(e.file, all), 3500u);
  ASSERT_EQ(decode_all(e.file, z_only, nullptr, field_mask::kZ), 3500u);
  EXPECT_EQ(all, e.records);
  for (uint32_t i = 0; i < 3500; i++) {
    const uint8_t* a = all.data() + size_t(i) * e.length;
    const uint8_t* z = z_only.data() + size_t(i) * e.length;
    const uint8_t* first = all.data() + size_t(i / 1000 * 1000) * e.length;
    ASSERT_EQ(0, std::memcmp(a, z, 12)) << "x, y and z of point " << i;
    ASSERT_EQ(0, std::memcmp(z + 12, first + 12, 2)) << "intensity of point " << i;
    ASSERT_EQ(0, std::memcmp(z + 16, first + 16, 14)) << "class to GPS time of point " << i;
    ASSERT_EQ(0, std::memcmp(z + 30, first + 30, 6)) << "colour of point " << i;
    // Extra bytes 16 to 19 have no selection bit and are always decoded.
    ASSERT_EQ(0, std::memcmp(z + 36, first + 36, 16)) << "extra bytes of point " << i;
    ASSERT_EQ(0, std::memcmp(z + 52, a + 52, 4)) << "extra bytes 16 to 19 of point " << i;
  }
  // Selecting a field does not change any other selected field.
  std::vector<uint8_t> some;
  ASSERT_EQ(decode_all(e.file, some, nullptr, field_mask::kZ | field_mask::kRgb | field_mask::kGpsTime),
            3500u);
  for (uint32_t i = 0; i < 3500; i++) {
    const uint8_t* a = all.data() + size_t(i) * e.length;
    const uint8_t* s = some.data() + size_t(i) * e.length;
    ASSERT_EQ(0, std::memcmp(a, s, 12));
    ASSERT_EQ(0, std::memcmp(a + 22, s + 22, 14));
  }
}

struct SeekCase {
  const char* name;
  std::vector<RkpItem> items;
  uint16_t compressor;
  uint32_t chunk_size;
  bool drop_table;  // the writer was interrupted before the table: chunks are found while reading
};

TEST(Seek, EveryTargetDeliversThePointSequentialReadingDelivers) {
  const SeekCase cases[] = {{"fixed", kLegacy, 2, 500, false},
                            {"varying", kLegacy, 2, RekompDescriptor::kVaryingChunks, false},
                            {"layered varying", kLayered, 3, RekompDescriptor::kVaryingChunks, false},
                            {"no table", kLegacy, 2, 500, true},
                            {"point-wise", kLegacy, 1, 0, false}};
  // With threads, a seek also stops the chunks being decoded ahead and starts them again there.
  for (const SeekCase& c : cases)
    for (unsigned threads : {1u, 3u}) {
      SCOPED_TRACE(std::string(c.name) + " threads " + std::to_string(threads));
      Encoded e = encode(c.items, c.compressor, c.chunk_size, 3000);
      if (c.drop_table) store_le(e.file.bytes.data() + kHeader, int64_t(kHeader));
      MemorySource source(e.file.bytes);
      RkpPointDecoder decoder;
      ASSERT_TRUE(decoder.setup(*e.file.descriptor, field_mask::kAll, threads));
      ASSERT_TRUE(decoder.init(&source, kHeader, 3000));
      std::mt19937 rng(7);
      std::vector<uint8_t> record(e.length);
      for (int k = 0; k < 60; k++) {
        const uint32_t target = k == 0 ? 2999 : static_cast<uint32_t>(rng() % 3000);
        ASSERT_TRUE(decoder.seek(target)) << target;
        for (uint32_t i = target; i < std::min(target + 3, 3000u); i++) {
          ASSERT_TRUE(decoder.read(record.data())) << i << " " << (decoder.error() ? decoder.error() : "");
          ASSERT_EQ(0, std::memcmp(record.data(), e.records.data() + size_t(i) * e.length, e.length)) << i;
        }
      }
      if (c.drop_table) {
        EXPECT_STREQ(decoder.warning(), "compressor was interrupted before writing chunk table of RKP file");
      }
      EXPECT_FALSE(decoder.seek(3000));
    }
}

TEST(CorruptChunk, IsReportedWithoutDeliveringItsPointsAndReadingGoesOnAtTheNext) {
  for (const auto& items : {kLegacy, kLayered})
    for (unsigned threads : {1u, 2u}) {
      SCOPED_TRACE(threads);
      Encoded e = encode(items, items[0].type == RkpItem::POINT14 ? 3 : 2, 300, 3000);
      // Chunk 3 of 10: damage a byte in the middle of its coded points.
      MemorySource probe(e.file.bytes);
      ByteInput in;
      in.attach(&probe, 0);
      ChunkTable table;
      std::string warning;
      const int64_t table_position = load_le<int64_t>(e.file.bytes.data() + kHeader);
      ASSERT_TRUE(read_chunk_table(in, table_position, kHeader + 8, false, e.length, table, warning));
      ASSERT_EQ(table.chunks(), 10u);
      e.file.bytes[size_t((table.starts[3] + table.starts[4]) / 2)] ^= 0x5A;
      MemorySource source(e.file.bytes);
      RkpPointDecoder decoder;
      ASSERT_TRUE(decoder.setup(*e.file.descriptor, field_mask::kAll, threads));
      ASSERT_TRUE(decoder.init(&source, kHeader, 3000));
      std::vector<uint8_t> record(e.length);
      for (uint32_t i = 0; i < 900; i++) ASSERT_TRUE(decoder.read(record.data()));
      EXPECT_FALSE(decoder.read(record.data()));
      EXPECT_STREQ(decoder.error(), "chunk with index 3 of 10 is corrupt");
      EXPECT_EQ(decoder.points_lost(), 300u);
      ASSERT_TRUE(decoder.read(record.data()));
      EXPECT_EQ(0, std::memcmp(record.data(), e.records.data() + size_t(1200) * e.length, e.length));
    }
}

TEST(Truncation, AFileCutShortDeliversOnlyTrueRecordsAndThenFails) {
  for (const auto& items : {kLegacy, kLayered}) {
    const uint16_t compressor = items[0].type == RkpItem::POINT14 ? 3 : 2;
    for (uint32_t chunk : {400u, RekompDescriptor::kVaryingChunks}) {
      const Encoded e = encode(items, compressor, chunk, 2000);
      std::mt19937 rng(chunk);
      for (int k = 0; k < 20; k++) {
        const size_t cut = kHeader + rng() % (e.file.bytes.size() - kHeader);
        std::vector<uint8_t> decoded;
        std::string error;
        const uint64_t n = decode_all(e.file, decoded, &error, field_mask::kAll, 1, cut);
        ASSERT_LT(n, 2000u) << "cut at " << cut;
        EXPECT_FALSE(error.empty()) << "cut at " << cut;
        ASSERT_EQ(0, std::memcmp(decoded.data(), e.records.data(), decoded.size())) << "cut at " << cut;
      }
    }
  }
}

TEST(ChunkTable, PositionInTheLastBytesAndTablesMissingOrCutShort) {
  Encoded e = encode(kLegacy, 2, 250, 1000);
  const int64_t table_position = load_le<int64_t>(e.file.bytes.data() + kHeader);
  std::vector<uint8_t> decoded;
  std::string error;
  // A writer that could not seek back stores -1 and appends the table's position.
  LasFile appended = e.file;
  store_le(appended.bytes.data() + kHeader, int64_t(-1));
  appended.bytes.resize(appended.bytes.size() + 8);
  store_le(appended.bytes.data() + appended.bytes.size() - 8, table_position);
  EXPECT_EQ(decode_all(appended, decoded), 1000u);
  EXPECT_EQ(decoded, e.records);

  // A table 100 bytes beyond the end: read without it, with the truncation warning.
  LasFile beyond = e.file;
  store_le(beyond.bytes.data() + kHeader, int64_t(beyond.bytes.size() + 100));
  MemorySource source(beyond.bytes);
  RkpPointDecoder decoder;
  ASSERT_TRUE(decoder.setup(*beyond.descriptor));
  ASSERT_TRUE(decoder.init(&source, kHeader, 1000));
  std::vector<uint8_t> record(e.length);
  for (uint32_t i = 0; i < 1000; i++) ASSERT_TRUE(decoder.read(record.data())) << i;
  EXPECT_STREQ(decoder.warning(),
               "chunk table and 100 bytes are missing. RKP file truncated during copy or transfer?");

  // Chunks of varying size cannot be read without their table.
  Encoded varying = encode(kLegacy, 2, RekompDescriptor::kVaryingChunks, 1000);
  store_le(varying.file.bytes.data() + kHeader, int64_t(kHeader));
  EXPECT_EQ(decode_all(varying.file, decoded, &error), 0u);
  EXPECT_EQ(error, "compressor was interrupted before writing adaptive chunk table of RKP file");
  // A table that claims more chunks than the file could hold sizes nothing and is damaged.
  Encoded lying = encode(kLegacy, 2, RekompDescriptor::kVaryingChunks, 1000);
  const int64_t at = load_le<int64_t>(lying.file.bytes.data() + kHeader);
  store_le(lying.file.bytes.data() + at + 4, uint32_t(0xFFFFFFF0));
  EXPECT_EQ(decode_all(lying.file, decoded, &error), 0u);
  EXPECT_EQ(error, "corrupt chunk table");
}

TEST(Threads, TwoCoresDeliverTheSamePointsInTheSameOrder) {
  for (const auto& items : {kLegacy, kLayered}) {
    const Encoded e = encode(items, items[0].type == RkpItem::POINT14 ? 3 : 2, 333, 5000);
    std::vector<uint8_t> one, two, four;
    ASSERT_EQ(decode_all(e.file, one, nullptr, field_mask::kAll, 1), 5000u);
    ASSERT_EQ(decode_all(e.file, two, nullptr, field_mask::kAll, 2), 5000u);
    ASSERT_EQ(decode_all(e.file, four, nullptr, field_mask::kAll, 4), 5000u);
    EXPECT_EQ(one, e.records);
    EXPECT_EQ(two, e.records);
    EXPECT_EQ(four, e.records);
  }
}

// A decoder used for file after file: once done, or set up again, it hands out nothing of the chunk
// it was reading, and the next file reads from its own first point.
TEST(Reuse, ADecoderSetUpAgainStartsFromTheNewFile) {
  const Encoded a = encode(kLegacy, 2, 1000, 2500, 1);
  const Encoded b = encode(kLegacy, 2, 1000, 2500, 2);
  ASSERT_NE(a.records, b.records);
  for (unsigned threads : {1u, 2u}) {
    RkpPointDecoder decoder;
    MemorySource source_a(a.file.bytes), source_b(b.file.bytes);
    std::vector<uint8_t> record(a.length);
    ASSERT_TRUE(decoder.setup(*a.file.descriptor, field_mask::kAll, threads));
    ASSERT_TRUE(decoder.init(&source_a, a.file.offset_to_point_data, a.file.points));
    for (int i = 0; i < 10; i++) ASSERT_TRUE(decoder.read(record.data()));
    decoder.done();
    EXPECT_FALSE(decoder.read(record.data())) << threads << " threads";

    ASSERT_TRUE(decoder.setup(*b.file.descriptor, field_mask::kAll, threads));
    EXPECT_FALSE(decoder.read(record.data())) << threads << " threads";
    ASSERT_TRUE(decoder.init(&source_b, b.file.offset_to_point_data, b.file.points));
    std::vector<uint8_t> all;
    for (uint32_t i = 0; i < b.file.points; i++) {
      ASSERT_TRUE(decoder.read(record.data())) << "point " << i << ", " << threads << " threads";
      all.insert(all.end(), record.begin(), record.end());
    }
    EXPECT_EQ(all, b.records) << threads << " threads";
  }
}

}  // namespace
