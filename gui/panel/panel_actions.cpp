// What the panel does when a control changes: the activation rules, the value list, the file
// choosers, and keeping the command window and the map in step with the controls.
#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Round_Button.H>
#include <FL/Fl_Text_Buffer.H>

#include <algorithm>
#include <cmath>

#include "gui/command_builder.h"
#include "gui/panel/map_view.h"
#include "gui/panel/panel_window.h"

namespace {

// Breakline files are read for the map once the user stops typing their names, not at every key.
constexpr double kBreaklineSettleSeconds = 0.4;

const char* const kInputPattern =
    "Point files (*.{las,LAS,rkp,RKP,txt,TXT,xyz,pts,ptx,bin,shp,asc,bil,dtm,ply,qi,gz,zip,7z,rar})\t"
    "All files (*)";
const char* const kBreaklinePattern = "Breaklines (*.{shp,txt,SHP,TXT})";

}  // namespace

void PanelWindow::on_change(Fl_Widget* widget, void* self) {
  static_cast<PanelWindow*>(self)->changed(widget);
}

void PanelWindow::on_breaklines_settled(void* self) {
  static_cast<PanelWindow*>(self)->refresh_breaklines();
}

void PanelWindow::changed(Fl_Widget* widget) {
  if (closing_) return;
  if (widget == add_file_ || widget == file_field_) {
    add_input();
  } else if (widget == browse_files_) {
    browse_inputs();
  } else if (widget == remove_file_) {
    remove_input();
  } else if (widget == add_value_) {
    add_value();
  } else if (widget == value_list_) {
    value_list_clicked();
  } else if (widget == closed_browse_ || widget == open_browse_) {
    browse_breakline(widget == closed_browse_);
  } else if (widget == breaklines_) {
    toggle_breaklines();
  } else if (widget == run_button_) {
    run_pressed();
    return;
  } else if (widget == view_) {
    view_pressed();
    return;
  } else if (widget == clip_) {
    update_clip_labels();
  }
  // A field the user leaves shows the value the command uses.
  if (widget == sample_points_)
    clamp_field(sample_points_, PanelLimits::kSamplePointsMin, PanelLimits::kSamplePointsMax, true);
  if (widget == concavity_) clamp_field(concavity_, 0.0, PanelLimits::kConcavityMax, false);
  if (widget == passes_) clamp_field(passes_, PanelLimits::kPassesMin, PanelLimits::kPassesMax, true);
  if (widget == simplify_length_) clamp_field(simplify_length_, 0.0, PanelLimits::kSimplifyMax, false);
  if (widget == clean_length_) clamp_field(clean_length_, 0.0, PanelLimits::kCleanMax, false);
  if (widget == cores_) clamp_field(cores_, 1, PanelLimits::kCoresMax, true);

  update_activation();
  const PanelState state = read_state();
  map_->set_clip(state.clip, state.clip_values);
  if (widget == closed_ || widget == open_ || widget == closed_file_ || widget == open_file_ ||
      widget == closed_browse_ || widget == open_browse_) {
    Fl::remove_timeout(on_breaklines_settled, this);
    Fl::add_timeout(kBreaklineSettleSeconds, on_breaklines_settled, this);
  }
  refresh_command();
}

void PanelWindow::clamp_field(Fl_Input* field, double low, double high, bool integer) {
  // Only once the user has left the field: rewriting it under the cursor would fight the typing.
  if (Fl::focus() == field) return;
  const char* text = field->value();
  char* end = nullptr;
  double value = std::strtod(text, &end);
  if (end == text || !std::isfinite(value)) value = low;
  value = std::clamp(integer ? std::trunc(value) : value, low, high);
  field->value(integer ? std::to_string(static_cast<long long>(value)).c_str()
                       : panel_number_text(value).c_str());
}

void PanelWindow::refresh_command() {
  built_command_ = command_text(build_run_command(read_state()));
  command_buffer_->text(built_command_.c_str());
}

void PanelWindow::refresh_tiles() {
  std::vector<std::string> warnings;
  map_->set_tiles(read_file_boxes(read_state().input_files, warnings));
  log_warnings(warnings);
}

void PanelWindow::refresh_breaklines() {
  const PanelState s = read_state();
  const bool closed = s.closed && !s.closed_file.empty();
  const bool open = s.open && !s.open_file.empty();
  const std::string key = (closed ? s.closed_file : "") + '\n' + (open ? s.open_file : "");
  if (key == breaklines_shown_) return;
  breaklines_shown_ = key;
  std::vector<std::string> warnings;
  std::vector<MapPolyline> closed_lines, open_lines;
  if (closed) closed_lines = read_breaklines(s.closed_file, "closed", warnings);
  if (open) open_lines = read_breaklines(s.open_file, "open", warnings);
  map_->set_breaklines(std::move(closed_lines), std::move(open_lines));
  log_warnings(warnings);
}

void PanelWindow::add_input() {
  const std::string name = file_field_->value();
  if (name.empty()) return;
  files_->add(name.c_str());
  file_field_->value("");
  refresh_tiles();
}

void PanelWindow::browse_inputs() {
  Fl_File_Chooser chooser(".", kInputPattern, Fl_File_Chooser::MULTI, "add input files ...");
  chooser.show();
  while (chooser.shown()) Fl::wait();
  for (int k = 1; k <= chooser.count(); k++) {
    if (const char* name = chooser.value(k)) files_->add(name);
  }
  refresh_tiles();
}

void PanelWindow::remove_input() {
  const int line = files_->value();
  if (line <= 0) return;
  files_->remove(line);
  files_->value(std::min(line, files_->size()));
  refresh_tiles();
}

void PanelWindow::add_value() {
  const char* text = value_->value();
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (end == text || !std::isfinite(value)) return;
  value_list_->add(panel_number_text(value).c_str());
  last_value_selected_ = 0;
}

void PanelWindow::value_list_clicked() {
  // Picking the same entry a second time in a row takes it off the list.
  const int line = value_list_->value();
  if (line > 0 && line == last_value_selected_) {
    value_list_->remove(line);
    value_list_->deselect();
    last_value_selected_ = 0;
    return;
  }
  last_value_selected_ = line;
}

void PanelWindow::browse_breakline(bool closed) {
  Fl_Input* field = closed ? closed_file_ : open_file_;
  const char* title = closed ? "browse for closed breakline file ..." : "browse for open breakline file ...";
  Fl_File_Chooser chooser(field->value()[0] ? field->value() : ".", kBreaklinePattern,
                          Fl_File_Chooser::SINGLE, title);
  chooser.show();
  while (chooser.shown()) Fl::wait();
  if (chooser.count() > 0 && chooser.value(1)) field->value(chooser.value(1));
}

void PanelWindow::toggle_breaklines() {
  breaklines_->value() ? breakline_group_->show() : breakline_group_->hide();
  window_->redraw();
}
