#include "common/numbers.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

// The word without a leading '+', which from_chars does not take; "+-5" stays invalid.
std::string_view without_plus(std::string_view word) {
  if (word.size() > 1 && word[0] == '+' && word[1] != '-' && word[1] != '+') word.remove_prefix(1);
  return word;
}

bool read_real(std::string_view word, double& value) {
  word = without_plus(word);
  if (word.empty()) return false;
  double v = 0.0;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), v);
  if (error != std::errc() || end != word.data() + word.size() || !std::isfinite(v)) return false;
  value = v;
  return true;
}

bool read_integer(std::string_view word, int64_t& value) {
  word = without_plus(word);
  if (word.empty()) return false;
  int64_t v = 0;
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), v, 10);
  if (error != std::errc() || end != word.data() + word.size()) return false;
  value = v;
  return true;
}

// Whole bounds are written out in full (4294967295, not 4.29497e+09).
std::string format_bound(double bound) {
  char text[40];
  if (bound == std::trunc(bound) && std::fabs(bound) < 1e17) {
    std::snprintf(text, sizeof text, "%.0f", bound);
  } else {
    std::snprintf(text, sizeof text, "%g", bound);
  }
  return text;
}

}  // namespace

template <class T>
NumberVerdict read_number(std::string_view word, T& value, NumberRange range) {
  if constexpr (std::is_integral_v<T>) {
    int64_t whole = 0;
    if (!read_integer(word, whole)) return NumberVerdict::kNotANumber;
    if (!limited_to<T>(range).contains(static_cast<double>(whole))) return NumberVerdict::kOutOfRange;
    value = static_cast<T>(whole);
  } else {
    double real = 0.0;
    if (!read_real(word, real)) return NumberVerdict::kNotANumber;
    if (std::fabs(real) > static_cast<double>(std::numeric_limits<T>::max()))
      return NumberVerdict::kNotANumber;
    if (!range.contains(real)) return NumberVerdict::kOutOfRange;
    value = static_cast<T>(real);
  }
  return NumberVerdict::kOk;
}

template NumberVerdict read_number<double>(std::string_view, double&, NumberRange);
template NumberVerdict read_number<float>(std::string_view, float&, NumberRange);
template NumberVerdict read_number<int32_t>(std::string_view, int32_t&, NumberRange);
template NumberVerdict read_number<uint32_t>(std::string_view, uint32_t&, NumberRange);
template NumberVerdict read_number<int64_t>(std::string_view, int64_t&, NumberRange);

std::string describe_number(bool whole, NumberRange range) {
  // For whole numbers "above 0" reads better as "from 1".
  if (whole && range.min_excluded) range = {std::floor(range.min) + 1.0, range.max, false};
  const std::string kind = whole ? "whole number" : "number";
  const bool low = std::isfinite(range.min), high = std::isfinite(range.max);
  if (!low && !high) return "a " + kind;
  if (low && !high) {
    if (range.min == 0.0) return (range.min_excluded ? "a positive " : "a non-negative ") + kind;
    if (whole && range.min == 1.0) return "a positive " + kind;
    return "a " + kind + (range.min_excluded ? " above " : " of at least ") + format_bound(range.min);
  }
  if (!low) return "a " + kind + " of at most " + format_bound(range.max);
  if (range.min_excluded) {
    return "a " + kind + " above " + format_bound(range.min) + " and at most " + format_bound(range.max);
  }
  return "a " + kind + " from " + format_bound(range.min) + " to " + format_bound(range.max);
}
