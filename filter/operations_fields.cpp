// Operations on intensity, scan angle, returns, classification, flags, user data, point source and
// GPS time.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/messages.h"
#include "filter/detail/attribute_value.h"
#include "filter/detail/fast_operations.h"
#include "filter/detail/operation_templates.h"
#include "filter/detail/operations.h"
#include "filter/detail/text_tables.h"
#include "filter/lastransform.h"
#include "pointio/laspointstage.h"

namespace filter_detail {

namespace {

using las_fields::kAllExtraBytes;
using las_fields::kClassification;
using las_fields::kFlags;
using las_fields::kGpsTime;
using las_fields::kIntensity;
using las_fields::kNir;
using las_fields::kPointSource;
using las_fields::kRgb;
using las_fields::kScanAngle;
using las_fields::kUserData;
using las_fields::kZ;

using U1 = One<uint32_t>;
using U2 = Two<uint32_t>;
using U3 = Three<uint32_t>;
using F1 = One<float>;
using F2 = Two<float>;
using D1 = One<double>;
using D2 = Two<double>;
using D3 = Three<double>;

// Prints `format` with the value and the limit when argument k is above the limit.
bool at_most(const ArgValues& a, int k, uint32_t limit, const char* format) {
  if (a.u32[k] <= limit) return true;
  print_message(format, a.u32[k], limit);
  return false;
}

// A table of replacement values, applied to one 8- or 16-bit field.
class MapOperation final : public LASoperation {
 public:
  enum Field { kMapIntensity, kMapUserData, kMapPointSource };
  MapOperation(Field field, std::string file_name, std::vector<uint32_t> table)
      : field_(field), file_name_(std::move(file_name)), table_(table.begin(), table.end()) {}
  const char* name() const override {
    static const char* const names[] = {"map_intensity", "map_user_data", "map_point_source"};
    return names[field_];
  }
  void write_command(CommandWriter& out) const override {
    out.option(name());
    out.quoted(file_name_);
  }
  uint32_t get_decompress_selective() const override {
    static const uint32_t masks[] = {kIntensity, kUserData, kPointSource};
    return masks[field_];
  }
  void transform(LASpoint& p) override {
    switch (field_) {
      case kMapIntensity:
        p.intensity = table_[p.intensity];
        break;
      case kMapUserData:
        p.user_data = static_cast<uint8_t>(table_[p.user_data]);
        break;
      case kMapPointSource:
        p.point_source_ID = table_[p.point_source_ID];
        break;
    }
  }

 private:
  Field field_;
  std::string file_name_;
  std::vector<uint16_t> table_;  // 65536 entries (256 for user data), first the identity
};

std::unique_ptr<LASoperation> map_field(const ArgValues& a, MapOperation::Field field, uint32_t limit,
                                        const char* cannot_open) {
  std::vector<uint32_t> table(static_cast<size_t>(limit) + 1);
  for (uint32_t v = 0; v <= limit; v++) table[v] = v;
  if (!load_value_map(a.option, a.text[0], limit, cannot_open, table)) return nullptr;
  return std::make_unique<MapOperation>(field, a.text[0], std::move(table));
}

constexpr const char* kMapCannotOpen = "ERROR: '%s' needs text file with map but '%s' cannot be opened\n";

// A value below a bound, above it or between two, that sets a class.
struct ClassifyRule {
  double a, b;  // b only for between
  uint32_t classification;
  int count;  // 2 or 3 arguments
  uint32_t index = 0;
  bool with_index = false;
  void write(CommandWriter& out) const {
    if (with_index) out.value(index);
    out.value(a);
    if (count == 3) out.value(b);
    out.value(classification);
  }
};

struct IntensityRule {
  uint32_t a, b, classification;
  int count;
  void write(CommandWriter& out) const {
    out.value(a);
    if (count == 3) out.value(b);
    out.value(classification);
  }
};

// A divisor of a bin, computed once as its reciprocal is not: the quotient must match the plain
// division exactly.
uint16_t bin_of(double value, double bin_size) {
  return static_cast<uint16_t>(std::clamp<int64_t>(round_half_away(value / bin_size), 0, 65535));
}

bool positive_bin(const ArgValues& a, double size, const char* format) {
  if (size > 0) return true;
  print_message(format, size, a.option);
  return false;
}

template <auto Apply>
std::unique_ptr<LASoperation> register_op(const ArgValues& a, LASregisters& r, const char* name) {
  if (!valid_register(a.option, a.u32[0])) return nullptr;
  return make_op<Apply>(name, 0, RegisterIndex{&r, a.u32[0]});
}

// The flag options print their own message when the value is missing.
constexpr const char* kFlagMissing = "ERROR: '%s' need 1 argument: value\n";

template <auto Apply>
std::unique_ptr<LASoperation> flag_op(const ArgValues& a, const char* name, const char* message,
                                      uint32_t limit = 1) {
  if (a.u32[0] > limit) {
    print_message(message, a.u32[0]);
    return nullptr;
  }
  return make_op<Apply>(name, 0, U1{a.u32[0]});
}

const OperationOption kOptions[] = {
    // intensity
    {"-set_intensity", "value", "u",
     [](const ArgValues& a, LASregisters&) -> std::unique_ptr<LASoperation> {
       if (!at_most(a, 0, 65535, "ERROR: cannot set intensity because value of %u is larger than %u\n"))
         return nullptr;
       return make_op<([](const U1& g, LASpoint& p, int64_t&) { p.intensity = static_cast<uint16_t>(g.a); })>(
           "set_intensity", 0, U1{a.u32[0]});
     }},
    {"-scale_intensity", "scale", "f",
     [](const ArgValues& a, LASregisters&) {
       return make_fast<ScaleIntensity>("scale_intensity", kIntensity, F1{a.f32[0]});
     }},
    {"-translate_intensity", "offset", "f",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const F1& g, LASpoint& p, int64_t&) {
         p.intensity = sat16_single(static_cast<float>(p.intensity) + g.a);
       })>("translate_intensity", kIntensity, F1{a.f32[0]});
     }},
    {"-translate_then_scale_intensity", "offset scale", "ff",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const F2& g, LASpoint& p, int64_t&) {
         p.intensity = sat16_single((static_cast<float>(p.intensity) + g.a) * g.b);
       })>("translate_then_scale_intensity", kIntensity, F2{a.f32[0], a.f32[1]});
     }},
    {"-clamp_intensity", "below above", "uu",
     [](const ArgValues& a, LASregisters&) -> std::unique_ptr<LASoperation> {
       if (!at_most(a, 0, 65535,
                    "ERROR: cannot clamp intensity because below value of %u is larger than %u\n") ||
           !at_most(a, 1, 65535,
                    "ERROR: cannot clamp intensity because above value of %u is larger than %u\n"))
         return nullptr;
       return make_op<([](const U2& g, LASpoint& p, int64_t&) {
         if (p.intensity > g.b)
           p.intensity = static_cast<uint16_t>(g.b);
         else if (p.intensity < g.a)
           p.intensity = static_cast<uint16_t>(g.a);
       })>("clamp_intensity", kIntensity, U2{a.u32[0], a.u32[1]});
     }},
    {"-clamp_intensity_below", "below", "u",
     [](const ArgValues& a, LASregisters&) -> std::unique_ptr<LASoperation> {
       if (!at_most(a, 0, 65535,
                    "ERROR: cannot clamp intensity because below value of %u is larger than %u\n"))
         return nullptr;
       return make_op<([](const U1& g, LASpoint& p, int64_t&) {
         if (p.intensity < g.a) p.intensity = static_cast<uint16_t>(g.a);
       })>("clamp_intensity_below", kIntensity, U1{a.u32[0]});
     }},
    {"-clamp_intensity_above", "above", "u",
     [](const ArgValues& a, LASregisters&) -> std::unique_ptr<LASoperation> {
       if (!at_most(a, 0, 65535,
                    "ERROR: cannot clamp intensity because above value of %u is larger than %u\n"))
         return nullptr;
       return make_op<([](const U1& g, LASpoint& p, int64_t&) {
         if (p.intensity > g.a) p.intensity = static_cast<uint16_t>(g.a);
       })>("clamp_intensity_above", kIntensity, U1{a.u32[0]});
     }},
    {"-map_intensity", "map_file_name.txt", "s",
     [](const ArgValues& a, LASregisters&) {
       return map_field(a, MapOperation::kMapIntensity, 65535, kMapCannotOpen);
     }},
    {"-copy_RGB_into_intensity", "", "",
     [](const ArgValues&, LASregisters&) {
       return make_op<([](const NoArgs&, LASpoint& p, int64_t&) {
         const double v = 0.2989 * p.rgb[0] + 0.587 * p.rgb[1] + 0.114 * p.rgb[2];
         p.intensity = v >= 0 ? sat16(v + 0.5) : uint16_t{0};
       })>("copy_RGB_into_intensity", kRgb, NoArgs{});
     }},
    {"-copy_R_into_intensity", "", "",
     [](const ArgValues&, LASregisters&) {
       return make_op<([](const NoArgs&, LASpoint& p, int64_t&) { p.intensity = p.rgb[0]; })>(
           "copy_R_into_intensity", kRgb, NoArgs{});
     }},
    {"-copy_G_into_intensity", "", "",
     [](const ArgValues&, LASregisters&) {
       return make_op<([](const NoArgs&, LASpoint& p, int64_t&) { p.intensity = p.rgb[1]; })>(
           "copy_G_into_intensity", kRgb, NoArgs{});
     }},
    {"-copy_B_into_intensity", "", "",
     [](const ArgValues&, LASregisters&) {
       return make_op<([](const NoArgs&, LASpoint& p, int64_t&) { p.intensity = p.rgb[2]; })>(
           "copy_B_into_intensity", kRgb, NoArgs{});
     }},
    {"-copy_NIR_into_intensity", "", "",
     [](const ArgValues&, LASregisters&) {
       return make_op<([](const NoArgs&, LASpoint& p, int64_t&) { p.intensity = p.rgb[3]; })>(
           "copy_NIR_into_intensity", kNir, NoArgs{});
     }},
    {"-copy_attribute_into_intensity", "index of attribute", "u",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const AttributeIndex& g, LASpoint& p, int64_t&) {
         p.intensity = sat16(get_attribute_value(p, g.index));
       })>("copy_attribute_into_intensity", kAllExtraBytes, AttributeIndex{a.u32[0]});
     }},
    {"-bin_gps_time_into_intensity", "bin_size", "F",
     [](const ArgValues& a, LASregisters&) -> std::unique_ptr<LASoperation> {
       if (!positive_bin(a, a.f64[0], "ERROR: %g is no valid bin_size for '%s'\n")) return nullptr;
       return make_op<([](const D1& g, LASpoint& p, int64_t&) { p.intensity = bin_of(p.gps_time, g.a); })>(
           "bin_gps_time_into_intensity", kGpsTime, D1{a.f64[0]});
     }},
    {"-copy_register_into_intensity", "index of register", "u",
     [](const ArgValues& a, LASregisters& r) {
       return register_op<([](const RegisterIndex& g, LASpoint& p, int64_t&) {
         p.intensity = sat16(g.get());
       })>(a, r, "copy_register_into_intensity");
     }},
    // scan angle
    {"-set_scan_angle", "value", "f",
     [](const ArgValues& a, LASregisters&) -> std::unique_ptr<LASoperation> {
       const float v = a.f32[0];
       if (v < -180.0f) {
         print_message("ERROR: cannot set scan angle because value %g is smaller than -180\n",
                       static_cast<double>(v));
         return nullptr;
       }
       if (v > 180.0f) {
         print_message("ERROR: cannot set scan angle rank because value %g is larger than 180\n",
                       static_cast<double>(v));
         return nullptr;
       }
       return make_op<([](const F1& g, LASpoint& p, int64_t&) {
         if (p.extended_point_type) {
           p.extended_scan_angle =
               static_cast<int16_t>(round_half_away(static_cast<double>(g.a * 166.66667f)));
         } else {
           // The 8-bit rank holds -128 to 127 degrees; steeper angles are held at its ends.
           p.scan_angle_rank = scan_angle_result(g.a);
         }
       })>("set_scan_angle", 0, F1{v});
     }},
    {"-scale_scan_angle", "scale", "f",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const F1& g, LASpoint& p, int64_t&) {
         p.scan_angle_rank = scan_angle_result(static_cast<float>(p.scan_angle_rank) * g.a);
       })>("scale_scan_angle", kScanAngle, F1{a.f32[0]});
     }},
    {"-translate_scan_angle", "offset", "f",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const F1& g, LASpoint& p, int64_t&) {
         p.scan_angle_rank = scan_angle_result(static_cast<float>(p.scan_angle_rank) + g.a);
       })>("translate_scan_angle", kScanAngle, F1{a.f32[0]});
     }},
    {"-translate_then_scale_scan_angle", "offset scale", "ff",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const F2& g, LASpoint& p, int64_t&) {
         p.scan_angle_rank = scan_angle_result((static_cast<float>(p.scan_angle_rank) + g.a) * g.b);
       })>("translate_then_scale_scan_angle", kScanAngle, F2{a.f32[0], a.f32[1]});
     }},
    // returns
    {"-repair_zero_returns", "", "",
     [](const ArgValues&, LASregisters&) {
       return make_op<([](const NoArgs&, LASpoint& p, int64_t&) {
         if (p.number_of_returns == 0) p.number_of_returns = 1;
         if (p.return_number == 0) p.return_number = 1;
       })>("repair_zero_returns", 0, NoArgs{});
     }},
    {"-set_return_number", "return_number", "u",
     [](const ArgValues& a, LASregisters&) -> std::unique_ptr<LASoperation> {
       if (!at_most(a, 0, 7, "ERROR: cannot set return_number because %u is larger than %u\n"))
         return nullptr;
       return make_op<([](const U1& g, LASpoint& p, int64_t&) { p.return_number = g.a & 7; })>(
           "set_return_number", 0, U1{a.u32[0]});
     }},
    {"-set_extended_return_number", "extended_return_number", "u",
     [](const ArgValues& a, LASregisters&) -> std::unique_ptr<LASoperation> {
       if (!at_most(a, 0, 15, "ERROR: cannot set extended_return_number because %u is larger than %u\n"))
         return nullptr;
       return make_op<([](const U1& g, LASpoint& p, int64_t&) { p.extended_return_number = g.a & 15; })>(
           "set_extended_return_number", 0, U1{a.u32[0]});
     }},
    {"-change_return_number_from_to", "from_value to_value", "uu",
     [](const ArgValues& a, LASregisters&) -> std::unique_ptr<LASoperation> {
       if (!at_most(a, 0, 7,
                    "ERROR: cannot change return_number because from_value %u is larger than %u\n") ||
           !at_most(a, 1, 7, "ERROR: cannot change return_number because to_value %u is larger than %u\n"))
         return nullptr;
       return make_op<([](const U2& g, LASpoint& p, int64_t&) {
         if (p.return_number == g.a) p.return_number = g.b & 7;
       })>("change_return_number_from_to", 0, U2{a.u32[0], a.u32[1]});
     }},
    {"-change_extended_return_number_from_to", "from_value to_value", "uu",
     [](const ArgValues& a, LASregisters&) -> std::unique_ptr<LASoperation> {
       if (!at_most(
               a, 0, 15,
               "ERROR: cannot change extended_return_number because from_value %u is larger than %u\n") ||
           !at_most(a, 1, 15,
                    "ERROR: cannot change extended_return_number because to_value %u is larger than %u\n"))
         return nullptr;
       return make_op<([](const U2& g, LASpoint& p, int64_t&) {
         if (p.extended_return_number == g.a) p.extended_return_number = g.b & 15;
       })>("change_extended_return_number_from_to", 0, U2{a.u32[0], a.u32[1]});
     }},
    {"-set_number_of_returns", "number_of_returns", "u",
     [](const ArgValues& a, LASregisters&) -> std::unique_ptr<LASoperation> {
       if (!at_most(a, 0, 7, "ERROR: cannot set number_of_returns because %u is larger than %u\n"))
         return nullptr;
       return make_op<([](const U1& g, LASpoint& p, int64_t&) { p.number_of_returns = g.a & 7; })>(
           "set_number_of_returns", 0, U1{a.u32[0]});
     }},
    {"-set_extended_number_of_returns", "extended_number_of_returns", "u",
     [](const ArgValues& a, LASregisters&) -> std::unique_ptr<LASoperation> {
       if (!at_most(a, 0, 15, "ERROR: cannot set extended_number_of_returns because %u is larger than %u\n"))
         return nullptr;
       return make_op<([](const U1& g, LASpoint& p, int64_t&) { p.extended_number_of_returns = g.a & 15; })>(
           "set_extended_number_of_returns", 0, U1{a.u32[0]});
     }},
    {"-change_number_of_returns_from_to", "from_value to_value", "uu",
     [](const ArgValues& a, LASregisters&) -> std::unique_ptr<LASoperation> {
       if (!at_most(a, 0, 7,
                    "ERROR: cannot change number_of_returns because from_value %u is larger than %u\n") ||
           !at_most(a, 1, 7,
                    "ERROR: cannot change number_of_returns because to_value %u is larger than %u\n"))
         return nullptr;
       return make_op<([](const U2& g, LASpoint& p, int64_t&) {
         if (p.number_of_returns == g.a) p.number_of_returns = g.b & 7;
       })>("change_number_of_returns_from_to", 0, U2{a.u32[0], a.u32[1]});
     }},
    {"-change_extended_number_of_returns_from_to", "from_value to_value", "uu",
     [](const ArgValues& a, LASregisters&) -> std::unique_ptr<LASoperation> {
       if (!at_most(
               a, 0, 15,
               "ERROR: cannot change extended_number_of_returns because from_value %u is larger than %u\n") ||
           !at_most(
               a, 1, 15,
               "ERROR: cannot change extended_number_of_returns because to_value %u is larger than %u\n"))
         return nullptr;
       return make_op<([](const U2& g, LASpoint& p, int64_t&) {
         if (p.extended_number_of_returns == g.a) p.extended_number_of_returns = g.b & 15;
       })>("change_extended_number_of_returns_from_to", 0, U2{a.u32[0], a.u32[1]});
     }},
};

// Classification options, flags, user data, point source and GPS time follow in a second table to
// keep each readable.
std::unique_ptr<LASoperation> set_class(const ArgValues& a) {
  if (a.u32[0] > 255) {
    print_message("ERROR: cannot set classification because classification of %u is larger than 255\n",
                  a.u32[0]);
    return nullptr;
  }
  return make_fast<SetClassification>("set_classification", 0, U1{a.u32[0]});
}

std::unique_ptr<LASoperation> change_class(const ArgValues& a) {
  if (!at_most(a, 0, 255, "ERROR: cannot change classification because from_value %u is larger than %u\n") ||
      !at_most(a, 1, 255, "ERROR: cannot change classification because to_value %u is larger than %u\n"))
    return nullptr;
  // Classes below 32 are compared with the 5-bit class, larger ones with the extended class.
  return make_op<([](const U2& g, LASpoint& p, int64_t&) {
    const uint32_t current = g.a < 32 ? p.classification : p.extended_classification;
    if (current == g.a) set_classification(p, g.b);
  })>("change_classification_from_to", kClassification, U2{a.u32[0], a.u32[1]});
}

bool class_at_most_255(const ArgValues& a, int k, const char* message) {
  if (a.u32[k] <= 255) return true;
  print_message(message, a.u32[k]);
  return false;
}

constexpr const char* kClassifyZ =
    "ERROR: cannot classify z_value because classification of %u is larger than 255\n";

std::unique_ptr<LASoperation> classify_intensity(const ArgValues& a, int count) {
  if (count == 2 &&
      !at_most(a, 0, 65535, "ERROR: cannot classify intensity because value of %u is larger than %u\n"))
    return nullptr;
  if (count == 3 &&
      (!at_most(a, 0, 65535,
                "ERROR: cannot classify intensity because min_value of %u is larger than %u\n") ||
       !at_most(a, 1, 65535, "ERROR: cannot classify intensity because max_value of %u is larger than %u\n")))
    return nullptr;
  if (!class_at_most_255(
          a, count - 1, "ERROR: cannot classify intensity because classification of %u is larger than 255\n"))
    return nullptr;
  const IntensityRule rule{a.u32[0], count == 3 ? a.u32[1] : 0, a.u32[count - 1], count};
  if (count == 3) {
    return make_op<([](const IntensityRule& g, LASpoint& p, int64_t&) {
      if (g.a <= p.intensity && p.intensity <= g.b) set_classification(p, g.classification);
    })>("classify_intensity_between_as", kIntensity, rule);
  }
  if (a.option[20] == 'b') {  // -classify_intensity_below_as
    return make_op<([](const IntensityRule& g, LASpoint& p, int64_t&) {
      if (p.intensity < g.a) set_classification(p, g.classification);
    })>("classify_intensity_below_as", kIntensity, rule);
  }
  return make_op<([](const IntensityRule& g, LASpoint& p, int64_t&) {
    if (p.intensity > g.a) set_classification(p, g.classification);
  })>("classify_intensity_above_as", kIntensity, rule);
}

std::unique_ptr<LASoperation> classify_attribute(const ArgValues& a, int kind) {
  static const char* const messages[] = {
      "ERROR: cannot classify attribute below because classification of %u is larger than 255\n",
      "ERROR: cannot classify attribute above because classification of %u is larger than 255\n",
      "ERROR: cannot classify attribute between because classification of %u is larger than 255\n"};
  const int class_at = kind == 2 ? 3 : 2;
  if (!class_at_most_255(a, class_at, messages[kind])) return nullptr;
  ClassifyRule rule{a.f64[1], kind == 2 ? a.f64[2] : 0, a.u32[class_at], kind == 2 ? 3 : 2, a.u32[0], true};
  switch (kind) {
    case 0:
      return make_op<([](const ClassifyRule& g, LASpoint& p, int64_t&) {
        if (get_attribute_value(p, g.index) < g.a) set_classification(p, g.classification);
      })>("classify_attribute_below_as", kAllExtraBytes, rule);
    case 1:
      return make_op<([](const ClassifyRule& g, LASpoint& p, int64_t&) {
        if (get_attribute_value(p, g.index) > g.a) set_classification(p, g.classification);
      })>("classify_attribute_above_as", kAllExtraBytes, rule);
    default:
      return make_op<([](const ClassifyRule& g, LASpoint& p, int64_t&) {
        const double v = get_attribute_value(p, g.index);
        if (g.a <= v && v <= g.b) set_classification(p, g.classification);
      })>("classify_attribute_between_as", kAllExtraBytes, rule);
  }
}

// The legacy flag and its extended copy (bit `bit` of the extended flags) take the same value.
template <int kBit>
void set_extended_flag(LASpoint& p, uint32_t value) {
  const uint8_t flags = p.extended_classification_flags;
  const uint8_t bit = static_cast<uint8_t>(1u << kBit);
  p.extended_classification_flags = static_cast<uint8_t>(value ? (flags | bit) : (flags & ~bit)) & 15u;
}

const OperationOption kMoreOptions[] = {
    // classification
    {"-set_classification", "classification", "u",
     [](const ArgValues& a, LASregisters&) { return set_class(a); }},
    {"-set_extended_classification", "classification", "u",
     [](const ArgValues& a, LASregisters&) { return set_class(a); }},
    {"-change_classification_from_to", "from_value to_value", "uu",
     [](const ArgValues& a, LASregisters&) { return change_class(a); }},
    {"-change_class_from_to", "from_value to_value", "uu",
     [](const ArgValues& a, LASregisters&) { return change_class(a); }},
    {"-change_extended_classification_from_to", "from_value to_value", "uu",
     [](const ArgValues& a, LASregisters&) { return change_class(a); }},
    {"-change_extended_class_from_to", "from_value to_value", "uu",
     [](const ArgValues& a, LASregisters&) { return change_class(a); }},
    {"-classify_z_below_as", "z_value classification", "Fu",
     [](const ArgValues& a, LASregisters&) -> std::unique_ptr<LASoperation> {
       if (!class_at_most_255(a, 1, kClassifyZ)) return nullptr;
       return make_op<([](const ClassifyRule& g, LASpoint& p, int64_t&) {
         if (p.get_z() < g.a) set_classification(p, g.classification);
       })>("classify_z_below_as", kZ, ClassifyRule{a.f64[0], 0, a.u32[1], 2});
     }},
    {"-classify_z_above_as", "z_value classification", "Fu",
     [](const ArgValues& a, LASregisters&) -> std::unique_ptr<LASoperation> {
       if (!class_at_most_255(a, 1, kClassifyZ)) return nullptr;
       return make_op<([](const ClassifyRule& g, LASpoint& p, int64_t&) {
         if (p.get_z() > g.a) set_classification(p, g.classification);
       })>("classify_z_above_as", kZ, ClassifyRule{a.f64[0], 0, a.u32[1], 2});
     }},
    {"-classify_z_between_as", "z_min z_max classification", "FFu",
     [](const ArgValues& a, LASregisters&) -> std::unique_ptr<LASoperation> {
       if (!class_at_most_255(a, 2, kClassifyZ)) return nullptr;
       return make_op<([](const ClassifyRule& g, LASpoint& p, int64_t&) {
         const double z = p.get_z();
         if (g.a <= z && z <= g.b) set_classification(p, g.classification);
       })>("classify_z_between_as", kZ, ClassifyRule{a.f64[0], a.f64[1], a.u32[2], 3});
     }},
    {"-classify_intensity_below_as", "value classification", "uu",
     [](const ArgValues& a, LASregisters&) { return classify_intensity(a, 2); }},
    {"-classify_intensity_above_as", "value classification", "uu",
     [](const ArgValues& a, LASregisters&) { return classify_intensity(a, 2); }},
    {"-classify_intensity_between_as", "min_value max_value classification", "uuu",
     [](const ArgValues& a, LASregisters&) { return classify_intensity(a, 3); }},
    {"-classify_attribute_below_as", "attribute_index value classification", "uFu",
     [](const ArgValues& a, LASregisters&) { return classify_attribute(a, 0); }},
    {"-classify_attribute_above_as", "attribute_index value classification", "uFu",
     [](const ArgValues& a, LASregisters&) { return classify_attribute(a, 1); }},
    {"-classify_attribute_between_as", "attribute_index min max classification", "uFFu",
     [](const ArgValues& a, LASregisters&) { return classify_attribute(a, 2); }},
    {"-move_ancient_to_extended_classification", "", "",
     [](const ArgValues&, LASregisters&) {
       return make_op<([](const NoArgs&, LASpoint& p, int64_t&) {
         const uint32_t byte =
             p.classification | (p.synthetic_flag << 5) | (p.keypoint_flag << 6) | (p.withheld_flag << 7);
         if (byte < 32) return;
         p.extended_classification = static_cast<uint8_t>(byte);
         p.classification = 0;
         p.synthetic_flag = 0;
         p.keypoint_flag = 0;
         p.withheld_flag = 0;
         p.extended_classification_flags = p.extended_classification_flags & 8u;
       })>("move_ancient_to_extended_classification", kClassification | kFlags, NoArgs{});
     }},
    {"-copy_user_data_into_classification", "", "",
     [](const ArgValues&, LASregisters&) {
       return make_op<([](const NoArgs&, LASpoint& p, int64_t&) {
         const uint32_t u = p.user_data;
         if (p.extended_point_type)
           set_classification(p, u);
         else if (u < 32)
           set_classification(p, u);
       })>("copy_user_data_into_classification", kUserData, NoArgs{});
     }},
    {"-copy_intensity_into_classification", "", "",
     [](const ArgValues&, LASregisters&) {
       return make_op<([](const NoArgs&, LASpoint& p, int64_t&) {
         const uint32_t c = p.intensity & 0xFFu;
         if (c < 32) set_classification(p, c);
       })>("copy_intensity_into_classification", kIntensity, NoArgs{});
     }},
    // flags and scanner channel
    {"-set_withheld_flag", "value", "u",
     [](const ArgValues& a, LASregisters&) {
       return flag_op<([](const U1& g, LASpoint& p, int64_t&) {
         p.withheld_flag = g.a & 1;
         set_extended_flag<2>(p, g.a);
       })>(a, "set_withheld_flag", "ERROR: cannot set withheld flag because value %u is larger than 1\n");
     },
     kFlagMissing},
    {"-set_synthetic_flag", "value", "u",
     [](const ArgValues& a, LASregisters&) {
       return flag_op<([](const U1& g, LASpoint& p, int64_t&) {
         p.synthetic_flag = g.a & 1;
         set_extended_flag<0>(p, g.a);
       })>(a, "set_synthetic_flag", "ERROR: cannot set synthetic flag because value %u is larger than 1\n");
     },
     kFlagMissing},
    {"-set_keypoint_flag", "value", "u",
     [](const ArgValues& a, LASregisters&) {
       return flag_op<([](const U1& g, LASpoint& p, int64_t&) {
         p.keypoint_flag = g.a & 1;
         set_extended_flag<1>(p, g.a);
       })>(a, "set_keypoint_flag", "ERROR: cannot set keypoint flag because value %u is larger than 1\n");
     },
     kFlagMissing},
    {"-set_overlap_flag", "value", "u",
     [](const ArgValues& a, LASregisters&) {
       return flag_op<([](const U1& g, LASpoint& p, int64_t&) { set_extended_flag<3>(p, g.a); })>(
           a, "set_overlap_flag", "ERROR: cannot set overlap flag because value %u is larger than 1\n");
     },
     kFlagMissing},
    {"-set_extended_overlap_flag", "value", "u",
     [](const ArgValues& a, LASregisters&) {
       return flag_op<([](const U1& g, LASpoint& p, int64_t&) { set_extended_flag<3>(p, g.a); })>(
           a, "set_overlap_flag", "ERROR: cannot set overlap flag because value %u is larger than 1\n");
     },
     kFlagMissing},
    {"-set_scan_direction_flag", "value", "u",
     [](const ArgValues& a, LASregisters&) {
       return flag_op<([](const U1& g, LASpoint& p, int64_t&) { p.scan_direction_flag = g.a & 1; })>(
           a, "set_scan_direction_flag",
           "ERROR: cannot set scan direction flag because value %u is larger than 1\n");
     },
     kFlagMissing},
    {"-set_edge_of_flight_line", "value", "u",
     [](const ArgValues& a, LASregisters&) {
       return flag_op<([](const U1& g, LASpoint& p, int64_t&) { p.edge_of_flight_line = g.a & 1; })>(
           a, "set_edge_of_flight_line",
           "ERROR: cannot set edge of flight line because value %u is larger than 1\n");
     },
     kFlagMissing},
    {"-set_scanner_channel", "value", "u",
     [](const ArgValues& a, LASregisters&) {
       return flag_op<([](const U1& g, LASpoint& p, int64_t&) { p.extended_scanner_channel = g.a & 3; })>(
           a, "set_scanner_channel", "ERROR: cannot set scanner channel because value %u is larger than 3\n",
           3);
     },
     kFlagMissing},
    {"-set_extended_scanner_channel", "value", "u",
     [](const ArgValues& a, LASregisters&) {
       return flag_op<([](const U1& g, LASpoint& p, int64_t&) { p.extended_scanner_channel = g.a & 3; })>(
           a, "set_scanner_channel", "ERROR: cannot set scanner channel because value %u is larger than 3\n",
           3);
     },
     kFlagMissing},
    {"-copy_user_data_into_scanner_channel", "", "",
     [](const ArgValues&, LASregisters&) {
       return make_op<([](const NoArgs&, LASpoint& p, int64_t&) {
         p.extended_scanner_channel = p.user_data & 3;
       })>("copy_user_data_into_scanner_channel", kUserData, NoArgs{});
     }},
    // user data
    {"-set_user_data", "value", "u",
     [](const ArgValues& a, LASregisters&) -> std::unique_ptr<LASoperation> {
       if (a.u32[0] > 255) {
         print_message("ERROR: cannot set user data because value %u is larger than %d\n", a.u32[0], 255);
         return nullptr;
       }
       return make_fast<SetUserData>("set_user_data", 0, U1{a.u32[0]});
     }},
    {"-scale_user_data", "scale", "f",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const F1& g, LASpoint& p, int64_t&) {
         p.user_data = sat8_single(static_cast<float>(p.user_data) * g.a);
       })>("scale_user_data", kUserData, F1{a.f32[0]});
     }},
    {"-change_user_data_from_to", "from_value to_value", "uu",
     [](const ArgValues& a, LASregisters&) -> std::unique_ptr<LASoperation> {
       if (!at_most(a, 0, 255, "ERROR: cannot change user_data because from_value %u is larger than %u\n") ||
           !at_most(a, 1, 255, "ERROR: cannot change user_data because to_value %u is larger than %u\n"))
         return nullptr;
       return make_op<([](const U2& g, LASpoint& p, int64_t&) {
         if (p.user_data == g.a) p.user_data = static_cast<uint8_t>(g.b);
       })>("change_user_data_from_to", kUserData, U2{a.u32[0], a.u32[1]});
     }},
    {"-map_user_data", "map_file_name.txt", "s",
     [](const ArgValues& a, LASregisters&) {
       return map_field(a, MapOperation::kMapUserData, 255,
                        "ERROR: cannot '%s' needs text file with map but '%s' cannot be opened\n");
     }},
    {"-copy_scanner_channel_into_user_data", "", "",
     [](const ArgValues&, LASregisters&) {
       return make_op<([](const NoArgs&, LASpoint& p, int64_t&) {
         p.user_data = p.extended_scanner_channel;
       })>("copy_scanner_channel_into_user_data", 0, NoArgs{});
     }},
    {"-copy_attribute_into_user_data", "index of attribute", "u",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const AttributeIndex& g, LASpoint& p, int64_t&) {
         p.user_data = sat8(get_attribute_value(p, g.index));
       })>("copy_attribute_into_user_data", kAllExtraBytes, AttributeIndex{a.u32[0]});
     }},
    {"-add_scaled_attribute_to_user_data", "index scale", "uf",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const ScaledAttribute& g, LASpoint& p, int64_t&) {
         const double v = get_attribute_value(p, g.index) * static_cast<double>(g.scale) + p.user_data;
         // Sums above 255 are held at 255 rather than wrapped.
         p.user_data = v < 0 ? uint8_t{0} : sat8(v + 0.5);
       })>("add_scaled_attribute_to_user_data", kAllExtraBytes | kUserData,
           ScaledAttribute{a.u32[0], a.f32[1]});
     }},
    {"-copy_classification_into_user_data", "", "",
     [](const ArgValues&, LASregisters&) {
       return make_op<([](const NoArgs&, LASpoint& p, int64_t&) {
         p.user_data = p.classification ? p.classification : p.extended_classification;
       })>("copy_classification_into_user_data", kClassification, NoArgs{});
     }},
    {"-copy_register_into_user_data", "index of register", "u",
     [](const ArgValues& a, LASregisters& r) {
       return register_op<([](const RegisterIndex& g, LASpoint& p, int64_t&) {
         p.user_data = sat8(g.get());
       })>(a, r, "copy_register_into_user_data");
     }},
    // point source
    {"-set_point_source", "psid", "u",
     [](const ArgValues& a, LASregisters&) -> std::unique_ptr<LASoperation> {
       if (a.u32[0] > 65535) {
         print_message("ERROR: cannot set point source ID because value %u is larger than %d\n", a.u32[0],
                       65535);
         return nullptr;
       }
       return make_set_point_source(static_cast<uint16_t>(a.u32[0]));
     },
     "ERROR: '%s' need 1 argument: psid\n"},
    {"-change_point_source_from_to", "from_value to_value", "uu",
     [](const ArgValues& a, LASregisters&) -> std::unique_ptr<LASoperation> {
       if (!at_most(a, 0, 65535,
                    "ERROR: cannot change point_source_ID because from_value %u is larger than %u\n") ||
           !at_most(a, 1, 65535,
                    "ERROR: cannot change point_source_ID because to_value %u is larger than %u\n"))
         return nullptr;
       return make_op<([](const U2& g, LASpoint& p, int64_t&) {
         if (p.point_source_ID == g.a) p.point_source_ID = static_cast<uint16_t>(g.b);
       })>("change_point_source_from_to", kPointSource, U2{a.u32[0], a.u32[1]});
     }},
    {"-map_point_source", "map_file_name.txt", "s",
     [](const ArgValues& a, LASregisters&) {
       return map_field(a, MapOperation::kMapPointSource, 65535, kMapCannotOpen);
     }},
    {"-copy_user_data_into_point_source", "", "",
     [](const ArgValues&, LASregisters&) {
       return make_op<([](const NoArgs&, LASpoint& p, int64_t&) { p.point_source_ID = p.user_data; })>(
           "copy_user_data_into_point_source", kUserData, NoArgs{});
     }},
    {"-copy_scanner_channel_into_point_source", "", "",
     [](const ArgValues&, LASregisters&) {
       return make_op<([](const NoArgs&, LASpoint& p, int64_t&) {
         p.point_source_ID = p.extended_scanner_channel;
       })>("copy_scanner_channel_into_point_source", 0, NoArgs{});
     }},
    {"-copy_attribute_into_point_source", "index of attribute", "u",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const AttributeIndex& g, LASpoint& p, int64_t&) {
         p.point_source_ID = sat16(get_attribute_value(p, g.index));
       })>("copy_attribute_into_point_source", kAllExtraBytes, AttributeIndex{a.u32[0]});
     }},
    {"-copy_classification_into_point_source", "", "",
     [](const ArgValues&, LASregisters&) {
       return make_op<([](const NoArgs&, LASpoint& p, int64_t&) {
         p.point_source_ID = p.classification ? p.classification : p.extended_classification;
       })>("copy_classification_into_point_source", kClassification, NoArgs{});
     }},
    {"-merge_scanner_channel_into_point_source", "", "",
     [](const ArgValues&, LASregisters&) {
       return make_op<([](const NoArgs&, LASpoint& p, int64_t&) {
         p.point_source_ID = static_cast<uint16_t>((p.point_source_ID << 2) + p.extended_scanner_channel);
       })>("merge_scanner_channel_into_point_source", kPointSource, NoArgs{});
     }},
    {"-split_scanner_channel_from_point_source", "", "",
     [](const ArgValues&, LASregisters&) {
       return make_op<([](const NoArgs&, LASpoint& p, int64_t&) {
         p.extended_scanner_channel = p.point_source_ID & 3;
         p.point_source_ID = static_cast<uint16_t>(p.point_source_ID >> 2);
       })>("split_scanner_channel_from_point_source", kPointSource, NoArgs{});
     }},
    {"-bin_Z_into_point_source", "bin_size", "u",
     [](const ArgValues& a, LASregisters&) -> std::unique_ptr<LASoperation> {
       if (a.u32[0] == 0) {
         print_message("ERROR: %u is no valid bin_size for '%s'\n", a.u32[0], a.option);
         return nullptr;
       }
       return make_op<([](const U1& g, LASpoint& p, int64_t&) {
         const int64_t q = static_cast<int64_t>(p.Z) / static_cast<int64_t>(g.a);
         p.point_source_ID = static_cast<uint16_t>(std::clamp<int64_t>(q, 0, 65535));
       })>("bin_Z_into_point_source", kZ, U1{a.u32[0]});
     }},
    {"-bin_abs_scan_angle_into_point_source", "bin_size", "f",
     [](const ArgValues& a, LASregisters&) -> std::unique_ptr<LASoperation> {
       if (!(a.f32[0] > 0.0f)) {
         print_message("ERROR: %f is no valid bin_size for '%s'\n", static_cast<double>(a.f32[0]), a.option);
         return nullptr;
       }
       return make_op<([](const F1& g, LASpoint& p, int64_t&) {
         const float angle = p.extended_point_type
                                 ? static_cast<float>(std::abs(p.extended_scan_angle)) * 0.006f
                                 : static_cast<float>(std::abs(p.scan_angle_rank));
         const float q = angle / g.a;
         p.point_source_ID = q <= 0.0f       ? uint16_t{0}
                             : q >= 65535.0f ? uint16_t{65535}
                                             : static_cast<uint16_t>(q);
       })>("bin_abs_scan_angle_into_point_source", kScanAngle, F1{a.f32[0]});
     }},
    {"-bin_gps_time_into_point_source", "bin_size", "F",
     [](const ArgValues& a, LASregisters&) -> std::unique_ptr<LASoperation> {
       if (!positive_bin(a, a.f64[0], "ERROR: %g is no valid bin_size for '%s'\n")) return nullptr;
       return make_op<([](const D1& g, LASpoint& p, int64_t&) {
         p.point_source_ID = bin_of(p.gps_time, g.a);
       })>("bin_gps_time_into_point_source", kGpsTime, D1{a.f64[0]});
     }},
    {"-copy_register_into_point_source", "index of register", "u",
     [](const ArgValues& a, LASregisters& r) {
       return register_op<([](const RegisterIndex& g, LASpoint& p, int64_t&) {
         p.point_source_ID = sat16(g.get());
       })>(a, r, "copy_register_into_point_source");
     }},
    // GPS time
    {"-set_gps_time", "gps_time", "F",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const D1& g, LASpoint& p, int64_t&) { p.gps_time = g.a; })>("set_gps_time", 0,
                                                                                      D1{a.f64[0]});
     }},
    {"-translate_gps_time", "offset", "F",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const D1& g, LASpoint& p, int64_t&) { p.gps_time += g.a; })>(
           "translate_gps_time", kGpsTime, D1{a.f64[0]});
     }},
    {"-adjusted_to_week", "", "",
     [](const ArgValues&, LASregisters&) {
       return make_op<([](const NoArgs&, LASpoint& p, int64_t&) {
         // Adjusted standard GPS time counts from 1e9 s after the GPS epoch; weeks are 604800 s.
         const double w = std::trunc(p.gps_time * 1.6534391534391535e-6 + 1653.4391534391534);
         if (std::isfinite(w)) p.gps_time -= w * 604800.0 - 1000000000.0;
       })>("adjusted_to_week", kGpsTime, NoArgs{});
     }},
    {"-week_to_adjusted", "week", "u",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const U1& g, LASpoint& p, int64_t&) {
         p.gps_time += static_cast<double>(static_cast<int64_t>(g.a) * 604800 - 1000000000);
       })>("week_to_adjusted", kGpsTime, U1{a.u32[0]});
     }},
};

std::vector<OperationOption> joined() {
  std::vector<OperationOption> all(std::begin(kOptions), std::end(kOptions));
  all.insert(all.end(), std::begin(kMoreOptions), std::end(kMoreOptions));
  return all;
}

}  // namespace

std::unique_ptr<LASoperation> make_set_point_source(uint16_t value) {
  return make_fast<SetPointSource>("set_point_source", 0, U1{value});
}

std::span<const OperationOption> field_operation_options() {
  static const std::vector<OperationOption> all = joined();
  return all;
}

}  // namespace filter_detail
