// The contour tool's own command-line options, parsed from what the other parsers left over.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "contour/iso_values.h"

// Settings of one run; defaults in the member initialisers.
struct DriverSettings {
  bool verbose = false;
  bool gui = false;
  int32_t cores = 1;
  bool cpu64 = false;
  bool extra_pass = false;
  bool arrival_order = false;    // insert into the TIN in the order read, not sorted along a curve
  float simplify_length = 0.0f;  // 0 = off
  float simplify_area = 0.0f;    // 0 = off
  float clean = 0.0f;            // 0 = off
  bool loops_only = false;
  // Contours are clipped to the tile of the main file (with -buffered, the file without its
  // buffer): its tiling record's square, else the square of a grid of this size that holds the
  // file's centre (0: the file's bounding box).
  bool clip_to_tile = false;
  double clip_tile_size = 0.0;
  int32_t smooth_passes = 0;
  float concavity = 50.0f;  // 0 switches the concave hull off
  float kill = 500.0f;      // 0 switches long-edge killing off
  ContourLevelRequest levels;
  // "-tin" writes each input's triangulation beside its contours; lakes and creeks constrain it.
  bool tin_output = false;
  std::optional<std::string> lakes_file;
  std::optional<std::string> creeks_file;
  // Field by field, the mode options included.
  bool operator==(const DriverSettings&) const = default;
};

// What parsing decided: carry on with the run, or stop with this exit code.
struct ParseOutcome {
  bool proceed = true;
  int exit_code = 0;
};

// Parses argv[1..argc-1], skipping words other parsers blanked. Prints the messages of bad or
// unknown options itself (with the usage text where the tool shows it). The attribute-layer
// options "-ilay" and "-ilaydir" are accepted and have no effect in this tool.
ParseOutcome parse_driver_options(int argc, char** argv, DriverSettings& settings);

// Appends the options that parse back to `settings` (the unparse contract of common/option_text.h).
// The mode options ("-gui", "-cores", "-cpu64") are not written: a command line built from the
// settings runs one normal run.
void unparse_driver_options(const DriverSettings& settings, std::string& text);

void print_version_banner();
void print_usage();
// Prints the usage text and "<press ENTER>", then waits for one key when a person can answer.
void print_usage_and_wait();

inline constexpr int kVersion = 240521;
