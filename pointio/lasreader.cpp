#include "pointio/lasreader.h"

bool LASreader::inside_none() {
  if (inside_ != INSIDE_NONE) {
    header.min_x = orig_min_x_;
    header.min_y = orig_min_y_;
    header.max_x = orig_max_x_;
    header.max_y = orig_max_y_;
    inside_ = INSIDE_NONE;
  }
  read_step_ = &LASreader::read_point_unfiltered;
  return true;
}

void LASreader::select_area_step(Inside kind, double min_x, double min_y, double max_x, double max_y,
                                 ReadStep area_step) {
  // A second area replaces the first, so the bounds to compare against and to restore are always
  // those of the file, not of the previous area.
  if (inside_ == INSIDE_NONE) {
    orig_min_x_ = header.min_x;
    orig_min_y_ = header.min_y;
    orig_max_x_ = header.max_x;
    orig_max_y_ = header.max_y;
  }
  inside_ = kind;
  header.min_x = min_x;
  header.min_y = min_y;
  header.max_x = max_x;
  header.max_y = max_y;
  const bool disjoint =
      max_x < orig_min_x_ || max_y < orig_min_y_ || min_x > orig_max_x_ || min_y > orig_max_y_;
  read_step_ = disjoint ? &LASreader::read_point_none : area_step;
}

bool LASreader::inside_tile(float ll_x, float ll_y, float size) {
  t_ll_x_ = ll_x;
  t_ll_y_ = ll_y;
  t_size_ = size;
  t_ur_x_ = ll_x + size;
  t_ur_y_ = ll_y + size;
  select_area_step(INSIDE_TILE, ll_x, ll_y, double(ll_x) + size - header.x_scale_factor,
                   double(ll_y) + size - header.y_scale_factor, &LASreader::read_point_inside_tile);
  return true;
}

bool LASreader::inside_circle(double center_x, double center_y, double radius) {
  c_center_x_ = center_x;
  c_center_y_ = center_y;
  c_radius_ = radius;
  c_radius_squared_ = radius * radius;
  select_area_step(INSIDE_CIRCLE, center_x - radius, center_y - radius, center_x + radius, center_y + radius,
                   &LASreader::read_point_inside_circle);
  return true;
}

bool LASreader::inside_rectangle(double min_x, double min_y, double max_x, double max_y) {
  r_min_x_ = min_x;
  r_min_y_ = min_y;
  r_max_x_ = max_x;
  r_max_y_ = max_y;
  select_area_step(INSIDE_RECTANGLE, min_x, min_y, max_x, max_y, &LASreader::read_point_inside_rectangle);
  return true;
}

bool LASreader::read_point_inside_tile() {
  while (read_point_unfiltered()) {
    const double x = point.get_x();
    const double y = point.get_y();
    if (t_ll_x_ <= x && x < t_ur_x_ && t_ll_y_ <= y && y < t_ur_y_) return true;
  }
  return false;
}

bool LASreader::read_point_inside_circle() {
  while (read_point_unfiltered()) {
    const double dx = c_center_x_ - point.get_x();
    const double dy = c_center_y_ - point.get_y();
    if (dx * dx + dy * dy < c_radius_squared_) return true;
  }
  return false;
}

bool LASreader::read_point_inside_rectangle() {
  while (read_point_unfiltered()) {
    const double x = point.get_x();
    const double y = point.get_y();
    if (r_min_x_ <= x && x < r_max_x_ && r_min_y_ <= y && y < r_max_y_) return true;
  }
  return false;
}
