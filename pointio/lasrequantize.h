// Re-expressing a source's integer coordinates with the scale factors and/or offsets the user asked
// for ("-rescale", "-reoffset", "-auto_reoffset"), as the first stage of a reader.
//
// When the source has read its header, bind() marks every axis whose scale or offset changes,
// writes the new ones into the header and refuses the source when a bound of the header would no
// longer fit a 32-bit integer: the wrapped integers would put points far from where they lie and
// contours there. Every point then has its marked axes re-quantized:
//   X' = round((X * old_scale + old_offset - new_offset) / new_scale)   (half away from zero)
// keeping the low 32 bits, as a record's integer field would.
#pragma once

#include <array>
#include <optional>

#include "pointio/laspointstage.h"

class LASrequantizeStage : public LASpointStage {
 public:
  struct Request {
    std::optional<std::array<double, 3>> scale;   // a zero factor keeps that axis
    std::optional<std::array<double, 3>> offset;  // given offsets ...
    bool auto_offset = false;                     // ... or the box centre rounded to 10^7 units
  };

  static Request rescale(double x, double y, double z) { return {std::array<double, 3>{x, y, z}, {}, false}; }
  static Request reoffset(double x, double y, double z) {
    return {{}, std::array<double, 3>{x, y, z}, false};
  }
  static Request auto_reoffset() { return {{}, {}, true}; }

  explicit LASrequantizeStage(const Request& request, bool check_for_overflow = true);

  bool bind(LASheader& header) override;
  Verdict process(LASpoint& point) override;
  // Re-expressing z needs z decoded.
  uint32_t field_mask() const override { return las_fields::kZ; }

 private:
  enum Mode { RESCALE, REOFFSET, RESCALE_REOFFSET };

  // False after the message naming the operation, the bound and its value when a bound of the
  // header does not fit a 32-bit integer after re-expressing.
  bool check_overflow(const LASheader& header) const;
  double requantized(int axis, double X) const;

  Mode mode_;
  double requested_scale_[3] = {0, 0, 0};
  double requested_offset_[3] = {0, 0, 0};
  bool auto_offset_;
  bool check_for_overflow_;
  bool marked_[3] = {false, false, false};
  double old_scale_[3] = {0, 0, 0};
  double old_offset_[3] = {0, 0, 0};
  double new_scale_[3] = {0, 0, 0};
  double new_offset_[3] = {0, 0, 0};
};
