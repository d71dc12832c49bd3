// The encoder writes streams this decoder reads back identically: every shared point file in
// every compressor its point type allows, with fixed and varying chunk sizes, and the field mask
// leaves the selected fields untouched.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "compression/record_writer.h"
#include "tests/compression/rkp_test_file.h"

namespace {

// Records of a shared file, decoded when it is compressed.
bool file_records(const std::string& name, LasFile& f, std::vector<uint8_t>& records, RekompDescriptor& d) {
  if (!load_las(shared_file(name), f)) return false;
  if (f.descriptor) {
    d = *f.descriptor;
    return decode_all(f, records) == f.points;
  }
  if (!d.setup(f.point_format, f.record_length, RekompDescriptor::POINTWISE_CHUNKED)) return false;
  records.assign(f.record(0), f.record(0) + f.points * f.record_length);
  return d.record_length() == f.record_length;
}

struct Layout {
  uint16_t compressor;
  uint16_t version;     // of the legacy items; the LAS 1.4 items keep theirs
  uint32_t chunk_size;  // kVaryingChunks: chunks are closed at random lengths
};

// Encodes records with the layout and decodes them again.
void round_trip(const RekompDescriptor& source, const std::vector<uint8_t>& records, uint64_t points,
                const Layout& layout, unsigned threads = 1) {
  RekompDescriptor d = source;
  d.compressor = layout.compressor;
  for (RkpItem& item : d.items) {
    if (item.type == RkpItem::POINT10 || item.type == RkpItem::GPSTIME11 || item.type == RkpItem::RGB12 ||
        item.type == RkpItem::BYTE)
      item.version = layout.version;
    if (item.type == RkpItem::WAVEPACKET13) item.version = 1;
    if (item.type >= RkpItem::POINT14) item.version = item.version == 4 ? 4 : 3;
  }
  d.chunk_size = layout.chunk_size;
  CompressedRecordWriter writer;
  ASSERT_TRUE(writer.setup(d));
  std::vector<uint8_t> file(123, 0xAB);  // stands for a header
  writer.init(&file);
  const uint32_t length = d.record_length();
  std::mt19937 rng(points);
  uint32_t in_chunk = 0, chunk_length = 1 + static_cast<uint32_t>(rng() % 3000);
  for (uint64_t i = 0; i < points; i++) {
    if (layout.chunk_size == RekompDescriptor::kVaryingChunks && layout.compressor != 1 &&
        ++in_chunk > chunk_length) {
      ASSERT_TRUE(writer.chunk());
      in_chunk = 1;
      chunk_length = 1 + static_cast<uint32_t>(rng() % 3000);
    }
    writer.write(records.data() + i * length);
  }
  writer.done();

  LasFile encoded;
  encoded.bytes = file;
  encoded.offset_to_point_data = 123;
  encoded.points = points;
  encoded.descriptor = d;
  std::vector<uint8_t> decoded;
  std::string error;
  ASSERT_EQ(decode_all(encoded, decoded, &error, 0xFFFFFFFFu, threads), points) << error;
  ASSERT_EQ(decoded.size(), records.size());
  for (uint64_t i = 0; i < points; i++) {
    ASSERT_EQ(0, std::memcmp(decoded.data() + i * length, records.data() + i * length, length))
        << "point " << i;
  }
}

class FileRoundTrip : public testing::TestWithParam<const char*> {};

TEST_P(FileRoundTrip, EveryLayoutDecodesToTheSamePoints) {
  if (!std::filesystem::exists(shared_file("simple.las")))
    GTEST_SKIP() << "no shared data in " << CM_SHARED_DATA_DIR;
  LasFile f;
  std::vector<uint8_t> records;
  RekompDescriptor d;
  ASSERT_TRUE(file_records(GetParam(), f, records, d));
  const bool las14 = d.items[0].type == RkpItem::POINT14;
  std::vector<Layout> layouts;
  if (las14) {
    layouts = {{3, 3, 50000}, {3, 3, RekompDescriptor::kVaryingChunks}, {3, 3, 1000}};
  } else {
    layouts = {{2, 2, 50000}, {2, 2, RekompDescriptor::kVaryingChunks}, {2, 1, 1000}, {1, 1, 0}, {1, 2, 0}};
  }
  for (const Layout& layout : layouts) {
    SCOPED_TRACE(testing::Message() << "compressor " << layout.compressor << " version " << layout.version
                                    << " chunk size " << layout.chunk_size);
    round_trip(d, records, f.points, layout);
  }
}

INSTANTIATE_TEST_SUITE_P(SharedFiles, FileRoundTrip,
                         testing::Values("simple.las", "simple-pointwise-v1.rkp", "simple-chunked-v2.rkp",
                                         "simple-fmt0-chunked-v2.rkp", "simple-layered-varchunks.rkp",
                                         "extrabytes-a.rkp", "extrabytes-b.rkp", "extrabytes.las",
                                         "evlr-1.4-fmt6.rkp", "autzen-trim.rkp", "autzen-core-layered.rkp",
                                         "fmt8-small.rkp", "fmt8-extra-bytes.rkp", "fmt10-waveform.rkp",
                                         "las11-fmt1.rkp", "ahn3-crop.rkp", "fmt0-500k.rkp",
                                         "autzen-trim-fmt7.las", "autzen-extra-fields.las", "hexbin-crop.las",
                                         "example-1.3-fmt3.las", "simple-1.1-fmt1.las", "simple-1.3-fmt4.las",
                                         "simple-1.4-fmt7.las", "wkt-and-geokeys-fmt6.las",
                                         "versions/1.2-fmt2.las"),
                         [](const testing::TestParamInfo<const char*>& param) {
                           std::string name = param.param;
                           for (char& c : name)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

// Synthetic LAS 1.4 points that exercise what real files may not: all four scanner channels,
// up to 15 returns, interleaved GPS time sequences and jumps that need a full time value.
std::vector<uint8_t> synthetic_point14(uint32_t points, uint32_t record_length, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> records(size_t(points) * record_length);
  double times[4] = {1000.0, 5e8, 2e5, 3e9};
  for (uint32_t i = 0; i < points; i++) {
    uint8_t* r = records.data() + size_t(i) * record_length;
    store_le(r, static_cast<int32_t>(i * 7 + rng() % 5));
    store_le(r + 4, static_cast<int32_t>(rng() % 1000));
    store_le(r + 8, static_cast<int32_t>(1000 + rng() % 50));
    store_le(r + 12, static_cast<uint16_t>(rng() % 4 ? 300 : rng()));
    const uint32_t n = 1 + static_cast<uint32_t>(rng() % 15);
    r[14] = static_cast<uint8_t>((1 + rng() % n) | (n << 4));
    r[15] =
        static_cast<uint8_t>((rng() % 16 == 0 ? rng() : 0) & 0xCF) | static_cast<uint8_t>((rng() % 4) << 4);
    r[16] = static_cast<uint8_t>(rng() % 8 ? 2 : rng());
    r[17] = static_cast<uint8_t>(rng() % 3);
    store_le(r + 18, static_cast<int16_t>(rng() % 10 ? -100 : int(rng() % 30000) - 15000));
    store_le(r + 20, static_cast<uint16_t>(rng() % 50 ? 7 : rng()));
    const int sequence = int(rng() % 4);
    if (rng() % 3) times[sequence] += static_cast<double>(rng() % 100) * 1e-5;
    if (rng() % 500 == 0) times[sequence] += 1e7;
    store_le(r + 22, times[sequence]);
    for (uint32_t b = 30; b < record_length; b++)
      r[b] = static_cast<uint8_t>(b < 36 && rng() % 3 ? 0 : rng());
  }
  return records;
}

TEST(LayeredRoundTrip, ChannelsReturnsAndTimeSequencesInBothVersions) {
  for (const uint16_t version : {uint16_t{3}, uint16_t{4}}) {
    RekompDescriptor d;
    d.compressor = RekompDescriptor::LAYERED_CHUNKED;
    d.items = {{RkpItem::POINT14, 30, version},
               {RkpItem::RGBNIR14, 8, version},
               {RkpItem::WAVEPACKET14, 29, version},
               {RkpItem::BYTE14, 20, version}};
    const auto records = synthetic_point14(7000, d.record_length(), version);
    for (uint32_t chunk : {50000u, 999u, RekompDescriptor::kVaryingChunks}) {
      SCOPED_TRACE(testing::Message() << "version " << version << " chunk size " << chunk);
      round_trip(d, records, 7000, {3, version, chunk});
      round_trip(d, records, 7000, {3, version, chunk}, 2);
    }
  }
}

TEST(LegacyRoundTrip, EveryItemVersionOnSyntheticPoints) {
  std::mt19937 rng(5);
  RekompDescriptor d;
  d.items = {{RkpItem::POINT10, 20, 2},
             {RkpItem::GPSTIME11, 8, 2},
             {RkpItem::RGB12, 6, 2},
             {RkpItem::WAVEPACKET13, 29, 1},
             {RkpItem::BYTE, 1, 2}};
  const uint32_t length = d.record_length();
  const uint32_t points = 6000;
  std::vector<uint8_t> records(size_t(points) * length);
  double times[4] = {1.0, 1e6, 3e8, -5.0};
  for (uint32_t i = 0; i < points; i++) {
    uint8_t* r = records.data() + size_t(i) * length;
    for (uint32_t b = 0; b < length; b++) r[b] = static_cast<uint8_t>(rng() % 4 ? b : rng());
    const int s = int(rng() % 4);
    times[s] += rng() % 7 ? 0.001 * static_cast<double>(rng() % 3) : 1e9;
    store_le(r + 20, times[s]);
    store_le(r + 49, static_cast<uint64_t>(i) * (rng() % 3 ? 29 : 1000003));  // wave packet offsets
  }
  for (const uint16_t version : {uint16_t{1}, uint16_t{2}}) {
    for (const uint16_t compressor : {uint16_t{1}, uint16_t{2}}) {
      SCOPED_TRACE(testing::Message() << "version " << version << " compressor " << compressor);
      round_trip(d, records, points, {compressor, version, compressor == 1 ? 0u : 777u});
    }
  }
}

}  // namespace
