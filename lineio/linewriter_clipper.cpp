#include "lineio/linewriter_clipper.h"

#include <utility>

LINEwriterClipper::LINEwriterClipper(std::unique_ptr<LINEwriter> inner, double min_x, double min_y,
                                     double max_x, double max_y)
    : writer_(std::move(inner)), min_x_(min_x), min_y_(min_y), max_x_(max_x), max_y_(max_y) {
  only_2d = writer_->only_2d;
}

void LINEwriterClipper::set_offset(double x, double y, double z) {
  LINEwriter::set_offset(x, y, z);
  writer_->set_offset(x, y, z);
}

bool LINEwriterClipper::add_vertex(float x, float y, float z) {
  line_.push_back(Vertex{double(x) + x_offset, double(y) + y_offset, double(z) + z_offset});
  return true;
}

bool LINEwriterClipper::add_segment(float x1, float y1, float z1, float x2, float y2, float z2) {
  if (!end_line()) return false;
  add_vertex(x1, y1, z1);
  add_vertex(x2, y2, z2);
  return end_line();
}

bool LINEwriterClipper::inside(const Vertex& v) const {
  return min_x_ <= v.x && v.x <= max_x_ && min_y_ <= v.y && v.y <= max_y_;
}

bool LINEwriterClipper::emit(const Vertex& v) {
  return writer_->add_vertex(static_cast<float>(v.x - x_offset), static_cast<float>(v.y - y_offset),
                             static_cast<float>(v.z - z_offset));
}

bool LINEwriterClipper::end_line() {
  if (line_.empty()) return true;
  bool ok = true;
  size_t outside = line_.size();
  for (size_t i = 0; i < line_.size() && outside == line_.size(); i++) {
    if (!inside(line_[i])) outside = i;
  }
  if (outside == line_.size()) {
    // Wholly inside, loops stay loops.
    for (const Vertex& v : line_) ok = emit(v) && ok;
    ok = writer_->end_line() && ok;
  } else {
    const bool loop =
        line_.size() >= 3 && line_.front().x == line_.back().x && line_.front().y == line_.back().y;
    if (loop && outside != 0) {
      // Opened at a vertex outside, so no piece is cut in two where the loop closes.
      rotated_.assign(line_.begin() + static_cast<std::ptrdiff_t>(outside), line_.end());
      rotated_.insert(rotated_.end(), line_.begin() + 1,
                      line_.begin() + static_cast<std::ptrdiff_t>(outside) + 1);
      ok = clip_polyline(rotated_);
    } else {
      ok = clip_polyline(line_);
    }
  }
  line_.clear();
  return ok;
}

// Liang-Barsky on every segment: the part of a to b inside is [t0, t1] of its parameter.
bool LINEwriterClipper::clip_polyline(const std::vector<Vertex>& line) {
  bool ok = true;
  piece_open_ = false;
  if (line.size() == 1) {
    if (inside(line[0])) ok = emit(line[0]) && writer_->end_line();
    return ok;
  }
  for (size_t i = 1; i < line.size(); i++) {
    const Vertex& a = line[i - 1];
    const Vertex& b = line[i];
    const double dx = b.x - a.x, dy = b.y - a.y;
    double t0 = 0.0, t1 = 1.0;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x - min_x_, max_x_ - a.x, a.y - min_y_, max_y_ - a.y};
    bool visible = true;
    for (int k = 0; k < 4 && visible; k++) {
      if (p[k] == 0.0) {
        visible = q[k] >= 0.0;
      } else {
        const double t = q[k] / p[k];
        if (p[k] < 0.0) {
          if (t > t1) visible = false;
          if (t > t0) t0 = t;
        } else {
          if (t < t0) visible = false;
          if (t < t1) t1 = t;
        }
      }
    }
    if (!visible) {
      if (piece_open_) ok = writer_->end_line() && ok;
      piece_open_ = false;
      continue;
    }
    const auto at = [&](double t) {
      if (t == 0.0) return a;
      if (t == 1.0) return b;
      return Vertex{a.x + t * dx, a.y + t * dy, a.z + t * (b.z - a.z)};
    };
    if (!piece_open_ || t0 > 0.0) {
      if (piece_open_) ok = writer_->end_line() && ok;
      // A segment that only touches the rectangle in one point adds no piece.
      if (t1 <= t0) {
        piece_open_ = false;
        continue;
      }
      ok = emit(at(t0)) && ok;
      piece_open_ = true;
    }
    ok = emit(at(t1)) && ok;
    if (t1 < 1.0) {
      ok = writer_->end_line() && ok;
      piece_open_ = false;
    }
  }
  if (piece_open_) ok = writer_->end_line() && ok;
  piece_open_ = false;
  return ok;
}

bool LINEwriterClipper::close() {
  const bool ended = end_line();
  return writer_->close() && ended;
}
