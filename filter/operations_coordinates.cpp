// Operations on coordinates: real-valued moves, scalings, rotations and datum transforms, and
// integer moves and clamps.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/messages.h"
#include "filter/detail/attribute_value.h"
#include "filter/detail/fast_operations.h"
#include "filter/detail/operation_templates.h"
#include "filter/detail/operations.h"
#include "filter/lastransform.h"
#include "pointio/laspointstage.h"

namespace filter_detail {

namespace {

using las_fields::kAllExtraBytes;
using las_fields::kIntensity;
using las_fields::kUserData;
using las_fields::kZ;

constexpr double kDegreesToRadians = 0.017453292519943295;
constexpr double kArcSecondsToRadians = 4.84813681109536e-6;

// A rotation by `angle` degrees about a centre in one coordinate plane.
struct Rotation {
  double angle, c1, c2;
  double cos_a, sin_a;
  Rotation(double angle_in, double c1_in, double c2_in)
      : angle(angle_in),
        c1(c1_in),
        c2(c2_in),
        cos_a(std::cos(angle_in * kDegreesToRadians)),
        sin_a(std::sin(angle_in * kDegreesToRadians)) {}
  void write(CommandWriter& out) const {
    out.value(angle);
    out.value(c1);
    out.value(c2);
  }
  // (u, v) relative to the centre turned by the angle.
  void turn(double a, double b, double& a_out, double& b_out) const {
    const double u = a - c1, v = b - c2;
    a_out = c1 + u * cos_a - v * sin_a;
    b_out = c2 + v * cos_a + u * sin_a;
  }
};

class TransformHelmert final : public LASoperation {
 public:
  explicit TransformHelmert(const double* p) {
    for (int k = 0; k < 7; k++) params_[k] = p[k];
    rx_ = p[3] * kArcSecondsToRadians;
    ry_ = p[4] * kArcSecondsToRadians;
    rz_ = p[5] * kArcSecondsToRadians;
    m_ = 1.0 + p[6] * 1e-6;
  }
  const char* name() const override { return "transform_helmert"; }
  void write_command(CommandWriter& out) const override {
    out.option(name());
    out.comma_list(params_);
  }
  uint32_t get_decompress_selective() const override { return kZ; }
  void transform(LASpoint& p) override {
    const double x = p.get_x(), y = p.get_y(), z = p.get_z();
    set_x(p, m_ * (x - y * rz_ + z * ry_) + params_[0], overflow_);
    set_y(p, m_ * (x * rz_ + y - z * rx_) + params_[1], overflow_);
    set_z(p, m_ * (y * rx_ - x * ry_ + z) + params_[2], overflow_);
  }

 private:
  double params_[7];
  double rx_, ry_, rz_, m_;
};

class TransformAffine final : public LASoperation {
 public:
  explicit TransformAffine(const double* p) {
    for (int k = 0; k < 4; k++) params_[k] = p[k];
    const double w = p[1] * kArcSecondsToRadians;
    cos_w_ = std::cos(w);
    sin_w_ = std::sin(w);
  }
  const char* name() const override { return "transform_affine"; }
  void write_command(CommandWriter& out) const override {
    out.option(name());
    out.comma_list(params_);
  }
  uint32_t get_decompress_selective() const override { return 0; }
  void transform(LASpoint& p) override {
    const double x = p.get_x(), y = p.get_y(), k = params_[0];
    set_x(p, k * (x * cos_w_ + y * sin_w_) + params_[2], overflow_);
    set_y(p, k * (y * cos_w_ - x * sin_w_) + params_[3], overflow_);
  }

 private:
  double params_[4];
  double cos_w_, sin_w_;
};

class TransformMatrix final : public LASoperation {
 public:
  explicit TransformMatrix(const double* p) {
    for (int k = 0; k < 12; k++) m_[k] = p[k];
  }
  const char* name() const override { return "transform_matrix"; }
  void write_command(CommandWriter& out) const override {
    out.option(name());
    for (int row = 0; row < 4; row++) out.comma_list(std::span<const double>(m_ + 3 * row, 3));
  }
  uint32_t get_decompress_selective() const override { return kZ; }
  void transform(LASpoint& p) override {
    const double x = p.get_x(), y = p.get_y(), z = p.get_z();
    set_x(p, m_[0] * x + m_[1] * y + m_[2] * z + m_[9], overflow_);
    set_y(p, m_[3] * x + m_[4] * y + m_[5] * z + m_[10], overflow_);
    set_z(p, m_[6] * x + m_[7] * y + m_[8] * z + m_[11], overflow_);
  }

 private:
  double m_[12];  // r11 r12 r13 r21 r22 r23 r31 r32 r33 tx ty tz
};

// Offsets the integer coordinates by a pseudo-random amount within +-max, from the C library's
// classic generator restarted at every reset, so a pass is repeatable.
class TranslateRawXYAtRandom final : public LASoperation {
 public:
  TranslateRawXYAtRandom(int32_t max_x, int32_t max_y) : max_x_(max_x), max_y_(max_y) {}
  const char* name() const override { return "translate_raw_xy_at_random"; }
  void write_command(CommandWriter& out) const override {
    out.option(name());
    out.value(max_x_);
    out.value(max_y_);
  }
  uint32_t get_decompress_selective() const override { return 0; }
  void transform(LASpoint& p) override {
    const uint32_t state = seed_ * 214013u + 2531011u;
    const uint32_t r = (state >> 16) & 0x7FFFu;
    seed_ = r;
    p.X = add_raw(p.X, offset(r >> 3, max_x_), overflow_);
    p.Y = add_raw(p.Y, offset(r >> 6, max_y_), overflow_);
  }
  void reset() override {
    LASoperation::reset();
    seed_ = 0;
  }

 private:
  // (bits mod (2 max + 1)) - max, in 64 bits so that no max overflows.
  static int64_t offset(uint32_t bits, int32_t max) {
    const int64_t span = 2 * static_cast<int64_t>(max) + 1;
    if (span <= 0) return 0;
    return static_cast<int64_t>(bits) % span - max;
  }
  int32_t max_x_, max_y_;
  uint32_t seed_ = 0;
};

std::unique_ptr<LASoperation> copy_register(const ArgValues& a, LASregisters& r, const char* name, int axis) {
  if (!valid_register(a.option, a.u32[0])) return nullptr;
  const RegisterIndex args{&r, a.u32[0]};
  if (axis == 0)
    return make_op<([](const RegisterIndex& g, LASpoint& p, int64_t& o) { set_x(p, g.get(), o); })>(name, 0,
                                                                                                    args);
  if (axis == 1)
    return make_op<([](const RegisterIndex& g, LASpoint& p, int64_t& o) { set_y(p, g.get(), o); })>(name, 0,
                                                                                                    args);
  return make_op<([](const RegisterIndex& g, LASpoint& p, int64_t& o) { set_z(p, g.get(), o); })>(name, 0,
                                                                                                  args);
}

using D1 = One<double>;
using D2 = Two<double>;
using D3 = Three<double>;
using I1 = One<int32_t>;
using I2 = Two<int32_t>;
using I3 = Three<int32_t>;

const OperationOption kOptions[] = {
    {"-translate_x", "offset", "F",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](MoveOne& g, LASpoint& p, int64_t& o) { move_x(p, g.a, g.shift, o); })>(
           "translate_x", 0, MoveOne{a.f64[0], {}});
     }},
    {"-translate_y", "offset", "F",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](MoveOne& g, LASpoint& p, int64_t& o) { move_y(p, g.a, g.shift, o); })>(
           "translate_y", 0, MoveOne{a.f64[0], {}});
     }},
    {"-translate_z", "offset", "F",
     [](const ArgValues& a, LASregisters&) {
       return make_fast<TranslateZ>("translate_z", kZ, MoveOne{a.f64[0], {}});
     }},
    {"-translate_xyz", "offset_x offset_y offset_z", "FFF",
     [](const ArgValues& a, LASregisters&) {
       return make_fast<TranslateXYZ>("translate_xyz", kZ,
                                      MoveThree{a.f64[0], a.f64[1], a.f64[2], {}, {}, {}});
     }},
    {"-scale_x", "scale", "F",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const D1& g, LASpoint& p, int64_t& o) { set_x(p, p.get_x() * g.a, o); })>(
           "scale_x", 0, D1{a.f64[0]});
     }},
    {"-scale_y", "scale", "F",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const D1& g, LASpoint& p, int64_t& o) { set_y(p, p.get_y() * g.a, o); })>(
           "scale_y", 0, D1{a.f64[0]});
     }},
    {"-scale_z", "scale", "F",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const D1& g, LASpoint& p, int64_t& o) { set_z(p, p.get_z() * g.a, o); })>(
           "scale_z", kZ, D1{a.f64[0]});
     }},
    {"-scale_xyz", "scale_x scale_y scale_z", "FFF",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const D3& g, LASpoint& p, int64_t& o) {
         set_x(p, p.get_x() * g.a, o);
         set_y(p, p.get_y() * g.b, o);
         set_z(p, p.get_z() * g.c, o);
       })>("scale_xyz", kZ, D3{a.f64[0], a.f64[1], a.f64[2]});
     }},
    {"-translate_then_scale_x", "offset scale", "FF",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const D2& g, LASpoint& p, int64_t& o) { set_x(p, (p.get_x() + g.a) * g.b, o); })>(
           "translate_then_scale_x", 0, D2{a.f64[0], a.f64[1]});
     }},
    {"-translate_then_scale_y", "offset scale", "FF",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const D2& g, LASpoint& p, int64_t& o) { set_y(p, (p.get_y() + g.a) * g.b, o); })>(
           "translate_then_scale_y", 0, D2{a.f64[0], a.f64[1]});
     }},
    {"-translate_then_scale_z", "offset scale", "FF",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const D2& g, LASpoint& p, int64_t& o) { set_z(p, (p.get_z() + g.a) * g.b, o); })>(
           "translate_then_scale_z", kZ, D2{a.f64[0], a.f64[1]});
     }},
    {"-rotate_xy", "angle rot_center_x rot_center_y", "FFF",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const Rotation& g, LASpoint& p, int64_t& o) {
         double x, y;
         g.turn(p.get_x(), p.get_y(), x, y);
         set_x(p, x, o);
         set_y(p, y, o);
       })>("rotate_xy", 0, Rotation(a.f64[0], a.f64[1], a.f64[2]));
     }},
    {"-rotate_xz", "angle rot_center_x rot_center_z", "FFF",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const Rotation& g, LASpoint& p, int64_t& o) {
         double x, z;
         g.turn(p.get_x(), p.get_z(), x, z);
         set_x(p, x, o);
         set_z(p, z, o);
       })>("rotate_xz", kZ, Rotation(a.f64[0], a.f64[1], a.f64[2]));
     }},
    {"-rotate_yz", "angle rot_center_y rot_center_z", "FFF",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const Rotation& g, LASpoint& p, int64_t& o) {
         double y, z;
         g.turn(p.get_y(), p.get_z(), y, z);
         set_y(p, y, o);
         set_z(p, z, o);
       })>("rotate_yz", kZ, Rotation(a.f64[0], a.f64[1], a.f64[2]));
     }},
    {"-switch_x_y", "", "",
     [](const ArgValues&, LASregisters&) {
       return make_op<([](const NoArgs&, LASpoint& p, int64_t&) { std::swap(p.X, p.Y); })>("switch_x_y", 0,
                                                                                           NoArgs{});
     }},
    {"-switch_x_z", "", "",
     [](const ArgValues&, LASregisters&) {
       return make_op<([](const NoArgs&, LASpoint& p, int64_t&) { std::swap(p.X, p.Z); })>("switch_x_z", kZ,
                                                                                           NoArgs{});
     }},
    {"-switch_y_z", "", "",
     [](const ArgValues&, LASregisters&) {
       return make_op<([](const NoArgs&, LASpoint& p, int64_t&) { std::swap(p.Y, p.Z); })>("switch_y_z", kZ,
                                                                                           NoArgs{});
     }},
    {"-clamp_z", "below above", "FF",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const D2& g, LASpoint& p, int64_t& o) {
         const double z = p.get_z();
         if (z < g.a)
           set_z(p, g.a, o);
         else if (z > g.b)
           set_z(p, g.b, o);
       })>("clamp_z", kZ, D2{a.f64[0], a.f64[1]});
     }},
    {"-clamp_z_below", "below", "F",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const D1& g, LASpoint& p, int64_t& o) {
         if (p.get_z() < g.a) set_z(p, g.a, o);
       })>("clamp_z_below", kZ, D1{a.f64[0]});
     }},
    {"-clamp_z_above", "above", "F",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const D1& g, LASpoint& p, int64_t& o) {
         if (p.get_z() > g.a) set_z(p, g.a, o);
       })>("clamp_z_above", kZ, D1{a.f64[0]});
     }},
    {"-copy_attribute_into_x", "index of attribute", "u",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const AttributeIndex& g, LASpoint& p, int64_t& o) {
         set_x(p, get_attribute_value(p, g.index), o);
       })>("copy_attribute_into_x", kAllExtraBytes, AttributeIndex{a.u32[0]});
     }},
    {"-copy_attribute_into_y", "index of attribute", "u",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const AttributeIndex& g, LASpoint& p, int64_t& o) {
         set_y(p, get_attribute_value(p, g.index), o);
       })>("copy_attribute_into_y", kAllExtraBytes, AttributeIndex{a.u32[0]});
     }},
    {"-copy_attribute_into_z", "index of attribute", "u",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const AttributeIndex& g, LASpoint& p, int64_t& o) {
         set_z(p, get_attribute_value(p, g.index), o);
       })>("copy_attribute_into_z", kAllExtraBytes, AttributeIndex{a.u32[0]});
     }},
    {"-add_attribute_to_z", "index of attribute", "u",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const AttributeIndex& g, LASpoint& p, int64_t& o) {
         set_z(p, p.get_z() + get_attribute_value(p, g.index), o);
       })>("add_attribute_to_z", kAllExtraBytes | kZ, AttributeIndex{a.u32[0]});
     }},
    {"-add_scaled_attribute_to_z", "index scale", "uf",
     [](const ArgValues& a, LASregisters&) -> std::unique_ptr<LASoperation> {
       if (a.f32[1] == 0.0f) {
         print_message("ERROR: '%s' needs 2 arguments: index scale but '%g' is no valid scale\n", a.option,
                       static_cast<double>(a.f32[1]));
         return nullptr;
       }
       return make_op<([](const ScaledAttribute& g, LASpoint& p, int64_t& o) {
         set_z(p, p.get_z() + get_attribute_value(p, g.index) * static_cast<double>(g.scale), o);
       })>("add_scaled_attribute_to_z", kAllExtraBytes | kZ, ScaledAttribute{a.u32[0], a.f32[1]});
     }},
    {"-copy_intensity_into_z", "", "",
     [](const ArgValues&, LASregisters&) {
       return make_op<([](const NoArgs&, LASpoint& p, int64_t& o) { set_z(p, p.intensity, o); })>(
           "copy_intensity_into_z", kIntensity, NoArgs{});
     }},
    {"-copy_user_data_into_z", "", "",
     [](const ArgValues&, LASregisters&) {
       return make_op<([](const NoArgs&, LASpoint& p, int64_t& o) { set_z(p, p.user_data, o); })>(
           "copy_user_data_into_z", kUserData, NoArgs{});
     }},
    {"-copy_register_into_x", "index of register", "u",
     [](const ArgValues& a, LASregisters& r) { return copy_register(a, r, "copy_register_into_x", 0); }},
    {"-copy_register_into_y", "index of register", "u",
     [](const ArgValues& a, LASregisters& r) { return copy_register(a, r, "copy_register_into_y", 1); }},
    {"-copy_register_into_z", "index of register", "u",
     [](const ArgValues& a, LASregisters& r) { return copy_register(a, r, "copy_register_into_z", 2); }},
    // integer coordinates
    {"-translate_raw_x", "raw_offset", "d",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const I1& g, LASpoint& p, int64_t& o) { p.X = add_raw(p.X, g.a, o); })>(
           "translate_raw_x", 0, I1{a.i32[0]});
     }},
    {"-translate_raw_y", "raw_offset", "d",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const I1& g, LASpoint& p, int64_t& o) { p.Y = add_raw(p.Y, g.a, o); })>(
           "translate_raw_y", 0, I1{a.i32[0]});
     }},
    {"-translate_raw_z", "raw_offset", "d",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const I1& g, LASpoint& p, int64_t& o) { p.Z = add_raw(p.Z, g.a, o); })>(
           "translate_raw_z", kZ, I1{a.i32[0]});
     }},
    {"-translate_raw_xyz", "raw_offset_x raw_offset_y raw_offset_z", "ddd",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const I3& g, LASpoint& p, int64_t& o) {
         p.X = add_raw(p.X, g.a, o);
         p.Y = add_raw(p.Y, g.b, o);
         p.Z = add_raw(p.Z, g.c, o);
       })>("translate_raw_xyz", kZ, I3{a.i32[0], a.i32[1], a.i32[2]});
     }},
    {"-translate_raw_xy_at_random", "max_raw_offset_x max_raw_offset_y", "dd",
     [](const ArgValues& a, LASregisters&) -> std::unique_ptr<LASoperation> {
       return std::make_unique<TranslateRawXYAtRandom>(a.i32[0], a.i32[1]);
     }},
    {"-clamp_raw_z", "below above", "dd",
     [](const ArgValues& a, LASregisters&) {
       return make_op<([](const I2& g, LASpoint& p, int64_t&) {
         if (p.Z < g.a)
           p.Z = g.a;
         else if (p.Z > g.b)
           p.Z = g.b;
       })>("clamp_raw_z", kZ, I2{a.i32[0], a.i32[1]});
     }},
};

// Reads comma-separated reals from one word; false when any part does not read.
bool read_comma_list(const char* word, std::vector<double>& values) {
  values.clear();
  std::string text(word);
  size_t start = 0;
  while (true) {
    const size_t comma = text.find(',', start);
    const std::string part =
        text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    double v = 0;
    if (!read_f64(part.c_str(), v)) return false;
    values.push_back(v);
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

}  // namespace

bool valid_register(const char* option, uint32_t index) {
  if (index <= 15) return true;
  print_message("ERROR: '%s' index of register %u is out of valid [0,15] range\n", option, index);
  return false;
}

std::span<const OperationOption> coordinate_operation_options() {
  return kOptions;
}

int parse_comma_list_option(const ArgumentCursor& w, std::unique_ptr<LASoperation>& made) {
  const char* a = w.option();
  std::vector<double> values;
  if (!std::strcmp(a, "-transform_helmert")) {
    if (!w.has(1) || !read_comma_list(w.argument(1), values) || (values.size() != 3 && values.size() != 7)) {
      print_message("ERROR: '%s' needs 3 or 7 comma separated parameters as argument\n", a);
      return -1;
    }
    if (values.size() == 3) {
      made = make_fast<TranslateXYZ>("translate_xyz", kZ,
                                     MoveThree{values[0], values[1], values[2], {}, {}, {}});
    } else {
      made = std::make_unique<TransformHelmert>(values.data());
    }
    return 1;
  }
  if (!std::strcmp(a, "-transform_affine")) {
    if (!w.has(1) || !read_comma_list(w.argument(1), values) || values.size() != 4) {
      print_message("ERROR: '%s' needs 4 comma separated parameters as argument\n", a);
      return -1;
    }
    made = std::make_unique<TransformAffine>(values.data());
    return 1;
  }
  if (!std::strcmp(a, "-transform_matrix")) {
    double m[12];
    for (int k = 0; k < 4; k++) {
      if (!w.has(4) || !read_comma_list(w.argument(k + 1), values) || values.size() != 3) {
        print_message("ERROR: '%s' needs 4 arguments: 4 x 3 comma separated values\n", a);
        return -1;
      }
      for (int j = 0; j < 3; j++) m[3 * k + j] = values[static_cast<size_t>(j)];
    }
    made = std::make_unique<TransformMatrix>(m);
    return 4;
  }
  return 0;
}

}  // namespace filter_detail
