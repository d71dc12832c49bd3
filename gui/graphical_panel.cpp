#include "gui/graphical_panel.h"

#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/command_line.h"
#include "common/messages.h"
#include "common/option_text.h"
#include "gui/command_builder.h"
#include "gui/panel_state.h"

#ifdef CONTOURMILL_WITH_FLTK
#include "gui/panel/panel_window.h"

namespace {

bool display_named() {
  for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(variable);
    if (value && value[0] != '\0') return true;
  }
  return false;
}

}  // namespace
#endif

bool graphical_panel_can_open() {
#ifdef CONTOURMILL_WITH_FLTK
  return display_named();
#else
  return false;
#endif
}

int run_graphical_panel(const CommandLine* line) {
#ifdef CONTOURMILL_WITH_FLTK
  if (!display_named()) {
    print_message("ERROR: '-gui' needs a display, but neither DISPLAY nor WAYLAND_DISPLAY is set\n");
    return 1;
  }
  return run_panel_window(line ? panel_state_from(*line) : PanelState{});
#else
  (void)line;
  print_message("ERROR: %s\n", CONTOURMILL_NO_GUI_REASON);
  return 1;
#endif
}

namespace {

using Words = std::vector<std::string>;

// Walks the words of an unparse text: `take` answers how many words from `at` on the panel shows
// (0: none, the word goes to the other options).
void sort_words(const std::string& text, const std::function<size_t(const Words&, size_t)>& take,
                Words& other) {
  const Words words = split_command_words(text);
  for (size_t at = 0; at < words.size();) {
    const size_t taken = take(words, at);
    if (taken == 0) other.push_back(words[at++]);
    at += taken;
  }
}

double number_at(const Words& words, size_t at) {
  return at < words.size() ? std::strtod(words[at].c_str(), nullptr) : 0.0;
}

// The contour levels, when the panel's modes can show them: a spacing, a count, or elevations one
// by one, each alone. Anything else (ranges, or elevations added to a spacing) stays as typed.
bool levels_to_panel(const ContourLevelRequest& levels, PanelState& state) {
  bool singles = true;
  for (const ContourLevelRequest::Given& g : levels.given_as) singles = singles && g.step == 0.0f;
  const int kinds = (levels.number > 0) + (levels.every > 0.0) + (!levels.given_as.empty());
  if (kinds > 1 || !singles) return false;
  if (levels.number > 0) {
    state.isoline_mode = IsolineMode::kNumber;
    state.value = levels.number;
  } else if (levels.every > 0.0) {
    state.value = levels.every;
  } else if (levels.given.size() == 1) {
    state.isoline_mode = IsolineMode::kSingle;
    state.value = static_cast<double>(levels.given.front());
  } else if (!levels.given.empty()) {
    state.isoline_mode = IsolineMode::kMultiple;
    for (float value : levels.given) state.value_list.push_back(static_cast<double>(value));
  }
  return true;
}

// The driver's settings the panel shows, moved into it; what is left is the driver's other options.
DriverSettings driver_to_panel(const DriverSettings& d, PanelState& state) {
  const DriverSettings defaults;
  DriverSettings rest = d;
  state.cores = d.cores;
  state.concavity = static_cast<double>(d.concavity);
  if (levels_to_panel(d.levels, state)) {
    rest.levels = defaults.levels;
  } else {
    // No mode shows them: mode 3 with an empty list writes no level of its own.
    state.isoline_mode = IsolineMode::kMultiple;
  }
  state.smooth = d.smooth_passes > 0;
  if (state.smooth) state.passes = d.smooth_passes;
  state.simplify = d.simplify_length > 0.0f;
  if (state.simplify) state.simplify_length = static_cast<double>(d.simplify_length);
  state.clean = d.clean > 0.0f;
  if (state.clean) state.clean_length = static_cast<double>(d.clean);
  state.loops_only = d.loops_only;
  state.extra_pass = d.extra_pass;
  state.closed = d.lakes_file.has_value();
  state.closed_file = d.lakes_file.value_or("");
  state.open = d.creeks_file.has_value();
  state.open_file = d.creeks_file.value_or("");
  rest.concavity = defaults.concavity;
  rest.smooth_passes = defaults.smooth_passes;
  rest.simplify_length = defaults.simplify_length;
  rest.clean = defaults.clean;
  rest.loops_only = defaults.loops_only;
  rest.extra_pass = defaults.extra_pass;
  rest.lakes_file.reset();
  rest.creeks_file.reset();
  return rest;
}

}  // namespace

PanelState panel_state_from(const CommandLine& line) {
  PanelState state;
  Words other;
  for (uint32_t k = 0; k < line.input.file_name_number(); k++)
    state.input_files.push_back(line.input.get_file_name(k));
  state.merged = line.input.is_merged();

  // Every option the panel has no control for is kept, as the options' own unparse writes it, in
  // "other options", so that RUN still does what the command line asked.
  std::string text;
  line.input.write_options(text);
  sort_words(
      text,
      [&state](const Words& w, size_t at) -> size_t {
        const std::pair<const char*, ClipArea> areas[] = {{"-inside_rectangle", ClipArea::kRectangle},
                                                          {"-inside_circle", ClipArea::kCircle},
                                                          {"-inside_tile", ClipArea::kTile}};
        for (const auto& [option, area] : areas) {
          if (w[at] != option) continue;
          state.clip = area;
          const size_t values = area == ClipArea::kRectangle ? 4 : 3;
          for (size_t k = 0; k < values; k++) state.clip_values[k] = number_at(w, at + 1 + k);
          return 1 + values;
        }
        return w[at] == "-merged" ? 1 : 0;
      },
      other);

  const DriverSettings rest = driver_to_panel(line.driver, state);

  text.clear();
  line.output.unparse(text, true);
  sort_words(
      text,
      [&state](const Words& w, size_t at) -> size_t {
        const std::pair<const char*, std::string*> named[] = {{"-odir", &state.output_directory},
                                                              {"-o", &state.output_name},
                                                              {"-odix", &state.output_appendix}};
        for (const auto& [option, field] : named) {
          if (w[at] == option && at + 1 < w.size()) {
            *field = w[at + 1];
            return 2;
          }
        }
        for (const char* format : kPanelOutputFormats) {
          if (w[at] == std::string("-o") + format) {
            state.output_format = format;
            return 1;
          }
        }
        return 0;
      },
      other);

  text.clear();
  unparse_driver_options(rest, text);
  line.input.write_point_stage_options(text);
  std::string geo;
  line.converter.unparse(geo);
  text += geo;
  sort_words(
      text, [](const Words&, size_t) -> size_t { return 0; }, other);
  state.other_options = command_text(other);
  return state;
}
