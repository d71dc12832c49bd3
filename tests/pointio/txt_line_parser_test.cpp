// The parse string and one line of text: the point type a string calls for, separators, and the
// rules, clamps and warnings of every field.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/messages.h"
#include "pointio/detail/synthesizedheader.h"
#include "pointio/detail/txtlineparser.h"
#include "pointio/lasheader.h"
#include "pointio/laspoint.h"

namespace {

TEST(TextPointType, FollowsTheParseString) {
  struct Case {
    const char* parse;
    int type;
  };
  const Case cases[] = {
      {"xyz", 0},     {"xyzti", 1},     {"xyzRGB", 2}, {"xyztRGB", 3}, {"xyzH", 2},     {"txyzH", 3},
      {"xyzo", 6},    {"xyzl", 6},      {"xyztl", 6},  {"xyzRo", 7},   {"xyztRGBI", 8}, {"xyzI", 8},
      {"xyzsssi", 0}, {"xyzc0(12)", 0}, {"xyzE", 0},   {"xyzJ", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(text_point_type(c.parse), c.type) << c.parse;
}

// A parser with its header and point, for one parse string and point type.
struct Fixture {
  explicit Fixture(const char* parse, int type = -1, std::vector<LASattribute> attributes = {},
                   std::vector<TXTattributePrescale> prescales = {}, TXTvalueAdjustments adjust = {}) {
    if (type < 0) type = text_point_type(parse);
    header.set_attributes(std::move(attributes));
    EXPECT_TRUE(set_point_type(header, point, static_cast<uint8_t>(type)));
    compiled = parser.compile(parse, type, header, prescales, adjust);
  }
  // Parses `line`; the messages it printed land in `messages`.
  bool parse(const std::string& line) {
    MessageCollector collector;
    const bool ok = parser.parse(line, xyz, point);
    messages = collector.text();
    return ok;
  }
  LASheader header;
  LASpoint point;
  TXTlineParser parser;
  bool compiled = false;
  double xyz[3] = {0, 0, 0};
  std::string messages;
};

TEST(TextLineParser, SeparatorsAndFieldEnds) {
  struct Case {
    const char* line;
    bool parses;
    double x, y, z;
  };
  const Case cases[] = {
      {"1 2 3", true, 1, 2, 3},
      {"1,2,3", true, 1, 2, 3},
      {"1;2;3", true, 1, 2, 3},
      {"1\t2 ,, 3", true, 1, 2, 3},
      {"  -1.5e2 +2.25 .5  ", true, -150, 2.25, 0.5},
      {"12.5m 7ft 3", true, 12.5, 7, 3},  // the rest of a field up to its separator is skipped
      {"1 2 3 4 5", true, 1, 2, 3},
      {"1 2", false, 0, 0, 0},
      {"1 2 ", false, 0, 0, 0},
      {"x 2 3", false, 0, 0, 0},
      {"1 nan 3", false, 0, 0, 0},
      {"1 2 inf", false, 0, 0, 0},
      {"1 2 1e999", false, 0, 0, 0},
      {"++1 2 3", false, 0, 0, 0},
      {"", false, 0, 0, 0},
  };
  for (const Case& c : cases) {
    Fixture f("xyz");
    ASSERT_TRUE(f.compiled);
    EXPECT_EQ(f.parse(c.line), c.parses) << c.line;
    if (!c.parses) continue;
    EXPECT_DOUBLE_EQ(f.xyz[0], c.x) << c.line;
    EXPECT_DOUBLE_EQ(f.xyz[1], c.y) << c.line;
    EXPECT_DOUBLE_EQ(f.xyz[2], c.z) << c.line;
  }
  Fixture skip("sxsyz");
  ASSERT_TRUE(skip.parse("id7 10 name 20 30"));
  EXPECT_DOUBLE_EQ(skip.xyz[0], 10);
  EXPECT_DOUBLE_EQ(skip.xyz[2], 30);
}

// One field's value, what it stores and whether it warns.
struct FieldCase {
  const char* name;
  const char* parse;
  int type;
  const char* line;
  int expected;         // the stored value read back by `field`
  const char* warning;  // text the warning must contain, or "" for none
  int (*field)(const LASpoint&);
};

int intensity(const LASpoint& p) {
  return p.intensity;
}
int classification(const LASpoint& p) {
  return p.classification;
}
int extended_classification(const LASpoint& p) {
  return p.extended_classification;
}
int user_data(const LASpoint& p) {
  return p.user_data;
}
int point_source(const LASpoint& p) {
  return p.point_source_ID;
}
int scan_angle(const LASpoint& p) {
  return p.scan_angle_rank;
}
int extended_scan_angle(const LASpoint& p) {
  return p.extended_scan_angle;
}
int returns(const LASpoint& p) {
  return p.return_number * 10 + p.number_of_returns;
}
int extended_returns(const LASpoint& p) {
  return p.extended_return_number * 100 + p.extended_number_of_returns;
}
int withheld(const LASpoint& p) {
  return p.withheld_flag * 10 + ((p.extended_classification_flags >> 2) & 1);
}
int overlap(const LASpoint& p) {
  return (p.extended_classification_flags >> 3) & 1;
}
int channel(const LASpoint& p) {
  return p.extended_scanner_channel;
}
int red(const LASpoint& p) {
  return p.rgb[0];
}
int colour(const LASpoint& p) {
  return p.rgb[0] * 1000000 + p.rgb[1] * 1000 + p.rgb[2];
}
int edge_and_direction(const LASpoint& p) {
  return p.edge_of_flight_line * 10 + p.scan_direction_flag;
}

class TextFields : public ::testing::TestWithParam<FieldCase> {};

TEST_P(TextFields, StoreClampAndWarn) {
  const FieldCase& c = GetParam();
  Fixture f(c.parse, c.type);
  ASSERT_TRUE(f.compiled);
  ASSERT_TRUE(f.parse(c.line)) << c.line;
  EXPECT_EQ(c.field(f.point), c.expected) << c.line;
  if (*c.warning) {
    EXPECT_NE(f.messages.find(c.warning), std::string::npos) << f.messages;
  } else {
    EXPECT_EQ(f.messages, "");
  }
}

const FieldCase kFieldCases[] = {
    {"intensity", "xyzi", 0, "0 0 0 1234.4", 1234, "", intensity},
    {"intensity_rounds_half_up", "xyzi", 0, "0 0 0 7.5", 8, "", intensity},
    {"intensity_65536", "xyzi", 0, "0 0 0 65536", 65535,
     "WARNING: intensity 65536 is out of range of unsigned short", intensity},
    {"intensity_negative", "xyzi", 0, "0 0 0 -3", 0, "WARNING: intensity -3 is out of range", intensity},
    {"hex_intensity", "xyzJ", 0, "0 0 0 FFFFFF", 255, "", intensity},
    {"hex_intensity_prefix", "xyzJ", 0, "0 0 0 0x808080", 128, "", intensity},
    {"class_40_type_1", "xyzc", 1, "0 0 0 40", 31, "WARNING: classification 40 is larger than 31. clamping",
     classification},
    {"class_negative", "xyzc", 0, "0 0 0 -2", 0, "WARNING: classification -2 is negative. zeroing",
     classification},
    {"class_40_type_6", "xyzc", 6, "0 0 0 40", 40, "", extended_classification},
    {"class_40_type_6_legacy", "xyzc", 6, "0 0 0 40", 0, "", classification},
    {"class_300_type_6", "xyzc", 6, "0 0 0 300", 255,
     "WARNING: extended classification 300 is larger than 255", extended_classification},
    {"user_data_300", "xyzu", 0, "0 0 0 300", 255, "WARNING: user data 300 is out of range of unsigned char",
     user_data},
    {"point_source_70000", "xyzp", 0, "0 0 0 70000", 65535, "WARNING: point source ID 70000 is out of range",
     point_source},
    {"scan_angle_half_away", "xyza", 0, "0 0 0 -2.5", -3, "", scan_angle},
    {"scan_angle_200", "xyza", 0, "0 0 0 200", 127, "WARNING: scan angle 200 is out of range of char",
     scan_angle},
    {"extended_scan_angle", "xyza", 6, "0 0 0 15", 2500, "", extended_scan_angle},
    {"echo_0", "xyzE", 0, "0 0 0 0", 11, "", returns},
    {"echo_1", "xyzE", 0, "0 0 0 1", 12, "", returns},
    {"echo_2", "xyzE", 0, "0 0 0 2", 23, "", returns},
    {"echo_3", "xyzE", 0, "0 0 0 3", 22, "", returns},
    {"echo_7_as_2", "xyzE", 0, "0 0 0 7", 23, "WARNING: terrasolid echo encoding 7 is out of range of 0 to 3",
     returns},
    {"returns_three_bits", "xyzrn", 0, "0 0 0 2 9", 21,
     "WARNING: number of returns of given pulse 9 is out of range of three bits", returns},
    {"returns_four_bits", "xyzrn", 6, "0 0 0 12 14", 1214, "", extended_returns},
    {"return_16_four_bits", "xyzr", 6, "0 0 0 16", 1,
     "WARNING: return number 16 is out of range of four bits", extended_returns},
    {"withheld_set", "xyzh", 0, "0 0 0 1", 11, "", withheld},
    {"withheld_cleared", "xyzh", 0, "0 0 0 0", 0, "", withheld},
    {"withheld_2", "xyzh", 0, "0 0 0 2", 11, "WARNING: withheld flag 2 is out of range of single bit",
     withheld},
    {"overlap", "xyzo", 6, "0 0 0 1", 1, "", overlap},
    {"channel_5", "xyzl", 6, "0 0 0 5", 1, "WARNING: scanner channel 5 is out of range of two bits", channel},
    {"edge_and_direction", "xyzed", 0, "0 0 0 1 0", 10, "", edge_and_direction},
    {"edge_3", "xyze", 0, "0 0 0 3", 10,
     "WARNING: edge of flight line flag 3 is out of range of boolean flag", edge_and_direction},
    {"red", "xyzRGB", 2, "0 0 0 65535 1 2", 65535, "", red},
    {"hex_colour", "xyzH", 2, "0 0 0 \"FF8001\"", 255128001, "", colour},
};

INSTANTIATE_TEST_SUITE_P(Table, TextFields, ::testing::ValuesIn(kFieldCases),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(TextLineParser, FieldsThatDoNotScanFailTheLine) {
  const char* const cases[][2] = {
      {"xyzi", "1 2 3 bright"}, {"xyzc", "1 2 3 ground"}, {"xyzH", "1 2 3 FF80"}, {"xyzH", "1 2 3 GG0000"},
      {"xyzJ", "1 2 3 zz"},     {"xyzt", "1 2 3 nan"},    {"xyz0", "1 2 3 -"},
  };
  for (const auto& c : cases) {
    std::vector<LASattribute> attributes(1);
    attributes[0].data_type = 10;
    Fixture f(c[0], -1, attributes);
    ASSERT_TRUE(f.compiled) << c[0];
    EXPECT_FALSE(f.parse(c[1])) << c[0] << " " << c[1];
  }
}

LASattribute attribute(uint8_t data_type, double scale = 1.0, double offset = 0.0) {
  LASattribute a;
  a.data_type = data_type;
  if (scale != 1.0 || offset != 0.0) {
    a.options |= 8;
    a.scale[0] = scale;
  }
  if (offset != 0.0) {
    a.options |= 16;
    a.offset[0] = offset;
  }
  return a;
}

template <class T>
T stored(const Fixture& f, int index) {
  T v;
  std::memcpy(&v, f.point.extra_bytes.data() + f.header.attribute_starts[static_cast<size_t>(index)],
              sizeof v);
  return v;
}

TEST(TextLineParser, ExtraAttributesAreScaledRoundedAndClamped) {
  // U8, I16 with scale 0.1 and offset 100, F32 with pre-scale, U32, I32 and F64.
  const std::vector<LASattribute> attributes = {
      attribute(1), attribute(4, 0.1, 100.0), attribute(9), attribute(5), attribute(6), attribute(10)};
  const std::vector<TXTattributePrescale> prescales = {{}, {}, {2.0, 1.0}, {}, {}, {}};
  Fixture f("xyz012345", 0, attributes, prescales);
  ASSERT_TRUE(f.compiled);
  ASSERT_TRUE(f.parse("0 0 0 17.5 103.25 4 -6 -2.5 0.125"));
  EXPECT_EQ(stored<uint8_t>(f, 0), 18);
  EXPECT_EQ(stored<int16_t>(f, 1), 33);        // (103.25 - 100) / 0.1 = 32.5, half away from zero
  EXPECT_FLOAT_EQ(stored<float>(f, 2), 7.0f);  // 4 * 2 - 1
  EXPECT_EQ(stored<uint32_t>(f, 3), 0u);       // negative becomes 0
  EXPECT_EQ(stored<int32_t>(f, 4), -3);
  EXPECT_DOUBLE_EQ(stored<double>(f, 5), 0.125);
  EXPECT_EQ(f.messages, "");

  ASSERT_TRUE(f.parse("0 0 0 300 10000 0 0 0 0"));
  EXPECT_EQ(stored<uint8_t>(f, 0), 255);
  EXPECT_NE(f.messages.find("WARNING: attribute 0 of type U8 is 300. clamped to [0 255] range."),
            std::string::npos)
      << f.messages;
  EXPECT_EQ(stored<int16_t>(f, 1), 32767);
  EXPECT_NE(f.messages.find("WARNING: attribute 1 of type I16 is 99000. clamped to [-32768 32767] range."),
            std::string::npos)
      << f.messages;

  // Bracketed indices reach attributes 10 and up.
  std::vector<LASattribute> many(12, attribute(3));
  Fixture b("xyz(11)", 0, many);
  ASSERT_TRUE(b.compiled);
  ASSERT_TRUE(b.parse("1 2 3 70000"));
  EXPECT_EQ(stored<uint16_t>(b, 11), 65535);
  EXPECT_NE(b.messages.find("of type U16 is 70000"), std::string::npos);

  Fixture wide("xyz0", 0, {attribute(7)});
  ASSERT_TRUE(wide.compiled);
  EXPECT_FALSE(wide.parse("1 2 3 4"));
  EXPECT_NE(wide.messages.find("WARNING: attribute 0 not (yet) implemented."), std::string::npos);
}

TEST(TextLineParser, IntensityAndScanAngleAreTranslatedThenScaled) {
  TXTvalueAdjustments adjust;
  adjust.translate_intensity = 1024.0f;
  adjust.scale_intensity = 0.5f;
  adjust.translate_scan_angle = -10.0f;
  adjust.scale_scan_angle = 2.0f;
  Fixture f("xyzia", 0, {}, {}, adjust);
  ASSERT_TRUE(f.parse("0 0 0 976 15"));
  EXPECT_EQ(f.point.intensity, 1000);
  EXPECT_EQ(f.point.scan_angle_rank, 10);
}

TEST(TextLineParser, BadParseStringsAreRefusedWithTheirMessage) {
  struct Case {
    const char* parse;
    int attributes;
    const char* message;
  };
  const Case cases[] = {
      {"xyzq", 0, "ERROR: unknown symbol 'q' in parse string. valid are\n"},
      {"xyz(", 0, "ERROR: parse string opening bracket '(' misses extra bytes index.\n"},
      {"xyz(a)", 0, "ERROR: parse string opening bracket '(' misses extra bytes index.\n"},
      {"xyz(12", 13, "ERROR: extra bytes attribute '12' misses closing bracket.\n"},
      {"xyz(12)", 12, "ERROR: extra bytes attribute '12' was not described.\n"},
      {"xyz3", 3, "ERROR: extra bytes attribute '3' was not described.\n"},
  };
  for (const Case& c : cases) {
    MessageCollector messages;
    Fixture f(c.parse, 0, std::vector<LASattribute>(static_cast<size_t>(c.attributes), attribute(1)));
    EXPECT_FALSE(f.compiled) << c.parse;
    EXPECT_EQ(messages.text().find(c.message), 0u) << messages.text();
  }
  MessageCollector messages;
  Fixture f("xyz?", 0);
  EXPECT_NE(messages.text().find("       'E' : terrasolid <E>hco Encoding\n"), std::string::npos);
  EXPECT_NE(messages.text().find("       'J' : a hexadecimal string encoding the intensity\n"),
            std::string::npos);
}

TEST(TextLineParser, CountingPassKeepsOnlyCoordinatesAndReturns) {
  Fixture f("xyzcir", 1);
  f.parser.reduce_to_coordinates_and_returns();
  // Fields other than x, y, z and the return number are skipped, so their values cannot fail.
  ASSERT_TRUE(f.parse("1 2 3 ground bright 4"));
  EXPECT_EQ(f.parser.last_return_number(), 4);
  EXPECT_EQ(f.messages, "");
}

}  // namespace
