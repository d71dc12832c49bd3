// The strict number reader: what is a number, of which kind, and in which range.
#include "common/numbers.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

struct WordCase {
  const char* word;
  NumberVerdict as_double;
  NumberVerdict as_float;
  NumberVerdict as_int32;
  NumberVerdict as_uint32;
};

constexpr NumberVerdict kOk = NumberVerdict::kOk;
constexpr NumberVerdict kNo = NumberVerdict::kNotANumber;
constexpr NumberVerdict kOut = NumberVerdict::kOutOfRange;

const WordCase kWords[] = {
    {"5", kOk, kOk, kOk, kOk},
    {"+5", kOk, kOk, kOk, kOk},
    {"-5", kOk, kOk, kOk, kOut},
    {"0", kOk, kOk, kOk, kOk},
    {"-0", kOk, kOk, kOk, kOk},
    {"2.5", kOk, kOk, kNo, kNo},
    {".5", kOk, kOk, kNo, kNo},
    {"5.", kOk, kOk, kNo, kNo},
    {"1e3", kOk, kOk, kNo, kNo},
    {"1e39", kOk, kNo, kNo, kNo},
    {"1e400", kNo, kNo, kNo, kNo},
    {"3000000000", kOk, kOk, kOut, kOk},
    {"5000000000", kOk, kOk, kOut, kOut},
    {"99999999999999999999", kOk, kOk, kNo, kNo},
    {"", kNo, kNo, kNo, kNo},
    {"abc", kNo, kNo, kNo, kNo},
    {"1x", kNo, kNo, kNo, kNo},
    {"5 ", kNo, kNo, kNo, kNo},
    {" 5", kNo, kNo, kNo, kNo},
    {"0x10", kNo, kNo, kNo, kNo},
    {"+-5", kNo, kNo, kNo, kNo},
    {"++5", kNo, kNo, kNo, kNo},
    {"+", kNo, kNo, kNo, kNo},
    {"-", kNo, kNo, kNo, kNo},
    {"nan", kNo, kNo, kNo, kNo},
    {"-nan", kNo, kNo, kNo, kNo},
    {"inf", kNo, kNo, kNo, kNo},
    {"-infinity", kNo, kNo, kNo, kNo},
    {"1,5", kNo, kNo, kNo, kNo},
};

TEST(ReadNumber, WholeWordFiniteAndOfItsKind) {
  for (const WordCase& c : kWords) {
    double d = 7.0;
    float f = 7.0f;
    int32_t i = 7;
    uint32_t u = 7;
    EXPECT_EQ(read_number(c.word, d), c.as_double) << "'" << c.word << "' as double";
    EXPECT_EQ(read_number(c.word, f), c.as_float) << "'" << c.word << "' as float";
    EXPECT_EQ(read_number(c.word, i), c.as_int32) << "'" << c.word << "' as int32";
    EXPECT_EQ(read_number(c.word, u), c.as_uint32) << "'" << c.word << "' as uint32";
    // A word that is refused leaves the value as it was.
    if (c.as_double != kOk) {
      EXPECT_EQ(d, 7.0) << c.word;
    }
    if (c.as_int32 != kOk) {
      EXPECT_EQ(i, 7) << c.word;
    }
  }
}

TEST(ReadNumber, ValuesAreExact) {
  double d = 0;
  ASSERT_EQ(read_number("-122.123456789012", d), kOk);
  EXPECT_EQ(d, -122.123456789012);
  int64_t big = 0;
  ASSERT_EQ(read_number("-9007199254740993", big), kOk);
  EXPECT_EQ(big, -9007199254740993LL);  // not rounded through a double
  uint32_t u = 0;
  ASSERT_EQ(read_number("4294967295", u), kOk);
  EXPECT_EQ(u, 4294967295u);
  float f = 0;
  ASSERT_EQ(read_number("0.1", f), kOk);
  EXPECT_EQ(f, 0.1f);
}

TEST(ReadNumber, RangesAreCheckedAfterTheKind) {
  double d = 0;
  EXPECT_EQ(read_number("0", d, NumberRange::positive()), kOut);
  EXPECT_EQ(read_number("1e-300", d, NumberRange::positive()), kOk);
  EXPECT_EQ(read_number("0", d, NumberRange::non_negative()), kOk);
  EXPECT_EQ(read_number("-1e-300", d, NumberRange::non_negative()), kOut);
  EXPECT_EQ(read_number("abc", d, NumberRange::positive()), kNo);
  int32_t i = 0;
  EXPECT_EQ(read_number("60", i, NumberRange::between(1, 60)), kOk);
  EXPECT_EQ(read_number("61", i, NumberRange::between(1, 60)), kOut);
  EXPECT_EQ(read_number("0", i, NumberRange::between(1, 60)), kOut);
  EXPECT_EQ(i, 60);
}

TEST(DescribeNumber, NamesTheRule) {
  EXPECT_EQ(describe_number(false, NumberRange::any()), "a number");
  EXPECT_EQ(describe_number(true, NumberRange::any()), "a whole number");
  EXPECT_EQ(describe_number(false, NumberRange::positive()), "a positive number");
  EXPECT_EQ(describe_number(true, NumberRange::positive()), "a positive whole number");
  EXPECT_EQ(describe_number(false, NumberRange::non_negative()), "a non-negative number");
  EXPECT_EQ(describe_number(true, NumberRange::between(1, 60)), "a whole number from 1 to 60");
  EXPECT_EQ(describe_number(true, limited_to<uint32_t>(NumberRange::any())),
            "a whole number from 0 to 4294967295");
  EXPECT_EQ(describe_number(false, NumberRange::between(-0.5, 2.25)), "a number from -0.5 to 2.25");
  EXPECT_EQ(describe_number(false, {-std::numeric_limits<double>::infinity(), 5, false}),
            "a number of at most 5");
}

}  // namespace
