// The pieces of the range coder against values worked out by hand, and encoder-decoder round
// trips that must end exactly at the last byte of a block.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "compression/integer_coder.h"
#include "compression/models.h"
#include "compression/range_decoder.h"
#include "compression/range_encoder.h"

namespace {

TEST(BitModel, FreshModelSplitsInHalvesAndUpdatesAfterFourBits) {
  BitModel m;
  m.init();
  EXPECT_EQ(m.bit_0_prob, 4096u);
  std::vector<uint8_t> out;
  RangeEncoder enc;
  enc.init(&out);
  for (int i = 0; i < 3; i++) enc.encode_bit(m, 0);
  EXPECT_EQ(m.bit_0_prob, 4096u);  // no update before the fourth bit
  enc.encode_bit(m, 0);
  // bit count 2 + 4 = 6, zeros 1 + 4 = 5: (5 * (2^31 / 6)) >> 18 = 6826.
  EXPECT_EQ(m.bit_count, 6u);
  EXPECT_EQ(m.bit_0_count, 5u);
  EXPECT_EQ(m.bit_0_prob, 6826u);
  EXPECT_EQ(m.update_cycle, 5u);
}

TEST(BitModel, UpdatePeriodsGrowByFiveQuartersUpTo64) {
  BitModel m;
  m.init();
  std::vector<uint32_t> periods;
  for (int i = 0; i < 17; i++) {
    periods.push_back(m.bits_until_update);
    m.update();
  }
  EXPECT_EQ(periods, (std::vector<uint32_t>{4, 5, 6, 7, 8, 10, 12, 15, 18, 22, 27, 33, 41, 51, 63, 64, 64}));
}

TEST(BitModel, CountsAreHalvedAbove8192) {
  BitModel m;
  m.init();
  m.bit_count = 8190;
  m.bit_0_count = 8000;
  m.update_cycle = 4;
  m.update();  // 8194 > 8192: (8194 + 1) >> 1 = 4097, (8000 + 1) >> 1 = 4000
  EXPECT_EQ(m.bit_count, 4097u);
  EXPECT_EQ(m.bit_0_count, 4000u);
  // Equal counts would give a zero probability for 1: the total is nudged up.
  m.bit_count = 8190;
  m.bit_0_count = 8193;
  m.update_cycle = 4;
  m.update();
  EXPECT_EQ(m.bit_0_count, 4097u);
  EXPECT_EQ(m.bit_count, 4098u);
}

TEST(SymbolModel, FreshDistributionAndFirstUpdate) {
  SymbolModel m(5);
  ASSERT_TRUE(m.init());
  // 2^31 / 5 = 429496729; (429496729 * k) >> 16 for k = 0 .. 4.
  EXPECT_EQ(std::vector<uint32_t>(m.distribution, m.distribution + 5),
            (std::vector<uint32_t>{0, 6553, 13107, 19660, 26214}));
  EXPECT_EQ(m.symbols_until_update, 5u);  // (5 + 6) >> 1
  std::vector<uint8_t> out;
  RangeEncoder enc;
  enc.init(&out);
  for (int i = 0; i < 5; i++) enc.encode_symbol(m, 4);
  // Counts 1, 1, 1, 1, 6, total 5 + 5 = 10: scale 2^31 / 10, cycle min(25 >> 2, 88) = 6.
  EXPECT_EQ(m.total_count, 10u);
  EXPECT_EQ(m.distribution[4], (214748364u * 4) >> 16);
  EXPECT_EQ(m.update_cycle, 6u);
}

TEST(SymbolModel, UpdateCycleIsCappedAndCountsHalvedAbove32768) {
  SymbolModel m(2);
  ASSERT_TRUE(m.init());
  uint32_t cycle = 0;
  for (int i = 0; i < 40; i++) {
    m.update();
    cycle = m.update_cycle;
  }
  EXPECT_EQ(cycle, (2u + 6) * 8);
  m.counts[0] = 30000;
  m.counts[1] = 2767;
  m.total_count = 32767;
  m.update_cycle = 2;
  m.update();  // 32769 > 32768: counts (30001 >> 1, 2768 >> 1)
  EXPECT_EQ(m.counts[0], 15000u);
  EXPECT_EQ(m.counts[1], 1384u);
  EXPECT_EQ(m.total_count, 16384u);
}

TEST(SymbolModel, RefusesAlphabetsOutsideTwoTo2048) {
  EXPECT_FALSE(SymbolModel(1).init());
  EXPECT_FALSE(SymbolModel(2049).init());
  EXPECT_TRUE(SymbolModel(2048).init());
  EXPECT_EQ(SymbolModel(33, false).table, nullptr);  // encoders need no table
}

// The decoder's lookup table must bracket the symbol of every scaled value: table[t] <= symbol <=
// table[t + 1] for the cell t the value falls in, whatever the counts and the table's size.
TEST(SymbolModel, LookupTableBracketsTheSymbolOfEveryValue) {
  for (uint32_t symbols : {2u, 6u, 17u, 33u, 64u, 256u, 516u, 2048u}) {
    for (uint32_t skew : {0u, 1u, 2u}) {
      std::vector<uint32_t> counts(symbols, 1);
      for (uint32_t k = 0; k < symbols; k++) {
        if (skew == 1) counts[k] = k < 3 ? 5000 : 1;        // nearly all in the first symbols
        if (skew == 2) counts[k] = (k * 7919u) % 13u + 1u;  // ragged
      }
      SymbolModel m(symbols);
      ASSERT_TRUE(m.init(counts.data()));
      ASSERT_NE(m.table, nullptr);
      uint32_t symbol = 0;
      for (uint32_t dv = 0; dv < kSymbolMaxCount; dv++) {
        while (symbol + 1 < symbols && m.distribution[symbol + 1] <= dv) symbol++;
        const uint32_t t = dv >> m.table_shift;
        ASSERT_LE(m.table[t], symbol) << symbols << " symbols, skew " << skew << ", value " << dv;
        ASSERT_GE(m.table[t + 1], symbol) << symbols << " symbols, skew " << skew << ", value " << dv;
      }
    }
  }
}

struct CorrectorCase {
  uint32_t bits, range;
  uint32_t corrector_bits, corrector_range;
  int32_t min, max;
};

TEST(IntegerCoder, CorrectorRanges) {
  const CorrectorCase cases[] = {{1, 0, 1, 2, -1, 0},
                                 {8, 0, 8, 256, -128, 127},
                                 {16, 0, 16, 65536, -32768, 32767},
                                 {31, 0, 31, 1u << 31, INT32_MIN / 2, INT32_MAX / 2},
                                 {32, 0, 32, 0, INT32_MIN, INT32_MAX},
                                 {0, 0, 32, 0, INT32_MIN, INT32_MAX},
                                 {16, 100, 7, 100, -50, 49},
                                 {16, 128, 7, 128, -64, 63},
                                 {16, 129, 8, 129, -64, 64}};
  for (const auto& c : cases) {
    IntegerCoder ic(c.bits, 1, 8, c.range);
    SCOPED_TRACE(testing::Message() << "bits " << c.bits << " range " << c.range);
    EXPECT_EQ(ic.corrector_bits(), c.corrector_bits);
    EXPECT_EQ(ic.corrector_range(), c.corrector_range);
    EXPECT_EQ(ic.corrector_min(), c.min);
    EXPECT_EQ(ic.corrector_max(), c.max);
  }
}

// Encodes with encode(), then decodes the bytes with decode() and checks that the decoder ends
// exactly at the last byte of the block.
template <class Encode, class Decode>
void round_trip(Encode encode, Decode decode) {
  std::vector<uint8_t> out;
  RangeEncoder enc;
  enc.init(&out);
  encode(enc);
  enc.done();
  ByteInput in;
  in.attach(out.data(), out.size());
  RangeDecoder dec;
  ASSERT_TRUE(dec.init(&in));
  decode(dec);
  EXPECT_EQ(in.tell(), int64_t(out.size()));
}

TEST(IntegerCoder, EightBitValuesWrapAroundTheirRange) {
  IntegerCoder e(8), d(8);
  round_trip(
      [&](RangeEncoder& enc) {
        e.init_compressor();
        e.compress(enc, 250, 4);   // corrector 10, not -246
        EXPECT_EQ(e.get_k(), 4u);  // 10 - 1 = 9 has 4 significant bits
      },
      [&](RangeDecoder& dec) {
        d.init_decompressor();
        EXPECT_EQ(d.decompress(dec, 250), 4);
        EXPECT_EQ(d.get_k(), 4u);
      });
}

TEST(IntegerCoder, FullRangeCorrectorOfClass32) {
  IntegerCoder e(32), d(32);
  round_trip(
      [&](RangeEncoder& enc) {
        e.init_compressor();
        e.compress(enc, 0, INT32_MIN);
        EXPECT_EQ(e.get_k(), 32u);
        e.compress(enc, 5, 5 + INT32_MIN);      // wraps, and is still class 32
        e.compress(enc, INT32_MAX, INT32_MIN);  // corrector +1 after wrapping
      },
      [&](RangeDecoder& dec) {
        d.init_decompressor();
        EXPECT_EQ(d.decompress(dec, 0), INT32_MIN);
        EXPECT_EQ(d.get_k(), 32u);
        EXPECT_EQ(d.decompress(dec, 5), 5 + INT32_MIN);
        EXPECT_EQ(d.decompress(dec, INT32_MAX), INT32_MIN);
        EXPECT_EQ(d.get_k(), 0u);
      });
}

TEST(IntegerCoder, RandomValuesInEveryWidthAndContext) {
  for (uint32_t bits : {1u, 8u, 16u, 20u, 31u, 32u}) {
    SCOPED_TRACE(bits);
    std::mt19937 rng(bits);
    std::vector<std::tuple<int32_t, int32_t, uint32_t>> values;
    const uint32_t mask = bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
    for (int i = 0; i < 5000; i++) {
      const uint32_t scale = 1u << (rng() % 32);
      const uint32_t prediction = static_cast<uint32_t>(rng()) & mask;
      const uint32_t real =
          (i % 3 == 0 ? prediction + static_cast<uint32_t>(rng() % scale) : static_cast<uint32_t>(rng())) &
          mask;
      values.emplace_back(static_cast<int32_t>(prediction), static_cast<int32_t>(real), rng() % 3);
    }
    IntegerCoder e(bits, 3), d(bits, 3);
    round_trip(
        [&](RangeEncoder& enc) {
          e.init_compressor();
          for (auto [p, r, c] : values) e.compress(enc, p, r, c);
        },
        [&](RangeDecoder& dec) {
          d.init_decompressor();
          for (auto [p, r, c] : values) ASSERT_EQ(d.decompress(dec, p, c), r);
        });
  }
}

TEST(RangeCoder, RawBitsUpTo32And64BitValues) {
  round_trip(
      [](RangeEncoder& enc) {
        enc.write_bits(32, 0x12345678u);
        enc.write_bits(32, 0x12345678u);
        enc.write_bits(20, 0xABCDEu);
        enc.write_bits(19, 0x7FFFFu);
        enc.write_bits(1, 1);
        enc.write_int64(0x0123456789ABCDEFull);
        enc.write_int(0xFFFFFFFFu);
      },
      [](RangeDecoder& dec) {
        EXPECT_EQ(dec.read_bits(32), 0x12345678u);
        // 32 raw bits are sent as the low 16 first.
        EXPECT_EQ(dec.read_short(), 0x5678u);
        EXPECT_EQ(dec.read_short(), 0x1234u);
        EXPECT_EQ(dec.read_bits(20), 0xABCDEu);
        EXPECT_EQ(dec.read_bits(19), 0x7FFFFu);
        EXPECT_EQ(dec.read_bits(1), 1u);
        EXPECT_EQ(dec.read_int64(), 0x0123456789ABCDEFull);
        EXPECT_EQ(dec.read_int(), 0xFFFFFFFFu);
      });
}

TEST(RangeCoder, MixedModelsEndExactlyAtTheBlockEnd) {
  for (int seed = 0; seed < 20; seed++) {
    std::mt19937 rng(seed);
    const int n = int(rng() % 3000);
    std::vector<std::pair<int, uint32_t>> ops;
    for (int i = 0; i < n; i++) {
      const int kind = int(rng() % 4);
      const uint32_t skew = rng() % 8;  // from uniform to nearly constant
      uint32_t v = static_cast<uint32_t>(rng());
      if (kind == 0) v = (v % 8) < skew ? 0 : 1;
      if (kind == 1) v = (v % 8) < skew ? 3 : v % 300;
      if (kind == 2) v = (v % 8) < skew ? 7 : v % 12;
      ops.emplace_back(kind, v);
    }
    BitModel eb, db;
    SymbolModel es(300, false), ds(300), es12(12, false), ds12(12);
    round_trip(
        [&](RangeEncoder& enc) {
          eb.init(), es.init(), es12.init();
          for (auto [kind, v] : ops) {
            if (kind == 0) enc.encode_bit(eb, v);
            if (kind == 1) enc.encode_symbol(es, v);
            if (kind == 2) enc.encode_symbol(es12, v);
            if (kind == 3) enc.write_bits(1 + v % 32, v >> (31 - v % 32));
          }
        },
        [&](RangeDecoder& dec) {
          db.init(), ds.init(), ds12.init();
          for (auto [kind, v] : ops) {
            uint32_t got = 0, want = v;
            if (kind == 0) got = dec.decode_bit(db);
            if (kind == 1) got = dec.decode_symbol(ds);
            if (kind == 2) got = dec.decode_symbol(ds12);
            if (kind == 3) got = dec.read_bits(1 + v % 32), want = v >> (31 - v % 32);
            ASSERT_EQ(got, want);
          }
        });
  }
}

TEST(RangeDecoder, ImpossibleRawValuesAreCorruptAndMissingBytesTheEnd) {
  // value 0xFFFFFFFE over a length of 0xFFFFFFFF >> 19 = 8191 gives 524352 > 2^19 - 1.
  const uint8_t bytes[] = {0xFF, 0xFF, 0xFF, 0xFE, 0, 0, 0, 0};
  ByteInput in;
  in.attach(bytes, sizeof(bytes));
  RangeDecoder dec;
  dec.init(&in);
  try {
    dec.read_bits(19);
    FAIL() << "no exception";
  } catch (const CodecError& e) {
    EXPECT_EQ(e.code, kCodecCorrupt);
  }
  // No encoder starts a block with four 0xFF bytes.
  const uint8_t ones[] = {0xFF, 0xFF, 0xFF, 0xFF};
  in.attach(ones, sizeof(ones));
  EXPECT_THROW(dec.init(&in), CodecError);
  in.attach(ones, 3);
  try {
    dec.init(&in);
    FAIL() << "no exception";
  } catch (const CodecError& e) {
    EXPECT_EQ(e.code, kCodecEndOfData);
  }
}

}  // namespace
