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

// Fills the list for one file from the header's elevation range and the driver's settings, then
// sorts it ascending. `iso_number` is the driver's setting: it becomes 10 when neither a list nor
// a count was given, and stays 10 for the rest of the run. An empty result prints the warning
// naming `file_name` and means the file yields no contours.
// Throws std::runtime_error("ERROR: ...") for a negative or non-finite iso_every and for settings
// that would exceed ISO_VALUES_MAX values.
void setup_iso_values(std::vector<float>& iso_values, int32_t& iso_number, double iso_every, double min_z,
                      double max_z, const char* file_name, bool verbose);
