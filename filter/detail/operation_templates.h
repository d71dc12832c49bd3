#pragma once
// What most transform operations share: the value rules (storing real coordinates with overflow
// counting, saturation, rounding, setting a class) and an operation made of a small argument
// record and a function, compiled into one inline body behind the operation's virtual call.

#include <algorithm>
#include <cmath>
#include <cstdint>
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

// An operation that applies Apply(args, point, overflow) to every point.
template <class Args, auto Apply>
class SimpleOperation final : public LASoperation {
 public:
  SimpleOperation(const char* name, uint32_t mask, Args args) : name_(name), mask_(mask), args_(args) {}
  const char* name() const override { return name_; }
  void write_command(CommandWriter& out) const override {
    out.option(name_);
    args_.write(out);
  }
  uint32_t get_decompress_selective() const override { return mask_; }
  void transform(LASpoint& point) override { Apply(args_, point, overflow_); }

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
