#include "pointio/laskdtreerectangles.h"

#include <algorithm>

namespace {

constexpr uint32_t kLeafSize = 8;

}  // namespace

void LASkdtreeRectangles::init() {
  rectangles_.clear();
  nodes_.clear();
  found_.clear();
  cursor_ = 0;
  min_x_ = min_y_ = 2e307;
  max_x_ = max_y_ = -2e307;
  built_ = false;
}

void LASkdtreeRectangles::add(double min_x, double min_y, double max_x, double max_y) {
  rectangles_.push_back(Rectangle{min_x, min_y, max_x, max_y, static_cast<uint32_t>(rectangles_.size())});
  min_x_ = std::min(min_x_, min_x);
  min_y_ = std::min(min_y_, min_y);
  max_x_ = std::max(max_x_, max_x);
  max_y_ = std::max(max_y_, max_y);
}

void LASkdtreeRectangles::build() {
  nodes_.clear();
  if (!rectangles_.empty()) build_node(0, static_cast<uint32_t>(rectangles_.size()), 0);
  built_ = true;
}

int32_t LASkdtreeRectangles::build_node(uint32_t begin, uint32_t end, int depth) {
  Node node{2e307, 2e307, -2e307, -2e307, begin, end};
  double cmin_x = 2e307, cmin_y = 2e307, cmax_x = -2e307, cmax_y = -2e307;
  for (uint32_t i = begin; i < end; i++) {
    const Rectangle& r = rectangles_[i];
    node.min_x = std::min(node.min_x, r.min_x);
    node.min_y = std::min(node.min_y, r.min_y);
    node.max_x = std::max(node.max_x, r.max_x);
    node.max_y = std::max(node.max_y, r.max_y);
    const double cx = (r.min_x + r.max_x) / 2, cy = (r.min_y + r.max_y) / 2;
    cmin_x = std::min(cmin_x, cx), cmax_x = std::max(cmax_x, cx);
    cmin_y = std::min(cmin_y, cy), cmax_y = std::max(cmax_y, cy);
  }
  const int32_t self = static_cast<int32_t>(nodes_.size());
  nodes_.push_back(node);
  if (end - begin <= kLeafSize || depth > 60) return self;
  const bool by_x = cmax_x - cmin_x >= cmax_y - cmin_y;
  const uint32_t middle = begin + (end - begin) / 2;
  std::nth_element(rectangles_.begin() + begin, rectangles_.begin() + middle, rectangles_.begin() + end,
                   [by_x](const Rectangle& a, const Rectangle& b) {
                     return by_x ? a.min_x + a.max_x < b.min_x + b.max_x
                                 : a.min_y + a.max_y < b.min_y + b.max_y;
                   });
  const int32_t left = build_node(begin, middle, depth + 1);
  const int32_t right = build_node(middle, end, depth + 1);
  nodes_[static_cast<size_t>(self)].left = left;
  nodes_[static_cast<size_t>(self)].right = right;
  return self;
}

bool LASkdtreeRectangles::overlap(double min_x, double min_y, double max_x, double max_y) {
  found_.clear();
  cursor_ = 0;
  const Rectangle q{min_x, min_y, max_x, max_y, 0};
  if (built_ && !nodes_.empty()) {
    query(0, q);
  } else {
    for (const Rectangle& r : rectangles_) {
      if (r.max_x >= q.min_x && r.max_y >= q.min_y && q.max_x >= r.min_x && q.max_y >= r.min_y)
        found_.push_back(r.index);
    }
  }
  std::sort(found_.begin(), found_.end());
  return !found_.empty();
}

void LASkdtreeRectangles::query(int32_t n, const Rectangle& q) {
  const Node& node = nodes_[static_cast<size_t>(n)];
  if (node.max_x < q.min_x || node.max_y < q.min_y || q.max_x < node.min_x || q.max_y < node.min_y) return;
  if (node.left < 0) {
    for (uint32_t i = node.begin; i < node.end; i++) {
      const Rectangle& r = rectangles_[i];
      if (r.max_x >= q.min_x && r.max_y >= q.min_y && q.max_x >= r.min_x && q.max_y >= r.min_y)
        found_.push_back(r.index);
    }
    return;
  }
  query(node.left, q);
  query(node.right, q);
}

bool LASkdtreeRectangles::get_overlap(uint32_t& index) {
  if (cursor_ >= found_.size()) return false;
  index = found_[cursor_++];
  return true;
}
