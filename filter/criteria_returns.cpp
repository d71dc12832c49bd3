// Criteria on return numbers and counts, the flags and the scanner channel.
#include <cstdio>

#include "common/messages.h"
#include "filter/detail/criteria.h"
#include "filter/detail/criterion_templates.h"
#include "pointio/laspointstage.h"

namespace filter_detail {

namespace {

using las_fields::kFlags;

// r and n are the legacy 3-bit return number and number of returns.
constexpr bool first_return(const LASpoint& p) {
  return p.return_number == 1;
}
constexpr bool later_return(const LASpoint& p) {
  return p.return_number > 1;
}
constexpr bool before_last(const LASpoint& p) {
  return p.return_number < p.number_of_returns;
}
constexpr bool last_return(const LASpoint& p) {
  return p.return_number >= p.number_of_returns;
}
constexpr bool of_many(const LASpoint& p) {
  return p.number_of_returns > 1;
}
constexpr bool middle(const LASpoint& p) {
  return p.return_number > 1 && p.return_number < p.number_of_returns;
}
constexpr bool second_last(const LASpoint& p) {
  return p.number_of_returns > 1 && p.number_of_returns == p.return_number + 1;
}

const char* const kCountNames[] = {"single", "double", "triple", "quadruple", "quintuple"};

// keep_single ... keep_quintuple and their drop forms; a count above 5 keeps the name quintuple
// but tests its own number.
class NumberOfReturns final : public LAScriterion {
 public:
  NumberOfReturns(bool keep, uint32_t number) : keep_(keep), number_(number) {
    const uint32_t k = number >= 1 && number <= 5 ? number - 1 : 4;
    std::snprintf(name_, sizeof name_, "%s_%s", keep ? "keep" : "drop", kCountNames[k]);
  }
  const char* name() const override { return name_; }
  void write_command(CommandWriter& out) const override {
    if (number_ >= 1 && number_ <= 5) {
      out.option(name_);
    } else {
      out.option(keep_ ? "keep_number_of_returns" : "drop_number_of_returns");
      out.value(number_);
    }
  }
  uint32_t get_decompress_selective() const override { return 0; }
  bool filter(const LASpoint& p) override { return (p.number_of_returns == number_) != keep_; }

 private:
  bool keep_;
  uint32_t number_;
  char name_[24];
};

// Drops a point whose scan direction flag equals that of the previous point it saw, and the
// first point.
class KeepScanDirectionChange final : public LAScriterion {
 public:
  const char* name() const override { return "keep_scan_direction_change"; }
  void write_command(CommandWriter& out) const override { out.option(name()); }
  uint32_t get_decompress_selective() const override { return kFlags; }
  bool filter(const LASpoint& p) override {
    const int flag = p.scan_direction_flag;
    const bool drop = previous_ == kNone || flag == previous_;
    previous_ = flag;
    return drop;
  }
  void reset() override { previous_ = kNone; }

 private:
  static constexpr int kNone = -1;
  int previous_ = kNone;
};

template <auto Drop>
std::unique_ptr<LAScriterion> plain(const char* name, uint32_t mask) {
  return std::make_unique<PlainCriterion<Drop>>(name, mask);
}

// A test of the synthetic, keypoint and withheld flags, which the filter makes without a call.
class FlagCriterion final : public LAScriterion {
 public:
  FlagCriterion(const char* name, uint8_t mask, uint8_t value)
      : name_(name), test_{.kind = LASfastTest::kFlags, .flag_mask = mask, .flag_value = value} {}
  const char* name() const override { return name_; }
  void write_command(CommandWriter& out) const override { out.option(name_); }
  uint32_t get_decompress_selective() const override { return kFlags; }
  bool filter(const LASpoint& p) override { return fast_test_drops(test_, p); }
  LASfastTest fast_test() const override { return test_; }

 private:
  const char* name_;
  LASfastTest test_;
};

std::unique_ptr<LAScriterion> flag_test(const char* name, uint8_t mask, uint8_t value) {
  return std::make_unique<FlagCriterion>(name, mask, value);
}

std::unique_ptr<LAScriterion> make_count(const ArgValues&, bool keep, uint32_t number) {
  return std::make_unique<NumberOfReturns>(keep, number);
}

std::unique_ptr<LAScriterion> make_scanner_channel(const ArgValues& a, bool keep, uint32_t channel) {
  if (channel > 3) {
    print_out_of_range(a.option, 0, 3, channel);
    return nullptr;
  }
  if (keep)
    return std::make_unique<BoundCriterion<uint32_t, get_scanner_channel, Relation::kNotEqual>>(
        "keep_scanner_channel", 0, channel);
  return std::make_unique<BoundCriterion<uint32_t, get_scanner_channel, Relation::kEqual>>(
      "drop_scanner_channel", 0, channel);
}

std::unique_ptr<LAScriterion> make_return_mask(const ArgValues& a, bool keep) {
  const uint32_t m = a.u32[0];
  if (m > 65535) {
    print_message("ERROR: '%s' needs a return_mask between 0 and %u but return_mask is %u\n", a.option,
                  65535u, m);
    return nullptr;
  }
  return keep ? make_keep_return_mask(m) : make_drop_return_mask(m);
}

const CriterionOption kOptions[] = {
    {"-keep_first", "", "", [](const ArgValues&) { return plain<later_return>("keep_first", 0); }},
    {"-first_only", "", "", [](const ArgValues&) { return plain<later_return>("keep_first", 0); }},
    {"-drop_first", "", "", [](const ArgValues&) { return plain<first_return>("drop_first", 0); }},
    {"-keep_last", "", "", [](const ArgValues&) { return plain<before_last>("keep_last", 0); }},
    {"-last_only", "", "", [](const ArgValues&) { return plain<before_last>("keep_last", 0); }},
    {"-drop_last", "", "", [](const ArgValues&) { return plain<last_return>("drop_last", 0); }},
    {"-keep_first_of_many", "", "",
     [](const ArgValues&) {
       return plain<([](const LASpoint& p) { return !of_many(p) || later_return(p); })>("keep_first_of_many",
                                                                                        0);
     }},
    {"-drop_first_of_many", "", "",
     [](const ArgValues&) {
       return plain<([](const LASpoint& p) { return of_many(p) && first_return(p); })>("drop_first_of_many",
                                                                                       0);
     }},
    {"-keep_last_of_many", "", "",
     [](const ArgValues&) {
       return plain<([](const LASpoint& p) { return first_return(p) || before_last(p); })>(
           "keep_last_of_many", 0);
     }},
    {"-drop_last_of_many", "", "",
     [](const ArgValues&) {
       return plain<([](const LASpoint& p) { return of_many(p) && last_return(p); })>("drop_last_of_many", 0);
     }},
    {"-keep_middle", "", "",
     [](const ArgValues&) {
       return plain<([](const LASpoint& p) { return !middle(p); })>("keep_middle", 0);
     }},
    {"-drop_middle", "", "", [](const ArgValues&) { return plain<middle>("drop_middle", 0); }},
    {"-keep_second_last", "", "",
     [](const ArgValues&) {
       return plain<([](const LASpoint& p) { return !second_last(p); })>("keep_second_last", 0);
     }},
    {"-drop_second_last", "", "", [](const ArgValues&) { return plain<second_last>("drop_second_last", 0); }},
    {"-keep_single", "", "", [](const ArgValues& a) { return make_count(a, true, 1); }},
    {"-keep_double", "", "", [](const ArgValues& a) { return make_count(a, true, 2); }},
    {"-keep_triple", "", "", [](const ArgValues& a) { return make_count(a, true, 3); }},
    {"-keep_quadruple", "", "", [](const ArgValues& a) { return make_count(a, true, 4); }},
    {"-keep_quintuple", "", "", [](const ArgValues& a) { return make_count(a, true, 5); }},
    {"-drop_single", "", "", [](const ArgValues& a) { return make_count(a, false, 1); }},
    {"-drop_double", "", "", [](const ArgValues& a) { return make_count(a, false, 2); }},
    {"-drop_triple", "", "", [](const ArgValues& a) { return make_count(a, false, 3); }},
    {"-drop_quadruple", "", "", [](const ArgValues& a) { return make_count(a, false, 4); }},
    {"-drop_quintuple", "", "", [](const ArgValues& a) { return make_count(a, false, 5); }},
    {"-keep_number_of_returns", "number", "u",
     [](const ArgValues& a) { return make_count(a, true, a.u32[0]); }},
    {"-drop_number_of_returns", "number", "u",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       if (a.u32[0] > 15) {
         print_out_of_range(a.option, 0, 15, a.u32[0]);
         return nullptr;
       }
       return make_count(a, false, a.u32[0]);
     }},
    {"-keep_return_mask", "return_mask", "u", [](const ArgValues& a) { return make_return_mask(a, true); }},
    {"-drop_return_mask", "return_mask", "u", [](const ArgValues& a) { return make_return_mask(a, false); }},
    {"-drop_scan_direction", "direction", "u",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       if (a.u32[0] > 1) {
         print_out_of_range(a.option, 0, 1, a.u32[0]);
         return nullptr;
       }
       return std::make_unique<BoundCriterion<uint32_t, get_scan_direction, Relation::kEqual>>(
           "drop_scan_direction", kFlags, a.u32[0]);
     }},
    {"-keep_scan_direction_change", "", "",
     [](const ArgValues&) -> std::unique_ptr<LAScriterion> {
       return std::make_unique<KeepScanDirectionChange>();
     }},
    {"-keep_edge_of_flight_line", "", "",
     [](const ArgValues&) {
       return plain<([](const LASpoint& p) { return p.edge_of_flight_line == 0; })>(
           "keep_edge_of_flight_line", kFlags);
     }},
    {"-keep_scanner_channel", "channel", "d",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       if (a.i32[0] < 0) {
         print_out_of_range(a.option, 0, 3, a.i32[0]);
         return nullptr;
       }
       return make_scanner_channel(a, true, static_cast<uint32_t>(a.i32[0]));
     }},
    {"-drop_scanner_channel", "channel", "u",
     [](const ArgValues& a) { return make_scanner_channel(a, false, a.u32[0]); }},
    {"-keep_synthetic", "", "", [](const ArgValues&) { return flag_test("keep_synthetic", 1, 0); }},
    {"-drop_synthetic", "", "", [](const ArgValues&) { return flag_test("drop_synthetic", 1, 1); }},
    {"-keep_keypoint", "", "", [](const ArgValues&) { return flag_test("keep_keypoint", 2, 0); }},
    {"-drop_keypoint", "", "", [](const ArgValues&) { return flag_test("drop_keypoint", 2, 2); }},
    {"-keep_withheld", "", "", [](const ArgValues&) { return flag_test("keep_withheld", 4, 0); }},
    {"-drop_withheld", "", "", [](const ArgValues&) { return flag_test("drop_withheld", 4, 4); }},
    {"-keep_overlap", "", "",
     [](const ArgValues&) {
       return plain<([](const LASpoint& p) { return !overlap_flag(p); })>("keep_overlap", kFlags);
     }},
    {"-drop_overlap", "", "", [](const ArgValues&) { return plain<overlap_flag>("drop_overlap", kFlags); }},
};

}  // namespace

std::span<const CriterionOption> return_criterion_options() {
  return kOptions;
}

}  // namespace filter_detail
