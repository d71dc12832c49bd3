#include "pointio/lasrequantize.h"

#include <cmath>
#include <cstdint>

#include "common/messages.h"
#include "pointio/lasheader.h"

LASrequantizeStage::LASrequantizeStage(const Request& request, bool check_for_overflow)
    : mode_(!request.scale                            ? REOFFSET
            : (request.offset || request.auto_offset) ? RESCALE_REOFFSET
                                                      : RESCALE),
      auto_offset_(request.auto_offset),
      check_for_overflow_(check_for_overflow) {
  for (int a = 0; a < 3; a++) {
    if (request.scale) requested_scale_[a] = (*request.scale)[a];
    if (request.offset) requested_offset_[a] = (*request.offset)[a];
  }
}

bool LASrequantizeStage::bind(LASheader& header) {
  double* scale[3] = {&header.x_scale_factor, &header.y_scale_factor, &header.z_scale_factor};
  double* offset[3] = {&header.x_offset, &header.y_offset, &header.z_offset};
  const double min[3] = {header.min_x, header.min_y, header.min_z};
  const double max[3] = {header.max_x, header.max_y, header.max_z};
  for (int a = 0; a < 3; a++) {
    old_scale_[a] = *scale[a];
    old_offset_[a] = *offset[a];
    marked_[a] = false;
    if (mode_ != REOFFSET && requested_scale_[a] != 0 && requested_scale_[a] != *scale[a]) {
      *scale[a] = requested_scale_[a];
      marked_[a] = true;
    }
  }
  if (mode_ != RESCALE) {
    for (int a = 0; a < 3; a++) {
      double new_offset = requested_offset_[a];
      if (auto_offset_) {
        new_offset = 0.0;
        if (min[a] > -2e307 && min[a] < 2e307 && max[a] > -2e307 && max[a] < 2e307) {
          // Round the centre of the box to a multiple of ten million units so the integers stay small.
          const double units = (min[a] + max[a]) / *scale[a] * 5e-08;
          new_offset = std::isfinite(units) && std::fabs(units) < 9e18
                           ? double(static_cast<int64_t>(units)) * 10000000 * *scale[a]
                           : *offset[a];
        }
      }
      if (new_offset != *offset[a]) {
        *offset[a] = new_offset;
        marked_[a] = true;
      }
    }
  }
  for (int a = 0; a < 3; a++) {
    new_scale_[a] = *scale[a];
    new_offset_[a] = *offset[a];
  }
  return (mode_ == RESCALE && !check_for_overflow_) || check_overflow(header);
}

double LASrequantizeStage::requantized(int a, double X) const {
  switch (mode_) {
    case RESCALE:
      return X * old_scale_[a] / new_scale_[a];
    case REOFFSET:
      return (X * new_scale_[a] + old_offset_[a] - new_offset_[a]) / new_scale_[a];
    default:
      return (X * old_scale_[a] + old_offset_[a] - new_offset_[a]) / new_scale_[a];
  }
}

bool LASrequantizeStage::check_overflow(const LASheader& header) const {
  const double bounds[3][2] = {
      {header.min_x, header.max_x}, {header.min_y, header.max_y}, {header.min_z, header.max_z}};
  static const char* const kNames[3][2] = {{"min_x", "max_x"}, {"min_y", "max_y"}, {"min_z", "max_z"}};
  for (int a = 0; a < 3; a++) {
    if (!marked_[a]) continue;
    for (int b = 0; b < 2; b++) {
      const double q = (bounds[a][b] - old_offset_[a]) / old_scale_[a];
      const double X = q >= 0 ? std::floor(q + 0.5) : std::ceil(q - 0.5);
      const double r = requantized(a, X);
      const double Xn = r >= 0 ? std::floor(r + 0.5) : std::ceil(r - 0.5);
      if (Xn >= double(INT32_MIN) && Xn <= double(INT32_MAX)) continue;
      // One line names the first bound that does not fit; the source is refused for it.
      if (mode_ == RESCALE) {
        print_message("ERROR: rescaling from %g to %g causes LAS integer overflow for %s %.10g\n",
                      old_scale_[a], new_scale_[a], kNames[a][b], bounds[a][b]);
      } else if (mode_ == REOFFSET) {
        print_message("ERROR: reoffsetting from %g to %g causes LAS integer overflow for %s %.10g\n",
                      old_offset_[a], new_offset_[a], kNames[a][b], bounds[a][b]);
      } else {
        print_message(
            "ERROR: rescaling from %g to %g and reoffsetting from %g to %g causes LAS integer overflow "
            "for %s %.10g\n",
            old_scale_[a], new_scale_[a], old_offset_[a], new_offset_[a], kNames[a][b], bounds[a][b]);
      }
      return false;
    }
  }
  return true;
}

LASpointStage::Verdict LASrequantizeStage::process(LASpoint& point) {
  int32_t* coordinate[3] = {&point.X, &point.Y, &point.Z};
  for (int a = 0; a < 3; a++) {
    if (marked_[a]) *coordinate[a] = round_to_int32_bits(requantized(a, *coordinate[a]));
  }
  return Verdict::keep;
}
