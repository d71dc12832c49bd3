#include "contour/iso_values.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <stdexcept>
#include <string>

#include "common/messages.h"

namespace {

constexpr size_t ISO_VALUES_FIRST_CAPACITY = 1024;

template <typename... Args>
[[noreturn]] void fail(const char* format, Args... args) {
  char message[256];
  std::snprintf(message, sizeof(message), format, args...);
  throw std::runtime_error(message);
}

void append_every(std::vector<float>& iso_values, double iso_every, double min_z, double max_z,
                  bool verbose) {
  if (!(iso_every > 0.0) || !std::isfinite(iso_every)) {
    // A negative spacing would walk away from max_z forever.
    fail("ERROR: iso_every %g must be positive", iso_every);
  }
  const double start = std::trunc(min_z / iso_every) * iso_every;
  // Checked before appending so that a pathological spacing fails at once instead of after
  // filling memory; the append below still caps the loop should rounding disagree.
  const double room = static_cast<double>(ISO_VALUES_MAX) - static_cast<double>(iso_values.size());
  if ((max_z - start) / iso_every > room) {
    fail("ERROR: iso_every %g on elevations %g to %g asks for more than %d iso values", iso_every, min_z,
         max_z, ISO_VALUES_MAX);
  }
  for (double value = start; value < max_z; value += iso_every) {
    append_iso_value(iso_values, static_cast<float>(value));
  }
  if (verbose) {
    print_message("extracting contours at %d elevations starting from %g with spacing of %g.\n",
                  static_cast<int>(iso_values.size()), start, iso_every);
  }
}

void append_number(std::vector<float>& iso_values, int32_t iso_number, double min_z, double max_z,
                   bool verbose) {
  if (static_cast<double>(iso_number) + static_cast<double>(iso_values.size()) > ISO_VALUES_MAX) {
    fail("ERROR: iso_number %d asks for more than %d iso values", iso_number, ISO_VALUES_MAX);
  }
  const double step = (max_z - min_z) / (static_cast<double>(iso_number) + 1.0);
  const double first = min_z + 0.5 * step;
  double value = first;
  for (int32_t i = 0; i < iso_number; i++) {
    append_iso_value(iso_values, static_cast<float>(value));
    value += step;
  }
  if (verbose) {
    print_message("extracting contours at %d elevations starting from %g with spacing of %g.\n", iso_number,
                  first, step);
  }
}

}  // namespace

void append_iso_value(std::vector<float>& iso_values, float value) {
  if (iso_values.size() >= static_cast<size_t>(ISO_VALUES_MAX)) {
    fail("ERROR: more than %d iso values", ISO_VALUES_MAX);
  }
  // The capacity doubles, so a long range costs one copy per doubling instead of one per 1024
  // values (millions of levels took seconds of copying).
  if (iso_values.size() == iso_values.capacity()) {
    const size_t capacity =
        std::min(std::max(ISO_VALUES_FIRST_CAPACITY, 2 * iso_values.capacity()), size_t{ISO_VALUES_MAX});
    try {
      iso_values.reserve(capacity);
    } catch (const std::bad_alloc&) {
      fail("ERROR: allocating %d iso values", static_cast<int>(capacity));
    }
  }
  iso_values.push_back(value);
}

std::span<const float> levels_within(std::span<const float> sorted_levels, std::pair<float, float> z_range) {
  const auto [z_min, z_max] = z_range;
  if (!(z_min <= z_max)) return {};
  const auto first = std::upper_bound(sorted_levels.begin(), sorted_levels.end(), z_min);
  const auto last = std::upper_bound(first, sorted_levels.end(), z_max);
  return std::span<const float>(first, last);
}

std::vector<float> contour_levels(const ContourLevelRequest& request, bool first_file, double min_z,
                                  double max_z, const char* file_name, bool verbose) {
  const double iso_every = request.every;
  const bool computed = request.every != 0.0 || request.number != 0;
  std::vector<float> iso_values;
  if (first_file || !computed) iso_values = request.given;
  const int32_t iso_number = request.number != 0 ? request.number : request.given.empty() ? 10 : 0;
  if (iso_every != 0.0 || iso_number != 0) {
    if (!std::isfinite(min_z) || !std::isfinite(max_z)) {
      fail("ERROR: elevation range %g to %g of '%s' is not finite", min_z, max_z, file_name);
    }
  }
  if (iso_every != 0.0) {
    append_every(iso_values, iso_every, min_z, max_z, verbose);
  } else if (iso_number != 0) {
    append_number(iso_values, iso_number, min_z, max_z, verbose);
  }
  // A NaN elevation (a "-iso nan" on the command line) can never be crossed, and it would break the
  // ordering the sort relies on.
  std::erase_if(iso_values, [](float value) { return std::isnan(value); });
  if (iso_values.empty()) {
    print_message("WARNING: elevation range %g to %g of '%s' does not cross contours.\n", min_z, max_z,
                  file_name);
    return iso_values;
  }
  std::sort(iso_values.begin(), iso_values.end());
  return iso_values;
}
