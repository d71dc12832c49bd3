#pragma once
// One test of a point filter: a family of interchangeable criteria behind virtual operations.

#include <cstdint>
#include <string>

#include "filter/command_writer.h"
#include "pointio/laspoint.h"

// A test simple enough for the filter to make without calling its criterion: a set of classes, a
// set of return numbers, or a pattern of the three flags beside the class. The criteria of these
// kinds describe themselves with one and make their own filter() through fast_test_drops, so the
// two ways cannot disagree.
struct LASfastTest {
  enum Kind : uint8_t { kNone, kClasses, kReturns, kFlags };
  Kind kind = kNone;
  // kClasses: a point of class 0 is judged by its extended class when that is not 0 (a LAS 1.4
  // class above 31); such a point is dropped when this is set.
  bool drops_extended_class = false;
  // kFlags: dropped when (flags & flag_mask) == flag_value; flags hold the synthetic, keypoint and
  // withheld flags in bits 0 to 2.
  uint8_t flag_mask = 0;
  uint8_t flag_value = 0;
  // kClasses, kReturns: bit c set drops the points of class (legacy return number) c.
  uint32_t drop_set = 0;
};

inline bool fast_test_drops(const LASfastTest& test, const LASpointFields& p) {
  switch (test.kind) {
    case LASfastTest::kClasses: {
      const uint32_t c = p.classification;
      if (c != 0) return (test.drop_set >> c) & 1u;
      if (p.extended_point_type && p.extended_classification != 0) return test.drops_extended_class;
      return test.drop_set & 1u;
    }
    case LASfastTest::kReturns:
      return (test.drop_set >> p.return_number) & 1u;
    case LASfastTest::kFlags: {
      const uint32_t flags =
          uint32_t{p.synthetic_flag} | uint32_t{p.keypoint_flag} << 1 | uint32_t{p.withheld_flag} << 2;
      return (flags & test.flag_mask) == test.flag_value;
    }
    default:
      return false;
  }
}

class LAScriterion {
 public:
  virtual ~LAScriterion() = default;
  // The criterion's name ("keep_class", "drop_z_below", "filter_and", ...).
  virtual const char* name() const = 0;
  // The option words that create this criterion, each followed by one blank.
  virtual void write_command(CommandWriter& out) const = 0;
  // The point fields the test reads.
  virtual uint32_t get_decompress_selective() const = 0;
  // True when the point is dropped.
  virtual bool filter(const LASpoint& point) = 0;
  // The test this criterion makes, when the filter can make it without a call (kind kNone else).
  virtual LASfastTest fast_test() const { return {}; }
  // Forgets what earlier points left behind; nothing for stateless criteria.
  virtual void reset() {}

  // The command in the listing style, as messages show it.
  std::string get_command() const {
    std::string s;
    CommandWriter out(s, CommandWriter::kListing);
    write_command(out);
    return s;
  }
};
