#pragma once
// The operations the transform applies to a point without a virtual call: the ones a typical run
// chains (a datum shift of the elevations, a class and an intensity scale set for a product, the
// point source of a flight line). Each is one SimpleOperation type with a kind; the transform
// recognises the kind once, when the operation joins it, and then calls the type's inline apply.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "filter/detail/operation_templates.h"

namespace filter_detail {

enum FastOperation : int {
  kNotFast = 0,
  kTranslateZ,
  kTranslateXYZ,
  kScaleIntensity,
  kSetClassification,
  kSetUserData,
  kSetPointSource,
};

inline void apply_translate_z(MoveOne& g, LASpoint& p, int64_t& o) {
  move_z(p, g.a, g.shift, o);
}
inline void apply_translate_xyz(MoveThree& g, LASpoint& p, int64_t& o) {
  move_x(p, g.a, g.x, o);
  move_y(p, g.b, g.y, o);
  move_z(p, g.c, g.z, o);
}
inline void apply_scale_intensity(const One<float>& g, LASpoint& p, int64_t&) {
  p.intensity = sat16_single(static_cast<float>(p.intensity) * g.a);
}
inline void apply_set_classification(const One<uint32_t>& g, LASpoint& p, int64_t&) {
  set_classification(p, g.a);
}
inline void apply_set_user_data(const One<uint32_t>& g, LASpoint& p, int64_t&) {
  p.user_data = static_cast<uint8_t>(g.a);
}
inline void apply_set_point_source(const One<uint32_t>& g, LASpoint& p, int64_t&) {
  p.point_source_ID = static_cast<uint16_t>(g.a);
}

using TranslateZ = SimpleOperation<MoveOne, apply_translate_z, kTranslateZ>;
using TranslateXYZ = SimpleOperation<MoveThree, apply_translate_xyz, kTranslateXYZ>;
using ScaleIntensity = SimpleOperation<One<float>, apply_scale_intensity, kScaleIntensity>;
using SetClassification = SimpleOperation<One<uint32_t>, apply_set_classification, kSetClassification>;
using SetUserData = SimpleOperation<One<uint32_t>, apply_set_user_data, kSetUserData>;
using SetPointSource = SimpleOperation<One<uint32_t>, apply_set_point_source, kSetPointSource>;

template <class Op, class Args>
std::unique_ptr<LASoperation> make_fast(const char* name, uint32_t mask, Args args) {
  return std::make_unique<Op>(name, mask, args);
}

// Applies `op`, of fast kind `kind`, to the point.
inline void apply_fast(int kind, LASoperation& op, LASpoint& p) {
  switch (kind) {
    case kTranslateZ:
      static_cast<TranslateZ&>(op).apply(p);
      break;
    case kTranslateXYZ:
      static_cast<TranslateXYZ&>(op).apply(p);
      break;
    case kScaleIntensity:
      static_cast<ScaleIntensity&>(op).apply(p);
      break;
    case kSetClassification:
      static_cast<SetClassification&>(op).apply(p);
      break;
    case kSetUserData:
      static_cast<SetUserData&>(op).apply(p);
      break;
    case kSetPointSource:
      static_cast<SetPointSource&>(op).apply(p);
      break;
    default:
      op.transform(p);
  }
}

// Applies the operations of a fixed chain, held at their fast kinds (none where a kind is absent).
template <size_t N>
inline void apply_fixed_chain(const std::array<LASoperation*, N>& ops, LASpoint& p) {
  static_assert(N > kSetPointSource);
  if (ops[kTranslateZ]) static_cast<TranslateZ*>(ops[kTranslateZ])->apply(p);
  if (ops[kTranslateXYZ]) static_cast<TranslateXYZ*>(ops[kTranslateXYZ])->apply(p);
  if (ops[kScaleIntensity]) static_cast<ScaleIntensity*>(ops[kScaleIntensity])->apply(p);
  if (ops[kSetClassification]) static_cast<SetClassification*>(ops[kSetClassification])->apply(p);
  if (ops[kSetUserData]) static_cast<SetUserData*>(ops[kSetUserData])->apply(p);
  if (ops[kSetPointSource]) static_cast<SetPointSource*>(ops[kSetPointSource])->apply(p);
}

}  // namespace filter_detail
