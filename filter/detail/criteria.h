#pragma once
// The criteria of the point filter, grouped by what they test, and the tables that map their
// options to argument lists and factories.

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include "filter/detail/option_args.h"
#include "filter/lascriterion.h"

namespace filter_detail {

// Makes the criterion of an option from its arguments; answers none after printing the message
// of an argument out of range.
using MakeCriterion = std::unique_ptr<LAScriterion> (*)(const ArgValues& args);

struct CriterionOption {
  const char* option;  // "-keep_xy"
  const char* names;   // argument names as messages show them: "min_x min_y max_x max_y"
  const char* types;   // one character per argument, see read_args
  MakeCriterion make;
};

// Boxes, windows and bounds on real and integer coordinates.
std::span<const CriterionOption> coordinate_criterion_options();
// Return numbers and counts, flags and scanner channel.
std::span<const CriterionOption> return_criterion_options();
// Intensity, scan angle, user data, point source, GPS time, colours, wave packets, attributes.
std::span<const CriterionOption> value_criterion_options();
// Every nth, random fraction, grid and time thinning.
std::span<const CriterionOption> sampling_criterion_options();

// The criteria the parser assembles from lists and sets.
std::unique_ptr<LAScriterion> make_keep_classification_mask(uint32_t keep_set);
std::unique_ptr<LAScriterion> make_drop_classification_mask(uint32_t drop_set);
std::unique_ptr<LAScriterion> make_drop_extended_classification_mask(const std::array<uint32_t, 8>& drop_set);
std::unique_ptr<LAScriterion> make_keep_return_mask(uint32_t keep_set);
std::unique_ptr<LAScriterion> make_drop_return_mask(uint32_t drop_set);
std::unique_ptr<LAScriterion> make_drop_user_data(uint32_t value);
std::unique_ptr<LAScriterion> make_keep_point_source(uint32_t id);
std::unique_ptr<LAScriterion> make_drop_point_source(uint32_t id);
std::unique_ptr<LAScriterion> make_keep_random_fraction(float fraction, uint32_t seed, bool seeded);
std::unique_ptr<LAScriterion> make_combination(std::unique_ptr<LAScriterion> a,
                                               std::unique_ptr<LAScriterion> b, bool both);

// What the parser needs to know about a criterion to merge lists into it: the keep or drop set
// of a class or return mask criterion, or nothing.
enum class MaskKind { kNone, kKeepClassification, kDropClassification, kKeepReturn, kDropReturn };
MaskKind mask_kind(const LAScriterion& criterion, uint32_t& set);

// Prints "ERROR: '<option>' needs arguments between <lo> and <hi> but '<v>' is out of range".
void print_out_of_range(const char* option, int64_t lo, int64_t hi, int64_t value);

}  // namespace filter_detail
