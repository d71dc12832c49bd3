// The contour elevations (iso values) of one input file.
#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

// More iso values than this are refused: a spacing tiny against the elevation range (or a huge
// iso_number) would otherwise append values for minutes and exhaust memory before any contour is
// traced. Ten million elevations is far beyond any contour map anyone can read.
inline constexpr int32_t ISO_VALUES_MAX = 10000000;

// Appends one value; the capacity starts at 1024 entries and doubles. The driver uses this for
// "-iso" and "-iso_range" too, so every growth of the list is reported alike.
// Throws std::runtime_error("ERROR: allocating %d iso values") when the list cannot grow, and
// refuses (also with a std::runtime_error) to hold more than ISO_VALUES_MAX values.
void append_iso_value(std::vector<float>& iso_values, float value);

// The part of the sorted list that can cut a surface whose elevations lie in z_range (min, max):
// a level at or below every vertex, or above every vertex, crosses no triangle. Found by binary
// search, so a list of millions of levels costs nothing where the terrain spans a few.
std::span<const float> levels_within(std::span<const float> sorted_levels, std::pair<float, float> z_range);

// What the command line asks for: elevations given one by one ("-iso", "-iso_range"), a spacing
// ("-iso_every") or a count ("-iso_number"); 0 means not given.
struct ContourLevelRequest {
  std::vector<float> given;
  double every = 0.0;
  int32_t number = 0;
  // The "-iso" and "-iso_range" options as given (a single value has step 0), so that the request
  // can be written back as the few words it came from rather than as every value.
  struct Given {
    float from = 0.0f, to = 0.0f, step = 0.0f;
    bool operator==(const Given&) const = default;
  };
  std::vector<Given> given_as;
  bool operator==(const ContourLevelRequest&) const = default;
};

// The contour elevations of one input file, sorted ascending, from the request and the file's
// elevation range:
// - a spacing gives the multiples of it from trunc(min_z / every) * every while below max_z;
// - a count gives that many elevations evenly inside the range;
// - with neither a spacing, a count nor given elevations, every file gets 10;
// - the given elevations join every file's list, except that with a spacing or a count they
//   join the first file's only.
// Verbose runs print how many elevations there are; an empty result prints the warning naming
// `file_name` and means the file yields no contours.
// Throws std::runtime_error("ERROR: ...") for a negative or non-finite spacing, a non-finite
// range, and requests that would exceed ISO_VALUES_MAX values.
std::vector<float> contour_levels(const ContourLevelRequest& request, bool first_file, double min_z,
                                  double max_z, const char* file_name, bool verbose);
