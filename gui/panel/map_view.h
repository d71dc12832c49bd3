// The panel's map, seen from above: the input files' bounding boxes, the clip area, the breaklines
// in blue and, after VIEW without a viewer, a sample of points coloured by elevation. The view fits
// everything it holds, keeping the aspect of the ground.
#pragma once

#include <FL/Fl_Widget.H>

#include <vector>

#include "gui/map_scene.h"
#include "gui/panel_state.h"

class MapView : public Fl_Widget {
 public:
  MapView(int x, int y, int w, int h);

  void set_tiles(std::vector<MapBox> tiles);
  void set_clip(ClipArea clip, const double values[4]);
  void set_breaklines(std::vector<MapPolyline> closed, std::vector<MapPolyline> open);
  void set_sample(MapSample sample);

  void draw() override;
  // How many times the map was drawn: a timed redraw counts only if it really drew.
  long draw_count() const { return draw_count_; }

 private:
  struct Frame {
    double min_x = 0, min_y = 0, scale = 1;
    int left = 0, bottom = 0;
    int px(double x) const;
    int py(double y) const;
  };
  bool extent(MapBox& box) const;
  Frame frame_for(const MapBox& box) const;
  void draw_sample(const Frame& frame);
  void draw_clip(const Frame& frame) const;

  std::vector<MapBox> tiles_;
  ClipArea clip_ = ClipArea::kNone;
  double clip_values_[4] = {0, 0, 0, 0};
  std::vector<MapPolyline> closed_, open_;
  MapSample sample_;
  std::vector<unsigned char> raster_;
  long draw_count_ = 0;  // the sample drawn into the view's pixels, RGB
};
