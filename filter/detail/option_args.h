#pragma once
// Reading the arguments of a filter or transform option from the shared argument vector, with
// the messages of a missing or unreadable argument. Numbers are read by the strict shared reader;
// the messages are those the filter and transform options have always printed.

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

#include "common/argument_cursor.h"
#include "common/numbers.h"

namespace filter_detail {

inline bool read_f64(const char* word, double& value) {
  return read_number(word, value) == NumberVerdict::kOk;
}
inline bool read_f32(const char* word, float& value) {
  return read_number(word, value) == NumberVerdict::kOk;
}
inline bool read_i32(const char* word, int32_t& value) {
  return read_number(word, value) == NumberVerdict::kOk;
}
inline bool read_u32(const char* word, uint32_t& value) {
  return read_number(word, value) == NumberVerdict::kOk;
}

// Whether argument k of the option exists and starts with a digit (list options take such words).
inline bool starts_with_digit(const ArgumentCursor& args, int k) {
  return args.has(k) && args.argument(k)[0] >= '0' && args.argument(k)[0] <= '9';
}

constexpr int kMaxArgs = 12;

// The arguments of one option as read by read_args.
struct ArgValues {
  const char* option = "";
  double f64[kMaxArgs] = {};
  float f32[kMaxArgs] = {};
  int32_t i32[kMaxArgs] = {};
  uint32_t u32[kMaxArgs] = {};
  const char* text[kMaxArgs] = {};
};

// Reads one argument per character of `types` ('F' double, 'f' float, 'd' int, 'u' unsigned,
// 's' any word) into the slot of its position. `names` are the argument names separated by blanks,
// as the messages show them. Prints
//   ERROR: '<option>' needs N arguments: <names>
// when words are missing, and the same followed by " but '<word>' is no valid <name>" for a word
// that does not read; then answers false.
bool read_args(const ArgumentCursor& args, const char* names, const char* types, ArgValues& out);

// The messages of read_args, for options that read their words themselves.
void print_needs(const char* option, int count, const char* names);
void print_needs_but(const char* option, int count, const char* names, const char* word,
                     const char* bad_name);

// The k-th (from 0) blank-separated name of `names`.
std::string nth_name(const char* names, int k);

// The options of several tables by their words, for the parsers' look-up.
template <class Option>
std::unordered_map<std::string_view, const Option*> index_options(
    std::initializer_list<std::span<const Option>> tables) {
  std::unordered_map<std::string_view, const Option*> index;
  for (std::span<const Option> table : tables) {
    for (const Option& o : table) index.emplace(o.option, &o);
  }
  return index;
}

// Parses the words of a command text (common/option_text.h) as an argument vector with `parse`.
bool parse_text(std::string_view text, const std::function<bool(int, char**)>& parse);

}  // namespace filter_detail
