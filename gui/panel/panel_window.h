// The panel's window: the shared front-end (input files, clip area, output, projection, map, command
// window, run log) beside the contour tool's own options, and the RUN and VIEW buttons.
//
// For tests that drive the window from outside, CONTOURMILL_GUI_TRANSCRIPT=<file> makes the panel
// append to that file where its controls are ("widget <name> x y w h"), every command it starts
// ("command: ..."), every line of its log ("log: ...") and each run's "exit status: <code>".
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "gui/panel_state.h"

class Fl_Box;
class Fl_Button;
class Fl_Check_Button;
class Fl_Choice;
class Fl_Double_Window;
class Fl_Group;
class Fl_Hold_Browser;
class Fl_Input;
class Fl_Round_Button;
class Fl_Text_Buffer;
class Fl_Text_Display;
class Fl_Text_Editor;
class Fl_Widget;
class ChildRun;
class MapView;
class PointSampler;

// Opens the window with `preset` shown and runs the toolkit's loop until it is closed; answers the
// exit code.
int run_panel_window(const PanelState& preset);
// A number as the panel's fields show it ("%g").
std::string panel_number_text(double value);
// The timed run for measuring (panel_bench.cpp), chosen by CONTOURMILL_GUI_BENCH=<redraws>.
int run_panel_bench(const PanelState& preset, int redraws);

class PanelWindow {
 public:
  explicit PanelWindow(const PanelState& preset);
  ~PanelWindow();
  PanelWindow(const PanelWindow&) = delete;
  PanelWindow& operator=(const PanelWindow&) = delete;

  void show();
  MapView& map() { return *map_; }

  // The panel as the widgets hold it now, numbers read as typed (the builder clamps them).
  PanelState read_state() const;

 private:
  // Layout (panel_window.cpp).
  void build_front_end();
  void build_tool_panel();
  void build_command_and_log();
  void apply_state(const PanelState& state);
  void update_activation();
  void update_clip_labels();
  // Connects the widget to the panel's reactions; a named one (a widget the tests drive) goes to the
  // transcript with its place.
  void name_widget(const char* name, Fl_Widget* widget);

  // Reactions (panel_actions.cpp).
  static void on_change(Fl_Widget* widget, void* self);
  static void on_breaklines_settled(void* self);
  void changed(Fl_Widget* widget);
  void refresh_command();
  void refresh_tiles();
  void refresh_breaklines();
  void add_input();
  void browse_inputs();
  void remove_input();
  void add_value();
  void value_list_clicked();
  void browse_breakline(bool closed);
  void toggle_breaklines();
  void clamp_field(Fl_Input* field, double low, double high, bool integer);

  // Runs (panel_run.cpp).
  void run_pressed();
  void view_pressed();
  static void on_sample_step(void* self);
  void sample_step();
  void log(const std::string& text);
  void log_warnings(const std::vector<std::string>& warnings);
  void run_output(std::string_view text);
  void run_ended(int status);
  void run_button_busy(bool busy);
  void transcript(const std::string& text);

  std::unique_ptr<Fl_Double_Window> window_;

  // Front-end.
  Fl_Hold_Browser* files_ = nullptr;
  Fl_Input* file_field_ = nullptr;
  Fl_Button* add_file_ = nullptr;
  Fl_Button* browse_files_ = nullptr;
  Fl_Button* remove_file_ = nullptr;
  Fl_Check_Button* merged_ = nullptr;
  Fl_Input* cores_ = nullptr;
  Fl_Choice* clip_ = nullptr;
  Fl_Input* clip_fields_[4] = {};
  Fl_Input* output_directory_ = nullptr;
  Fl_Input* output_appendix_ = nullptr;
  Fl_Input* output_name_ = nullptr;
  Fl_Choice* projection_ = nullptr;
  Fl_Input* projection_zone_ = nullptr;
  Fl_Choice* coordinate_unit_ = nullptr;
  Fl_Choice* elevation_unit_ = nullptr;
  Fl_Input* other_options_ = nullptr;
  MapView* map_ = nullptr;

  // The tool's panel.
  Fl_Button* view_ = nullptr;
  Fl_Input* sample_points_ = nullptr;
  Fl_Input* concavity_ = nullptr;
  Fl_Round_Button* modes_[4] = {};
  Fl_Input* value_ = nullptr;
  Fl_Button* add_value_ = nullptr;
  Fl_Hold_Browser* value_list_ = nullptr;
  int last_value_selected_ = 0;
  Fl_Check_Button* smooth_ = nullptr;
  Fl_Input* passes_ = nullptr;
  Fl_Check_Button* simplify_ = nullptr;
  Fl_Input* simplify_length_ = nullptr;
  Fl_Check_Button* clean_ = nullptr;
  Fl_Input* clean_length_ = nullptr;
  Fl_Check_Button* loops_only_ = nullptr;
  Fl_Check_Button* extra_pass_ = nullptr;
  Fl_Button* breaklines_ = nullptr;
  Fl_Group* breakline_group_ = nullptr;
  Fl_Check_Button* closed_ = nullptr;
  Fl_Button* closed_browse_ = nullptr;
  Fl_Input* closed_file_ = nullptr;
  Fl_Check_Button* open_ = nullptr;
  Fl_Button* open_browse_ = nullptr;
  Fl_Input* open_file_ = nullptr;
  Fl_Choice* output_format_ = nullptr;
  Fl_Button* run_button_ = nullptr;

  // Command window, log and status.
  std::unique_ptr<Fl_Text_Buffer> command_buffer_;  // the editors show these, but do not own them
  Fl_Text_Editor* command_ = nullptr;
  std::unique_ptr<Fl_Text_Buffer> log_buffer_;
  Fl_Text_Display* log_ = nullptr;
  Fl_Box* status_ = nullptr;

  std::unique_ptr<ChildRun> contour_run_;
  std::unique_ptr<ChildRun> viewer_;
  std::unique_ptr<PointSampler> sampler_;  // VIEW without a viewer: the points being read
  std::string built_command_;              // the command the panel built last, before any edit
  std::string breaklines_shown_;           // which breakline files the map shows, to read each only once
  std::vector<std::pair<std::string, Fl_Widget*>> named_widgets_;  // for the transcript
  std::FILE* transcript_ = nullptr;                                // the test hook's file, when asked for
  bool closing_ = false;  // the destructor runs: callbacks change nothing
};
