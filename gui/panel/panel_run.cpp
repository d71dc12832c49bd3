// RUN and VIEW: starting the command, feeding its output to the log as it arrives, showing its
// exit status; and the transcript a test can ask for.
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Text_Display.H>
#include <FL/Fl_Text_Editor.H>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "common/option_text.h"
#include "gui/command_builder.h"
#include "gui/panel/child_run.h"
#include "gui/panel/map_view.h"
#include "gui/panel/panel_window.h"

namespace {

// Between two slices of points the window handles its events and redraws. A timeout of 0 added from
// a timeout callback would run again in the same pass of the toolkit's loop, before any event.
constexpr double kSampleStepPause = 0.001;

// This program itself: "contourmill" in the command window means the same build as the panel.
std::string own_executable() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string(kPanelProgramName) : self.string();
}

// Whether an executable of this name is on PATH.
bool on_path(const char* program) {
  const char* path = std::getenv("PATH");
  if (!path) return false;
  std::string_view rest(path);
  while (true) {
    const size_t colon = rest.find(':');
    std::string folder(rest.substr(0, colon));
    if (folder.empty()) folder = ".";
    const std::string candidate = folder + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return true;
    if (colon == std::string_view::npos) return false;
    rest.remove_prefix(colon + 1);
  }
}

std::string describe_status(int status) {
  if (status < 0) return "exit status unknown";
  if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "ended by signal " + std::to_string(WTERMSIG(status));
  return "ended";
}

}  // namespace

void PanelWindow::transcript(const std::string& text) {
  if (!transcript_) return;
  std::fputs(text.c_str(), transcript_);
  std::fflush(transcript_);
}

void PanelWindow::log(const std::string& text) {
  log_buffer_->append(text.c_str());
  // Follow the newest line, as a terminal would.
  log_->insert_position(log_buffer_->length());
  log_->show_insert_position();
  transcript("log: " + text);
}

void PanelWindow::log_warnings(const std::vector<std::string>& warnings) {
  for (const std::string& warning : warnings) log(warning + "\n");
}

void PanelWindow::run_pressed() {
  if (contour_run_ && contour_run_->running()) return;
  char* edited = command_buffer_->text();
  std::string text(edited);
  std::free(edited);
  // The editor may hold line breaks the user typed; they separate words like blanks.
  for (char& c : text) {
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  }
  // A command the user left as the panel built it is checked against the panel's rules; an edited
  // one is the user's own and runs as typed.
  if (text == built_command_) {
    const std::vector<std::string> problems = panel_problems(read_state());
    if (!problems.empty()) {
      for (const std::string& problem : problems) log("ERROR: " + problem + "\n");
      status_->copy_label("not started: see the run log");
      return;
    }
  }
  std::vector<std::string> words = split_command_words(text);
  if (words.empty()) {
    log("ERROR: the command window is empty\n");
    return;
  }
  transcript("command: " + text + "\n");
  log("> " + text + "\n");
  const std::string program = words[0] == kPanelProgramName ? own_executable() : words[0];
  contour_run_ = std::make_unique<ChildRun>([this](std::string_view out) { run_output(out); },
                                            [this](int status) { run_ended(status); });
  std::string error;
  if (!contour_run_->start(program, words, error)) {
    log("ERROR: " + error + "\n");
    status_->copy_label("not started: see the run log");
    return;
  }
  status_->copy_label("running ...");
  run_button_busy(true);
}

void PanelWindow::run_output(std::string_view text) {
  log(std::string(text));
}

void PanelWindow::run_ended(int status) {
  const std::string outcome = describe_status(status);
  log(outcome + "\n");
  transcript("exit status: " + std::to_string(status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1) +
             "\n");
  status_->copy_label(outcome.c_str());
  run_button_busy(false);
}

void PanelWindow::run_button_busy(bool busy) {
  busy ? run_button_->deactivate() : run_button_->activate();
}

void PanelWindow::view_pressed() {
  const PanelState state = read_state();
  const std::vector<std::string> words = build_view_command(state);
  log("> " + command_text(words) + "\n");
  if (on_path(kViewerProgramName)) {
    if (viewer_ && viewer_->running()) {
      log("the viewer is still open\n");
      return;
    }
    viewer_ =
        std::make_unique<ChildRun>([this](std::string_view out) { log(std::string(out)); },
                                   [this](int status) { log("viewer: " + describe_status(status) + "\n"); });
    std::string error;
    if (!viewer_->start(kViewerProgramName, words, error)) log("ERROR: " + error + "\n");
    return;
  }
  // No viewer on this machine: the points seen from above in the map, coloured by elevation, read
  // a slice at a time between the window's events.
  const int32_t limit =
      std::clamp(state.sample_points, PanelLimits::kSamplePointsMin, PanelLimits::kSamplePointsMax);
  log(std::string(kViewerProgramName) + " is not on PATH: drawing up to " + std::to_string(limit) +
      " points in the map\n");
  std::vector<std::string> warnings;
  sampler_ = std::make_unique<PointSampler>(state.input_files, limit, warnings);
  log_warnings(warnings);
  Fl::remove_timeout(on_sample_step, this);
  Fl::add_timeout(kSampleStepPause, on_sample_step, this);
}

void PanelWindow::on_sample_step(void* self) {
  static_cast<PanelWindow*>(self)->sample_step();
}

void PanelWindow::sample_step() {
  // Small enough that the window answers within a few tens of milliseconds.
  constexpr int64_t kPointsPerStep = 200000;
  if (!sampler_) return;
  std::vector<std::string> warnings;
  const bool more = sampler_->advance(kPointsPerStep, warnings);
  log_warnings(warnings);
  if (more) {
    Fl::add_timeout(kSampleStepPause, on_sample_step, this);
    return;
  }
  MapSample sample = sampler_->take();
  sampler_.reset();
  log(std::to_string(sample.xyz.size() / 3) + " points drawn\n");
  map_->set_sample(std::move(sample));
}
