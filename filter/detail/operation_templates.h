#pragma once
// What most transform operations share: the value rules (storing real coordinates with overflow
// counting, saturation, rounding, setting a class) and an operation made of a small argument
// record and a function, compiled into one inline body behind the operation's virtual call.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>

#include "filter/lasoperation.h"
#include "filter/lastransform.h"
#include "pointio/laspoint.h"

namespace filter_detail {

// Rounds half away from zero into a 64-bit integer; values beyond its range are held at its ends
// and NaN gives 0.
inline int64_t round_half_away(double v) {
  if (std::isnan(v)) return 0;
  const double r = v >= 0 ? v + 0.5 : v - 0.5;
  return static_cast<int64_t>(std::clamp(r, -9.2e18, 9.2e18));
}

// The integer of a real coordinate, rounded half away from the offset. A result outside the
// 32-bit range (or not a number) is counted in `overflow` and keeps its low 32 bits.
inline int32_t store_real(double v, double scale, double offset, int64_t& overflow) {
  const double q = (v - offset) / scale;
  const double r = v >= offset ? q + 0.5 : q - 0.5;
  if (!(r > -2147483649.0 && r < 2147483648.0)) {
    overflow++;
    if (std::isnan(r)) return 0;
    const int64_t wide = static_cast<int64_t>(std::clamp(r, -9.2e18, 9.2e18));
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(wide)));
  }
  return static_cast<int32_t>(r);
}

inline void set_x(LASpoint& p, double x, int64_t& overflow) {
  p.X = store_real(x, p.quantizer->x_scale_factor, p.quantizer->x_offset, overflow);
}
inline void set_y(LASpoint& p, double y, int64_t& overflow) {
  p.Y = store_real(y, p.quantizer->y_scale_factor, p.quantizer->y_offset, overflow);
}
inline void set_z(LASpoint& p, double z, int64_t& overflow) {
  p.Z = store_real(z, p.quantizer->z_scale_factor, p.quantizer->z_offset, overflow);
}

// Adds to an integer coordinate; a sum outside the 32-bit range is counted and wraps.
inline int32_t add_raw(int32_t v, int64_t offset, int64_t& overflow) {
  const int64_t sum = static_cast<int64_t>(v) + offset;
  if (sum < INT32_MIN || sum > INT32_MAX) overflow++;
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(sum)));
}

// A real move of one coordinate by a constant, as its stored integer sees it. With the usual
// scales a move is a whole number of quanta (1.5 m is 150 quanta of 0.01 m), and then quantising
// the moved real value, scale * v + offset + translation, always gives v + quanta: the rounding
// of the real arithmetic stays far below the half quantum that could change the result. That
// integer addition replaces the real arithmetic and its division, whose latency made the move the
// dearest step of a transformed point. The check is made again whenever the scale or the offset differs
// from the last point's, and a move that is not provably whole keeps the real arithmetic, so the
// result is the same integer, overflow counted alike, either way.
class QuantumShift {
 public:
  int32_t move(int32_t v, double translation, double scale, double offset, int64_t& overflow) {
    if (scale == scale_ && offset == offset_ && whole_) return add_raw(v, quanta_, overflow);
    return move_otherwise(v, translation, scale, offset, overflow);
  }

 private:
  // Out of line, so the whole move stays a few instructions.
  [[gnu::noinline]] int32_t move_otherwise(int32_t v, double translation, double scale, double offset,
                                           int64_t& overflow) {
    if (scale != scale_ || offset != offset_) prepare(translation, scale, offset);
    if (whole_) return add_raw(v, quanta_, overflow);
    return store_real(scale * v + offset + translation, scale, offset, overflow);
  }

  void prepare(double translation, double scale, double offset) {
    scale_ = scale;
    offset_ = offset;
    whole_ = false;
    if (!(scale > 0.0) || !std::isfinite(scale) || !std::isfinite(offset) || !std::isfinite(translation))
      return;
    const double quanta = translation / scale;
    if (!(std::fabs(quanta) < 0x1p40)) return;
    quanta_ = static_cast<int64_t>(std::llround(quanta));
    // The real path rounds five times on values no larger than `largest`; each rounding is within
    // 2^-53 of its value. The sum of their errors, in quanta, plus how far the move is from whole
    // must stay below a quarter quantum (half a quantum would decide the rounding; the margin
    // takes the final rounding of q +- 0.5 as well).
    const double largest = 0x1p31 * scale + std::fabs(offset) + std::fabs(translation);
    const double error = 16.0 * 0x1p-53 * largest / scale + 0x1p-51 * std::fabs(quanta);
    whole_ = std::fabs(quanta - static_cast<double>(quanta_)) + error < 0.25;
  }

  double scale_ = std::numeric_limits<double>::quiet_NaN();  // never equal: the first point prepares
  double offset_ = 0.0;
  int64_t quanta_ = 0;
  bool whole_ = false;
};

inline void move_x(LASpoint& p, double translation, QuantumShift& shift, int64_t& overflow) {
  p.X = shift.move(p.X, translation, p.quantizer->x_scale_factor, p.quantizer->x_offset, overflow);
}
inline void move_y(LASpoint& p, double translation, QuantumShift& shift, int64_t& overflow) {
  p.Y = shift.move(p.Y, translation, p.quantizer->y_scale_factor, p.quantizer->y_offset, overflow);
}
inline void move_z(LASpoint& p, double translation, QuantumShift& shift, int64_t& overflow) {
  p.Z = shift.move(p.Z, translation, p.quantizer->z_scale_factor, p.quantizer->z_offset, overflow);
}

inline uint16_t sat16(double v) {
  return v > 0 ? (v >= 65535 ? uint16_t{65535} : static_cast<uint16_t>(v)) : uint16_t{0};
}
inline uint8_t sat8(double v) {
  return v > 0 ? (v >= 255 ? uint8_t{255} : static_cast<uint8_t>(v)) : uint8_t{0};
}
// The single-precision forms round the value to a float first.
inline uint16_t sat16_single(float v) {
  return sat16(static_cast<double>(v));
}
inline uint8_t sat8_single(float v) {
  return sat8(static_cast<double>(v));
}

// A value for the 8-bit scan angle rank: rounded to a float, then half away from zero, then held
// within -128 to 127.
inline int8_t scan_angle_result(float v) {
  return static_cast<int8_t>(std::clamp<int64_t>(round_half_away(static_cast<double>(v)), -128, 127));
}

// The extended classification takes any class; the 5-bit one only those below 32 (else 0). The
// flag bits beside the 5-bit class stay.
inline void set_classification(LASpoint& p, uint32_t c) {
  p.extended_classification = static_cast<uint8_t>(c);
  p.classification = c < 32 ? static_cast<uint8_t>(c & 31) : uint8_t{0};
}

// The command words of the argument records.
inline void write_value(CommandWriter& out, double v) {
  out.value(v);
}
inline void write_value(CommandWriter& out, float v) {
  out.value(v);
}
inline void write_value(CommandWriter& out, int32_t v) {
  out.value(v);
}
inline void write_value(CommandWriter& out, uint32_t v) {
  out.value(v);
}

struct NoArgs {
  void write(CommandWriter&) const {}
};

template <class T>
struct One {
  T a;
  void write(CommandWriter& out) const { write_value(out, a); }
};

template <class T>
struct Two {
  T a, b;
  void write(CommandWriter& out) const {
    write_value(out, a);
    write_value(out, b);
  }
};

template <class T>
struct Three {
  T a, b, c;
  void write(CommandWriter& out) const {
    write_value(out, a);
    write_value(out, b);
    write_value(out, c);
  }
};

// The argument records of the real moves: the offsets and, per moved coordinate, its shift.
struct MoveOne {
  double a;
  QuantumShift shift;
  void write(CommandWriter& out) const { write_value(out, a); }
};

struct MoveThree {
  double a, b, c;
  QuantumShift x, y, z;
  void write(CommandWriter& out) const {
    write_value(out, a);
    write_value(out, b);
    write_value(out, c);
  }
};

// The argument records of the operations on attributes and registers.
struct AttributeIndex {
  uint32_t index;
  void write(CommandWriter& out) const { out.value(index); }
};

struct ScaledAttribute {
  uint32_t index;
  float scale;
  void write(CommandWriter& out) const {
    out.value(index);
    out.value(scale);
  }
};

// A register of the transform, read by the operation.
struct RegisterIndex {
  const LASregisters* registers;
  uint32_t index;
  void write(CommandWriter& out) const { out.value(index); }
  double get() const { return registers->reg[index]; }
};

// An operation that applies Apply(args, point, overflow) to every point. A nonzero Kind names it
// to the transform, which then applies it without the virtual call (fast_operations.h).
template <class Args, auto Apply, int Kind = 0>
class SimpleOperation final : public LASoperation {
 public:
  SimpleOperation(const char* name, uint32_t mask, Args args) : name_(name), mask_(mask), args_(args) {}
  const char* name() const override { return name_; }
  void write_command(CommandWriter& out) const override {
    out.option(name_);
    args_.write(out);
  }
  uint32_t get_decompress_selective() const override { return mask_; }
  void transform(LASpoint& point) override { apply(point); }
  int fast_kind() const override { return Kind; }
  void apply(LASpoint& point) { Apply(args_, point, overflow_); }

 private:
  const char* name_;
  uint32_t mask_;
  Args args_;
};

template <auto Apply, class Args>
std::unique_ptr<LASoperation> make_op(const char* name, uint32_t mask, Args args) {
  return std::make_unique<SimpleOperation<Args, Apply>>(name, mask, args);
}

}  // namespace filter_detail
