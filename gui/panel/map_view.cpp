#include "gui/panel/map_view.h"

#include <FL/fl_draw.H>

#include <algorithm>
#include <cmath>

namespace {

// Margin around everything drawn, in pixels, so boxes on the extent's edge stay visible.
constexpr int kMargin = 8;

void grow(MapBox& box, bool& any, double x, double y) {
  if (!std::isfinite(x) || !std::isfinite(y)) return;
  if (!any) {
    box = {x, y, x, y};
    any = true;
    return;
  }
  box.min_x = std::min(box.min_x, x);
  box.min_y = std::min(box.min_y, y);
  box.max_x = std::max(box.max_x, x);
  box.max_y = std::max(box.max_y, y);
}

// Low ground blue-green, through yellow, to high ground brown-red.
void elevation_colour(double t, unsigned char rgb[3]) {
  t = std::clamp(t, 0.0, 1.0);
  const double r = t < 0.5 ? 2.0 * t : 1.0;
  const double g = t < 0.5 ? 0.6 + 0.8 * t : 1.0 - 1.2 * (t - 0.5);
  const double b = t < 0.5 ? 0.6 - 1.2 * t : 0.0;
  rgb[0] = static_cast<unsigned char>(255.0 * std::clamp(r, 0.0, 1.0));
  rgb[1] = static_cast<unsigned char>(255.0 * std::clamp(g, 0.0, 1.0));
  rgb[2] = static_cast<unsigned char>(255.0 * std::clamp(b, 0.0, 1.0));
}

}  // namespace

MapView::MapView(int x, int y, int w, int h) : Fl_Widget(x, y, w, h) {}

int MapView::Frame::px(double x) const {
  return left + static_cast<int>(std::lround((x - min_x) * scale));
}

int MapView::Frame::py(double y) const {
  return bottom - static_cast<int>(std::lround((y - min_y) * scale));
}

void MapView::set_tiles(std::vector<MapBox> tiles) {
  tiles_ = std::move(tiles);
  redraw();
}

void MapView::set_clip(ClipArea clip, const double values[4]) {
  clip_ = clip;
  std::copy(values, values + 4, clip_values_);
  redraw();
}

void MapView::set_breaklines(std::vector<MapPolyline> closed, std::vector<MapPolyline> open) {
  closed_ = std::move(closed);
  open_ = std::move(open);
  redraw();
}

void MapView::set_sample(MapSample sample) {
  sample_ = std::move(sample);
  redraw();
}

bool MapView::extent(MapBox& box) const {
  bool any = false;
  for (const MapBox& t : tiles_) {
    grow(box, any, t.min_x, t.min_y);
    grow(box, any, t.max_x, t.max_y);
  }
  for (const auto* lines : {&closed_, &open_}) {
    for (const MapPolyline& line : *lines) {
      for (const MapPoint& p : line.points) grow(box, any, p.x, p.y);
    }
  }
  for (size_t k = 0; k + 2 < sample_.xyz.size(); k += 3) grow(box, any, sample_.xyz[k], sample_.xyz[k + 1]);
  const double* v = clip_values_;
  if (clip_ == ClipArea::kRectangle) {
    grow(box, any, v[0], v[1]);
    grow(box, any, v[2], v[3]);
  } else if (clip_ == ClipArea::kCircle) {
    grow(box, any, v[0] - v[2], v[1] - v[2]);
    grow(box, any, v[0] + v[2], v[1] + v[2]);
  } else if (clip_ == ClipArea::kTile) {
    grow(box, any, v[0], v[1]);
    grow(box, any, v[0] + v[2], v[1] + v[2]);
  }
  return any;
}

MapView::Frame MapView::frame_for(const MapBox& box) const {
  Frame frame;
  const double width = std::max(box.max_x - box.min_x, 1e-9);
  const double height = std::max(box.max_y - box.min_y, 1e-9);
  const double usable_w = std::max(1, w() - 2 * kMargin), usable_h = std::max(1, h() - 2 * kMargin);
  frame.scale = std::min(usable_w / width, usable_h / height);
  // Centred in the view.
  frame.min_x = box.min_x - (usable_w / frame.scale - width) / 2.0;
  frame.min_y = box.min_y - (usable_h / frame.scale - height) / 2.0;
  frame.left = x() + kMargin;
  frame.bottom = y() + h() - kMargin;
  return frame;
}

void MapView::draw_sample(const Frame& frame) {
  if (sample_.xyz.empty()) return;
  const int width = w(), height = h();
  raster_.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 3, 255);
  const double range = sample_.max_z > sample_.min_z ? sample_.max_z - sample_.min_z : 1.0;
  unsigned char rgb[3];
  for (size_t k = 0; k + 2 < sample_.xyz.size(); k += 3) {
    const int col = frame.px(sample_.xyz[k]) - x(), row = frame.py(sample_.xyz[k + 1]) - y();
    if (col < 0 || row < 0 || col >= width || row >= height) continue;
    elevation_colour((sample_.xyz[k + 2] - sample_.min_z) / range, rgb);
    unsigned char* pixel =
        &raster_[(static_cast<size_t>(row) * static_cast<size_t>(width) + static_cast<size_t>(col)) * 3];
    std::copy(rgb, rgb + 3, pixel);
  }
  fl_draw_image(raster_.data(), x(), y(), width, height, 3);
}

void MapView::draw_clip(const Frame& frame) const {
  const double* v = clip_values_;
  fl_color(FL_RED);
  fl_line_style(FL_DASH, 2);
  if (clip_ == ClipArea::kRectangle || clip_ == ClipArea::kTile) {
    const double max_x = clip_ == ClipArea::kTile ? v[0] + v[2] : v[2];
    const double max_y = clip_ == ClipArea::kTile ? v[1] + v[2] : v[3];
    const int left = frame.px(v[0]), top = frame.py(max_y);
    fl_rect(left, top, std::max(1, frame.px(max_x) - left), std::max(1, frame.py(v[1]) - top));
  } else if (clip_ == ClipArea::kCircle) {
    const int r = std::max(1, static_cast<int>(std::lround(v[2] * frame.scale)));
    fl_arc(frame.px(v[0]) - r, frame.py(v[1]) - r, 2 * r, 2 * r, 0.0, 360.0);
  }
  fl_line_style(0);
}

void MapView::draw() {
  draw_count_++;
  fl_push_clip(x(), y(), w(), h());
  fl_color(FL_WHITE);
  fl_rectf(x(), y(), w(), h());
  MapBox box;
  if (!extent(box)) {
    fl_color(FL_DARK3);
    fl_font(FL_HELVETICA, 14);
    fl_draw("map: add input files to see their extent", x(), y(), w(), h(), FL_ALIGN_CENTER);
    fl_pop_clip();
    return;
  }
  const Frame frame = frame_for(box);
  draw_sample(frame);

  fl_color(FL_DARK3);
  fl_line_style(FL_SOLID, 1);
  for (const MapBox& t : tiles_) {
    const int left = frame.px(t.min_x), top = frame.py(t.max_y);
    fl_rect(left, top, std::max(1, frame.px(t.max_x) - left + 1), std::max(1, frame.py(t.min_y) - top + 1));
  }
  draw_clip(frame);

  fl_color(FL_BLUE);
  fl_line_style(FL_SOLID, 2);
  for (const auto* lines : {&closed_, &open_}) {
    for (const MapPolyline& line : *lines) {
      if (line.points.size() == 1) {
        fl_point(frame.px(line.points[0].x), frame.py(line.points[0].y));
        continue;
      }
      fl_begin_line();
      for (const MapPoint& p : line.points) fl_vertex(frame.px(p.x), frame.py(p.y));
      fl_end_line();
    }
  }
  fl_line_style(0);
  fl_color(FL_BLACK);
  fl_rect(x(), y(), w(), h());
  fl_pop_clip();
}
