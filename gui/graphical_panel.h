// The start of the graphical panel: "-gui", or a start without arguments on a desktop.
#pragma once

struct CommandLine;
struct PanelState;

// Whether a window can be opened: this build has the panel and a display is named (DISPLAY or
// WAYLAND_DISPLAY).
bool graphical_panel_can_open();

// Opens the panel, preset from what the command line already says (its input files, their
// merging, the tool's options, the output); `line` may be null for a start without arguments.
// Answers the exit code. Without a display, or in a build without the panel, prints one
// "ERROR: ..." line that names the reason and answers 1.
int run_graphical_panel(const CommandLine* line);

// The panel state that the options of `line` stand for: what the window shows when it opens.
PanelState panel_state_from(const CommandLine& line);
