// The commands the panel starts, built from its state alone (no window needed). Every option is
// written by the same unparse operations that build a multi-process run's child command lines, so
// what the panel starts and what the command line parses can never disagree.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "gui/panel_state.h"

inline constexpr const char* kPanelProgramName = "contourmill";
inline constexpr const char* kViewerProgramName = "cloudscope";
inline constexpr int32_t kDefaultSamplePoints = 5000000;

// The contour run: "contourmill", the input files (with "-merged" and "-cores"), the clip area, the
// tool's options in panel order (concavity, contour levels, smooth, simplify, clean, loops only,
// extra pass, lakes, creeks), the other options as typed, then the output options and the
// projection. Values outside a field's
// limits are clamped as the window clamps them.
std::vector<std::string> build_run_command(const PanelState& state);

// The point-cloud viewer: "cloudscope", the input files and clip area, and "-points" when the
// sample size is not the default.
std::vector<std::string> build_view_command(const PanelState& state);

// What stops RUN before it starts: a state whose command would fail at once or, worse, silently do
// something else than the panel shows (a spacing of 0, fewer than one isoline). One line each, in
// the words a user understands; empty when the command can run.
std::vector<std::string> panel_problems(const PanelState& state);

// The words as one line for the command window: words separated by blanks, a word with blanks,
// quotes or nothing in double quotes. split_command_words (common/option_text.h) reads it back.
std::string command_text(const std::vector<std::string>& words);

// The output name a run writes when the user gave one, or the merged default: its extension follows
// the chosen format, so "merged.shp" becomes "merged.kml" for KML output. Empty: named after each
// input.
std::string effective_output_name(const PanelState& state);

// Whether the breakline readers know a file by its name: ".shp" or ".txt", in lower or upper case.
bool has_breakline_extension(std::string_view file_name);
