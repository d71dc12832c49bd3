#pragma once
// The operations of the point transform, grouped by the fields they change, and the tables that
// map their options to argument lists and factories.

#include <cstdint>
#include <memory>
#include <span>

#include "filter/detail/option_args.h"
#include "filter/lasoperation.h"

struct LASregisters;

namespace filter_detail {

// Makes the operation of an option from its arguments; answers none after printing the message of
// an argument out of range or a file that cannot be used.
using MakeOperation = std::unique_ptr<LASoperation> (*)(const ArgValues& args, LASregisters& registers);

struct OperationOption {
  const char* option;  // "-translate_xyz"
  const char* names;   // argument names as messages show them: "offset_x offset_y offset_z"
  const char* types;   // one character per argument, see read_args
  MakeOperation make;
  const char* missing = nullptr;  // the message of missing words, when it is not the usual one
};

// Real and integer coordinates.
std::span<const OperationOption> coordinate_operation_options();
// Intensity, scan angle, returns, classification, flags, user data, point source, GPS time.
std::span<const OperationOption> field_operation_options();
// RGB and NIR.
std::span<const OperationOption> colour_operation_options();
// Attributes, registers and wave packets.
std::span<const OperationOption> attribute_operation_options();

// The options whose arguments are comma-separated lists in one or more words. Answers how many
// words after the option were consumed, or -1 after printing the message of a bad list; `made`
// stays none for an option that is not one of them.
int parse_comma_list_option(const ArgumentCursor& args, std::unique_ptr<LASoperation>& made);

std::unique_ptr<LASoperation> make_set_point_source(uint16_t value);

// Prints "ERROR: '<option>' index of register <i> is out of valid [0,15] range" for i > 15.
bool valid_register(const char* option, uint32_t index);

}  // namespace filter_detail
