// Criteria on intensity, scan angle, user data, point source, GPS time, colours, wave packets and
// extra-bytes attributes.
#include <algorithm>
#include <cstdio>

#include "common/messages.h"
#include "filter/detail/attribute_value.h"
#include "filter/detail/criteria.h"
#include "filter/detail/criterion_templates.h"
#include "pointio/laspointstage.h"

namespace filter_detail {

namespace {

using las_fields::kAllExtraBytes;
using las_fields::kGpsTime;
using las_fields::kIntensity;
using las_fields::kNir;
using las_fields::kPointSource;
using las_fields::kRgb;
using las_fields::kScanAngle;
using las_fields::kUserData;
using las_fields::kWavePacket;

// GPS time windows; points without a GPS time are never dropped by them.
class GpsTimeCriterion final : public LAScriterion {
 public:
  enum Kind { kKeepBetween, kDropBelow, kDropAbove, kDropBetween };
  GpsTimeCriterion(Kind kind, double a, double b = 0) : kind_(kind), a_(a), b_(b) {}
  const char* name() const override {
    static const char* const names[] = {"keep_gps_time", "drop_gps_time_below", "drop_gps_time_above",
                                        "drop_gps_time_between"};
    return names[kind_];
  }
  void write_command(CommandWriter& out) const override {
    out.option(name());
    out.value(a_);
    if (kind_ == kKeepBetween || kind_ == kDropBetween) out.value(b_);
  }
  uint32_t get_decompress_selective() const override { return kGpsTime; }
  bool filter(const LASpoint& p) override {
    if (!p.have_gps_time) return false;
    const double t = p.gps_time;
    switch (kind_) {
      case kKeepBetween:
        return t < a_ || t > b_;
      case kDropBelow:
        return t < a_;
      case kDropAbove:
        return t > a_;
      default:
        return a_ <= t && t <= b_;
    }
  }

 private:
  Kind kind_;
  double a_, b_;
};

const char* const kChannelWords[] = {"red", "green", "blue", "nir"};

class RgbChannel final : public LAScriterion {
 public:
  RgbChannel(bool keep, int channel, int32_t min, int32_t max)
      : keep_(keep), channel_(channel), min_(min), max_(max) {}
  const char* name() const override { return keep_ ? "keep_RGB" : "drop_RGB"; }
  void write_command(CommandWriter& out) const override {
    out.word(std::string(keep_ ? "-keep_RGB_" : "-drop_RGB_") + kChannelWords[channel_]);
    out.value(min_);
    out.value(max_);
  }
  uint32_t get_decompress_selective() const override { return channel_ == 3 ? kNir : kRgb; }
  bool filter(const LASpoint& p) override {
    const int32_t v = p.rgb[channel_];
    return (min_ <= v && v <= max_) != keep_;
  }

 private:
  bool keep_;
  int channel_;
  int32_t min_, max_;
};

class KeepGreenness final : public LAScriterion {
 public:
  KeepGreenness(int32_t min, int32_t max) : min_(min), max_(max) {}
  const char* name() const override { return "keep_RGB_greenness"; }
  void write_command(CommandWriter& out) const override {
    out.option(name());
    out.value(min_);
    out.value(max_);
  }
  uint32_t get_decompress_selective() const override { return kRgb; }
  bool filter(const LASpoint& p) override {
    const int32_t g = 2 * p.rgb[1] - p.rgb[0] - p.rgb[2];
    return g < min_ || g > max_;
  }

 private:
  int32_t min_, max_;
};

// Normalised differences (a - b) / (a + b) of two channels, in single precision. 0 / 0 is not a
// number and fails both comparisons, so such points are dropped.
class KeepNdvi final : public LAScriterion {
 public:
  enum Kind { kNirRed, kGreenRed, kBlueRed, kRedGreen, kIntensityRed };
  KeepNdvi(Kind kind, float min, float max) : kind_(kind), min_(min), max_(max) {}
  const char* name() const override {
    return kind_ == kRedGreen       ? "keep_NDVI_from_CIR"
           : kind_ == kIntensityRed ? "keep_NDVI_intensity_is_NIR"
                                    : "keep_NDVI";
  }
  void write_command(CommandWriter& out) const override {
    static const char* const options[] = {"keep_NDVI", "keep_NDVI_green_is_NIR", "keep_NDVI_blue_is_NIR",
                                          "keep_NDVI_from_CIR", "keep_NDVI_intensity_is_NIR"};
    out.option(options[kind_]);
    out.value(min_);
    out.value(max_);
  }
  uint32_t get_decompress_selective() const override {
    switch (kind_) {
      case kNirRed:
        return kRgb | kNir;
      case kIntensityRed:
        return kRgb | kIntensity;
      default:
        return kRgb;
    }
  }
  bool filter(const LASpoint& p) override {
    float a = 0, b = p.rgb[0];
    switch (kind_) {
      case kNirRed:
        a = p.rgb[3];
        break;
      case kGreenRed:
        a = p.rgb[1];
        break;
      case kBlueRed:
        a = p.rgb[2];
        break;
      case kRedGreen:
        a = p.rgb[0], b = p.rgb[1];
        break;
      case kIntensityRed:
        a = p.intensity;
        break;
    }
    const float ratio = (a - b) / (a + b);
    return !(min_ <= ratio && ratio <= max_);
  }

 private:
  Kind kind_;
  float min_, max_;
};

class AttributeCriterion final : public LAScriterion {
 public:
  enum Kind { kKeepBelow, kKeepAbove, kKeepBetween, kDropBelow, kDropAbove, kDropBetween };
  AttributeCriterion(Kind kind, int64_t index, double a, double b = 0)
      : kind_(kind), index_(index), a_(a), b_(b) {}
  const char* name() const override {
    static const char* const names[] = {"keep_attribute_below",   "keep_attribute_above",
                                        "keep_attribute_between", "drop_attribute_below",
                                        "drop_attribute_above",   "drop_attribute_between"};
    return names[kind_];
  }
  void write_command(CommandWriter& out) const override {
    out.option(name());
    if (index_ < 0)
      out.value(static_cast<int32_t>(index_));
    else
      out.value(static_cast<uint32_t>(index_));
    out.value(a_);
    if (kind_ == kKeepBetween || kind_ == kDropBetween) out.value(b_);
  }
  uint32_t get_decompress_selective() const override { return kAllExtraBytes; }
  bool filter(const LASpoint& p) override {
    // A negative index names no attribute, whose value is 0.
    const double v = index_ < 0 ? 0.0 : get_attribute_value(p, static_cast<uint32_t>(index_));
    switch (kind_) {
      case kKeepBelow:
        return v >= a_;
      case kKeepAbove:
        return v <= a_;
      case kKeepBetween:
        return v < a_ || v > b_;
      case kDropBelow:
        return v < a_;
      case kDropAbove:
        return v > a_;
      default:
        return a_ <= v && v <= b_;
    }
  }

 private:
  Kind kind_;
  int64_t index_;
  double a_, b_;
};

template <auto Get, Window W, class T>
std::unique_ptr<LAScriterion> window(const char* name, uint32_t mask, T min, T max) {
  return std::make_unique<WindowCriterion<T, Get, W>>(name, mask, min, max);
}
template <auto Get, Relation R, class T>
std::unique_ptr<LAScriterion> bound(const char* name, uint32_t mask, T value) {
  return std::make_unique<BoundCriterion<T, Get, R>>(name, mask, value);
}

// The unsigned arguments of an option must not exceed `limit`; answers false after the message.
bool within(const ArgValues& a, int count, uint32_t limit) {
  for (int k = 0; k < count; k++) {
    if (a.u32[k] > limit) {
      print_out_of_range(a.option, 0, limit, a.u32[k]);
      return false;
    }
  }
  return true;
}

// Bounds named min and max are swapped when given the wrong way round.
template <class T>
void order(T& min, T& max) {
  if (min > max) std::swap(min, max);
}

std::unique_ptr<LAScriterion> scan_angle_window(bool keep, int32_t min, int32_t max) {
  order(min, max);
  if (keep)
    return window<get_scan_angle_rank, Window::kOutsideClosed>("keep_scan_angle", kScanAngle, min, max);
  return window<get_scan_angle_rank, Window::kInsideClosed>("drop_scan_angle_between", kScanAngle, min, max);
}

std::unique_ptr<LAScriterion> rgb(const ArgValues& a, bool keep, int channel) {
  int32_t min = a.i32[0], max = a.i32[1];
  order(min, max);
  return std::make_unique<RgbChannel>(keep, channel, min, max);
}

std::unique_ptr<LAScriterion> ndvi(const ArgValues& a, KeepNdvi::Kind kind) {
  float min = a.f32[0], max = a.f32[1];
  order(min, max);
  return std::make_unique<KeepNdvi>(kind, min, max);
}

// The absolute-angle options are built from angle windows, which mean nothing for a negative
// bound (and for a minimum of 0, whose window would be empty before its bounds are ordered).
bool valid_abs_angle(const ArgValues& a, int32_t lowest, const char* name) {
  if (a.i32[0] >= lowest) return true;
  print_message("ERROR: '%s' needs 1 argument: %s but '%d' is no valid value\n", a.option, name, a.i32[0]);
  return false;
}

constexpr uint32_t kMax8 = 255, kMax16 = 65535;

const CriterionOption kOptions[] = {
    // intensity
    {"-keep_intensity", "min max", "uu",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       if (!within(a, 2, kMax16)) return nullptr;
       return window<get_intensity, Window::kOutsideClosed>("keep_intensity", kIntensity, a.u32[0], a.u32[1]);
     }},
    {"-keep_intensity_above", "value", "u",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       if (!within(a, 1, kMax16)) return nullptr;
       return bound<get_intensity, Relation::kAtOrBelow>("keep_intensity_above", kIntensity, a.u32[0]);
     }},
    {"-keep_intensity_below", "value", "u",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       if (!within(a, 1, kMax16)) return nullptr;
       return bound<get_intensity, Relation::kAtOrAbove>("keep_intensity_below", kIntensity, a.u32[0]);
     }},
    {"-drop_intensity_above", "value", "d",
     [](const ArgValues& a) {
       return bound<get_intensity, Relation::kAbove>("drop_intensity_above", kIntensity, a.i32[0]);
     }},
    {"-drop_intensity_below", "value", "d",
     [](const ArgValues& a) {
       return bound<get_intensity, Relation::kBelow>("drop_intensity_below", kIntensity, a.i32[0]);
     }},
    {"-drop_intensity_between", "min max", "dd",
     [](const ArgValues& a) {
       return window<get_intensity, Window::kInsideClosed>("drop_intensity_between", kIntensity, a.i32[0],
                                                            a.i32[1]);
     }},
    // scan angle (the signed 8-bit rank, in degrees)
    {"-keep_scan_angle", "min max", "dd", [](const ArgValues& a) { return scan_angle_window(true, a.i32[0], a.i32[1]); }},
    {"-keep_scan_angle_between", "min max", "dd",
     [](const ArgValues& a) { return scan_angle_window(true, a.i32[0], a.i32[1]); }},
    {"-drop_scan_angle_below", "value", "d",
     [](const ArgValues& a) {
       return bound<get_scan_angle_rank, Relation::kBelow>("drop_scan_angle_below", kScanAngle, a.i32[0]);
     }},
    {"-drop_scan_angle_above", "value", "d",
     [](const ArgValues& a) {
       return bound<get_scan_angle_rank, Relation::kAbove>("drop_scan_angle_above", kScanAngle, a.i32[0]);
     }},
    {"-drop_scan_angle_between", "min max", "dd",
     [](const ArgValues& a) { return scan_angle_window(false, a.i32[0], a.i32[1]); }},
    {"-drop_abs_scan_angle_above", "max", "d",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       if (!valid_abs_angle(a, 0, "max")) return nullptr;
       return scan_angle_window(true, -a.i32[0], a.i32[0]);
     }},
    {"-drop_abs_scan_angle_below", "min", "d",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       if (!valid_abs_angle(a, 1, "min")) return nullptr;
       return scan_angle_window(false, 1 - a.i32[0], a.i32[0] - 1);
     }},
    // user data
    {"-keep_user_data", "value", "d",
     [](const ArgValues& a) { return bound<get_user_data, Relation::kNotEqual>("keep_user_data", kUserData, a.i32[0]); }},
    {"-keep_user_data_below", "value", "d",
     [](const ArgValues& a) {
       return bound<get_user_data, Relation::kAtOrAbove>("keep_user_data_below", kUserData, a.i32[0]);
     }},
    {"-keep_user_data_above", "value", "d",
     [](const ArgValues& a) {
       return bound<get_user_data, Relation::kAtOrBelow>("keep_user_data_above", kUserData, a.i32[0]);
     }},
    {"-keep_user_data_between", "min max", "dd",
     [](const ArgValues& a) {
       return window<get_user_data, Window::kOutsideClosed>("keep_user_data_between", kUserData, a.i32[0], a.i32[1]);
     }},
    {"-drop_user_data_below", "value", "u",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       if (!within(a, 1, kMax8)) return nullptr;
       return bound<get_user_data, Relation::kBelow>("drop_user_data_below", kUserData, a.u32[0]);
     }},
    {"-drop_user_data_above", "value", "u",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       if (!within(a, 1, kMax8)) return nullptr;
       return bound<get_user_data, Relation::kAbove>("drop_user_data_above", kUserData, a.u32[0]);
     }},
    {"-drop_user_data_between", "min max", "uu",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       if (!within(a, 2, kMax8)) return nullptr;
       return window<get_user_data, Window::kInsideClosed>("drop_user_data_between", kUserData, a.u32[0], a.u32[1]);
     }},
    // point source
    {"-keep_point_source_between", "min_ID max_ID", "uu",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       if (!within(a, 2, kMax16)) return nullptr;
       return window<get_point_source, Window::kOutsideClosed>("keep_point_source_between", kPointSource, a.u32[0],
                                                               a.u32[1]);
     }},
    {"-drop_point_source_between", "min_ID max_ID", "uu",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       if (!within(a, 2, kMax16)) return nullptr;
       return window<get_point_source, Window::kInsideClosed>("drop_point_source_between", kPointSource, a.u32[0],
                                                              a.u32[1]);
     }},
    {"-drop_point_source_below", "ID", "u",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       if (!within(a, 1, kMax16)) return nullptr;
       return bound<get_point_source, Relation::kBelow>("drop_point_source_below", kPointSource, a.u32[0]);
     }},
    {"-drop_point_source_above", "ID", "u",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       if (!within(a, 1, kMax16)) return nullptr;
       return bound<get_point_source, Relation::kAbove>("drop_point_source_above", kPointSource, a.u32[0]);
     }},
    // GPS time
    {"-keep_gps_time", "start end", "FF",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       return std::make_unique<GpsTimeCriterion>(GpsTimeCriterion::kKeepBetween, a.f64[0], a.f64[1]);
     }},
    {"-keep_gps_time_between", "start end", "FF",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       return std::make_unique<GpsTimeCriterion>(GpsTimeCriterion::kKeepBetween, a.f64[0], a.f64[1]);
     }},
    {"-keep_gpstime", "start end", "FF",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       return std::make_unique<GpsTimeCriterion>(GpsTimeCriterion::kKeepBetween, a.f64[0], a.f64[1]);
     }},
    {"-keep_gpstime_between", "start end", "FF",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       return std::make_unique<GpsTimeCriterion>(GpsTimeCriterion::kKeepBetween, a.f64[0], a.f64[1]);
     }},
    {"-keep_gps_time_above", "time", "F",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       return std::make_unique<GpsTimeCriterion>(GpsTimeCriterion::kDropBelow, a.f64[0]);
     }},
    {"-keep_gpstime_above", "time", "F",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       return std::make_unique<GpsTimeCriterion>(GpsTimeCriterion::kDropBelow, a.f64[0]);
     }},
    {"-keep_gps_time_below", "time", "F",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       return std::make_unique<GpsTimeCriterion>(GpsTimeCriterion::kDropAbove, a.f64[0]);
     }},
    {"-keep_gpstime_below", "time", "F",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       return std::make_unique<GpsTimeCriterion>(GpsTimeCriterion::kDropAbove, a.f64[0]);
     }},
    {"-drop_gps_time_below", "time", "F",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       return std::make_unique<GpsTimeCriterion>(GpsTimeCriterion::kDropBelow, a.f64[0]);
     }},
    {"-drop_gpstime_below", "time", "F",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       return std::make_unique<GpsTimeCriterion>(GpsTimeCriterion::kDropBelow, a.f64[0]);
     }},
    {"-drop_gps_time_above", "time", "F",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       return std::make_unique<GpsTimeCriterion>(GpsTimeCriterion::kDropAbove, a.f64[0]);
     }},
    {"-drop_gpstime_above", "time", "F",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       return std::make_unique<GpsTimeCriterion>(GpsTimeCriterion::kDropAbove, a.f64[0]);
     }},
    {"-drop_gps_time_between", "min max", "FF",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       return std::make_unique<GpsTimeCriterion>(GpsTimeCriterion::kDropBetween, a.f64[0], a.f64[1]);
     }},
    {"-drop_gpstime_between", "min max", "FF",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       return std::make_unique<GpsTimeCriterion>(GpsTimeCriterion::kDropBetween, a.f64[0], a.f64[1]);
     }},
    // colours
    {"-keep_RGB_red", "min max", "dd", [](const ArgValues& a) { return rgb(a, true, 0); }},
    {"-keep_RGB_green", "min max", "dd", [](const ArgValues& a) { return rgb(a, true, 1); }},
    {"-keep_RGB_blue", "min max", "dd", [](const ArgValues& a) { return rgb(a, true, 2); }},
    {"-keep_RGB_nir", "min max", "dd", [](const ArgValues& a) { return rgb(a, true, 3); }},
    {"-drop_RGB_red", "min max", "dd", [](const ArgValues& a) { return rgb(a, false, 0); }},
    {"-drop_RGB_green", "min max", "dd", [](const ArgValues& a) { return rgb(a, false, 1); }},
    {"-drop_RGB_blue", "min max", "dd", [](const ArgValues& a) { return rgb(a, false, 2); }},
    {"-drop_RGB_nir", "min max", "dd", [](const ArgValues& a) { return rgb(a, false, 3); }},
    {"-keep_RGB_greenness", "min max", "dd",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       int32_t min = a.i32[0], max = a.i32[1];
       order(min, max);
       return std::make_unique<KeepGreenness>(min, max);
     }},
    {"-keep_NDVI", "min max", "ff", [](const ArgValues& a) { return ndvi(a, KeepNdvi::kNirRed); }},
    {"-keep_NDVI_green_is_NIR", "min max", "ff", [](const ArgValues& a) { return ndvi(a, KeepNdvi::kGreenRed); }},
    {"-keep_NDVI_blue_is_NIR", "min max", "ff", [](const ArgValues& a) { return ndvi(a, KeepNdvi::kBlueRed); }},
    {"-keep_NDVI_from_CIR", "min max", "ff", [](const ArgValues& a) { return ndvi(a, KeepNdvi::kRedGreen); }},
    {"-keep_NDVI_intensity_is_NIR", "min max", "ff",
     [](const ArgValues& a) { return ndvi(a, KeepNdvi::kIntensityRed); }},
    // wave packets
    {"-keep_wavepacket", "index", "u",
     [](const ArgValues& a) {
       return bound<get_wavepacket_index, Relation::kNotEqual>("keep_wavepacket", kWavePacket, a.u32[0]);
     }},
    {"-drop_wavepacket", "index", "u",
     [](const ArgValues& a) {
       return bound<get_wavepacket_index, Relation::kEqual>("drop_wavepacket", kWavePacket, a.u32[0]);
     }},
    // attributes
    {"-keep_attribute_below", "index value", "dF",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       return std::make_unique<AttributeCriterion>(AttributeCriterion::kKeepBelow, a.i32[0], a.f64[1]);
     }},
    {"-keep_attribute_above", "index value", "dF",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       return std::make_unique<AttributeCriterion>(AttributeCriterion::kKeepAbove, a.i32[0], a.f64[1]);
     }},
    {"-keep_attribute_between", "index min max", "dFF",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       return std::make_unique<AttributeCriterion>(AttributeCriterion::kKeepBetween, a.i32[0], a.f64[1], a.f64[2]);
     }},
    {"-drop_attribute_below", "index value", "uF",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       return std::make_unique<AttributeCriterion>(AttributeCriterion::kDropBelow, a.u32[0], a.f64[1]);
     }},
    {"-drop_attribute_above", "index value", "uF",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       return std::make_unique<AttributeCriterion>(AttributeCriterion::kDropAbove, a.u32[0], a.f64[1]);
     }},
    {"-drop_attribute_between", "index below above", "uFF",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       return std::make_unique<AttributeCriterion>(AttributeCriterion::kDropBetween, a.u32[0], a.f64[1], a.f64[2]);
     }},
};

}  // namespace

std::unique_ptr<LAScriterion> make_drop_user_data(uint32_t value) {
  return bound<get_user_data, Relation::kEqual>("drop_user_data", kUserData, value);
}
std::unique_ptr<LAScriterion> make_keep_point_source(uint32_t id) {
  return bound<get_point_source, Relation::kNotEqual>("keep_point_source", kPointSource, id);
}
std::unique_ptr<LAScriterion> make_drop_point_source(uint32_t id) {
  return bound<get_point_source, Relation::kEqual>("drop_point_source", kPointSource, id);
}

std::span<const CriterionOption> value_criterion_options() {
  return kOptions;
}

}  // namespace filter_detail
