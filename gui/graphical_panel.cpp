#include "gui/graphical_panel.h"

#include <cstdlib>

#include "app/command_line.h"
#include "common/messages.h"
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

PanelState panel_state_from(const CommandLine& line) {
  PanelState state;
  for (uint32_t k = 0; k < line.input.file_name_number(); k++)
    state.input_files.push_back(line.input.get_file_name(k));
  state.merged = line.input.is_merged();
  state.cores = line.driver.cores;
  state.output_format = line.output.get_format();
  if (line.output.get_directory()) state.output_directory = line.output.get_directory();
  if (line.output.get_appendix()) state.output_appendix = line.output.get_appendix();

  const DriverSettings& d = line.driver;
  state.concavity = static_cast<double>(d.concavity);
  const ContourLevelRequest& levels = d.levels;
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
  return state;
}
