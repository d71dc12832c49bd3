#pragma once
// The shapes most criteria share: a value of the point tested against fixed bounds, and a test
// without arguments. The value is read by a function given as a template argument, so the test
// compiles to one inline comparison behind the criterion's virtual call.

#include <cstdint>
#include <type_traits>

#include "filter/lascriterion.h"
#include "pointio/laspoint.h"

namespace filter_detail {

// Comparisons between the point's value and the bounds are made in double when either is a real
// number, else in 64-bit integers, so no bound is narrowed to the field's width.
template <class A, class B>
using CompareAs =
    std::conditional_t<std::is_floating_point_v<A> || std::is_floating_point_v<B>, double, int64_t>;

// Which points a two-bound criterion drops.
enum class Window {
  kOutsideHalfOpen,  // v < min or v >= max
  kInsideHalfOpen,   // min <= v < max
  kOutsideClosed,    // v < min or v > max
  kInsideClosed,     // min <= v <= max
};

template <class Bound, auto Get, Window W>
class WindowCriterion final : public LAScriterion {
 public:
  WindowCriterion(const char* name, uint32_t mask, Bound min, Bound max)
      : name_(name), mask_(mask), min_(min), max_(max), lo_(static_cast<C>(min)), hi_(static_cast<C>(max)) {}
  const char* name() const override { return name_; }
  void write_command(CommandWriter& out) const override {
    out.option(name_);
    out.value(min_);
    out.value(max_);
  }
  uint32_t get_decompress_selective() const override { return mask_; }
  bool filter(const LASpoint& point) override {
    const C v = static_cast<C>(Get(point));
    if constexpr (W == Window::kOutsideHalfOpen)
      return !(lo_ <= v && v < hi_);
    else if constexpr (W == Window::kInsideHalfOpen)
      return lo_ <= v && v < hi_;
    else if constexpr (W == Window::kOutsideClosed)
      return !(lo_ <= v && v <= hi_);
    else
      return lo_ <= v && v <= hi_;
  }

 private:
  using C = CompareAs<Bound, decltype(Get(std::declval<const LASpoint&>()))>;
  const char* name_;
  uint32_t mask_;
  Bound min_, max_;
  C lo_, hi_;
};

// Which points a one-bound criterion drops.
enum class Relation { kBelow, kAtOrAbove, kAbove, kAtOrBelow, kEqual, kNotEqual };

template <class Bound, auto Get, Relation R>
class BoundCriterion final : public LAScriterion {
 public:
  BoundCriterion(const char* name, uint32_t mask, Bound bound)
      : name_(name), mask_(mask), bound_(bound), b_(static_cast<C>(bound)) {}
  const char* name() const override { return name_; }
  void write_command(CommandWriter& out) const override {
    out.option(name_);
    out.value(bound_);
  }
  uint32_t get_decompress_selective() const override { return mask_; }
  bool filter(const LASpoint& point) override {
    const C v = static_cast<C>(Get(point));
    if constexpr (R == Relation::kBelow)
      return v < b_;
    else if constexpr (R == Relation::kAtOrAbove)
      return v >= b_;
    else if constexpr (R == Relation::kAbove)
      return v > b_;
    else if constexpr (R == Relation::kAtOrBelow)
      return v <= b_;
    else if constexpr (R == Relation::kEqual)
      return v == b_;
    else
      return v != b_;
  }

 private:
  using C = CompareAs<Bound, decltype(Get(std::declval<const LASpoint&>()))>;
  const char* name_;
  uint32_t mask_;
  Bound bound_;
  C b_;
};

// A criterion without arguments: drops the points for which Drop answers true.
template <auto Drop>
class PlainCriterion final : public LAScriterion {
 public:
  PlainCriterion(const char* name, uint32_t mask) : name_(name), mask_(mask) {}
  const char* name() const override { return name_; }
  void write_command(CommandWriter& out) const override { out.option(name_); }
  uint32_t get_decompress_selective() const override { return mask_; }
  bool filter(const LASpoint& point) override { return Drop(point); }

 private:
  const char* name_;
  uint32_t mask_;
};

// Field readers shared by the criteria.
inline double get_x(const LASpoint& p) {
  return p.get_x();
}
inline double get_y(const LASpoint& p) {
  return p.get_y();
}
inline double get_z(const LASpoint& p) {
  return p.get_z();
}
inline int32_t get_X(const LASpoint& p) {
  return p.X;
}
inline int32_t get_Y(const LASpoint& p) {
  return p.Y;
}
inline int32_t get_Z(const LASpoint& p) {
  return p.Z;
}
inline uint32_t get_intensity(const LASpoint& p) {
  return p.intensity;
}
inline int32_t get_scan_angle_rank(const LASpoint& p) {
  return p.scan_angle_rank;
}
inline uint32_t get_user_data(const LASpoint& p) {
  return p.user_data;
}
inline uint32_t get_point_source(const LASpoint& p) {
  return p.point_source_ID;
}
inline uint32_t get_scanner_channel(const LASpoint& p) {
  return p.extended_scanner_channel;
}
inline uint32_t get_scan_direction(const LASpoint& p) {
  return p.scan_direction_flag;
}
inline uint32_t get_wavepacket_index(const LASpoint& p) {
  return p.wavepacket.get_index();
}

// The 8-bit class of a point: the extended classification for points of the LAS 1.4 types, the
// 5-bit classification for the older ones (whose records hold no other).
inline uint32_t get_extended_class(const LASpoint& p) {
  return p.extended_point_type ? p.extended_classification : p.classification;
}

constexpr bool overlap_flag(const LASpoint& p) {
  return (p.extended_classification_flags & 8) != 0;
}

}  // namespace filter_detail
