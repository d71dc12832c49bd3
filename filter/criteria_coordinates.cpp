// Criteria on coordinates: boxes, windows and bounds on the real and the integer values.
#include <cmath>

#include "filter/detail/criteria.h"
#include "filter/detail/criterion_templates.h"
#include "pointio/laspointstage.h"

namespace filter_detail {

namespace {

using las_fields::kZ;

// Keeps the points of a square tile; its upper bounds are single-precision sums, as tiles are
// named by float corners and sizes.
class KeepTile final : public LAScriterion {
 public:
  KeepTile(float ll_x, float ll_y, float size)
      : ll_x_(ll_x), ll_y_(ll_y), size_(size), ur_x_(ll_x + size), ur_y_(ll_y + size) {}
  const char* name() const override { return "keep_tile"; }
  void write_command(CommandWriter& out) const override {
    out.option(name());
    out.value(ll_x_);
    out.value(ll_y_);
    out.value(size_);
  }
  uint32_t get_decompress_selective() const override { return 0; }
  bool filter(const LASpoint& p) override {
    const double x = p.get_x(), y = p.get_y();
    return !(static_cast<double>(ll_x_) <= x && x < static_cast<double>(ur_x_) &&
             static_cast<double>(ll_y_) <= y && y < static_cast<double>(ur_y_));
  }

 private:
  float ll_x_, ll_y_, size_, ur_x_, ur_y_;
};

class KeepCircle final : public LAScriterion {
 public:
  KeepCircle(double x, double y, double radius) : x_(x), y_(y), radius_(radius), radius2_(radius * radius) {}
  const char* name() const override { return "keep_circle"; }
  void write_command(CommandWriter& out) const override {
    out.option(name());
    out.value(x_);
    out.value(y_);
    out.value(radius_);
  }
  uint32_t get_decompress_selective() const override { return 0; }
  bool filter(const LASpoint& p) override {
    const double dx = p.get_x() - x_, dy = p.get_y() - y_;
    return !(dx * dx + dy * dy < radius2_);
  }

 private:
  double x_, y_, radius_, radius2_;
};

// Half-open boxes in x and y (and z), keeping or dropping what is inside.
template <class T, bool kWithZ, bool kKeep>
class BoxCriterion final : public LAScriterion {
 public:
  BoxCriterion(const char* name, const T* min, const T* max) : name_(name) {
    for (int a = 0; a < 3; a++) min_[a] = min[a], max_[a] = max[a];
  }
  const char* name() const override { return name_; }
  void write_command(CommandWriter& out) const override {
    out.option(name_);
    constexpr int n = kWithZ ? 3 : 2;
    for (int a = 0; a < n; a++) out.value(min_[a]);
    for (int a = 0; a < n; a++) out.value(max_[a]);
  }
  uint32_t get_decompress_selective() const override { return kWithZ ? kZ : 0; }
  bool filter(const LASpoint& p) override {
    bool inside;
    if constexpr (std::is_floating_point_v<T>) {
      const double x = p.get_x(), y = p.get_y();
      inside = min_[0] <= x && x < max_[0] && min_[1] <= y && y < max_[1];
      if constexpr (kWithZ) {
        const double z = p.get_z();
        inside = inside && min_[2] <= z && z < max_[2];
      }
    } else {
      inside = min_[0] <= p.X && p.X < max_[0] && min_[1] <= p.Y && p.Y < max_[1];
    }
    return kKeep ? !inside : inside;
  }

 private:
  const char* name_;
  T min_[3] = {}, max_[3] = {};
};

// Keeps the points of the rectangle centred on the segment p1-p2, as long as the segment and
// `width` wide.
class KeepProfile final : public LAScriterion {
 public:
  KeepProfile(double p1_x, double p1_y, double p2_x, double p2_y, double width)
      : p1_x_(p1_x), p1_y_(p1_y), p2_x_(p2_x), p2_y_(p2_y), width_(width) {
    dx_ = p2_x - p1_x;
    dy_ = p2_y - p1_y;
    length_ = std::sqrt(dx_ * dx_ + dy_ * dy_);
    cx_ = (p1_x + p2_x) / 2;
    cy_ = (p1_y + p2_y) / 2;
  }
  const char* name() const override { return "keep_profile"; }
  void write_command(CommandWriter& out) const override {
    out.option(name());
    for (double v : {p1_x_, p1_y_, p2_x_, p2_y_, width_}) out.value(v);
  }
  uint32_t get_decompress_selective() const override { return 0; }
  bool filter(const LASpoint& p) override {
    const double x = p.get_x(), y = p.get_y();
    const double s = (dx_ * (p1_y_ - y) - (p1_x_ - x) * dy_) / length_;
    const double t = ((x - cx_) * dx_ + (y - cy_) * dy_) / length_;
    return !(-width_ / 2 <= s && s <= width_ / 2 && -length_ / 2 <= t && t <= length_ / 2);
  }

 private:
  double p1_x_, p1_y_, p2_x_, p2_y_, width_;
  double dx_ = 0, dy_ = 0, length_ = 0, cx_ = 0, cy_ = 0;
};

template <auto Get, Window W>
std::unique_ptr<LAScriterion> real_window(const char* name, uint32_t mask, const ArgValues& a) {
  return std::make_unique<WindowCriterion<double, Get, W>>(name, mask, a.f64[0], a.f64[1]);
}
template <auto Get, Relation R>
std::unique_ptr<LAScriterion> real_bound(const char* name, uint32_t mask, const ArgValues& a) {
  return std::make_unique<BoundCriterion<double, Get, R>>(name, mask, a.f64[0]);
}
template <auto Get, Window W>
std::unique_ptr<LAScriterion> int_window(const char* name, uint32_t mask, const ArgValues& a) {
  return std::make_unique<WindowCriterion<int32_t, Get, W>>(name, mask, a.i32[0], a.i32[1]);
}
template <auto Get, Relation R>
std::unique_ptr<LAScriterion> int_bound(const char* name, uint32_t mask, const ArgValues& a) {
  return std::make_unique<BoundCriterion<int32_t, Get, R>>(name, mask, a.i32[0]);
}

constexpr Window kKeepWindow = Window::kOutsideHalfOpen;
constexpr Window kDropWindow = Window::kInsideHalfOpen;

const CriterionOption kOptions[] = {
    {"-keep_tile", "llx lly size", "fff",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       return std::make_unique<KeepTile>(a.f32[0], a.f32[1], a.f32[2]);
     }},
    {"-keep_circle", "center_x center_y radius", "FFF",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       return std::make_unique<KeepCircle>(a.f64[0], a.f64[1], a.f64[2]);
     }},
    {"-keep_xy", "min_x min_y max_x max_y", "FFFF",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       const double min[3] = {a.f64[0], a.f64[1], 0}, max[3] = {a.f64[2], a.f64[3], 0};
       return std::make_unique<BoxCriterion<double, false, true>>("keep_xy", min, max);
     }},
    {"-drop_xy", "min_x min_y max_x max_y", "FFFF",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       const double min[3] = {a.f64[0], a.f64[1], 0}, max[3] = {a.f64[2], a.f64[3], 0};
       return std::make_unique<BoxCriterion<double, false, false>>("drop_xy", min, max);
     }},
    {"-keep_xyz", "min_x min_y min_z max_x max_y max_z", "FFFFFF",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       return std::make_unique<BoxCriterion<double, true, true>>("keep_xyz", a.f64, a.f64 + 3);
     }},
    {"-drop_xyz", "min_x min_y min_z max_x max_y max_z", "FFFFFF",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       return std::make_unique<BoxCriterion<double, true, false>>("drop_xyz", a.f64, a.f64 + 3);
     }},
    {"-keep_profile", "p1_x p1_y p2_x p2_y width", "FFFFF",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       return std::make_unique<KeepProfile>(a.f64[0], a.f64[1], a.f64[2], a.f64[3], a.f64[4]);
     }},
    {"-keep_x", "min max", "FF",
     [](const ArgValues& a) { return real_window<get_x, kKeepWindow>("keep_x", 0, a); }},
    {"-drop_x", "min max", "FF",
     [](const ArgValues& a) { return real_window<get_x, kDropWindow>("drop_x", 0, a); }},
    {"-keep_y", "min max", "FF",
     [](const ArgValues& a) { return real_window<get_y, kKeepWindow>("keep_y", 0, a); }},
    {"-drop_y", "min max", "FF",
     [](const ArgValues& a) { return real_window<get_y, kDropWindow>("drop_y", 0, a); }},
    {"-keep_z", "min max", "FF",
     [](const ArgValues& a) { return real_window<get_z, kKeepWindow>("keep_z", kZ, a); }},
    {"-drop_z", "min max", "FF",
     [](const ArgValues& a) { return real_window<get_z, kDropWindow>("drop_z", kZ, a); }},
    {"-drop_x_below", "min", "F",
     [](const ArgValues& a) { return real_bound<get_x, Relation::kBelow>("drop_x_below", 0, a); }},
    {"-drop_x_above", "max", "F",
     [](const ArgValues& a) { return real_bound<get_x, Relation::kAtOrAbove>("drop_x_above", 0, a); }},
    {"-drop_y_below", "min", "F",
     [](const ArgValues& a) { return real_bound<get_y, Relation::kBelow>("drop_y_below", 0, a); }},
    {"-drop_y_above", "max", "F",
     [](const ArgValues& a) { return real_bound<get_y, Relation::kAtOrAbove>("drop_y_above", 0, a); }},
    {"-drop_z_below", "min", "F",
     [](const ArgValues& a) { return real_bound<get_z, Relation::kBelow>("drop_z_below", kZ, a); }},
    {"-drop_z_above", "max", "F",
     [](const ArgValues& a) { return real_bound<get_z, Relation::kAtOrAbove>("drop_z_above", kZ, a); }},
    {"-keep_z_above", "value", "F",
     [](const ArgValues& a) { return real_bound<get_z, Relation::kBelow>("drop_z_below", kZ, a); }},
    {"-keep_z_below", "value", "F",
     [](const ArgValues& a) { return real_bound<get_z, Relation::kAtOrAbove>("drop_z_above", kZ, a); }},
    {"-keep_X", "min max", "dd",
     [](const ArgValues& a) { return int_window<get_X, kKeepWindow>("keep_X", 0, a); }},
    {"-drop_X", "min max", "dd",
     [](const ArgValues& a) { return int_window<get_X, kDropWindow>("drop_X", 0, a); }},
    {"-keep_Y", "min max", "dd",
     [](const ArgValues& a) { return int_window<get_Y, kKeepWindow>("keep_Y", 0, a); }},
    {"-drop_Y", "min max", "dd",
     [](const ArgValues& a) { return int_window<get_Y, kDropWindow>("drop_Y", 0, a); }},
    {"-keep_Z", "min max", "dd",
     [](const ArgValues& a) { return int_window<get_Z, kKeepWindow>("keep_Z", kZ, a); }},
    {"-drop_Z", "min max", "dd",
     [](const ArgValues& a) { return int_window<get_Z, kDropWindow>("drop_Z", kZ, a); }},
    {"-keep_XY", "min_X min_Y max_X max_Y", "dddd",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       const int32_t min[3] = {a.i32[0], a.i32[1], 0}, max[3] = {a.i32[2], a.i32[3], 0};
       return std::make_unique<BoxCriterion<int32_t, false, true>>("keep_XY", min, max);
     }},
    {"-drop_X_below", "value", "d",
     [](const ArgValues& a) { return int_bound<get_X, Relation::kBelow>("drop_X_below", 0, a); }},
    {"-drop_X_above", "value", "d",
     [](const ArgValues& a) { return int_bound<get_X, Relation::kAtOrAbove>("drop_X_above", 0, a); }},
    {"-drop_Y_below", "value", "d",
     [](const ArgValues& a) { return int_bound<get_Y, Relation::kBelow>("drop_Y_below", 0, a); }},
    {"-drop_Y_above", "value", "d",
     [](const ArgValues& a) { return int_bound<get_Y, Relation::kAtOrAbove>("drop_Y_above", 0, a); }},
    {"-drop_Z_below", "value", "d",
     [](const ArgValues& a) { return int_bound<get_Z, Relation::kBelow>("drop_Z_below", kZ, a); }},
    {"-drop_Z_above", "value", "d",
     [](const ArgValues& a) { return int_bound<get_Z, Relation::kAtOrAbove>("drop_Z_above", kZ, a); }},
    {"-keep_Z_above", "value", "d",
     [](const ArgValues& a) { return int_bound<get_Z, Relation::kBelow>("drop_Z_below", kZ, a); }},
    {"-keep_Z_below", "value", "d",
     [](const ArgValues& a) { return int_bound<get_Z, Relation::kAtOrAbove>("drop_Z_above", kZ, a); }},
};

}  // namespace

std::span<const CriterionOption> coordinate_criterion_options() {
  return kOptions;
}

}  // namespace filter_detail
