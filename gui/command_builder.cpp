#include "gui/command_builder.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "app/driver_options.h"
#include "common/messages.h"
#include "common/option_text.h"
#include "contour/iso_values.h"
#include "lineio/line_output_opener.h"
#include "pointio/lasinputopener.h"

namespace {

void append_words(std::vector<std::string>& words, const std::string& text) {
  for (std::string& word : split_command_words(text)) words.push_back(std::move(word));
}

double clamped(double value, double low, double high) {
  // A field left empty or holding text that is no number reads as NaN: the low limit then stands.
  if (!(value >= low)) return low;
  return std::min(value, high);
}

int32_t clamped(int32_t value, int32_t low, int32_t high) {
  return std::clamp(value, low, high);
}

// "-i" with every name as given (the tool expands the wildcards), "-merged" and "-cores".
void append_input_piece(std::vector<std::string>& words, const PanelState& state) {
  if (!state.input_files.empty()) {
    words.push_back("-i");
    words.insert(words.end(), state.input_files.begin(), state.input_files.end());
  }
  if (state.merged) words.push_back("-merged");
  const int32_t cores = clamped(state.cores, 1, PanelLimits::kCoresMax);
  if (cores > 1) {
    std::string text;
    append_option(text, "-cores");
    append_number(text, static_cast<long long>(cores));
    append_words(words, text);
  }
}

// The clip area through the input opener, which writes it back in the form its parser reads.
void append_clip_piece(std::vector<std::string>& words, const PanelState& state) {
  const double* v = state.clip_values;
  LASinputOpener opener;
  switch (state.clip) {
    case ClipArea::kNone:
      return;
    case ClipArea::kRectangle:
      opener.set_inside_rectangle(v[0], v[1], v[2], v[3]);
      break;
    case ClipArea::kCircle:
      opener.set_inside_circle(v[0], v[1], v[2]);
      break;
    case ClipArea::kTile:
      opener.set_inside_tile(static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2]));
      break;
  }
  std::string text;
  opener.write_options(text);
  append_words(words, text);
}

// One step of the tool's panel: the driver's unparse of settings that differ from the defaults in
// that step only, so the steps keep the panel's order.
template <class Change>
void append_driver_step(std::vector<std::string>& words, Change change) {
  DriverSettings settings;
  change(settings);
  std::string text;
  unparse_driver_options(settings, text);
  append_words(words, text);
}

// Mode 2 takes the whole part of the value: 12.7 isolines are 12.
int32_t isoline_count(double value) {
  if (!(value >= 0.0)) return 0;
  return static_cast<int32_t>(std::min(std::trunc(value), static_cast<double>(ISO_VALUES_MAX)));
}

void append_tool_piece(std::vector<std::string>& words, const PanelState& s) {
  append_driver_step(words, [&](DriverSettings& d) {
    d.concavity = static_cast<float>(clamped(s.concavity, 0.0, PanelLimits::kConcavityMax));
  });
  append_driver_step(words, [&](DriverSettings& d) {
    switch (s.isoline_mode) {
      case IsolineMode::kEvery:
        d.levels.every = s.value;
        break;
      case IsolineMode::kSingle: {
        const auto value = static_cast<float>(s.value);
        d.levels.given_as.push_back({value, value, 0.0f});
        break;
      }
      case IsolineMode::kNumber:
        d.levels.number = isoline_count(s.value);
        break;
      case IsolineMode::kMultiple:
        for (double listed : s.value_list) {
          const auto value = static_cast<float>(listed);
          d.levels.given_as.push_back({value, value, 0.0f});
        }
        break;
    }
  });
  append_driver_step(words, [&](DriverSettings& d) {
    if (s.smooth) d.smooth_passes = clamped(s.passes, PanelLimits::kPassesMin, PanelLimits::kPassesMax);
  });
  append_driver_step(words, [&](DriverSettings& d) {
    if (s.simplify)
      d.simplify_length = static_cast<float>(clamped(s.simplify_length, 0.0, PanelLimits::kSimplifyMax));
  });
  append_driver_step(words, [&](DriverSettings& d) {
    if (s.clean) d.clean = static_cast<float>(clamped(s.clean_length, 0.0, PanelLimits::kCleanMax));
  });
  append_driver_step(words, [&](DriverSettings& d) { d.loops_only = s.loops_only; });
  append_driver_step(words, [&](DriverSettings& d) { d.extra_pass = s.extra_pass; });
  append_driver_step(words, [&](DriverSettings& d) {
    if (s.closed && !s.closed_file.empty()) d.lakes_file = s.closed_file;
  });
  append_driver_step(words, [&](DriverSettings& d) {
    if (s.open && !s.open_file.empty()) d.creeks_file = s.open_file;
  });
}

// The output names and format through the line output opener's own unparse.
void append_output_piece(std::vector<std::string>& words, const PanelState& state) {
  LineOutputOpener output;
  output.set_format(state.output_format.c_str());
  // The directory is checked by the run itself, which names a missing one; a preview of the command
  // must not print or refuse anything.
  MessageCollector quiet;
  if (!state.output_directory.empty()) output.set_directory(state.output_directory.c_str());
  const std::string name = effective_output_name(state);
  if (!name.empty()) output.set_file_name(name.c_str());
  if (!state.output_appendix.empty()) output.set_appendix(state.output_appendix.c_str());
  std::string text;
  output.unparse(text, true);
  append_words(words, text);
}

void append_unit(std::vector<std::string>& words, LengthUnitChoice unit, const char* prefix) {
  const char* name = nullptr;
  switch (unit) {
    case LengthUnitChoice::kDefault:
      return;
    case LengthUnitChoice::kMeter:
      name = "meter";
      break;
    case LengthUnitChoice::kFeet:
      name = "feet";
      break;
    case LengthUnitChoice::kSurveyFeet:
      name = "survey_feet";
      break;
  }
  words.push_back(std::string(prefix) + name);
}

// The projection as its options read it; a zone the converter does not know is named by the run.
void append_projection_piece(std::vector<std::string>& words, const PanelState& state) {
  const char* option = nullptr;
  switch (state.projection) {
    case ProjectionKind::kNone:
      break;
    case ProjectionKind::kUtm:
      option = "-utm";
      break;
    case ProjectionKind::kStatePlane83:
      option = "-sp83";
      break;
    case ProjectionKind::kStatePlane27:
      option = "-sp27";
      break;
    case ProjectionKind::kEpsg:
      option = "-epsg";
      break;
  }
  if (option) {
    words.push_back(option);
    words.push_back(state.projection_zone);
  }
  append_unit(words, state.coordinate_unit, "-");
  append_unit(words, state.elevation_unit, "-elevation_");
}

bool ends_with_any_case(std::string_view name, std::string_view lower_extension) {
  if (name.size() < lower_extension.size()) return false;
  const std::string_view tail = name.substr(name.size() - lower_extension.size());
  std::string upper(lower_extension);
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](char c) { return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c); });
  return tail == lower_extension || tail == upper;
}

}  // namespace

std::vector<std::string> build_run_command(const PanelState& state) {
  std::vector<std::string> words{kPanelProgramName};
  append_input_piece(words, state);
  append_clip_piece(words, state);
  append_tool_piece(words, state);
  append_words(words, state.other_options);
  append_output_piece(words, state);
  append_projection_piece(words, state);
  return words;
}

std::vector<std::string> build_view_command(const PanelState& state) {
  std::vector<std::string> words{kViewerProgramName};
  append_input_piece(words, state);
  append_clip_piece(words, state);
  const int32_t samples =
      clamped(state.sample_points, PanelLimits::kSamplePointsMin, PanelLimits::kSamplePointsMax);
  if (samples != kDefaultSamplePoints) {
    words.push_back("-points");
    words.push_back(std::to_string(samples));
  }
  return words;
}

std::vector<std::string> panel_problems(const PanelState& state) {
  std::vector<std::string> problems;
  if (state.input_files.empty()) problems.push_back("no input files: add at least one");
  if (state.isoline_mode == IsolineMode::kEvery && !(state.value > 0.0))
    problems.push_back("'every n units' needs a spacing above 0");
  if (state.isoline_mode == IsolineMode::kNumber && isoline_count(state.value) < 1)
    problems.push_back("'exactly n isolines' needs at least 1 isoline");
  if (!std::isfinite(state.value) && state.isoline_mode != IsolineMode::kMultiple)
    problems.push_back("'units / isovalues' is not a number");
  if (state.projection != ProjectionKind::kNone && state.projection_zone.empty())
    problems.push_back("the projection needs its zone or code");
  if (state.clip == ClipArea::kRectangle &&
      !(state.clip_values[0] < state.clip_values[2] && state.clip_values[1] < state.clip_values[3]))
    problems.push_back("the clip rectangle needs min x < max x and min y < max y");
  if ((state.clip == ClipArea::kCircle || state.clip == ClipArea::kTile) && !(state.clip_values[2] > 0.0))
    problems.push_back(state.clip == ClipArea::kCircle ? "the clip circle needs a radius above 0"
                                                       : "the clip tile needs a size above 0");
  return problems;
}

std::string command_text(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) append_word(text, word);
  if (!text.empty()) text.pop_back();
  return text;
}

std::string effective_output_name(const PanelState& state) {
  std::string name = state.output_name;
  if (name.empty()) {
    if (!state.merged) return name;
    name = "merged.shp";
  }
  // A known line extension follows the chosen format; any other name is the user's to keep.
  for (const char* format : kPanelOutputFormats) {
    const std::string extension = std::string(".") + format;
    if (ends_with_any_case(name, extension)) {
      return name.substr(0, name.size() - extension.size()) + "." + state.output_format;
    }
  }
  return name;
}

bool has_breakline_extension(std::string_view file_name) {
  // As the breakline readers choose: by the extension anywhere in the name, in either case.
  for (const char* extension : {".shp", ".SHP", ".txt", ".TXT"}) {
    if (file_name.find(extension) != std::string_view::npos) return true;
  }
  return false;
}
