#include "gui/panel/panel_window.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Float_Input.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Int_Input.H>
#include <FL/Fl_Round_Button.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Text_Display.H>
#include <FL/Fl_Text_Editor.H>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdlib>

#include "common/messages.h"
#include "gui/map_scene.h"
#include "gui/panel/child_run.h"
#include "gui/panel/map_view.h"

namespace {

constexpr int kWindowWidth = 1220, kWindowHeight = 800;
constexpr int kRow = 25;  // height of one line of controls

const char* const kDescription =
    "contourmill - extracts, optionally simplified, elevation contours from LiDAR (via a temporary TIN)";
const char* const kModeLabels[4] = {"every n units", "single isoline", "exactly n isolines",
                                    "multiple isolines"};

std::string shown(double value) {
  return panel_number_text(value);
}

std::string shown(int32_t value) {
  return std::to_string(value);
}

double field_number(const Fl_Input* field) {
  const char* text = field->value();
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  // An empty field, or one that holds no number, has no value: the builder's clamp and the
  // problems list handle it rather than a silent 0.
  if (end == text) return std::nan("");
  return value;
}

int32_t field_integer(const Fl_Input* field, int32_t if_empty) {
  const double value = field_number(field);
  if (!std::isfinite(value)) return if_empty;
  return static_cast<int32_t>(std::clamp(value, -2147483648.0, 2147483647.0));
}

// Without a display connection the toolkit would print its own message and exit; a fatal problem
// of the toolkit is reported like every error of the program.
[[noreturn]] void toolkit_fatal(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  print_message("ERROR: the graphical front-end cannot start: %s\n", text);
  std::exit(1);
}

Fl_Input* labelled_input(bool number, bool integer, int x, int y, int w, const char* label) {
  Fl_Input* input = !number   ? new Fl_Input(x, y, w, kRow, label)
                    : integer ? static_cast<Fl_Input*>(new Fl_Int_Input(x, y, w, kRow, label))
                              : static_cast<Fl_Input*>(new Fl_Float_Input(x, y, w, kRow, label));
  // The command follows every key; leaving the field also reports, so its value can be clamped.
  input->when(FL_WHEN_CHANGED | FL_WHEN_RELEASE_ALWAYS);
  return input;
}

}  // namespace

std::string panel_number_text(double value) {
  char text[64];
  std::snprintf(text, sizeof(text), "%g", value);
  return text;
}

PanelWindow::PanelWindow(const PanelState& preset) {
  Fl::fatal = toolkit_fatal;
  if (const char* path = std::getenv("CONTOURMILL_GUI_TRANSCRIPT")) transcript_ = std::fopen(path, "a");
  window_ = std::make_unique<Fl_Double_Window>(kWindowWidth, kWindowHeight, "contourmill");
  auto* description = new Fl_Box(10, 2, kWindowWidth - 20, 22, kDescription);
  description->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
  description->labelfont(FL_HELVETICA_BOLD);
  build_front_end();
  build_tool_panel();
  build_command_and_log();
  window_->end();
  window_->resizable(map_);
  apply_state(preset);
  refresh_tiles();
  refresh_breaklines();
  refresh_command();
}

PanelWindow::~PanelWindow() {
  // Hiding the window takes the focus from its fields, whose callbacks then come back here: they
  // must find every member alive and change nothing.
  closing_ = true;
  window_->hide();
  window_.reset();
  Fl::remove_timeout(on_sample_step, this);
  Fl::remove_timeout(on_breaklines_settled, this);
  sampler_.reset();
  contour_run_.reset();
  viewer_.reset();
  if (transcript_) std::fclose(transcript_);
}

void PanelWindow::name_widget(const char* name, Fl_Widget* widget) {
  widget->callback(on_change, this);
  if (name) named_widgets_.emplace_back(name, widget);
}

void PanelWindow::build_front_end() {
  files_ = new Fl_Hold_Browser(10, 45, 380, 110, "input files (names or wildcards):");
  files_->align(FL_ALIGN_TOP_LEFT);
  name_widget("files", files_);
  file_field_ = labelled_input(false, false, 10, 160, 230, nullptr);
  file_field_->tooltip("a file name or a wildcard such as tiles/*.las; press add");
  name_widget("file_field", file_field_);
  file_field_->when(FL_WHEN_ENTER_KEY_ALWAYS);
  add_file_ = new Fl_Button(245, 160, 45, kRow, "add");
  name_widget("add_file", add_file_);
  browse_files_ = new Fl_Button(295, 160, 95, kRow, "browse ...");
  name_widget("browse_files", browse_files_);
  remove_file_ = new Fl_Button(10, 190, 80, kRow, "remove");
  name_widget("remove_file", remove_file_);
  merged_ = new Fl_Check_Button(100, 190, 90, kRow, "merged");
  name_widget("merged", merged_);
  cores_ = labelled_input(true, true, 330, 190, 60, "cores:");
  name_widget("cores", cores_);

  clip_ = new Fl_Choice(90, 230, 120, kRow, "clip area:");
  clip_->add("none|rectangle|circle|tile");
  name_widget("clip", clip_);
  for (int k = 0; k < 4; k++) {
    clip_fields_[k] = labelled_input(true, false, 10 + 95 * k, 275, 90, "");
    clip_fields_[k]->align(FL_ALIGN_TOP_LEFT);
    name_widget(nullptr, clip_fields_[k]);
  }

  output_directory_ = labelled_input(false, false, 110, 315, 280, "output dir:");
  name_widget("output_directory", output_directory_);
  output_appendix_ = labelled_input(false, false, 110, 345, 280, "appendix:");
  name_widget("output_appendix", output_appendix_);
  output_name_ = labelled_input(false, false, 110, 375, 280, "output name:");
  name_widget("output_name", output_name_);

  projection_ = new Fl_Choice(110, 415, 150, kRow, "projection:");
  projection_->add("none|UTM zone|state plane NAD83|state plane NAD27|EPSG code");
  name_widget("projection", projection_);
  projection_zone_ = labelled_input(false, false, 310, 415, 80, "zone:");
  name_widget("projection_zone", projection_zone_);
  coordinate_unit_ = new Fl_Choice(110, 445, 110, kRow, "xy units:");
  coordinate_unit_->add("as the file|meter|feet|survey feet");
  name_widget("coordinate_unit", coordinate_unit_);
  elevation_unit_ = new Fl_Choice(280, 445, 110, kRow, "z units:");
  elevation_unit_->add("as the file|meter|feet|survey feet");
  name_widget("elevation_unit", elevation_unit_);

  other_options_ = labelled_input(false, false, 110, 490, 280, "other options:");
  other_options_->tooltip("further options as on the command line, e.g. -keep_class 2 -kill 100");
  name_widget("other_options", other_options_);

  map_ = new MapView(745, 30, 465, 560);
}

void PanelWindow::build_tool_panel() {
  view_ = new Fl_Button(410, 30, 60, kRow, "VIEW");
  name_widget("view", view_);
  sample_points_ = labelled_input(true, true, 620, 30, 110, "sample points:");
  name_widget("sample_points", sample_points_);
  concavity_ = labelled_input(true, false, 620, 60, 110, "concavity:");
  name_widget("concavity", concavity_);

  auto* modes = new Fl_Group(410, 90, 320, 90);
  static const char* const kModeNames[4] = {"mode_every", "mode_single", "mode_number", "mode_multiple"};
  for (int k = 0; k < 4; k++) {
    modes_[k] = new Fl_Round_Button(410, 92 + 22 * k, 280, 22, kModeLabels[k]);
    modes_[k]->type(FL_RADIO_BUTTON);
    name_widget(kModeNames[k], modes_[k]);
  }
  modes->end();

  value_ = labelled_input(true, false, 570, 185, 105, "units / isovalues:");
  name_widget("value", value_);
  add_value_ = new Fl_Button(680, 185, 50, kRow, "ADD");
  name_widget("add_value", add_value_);
  value_list_ = new Fl_Hold_Browser(410, 215, 320, 60);
  name_widget("value_list", value_list_);
  // A second pick of the same entry removes it, so every pick must report.
  value_list_->when(FL_WHEN_RELEASE_ALWAYS);

  smooth_ = new Fl_Check_Button(410, 285, 150, kRow, "smooth TIN");
  name_widget("smooth", smooth_);
  passes_ = labelled_input(true, true, 670, 285, 60, "passes:");
  name_widget("passes", passes_);
  simplify_ = new Fl_Check_Button(410, 315, 190, kRow, "simplify short segments");
  name_widget("simplify", simplify_);
  simplify_length_ = labelled_input(true, false, 670, 315, 60, "length:");
  name_widget("simplify_length", simplify_length_);
  clean_ = new Fl_Check_Button(410, 345, 190, kRow, "clean short lines");
  name_widget("clean", clean_);
  clean_length_ = labelled_input(true, false, 670, 345, 60, "length:");
  name_widget("clean_length", clean_length_);
  loops_only_ = new Fl_Check_Button(410, 375, 150, kRow, "only closed loops");
  name_widget("loops_only", loops_only_);
  extra_pass_ = new Fl_Check_Button(600, 375, 120, kRow, "extra pass");
  name_widget("extra_pass", extra_pass_);

  breaklines_ = new Fl_Button(410, 410, 320, kRow, "breaklines ...");
  breaklines_->type(FL_TOGGLE_BUTTON);
  name_widget("breaklines", breaklines_);
  breakline_group_ = new Fl_Group(410, 440, 320, 60);
  closed_ = new Fl_Check_Button(410, 440, 70, kRow, "closed");
  name_widget("closed", closed_);
  closed_browse_ = new Fl_Button(480, 440, 30, kRow, "...");
  name_widget("closed_browse", closed_browse_);
  closed_file_ = labelled_input(false, false, 550, 440, 180, "file:");
  name_widget("closed_file", closed_file_);
  open_ = new Fl_Check_Button(410, 470, 70, kRow, "open  ");
  name_widget("open", open_);
  open_browse_ = new Fl_Button(480, 470, 30, kRow, "...");
  name_widget("open_browse", open_browse_);
  open_file_ = labelled_input(false, false, 550, 470, 180, "file:");
  name_widget("open_file", open_file_);
  breakline_group_->end();
  breakline_group_->hide();

  output_format_ = new Fl_Choice(520, 515, 80, kRow, "output format:");
  for (const char* format : kPanelOutputFormats) output_format_->add(format);
  name_widget("output_format", output_format_);
  run_button_ = new Fl_Button(410, 550, 320, 35, "RUN");
  run_button_->labelfont(FL_HELVETICA_BOLD);
  name_widget("run", run_button_);
}

void PanelWindow::build_command_and_log() {
  command_buffer_ = std::make_unique<Fl_Text_Buffer>();
  command_ = new Fl_Text_Editor(10, 615, kWindowWidth - 20, 50, "command (may be edited before RUN):");
  command_->align(FL_ALIGN_TOP_LEFT);
  command_->buffer(command_buffer_.get());
  command_->wrap_mode(Fl_Text_Display::WRAP_AT_BOUNDS, 0);
  named_widgets_.emplace_back("command", command_);
  log_buffer_ = std::make_unique<Fl_Text_Buffer>();
  log_ = new Fl_Text_Display(10, 690, kWindowWidth - 20, 80, "run log:");
  log_->align(FL_ALIGN_TOP_LEFT);
  log_->buffer(log_buffer_.get());
  log_->textfont(FL_COURIER);
  log_->textsize(12);
  status_ = new Fl_Box(10, 773, kWindowWidth - 20, 22, "no run yet");
  status_->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE);
}

void PanelWindow::apply_state(const PanelState& s) {
  files_->clear();
  for (const std::string& name : s.input_files) files_->add(name.c_str());
  merged_->value(s.merged);
  cores_->value(shown(s.cores).c_str());
  clip_->value(static_cast<int>(s.clip));
  for (int k = 0; k < 4; k++) clip_fields_[k]->value(shown(s.clip_values[k]).c_str());
  output_directory_->value(s.output_directory.c_str());
  output_appendix_->value(s.output_appendix.c_str());
  output_name_->value(s.output_name.c_str());
  projection_->value(static_cast<int>(s.projection));
  projection_zone_->value(s.projection_zone.c_str());
  coordinate_unit_->value(static_cast<int>(s.coordinate_unit));
  elevation_unit_->value(static_cast<int>(s.elevation_unit));
  other_options_->value(s.other_options.c_str());

  sample_points_->value(shown(s.sample_points).c_str());
  concavity_->value(shown(s.concavity).c_str());
  for (int k = 0; k < 4; k++) modes_[k]->value(static_cast<int>(s.isoline_mode) == k);
  value_->value(shown(s.value).c_str());
  value_list_->clear();
  for (double v : s.value_list) value_list_->add(shown(v).c_str());
  smooth_->value(s.smooth);
  passes_->value(shown(s.passes).c_str());
  simplify_->value(s.simplify);
  simplify_length_->value(shown(s.simplify_length).c_str());
  clean_->value(s.clean);
  clean_length_->value(shown(s.clean_length).c_str());
  loops_only_->value(s.loops_only);
  extra_pass_->value(s.extra_pass);
  closed_->value(s.closed);
  closed_file_->value(s.closed_file.c_str());
  open_->value(s.open);
  open_file_->value(s.open_file.c_str());
  if (s.closed || s.open) {
    breaklines_->value(1);
    breakline_group_->show();
  }
  int format = 0;
  for (int k = 0; k < 4; k++) {
    if (s.output_format == kPanelOutputFormats[k]) format = k;
  }
  output_format_->value(format);
  update_clip_labels();
  update_activation();
}

PanelState PanelWindow::read_state() const {
  PanelState s;
  for (int line = 1; line <= files_->size(); line++) s.input_files.push_back(files_->text(line));
  s.merged = merged_->value() != 0;
  s.cores = field_integer(cores_, 1);
  s.clip = static_cast<ClipArea>(std::max(0, clip_->value()));
  for (int k = 0; k < 4; k++) s.clip_values[k] = field_number(clip_fields_[k]);
  s.output_directory = output_directory_->value();
  s.output_appendix = output_appendix_->value();
  s.output_name = output_name_->value();
  s.output_format = kPanelOutputFormats[std::clamp(output_format_->value(), 0, 3)];
  s.projection = static_cast<ProjectionKind>(std::max(0, projection_->value()));
  s.projection_zone = projection_zone_->value();
  s.coordinate_unit = static_cast<LengthUnitChoice>(std::max(0, coordinate_unit_->value()));
  s.elevation_unit = static_cast<LengthUnitChoice>(std::max(0, elevation_unit_->value()));
  s.other_options = other_options_->value();

  s.sample_points = field_integer(sample_points_, PanelLimits::kSamplePointsMin);
  s.concavity = field_number(concavity_);
  for (int k = 0; k < 4; k++) {
    if (modes_[k]->value()) s.isoline_mode = static_cast<IsolineMode>(k);
  }
  s.value = field_number(value_);
  for (int line = 1; line <= value_list_->size(); line++)
    s.value_list.push_back(std::atof(value_list_->text(line)));
  s.smooth = smooth_->value() != 0;
  s.passes = field_integer(passes_, PanelLimits::kPassesMin);
  s.simplify = simplify_->value() != 0;
  s.simplify_length = field_number(simplify_length_);
  s.clean = clean_->value() != 0;
  s.clean_length = field_number(clean_length_);
  s.loops_only = loops_only_->value() != 0;
  s.extra_pass = extra_pass_->value() != 0;
  s.closed = closed_->value() != 0;
  s.closed_file = closed_file_->value();
  s.open = open_->value() != 0;
  s.open_file = open_file_->value();
  return s;
}

void PanelWindow::update_activation() {
  const auto set = [](Fl_Widget* w, bool on) { on ? w->activate() : w->deactivate(); };
  const bool multiple = modes_[3]->value() != 0;
  set(add_value_, multiple);
  set(value_list_, multiple);
  set(passes_, smooth_->value() != 0);
  set(simplify_length_, simplify_->value() != 0);
  set(clean_length_, clean_->value() != 0);
  set(closed_browse_, closed_->value() != 0);
  set(closed_file_, closed_->value() != 0);
  set(open_browse_, open_->value() != 0);
  set(open_file_, open_->value() != 0);
  set(projection_zone_, projection_->value() > 0);
  for (int k = 0; k < 4; k++) set(clip_fields_[k], clip_->value() > 0 && (k < 3 || clip_->value() == 1));
}

void PanelWindow::update_clip_labels() {
  static const char* const kLabels[4][4] = {{"", "", "", ""},
                                            {"min x", "min y", "max x", "max y"},
                                            {"centre x", "centre y", "radius", ""},
                                            {"lower-left x", "lower-left y", "size", ""}};
  const int kind = std::clamp(clip_->value(), 0, 3);
  for (int k = 0; k < 4; k++) clip_fields_[k]->label(kLabels[kind][k]);
  window_->redraw();
}

void PanelWindow::show() {
  window_->show();
  if (transcript_) {
    // Where each control is, so a test can press it as a person would.
    for (const auto& [name, w] : named_widgets_) {
      std::fprintf(transcript_, "widget %s %d %d %d %d\n", name.c_str(), w->x(), w->y(), w->w(), w->h());
    }
    std::fflush(transcript_);
  }
}

int run_panel_window(const PanelState& preset) {
  if (const char* redraws = std::getenv("CONTOURMILL_GUI_BENCH"))
    return run_panel_bench(preset, std::max(1, std::atoi(redraws)));
  PanelWindow panel(preset);
  panel.show();
  return Fl::run();
}
