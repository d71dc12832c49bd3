// The one reader of numbers typed by the user (command-line arguments).
//
// Contract:
// - The whole word must be the number: "5abc", "", " 5" and "0x10" are not numbers. A leading
//   '+' is accepted; the decimal separator is always '.', whatever the locale.
// - The number must be finite and of its kind: "nan", "inf" and "1e400" are never numbers,
//   "1e39" is none for a float, "1.5" and "1e3" are none for an integer type.
// - Only then is it checked against the option's range, which for an integer type is narrowed to
//   what the type holds ("3000000000" is out of range for an int32_t, "-1" for a uint32_t).
// - The answer tells "not a number" and "out of range" apart, so that the message can say which
//   rule the word broke; describe_number words the rule.
// Nothing is printed here; ArgumentCursor (common/argument_cursor.h) turns the answer into the
// command line's messages.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <type_traits>

// Where a number may lie; the bounds are inclusive unless `min_excluded`.
struct NumberRange {
  double min = -std::numeric_limits<double>::infinity();
  double max = std::numeric_limits<double>::infinity();
  bool min_excluded = false;

  static constexpr NumberRange any() { return {}; }
  static constexpr NumberRange positive() { return {0.0, std::numeric_limits<double>::infinity(), true}; }
  static constexpr NumberRange non_negative() {
    return {0.0, std::numeric_limits<double>::infinity(), false};
  }
  static constexpr NumberRange between(double low, double high) { return {low, high, false}; }

  bool contains(double value) const { return (min_excluded ? value > min : value >= min) && value <= max; }
};

// The range narrowed to what the type T can hold.
template <class T>
NumberRange limited_to(NumberRange range) {
  if constexpr (std::is_integral_v<T>) {
    range.min = std::max(range.min, static_cast<double>(std::numeric_limits<T>::min()));
    range.max = std::min(range.max, static_cast<double>(std::numeric_limits<T>::max()));
  }
  return range;
}

enum class NumberVerdict { kOk, kNotANumber, kOutOfRange };

// Reads `word` into `value`, which is left unchanged unless the answer is kOk.
template <class T>
NumberVerdict read_number(std::string_view word, T& value, NumberRange range = NumberRange::any());

extern template NumberVerdict read_number<double>(std::string_view, double&, NumberRange);
extern template NumberVerdict read_number<float>(std::string_view, float&, NumberRange);
extern template NumberVerdict read_number<int32_t>(std::string_view, int32_t&, NumberRange);
extern template NumberVerdict read_number<uint32_t>(std::string_view, uint32_t&, NumberRange);
extern template NumberVerdict read_number<int64_t>(std::string_view, int64_t&, NumberRange);

// What a word must be, for messages: "a number", "a whole number", "a positive number",
// "a non-negative number", "a whole number from 1 to 60", "a number of at most 5".
std::string describe_number(bool whole, NumberRange range);
