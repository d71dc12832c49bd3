// Criteria that keep a sample of the points: every nth, a random fraction, the first point of
// every grid cell or time slot.
#include <cmath>
#include <cstdio>
#include <new>
#include <stdexcept>
#include <string>

#include "common/messages.h"
#include "filter/detail/criteria.h"
#include "filter/detail/grid_occupancy.h"
#include "filter/detail/slot_table.h"
#include "pointio/laspoint.h"
#include "pointio/laspointstage.h"

namespace filter_detail {

namespace {

// Counts from 1 and drops (or keeps) the point at which the count reaches nth. The count runs on
// over files and passes.
class EveryNth final : public LAScriterion {
 public:
  EveryNth(bool keep, uint32_t nth) : keep_(keep), nth_(nth) {}
  const char* name() const override { return keep_ ? "keep_every_nth" : "drop_every_nth"; }
  void write_command(CommandWriter& out) const override {
    out.option(name());
    out.value(nth_);
  }
  uint32_t get_decompress_selective() const override { return 0; }
  bool filter(const LASpoint&) override {
    const bool hit = counter_ == nth_;
    counter_ = hit ? 1 : counter_ + 1;
    return hit != keep_;
  }

 private:
  bool keep_;
  uint32_t nth_;
  uint32_t counter_ = 1;
};

// The C library's classic linear congruential generator, so a seed gives the same sample on every
// platform.
class KeepRandomFraction final : public LAScriterion {
 public:
  KeepRandomFraction(float fraction, uint32_t seed, bool seeded)
      : fraction_(fraction), seed_(seed), seeded_(seeded), value_(seed) {}
  const char* name() const override { return "keep_random_fraction"; }
  void write_command(CommandWriter& out) const override {
    out.option(name());
    out.value(fraction_);
    if (seeded_) out.value(seed_);
  }
  uint32_t get_decompress_selective() const override { return 0; }
  bool filter(const LASpoint&) override {
    const uint32_t state = value_ * 214013u + 2531011u;
    value_ = (state >> 16) & 0x7FFFu;
    return static_cast<float>(value_) / 32767.0f > fraction_;
  }
  void reset() override { value_ = seed_; }

 private:
  float fraction_;
  uint32_t seed_;
  bool seeded_;
  uint32_t value_;
};

class ThinWithGrid final : public LAScriterion {
 public:
  explicit ThinWithGrid(float spacing) : spacing_(spacing) {}
  const char* name() const override { return "thin_with_grid"; }
  void write_command(CommandWriter& out) const override {
    out.option(name());
    out.value(spacing_);
  }
  uint32_t get_decompress_selective() const override { return 0; }
  bool filter(const LASpoint& p) override {
    const double g = static_cast<double>(spacing_);
    try {
      return grid_.test_and_set(slot_of(p.get_x(), g), slot_of(p.get_y(), g));
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    char message[128];
    std::snprintf(message, sizeof message, "ERROR: not enough memory for the grid of '-thin_with_grid %g'",
                  static_cast<double>(spacing_));
    throw std::runtime_error(message);
  }
  void reset() override { grid_.clear(); }

 private:
  float spacing_;
  GridOccupancy grid_;
};

// Thinning by GPS time slots. By pulses it keeps the returns of the first pulse seen in every
// slot: the points whose GPS time equals the first time stored for their slot. By points it keeps
// the first point of every slot.
class ThinWithTime final : public LAScriterion {
 public:
  ThinWithTime(bool pulses, double spacing) : pulses_(pulses), spacing_(spacing) {}
  const char* name() const override { return pulses_ ? "thin_pulses_with_time" : "thin_points_with_time"; }
  void write_command(CommandWriter& out) const override {
    out.option(name());
    out.value(spacing_);
  }
  uint32_t get_decompress_selective() const override { return las_fields::kGpsTime; }
  bool filter(const LASpoint& p) override {
    bool inserted = false;
    const double first = slots_.find_or_insert(slot_of(p.gps_time, spacing_), p.gps_time, inserted);
    if (inserted) return false;
    return !pulses_ || first != p.gps_time;
  }
  void reset() override { slots_.clear(); }

 private:
  bool pulses_;
  double spacing_;
  SlotTable slots_;
};

// A spacing must be above 0; NaN and infinity do not read.
bool positive(const ArgValues& a, double v, const char* name) {
  if (v > 0) return true;
  print_message("ERROR: '%s' needs 1 argument: %s but '%g' is no valid value\n", a.option, name, v);
  return false;
}

std::unique_ptr<LAScriterion> every_nth(const ArgValues& a, bool keep) {
  if (a.u32[0] == 0) {
    print_message("ERROR: '%s' needs 1 argument: nth but '%u' is no valid value\n", a.option, a.u32[0]);
    return nullptr;
  }
  return std::make_unique<EveryNth>(keep, a.u32[0]);
}

std::unique_ptr<LAScriterion> thin_with_time(const ArgValues& a, bool pulses) {
  if (!positive(a, a.f64[0], "time spacing")) return nullptr;
  return std::make_unique<ThinWithTime>(pulses, a.f64[0]);
}

const CriterionOption kOptions[] = {
    {"-keep_every_nth", "nth", "u", [](const ArgValues& a) { return every_nth(a, true); }},
    {"-drop_every_nth", "nth", "u", [](const ArgValues& a) { return every_nth(a, false); }},
    {"-thin_with_grid", "grid spacing", "f",
     [](const ArgValues& a) -> std::unique_ptr<LAScriterion> {
       if (!positive(a, static_cast<double>(a.f32[0]), "grid spacing")) return nullptr;
       return std::make_unique<ThinWithGrid>(a.f32[0]);
     }},
    {"-thin_pulses_with_time", "time spacing", "F",
     [](const ArgValues& a) { return thin_with_time(a, true); }},
    {"-thin_with_time", "time spacing", "F", [](const ArgValues& a) { return thin_with_time(a, true); }},
    {"-thin_points_with_time", "time spacing", "F",
     [](const ArgValues& a) { return thin_with_time(a, false); }},
};

}  // namespace

std::unique_ptr<LAScriterion> make_keep_random_fraction(float fraction, uint32_t seed, bool seeded) {
  return std::make_unique<KeepRandomFraction>(fraction, seed, seeded);
}

std::span<const CriterionOption> sampling_criterion_options() {
  return kOptions;
}

}  // namespace filter_detail
