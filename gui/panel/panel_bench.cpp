// A timed run of the window for measuring, started by CONTOURMILL_GUI_BENCH=<redraws>: how long
// the window takes to open, and how long the map takes to redraw 100 tile boxes and 10,000
// breakline vertices. Prints the figures on standard output and closes the window.
#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/x.H>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "gui/panel/map_view.h"
#include "gui/panel/panel_window.h"

namespace {

using Clock = std::chrono::steady_clock;

double milliseconds_since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Seconds from the process's start to now, from the kernel's clock ticks (10 ms resolution).
double seconds_since_process_start() {
  std::ifstream stat("/proc/self/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const size_t paren = text.rfind(')');
  if (paren == std::string::npos) return -1.0;
  // Field 22, the start time, is the 20th after the command name's closing parenthesis.
  size_t at = paren + 2;
  for (int field = 3; field < 22 && at != std::string::npos; field++) at = text.find(' ', at) + 1;
  const double start_ticks = std::atof(text.c_str() + at);
  std::ifstream uptime_file("/proc/uptime");
  double uptime = 0.0;
  uptime_file >> uptime;
  return uptime - start_ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Everything queued is drawn and the display server has done it.
void finish_drawing() {
  Fl::flush();
  XSync(fl_display, False);
}

// A 10 by 10 block of 1 km tiles, and 20 winding creeks of 500 vertices across it.
void fill_scene(MapView& map) {
  std::vector<MapBox> tiles;
  for (int row = 0; row < 10; row++) {
    for (int col = 0; col < 10; col++) {
      const double x = 500000.0 + 1000.0 * col, y = 4000000.0 + 1000.0 * row;
      tiles.push_back({x, y, x + 1000.0, y + 1000.0});
    }
  }
  std::vector<MapPolyline> creeks(20);
  for (size_t k = 0; k < creeks.size(); k++) {
    for (int i = 0; i < 500; i++) {
      const double t = i / 499.0;
      creeks[k].points.push_back(
          {500000.0 + 10000.0 * t,
           4000250.0 + 480.0 * static_cast<double>(k) + 200.0 * std::sin(40.0 * t + static_cast<double>(k))});
    }
  }
  map.set_tiles(std::move(tiles));
  map.set_breaklines({}, std::move(creeks));
}

}  // namespace

int run_panel_bench(const PanelState& preset, int redraws) {
  const Clock::time_point start = Clock::now();
  PanelWindow panel(preset);
  panel.show();
  // Shown means mapped by the server and drawn once.
  while (panel.map().draw_count() == 0) Fl::wait(0.01);
  finish_drawing();
  const double open_ms = milliseconds_since(start);
  std::printf("window open: %.1f ms from the panel's start, %.2f s from the process start\n", open_ms,
              seconds_since_process_start());

  fill_scene(panel.map());
  finish_drawing();
  std::vector<double> times;
  const long draws_before = panel.map().draw_count();
  for (int k = 0; k < redraws; k++) {
    const Clock::time_point t = Clock::now();
    panel.map().redraw();
    finish_drawing();
    times.push_back(milliseconds_since(t));
  }
  if (panel.map().draw_count() - draws_before != redraws) {
    std::printf("ERROR: the map drew %ld times for %d redraws\n", panel.map().draw_count() - draws_before,
                redraws);
    return 1;
  }
  std::sort(times.begin(), times.end());
  if (!times.empty()) {
    std::printf(
        "map redraw of 100 tile boxes and 10000 breakline vertices, %d times: median %.2f ms, max %.2f ms\n",
        redraws, times[times.size() / 2], times.back());
  }
  return 0;
}
