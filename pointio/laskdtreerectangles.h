#pragma once
// Which of many file rectangles overlap a query rectangle: the input opener finds the neighbours
// of a tile with it. Rectangles overlap when they share at least a point (touching counts).

#include <cstddef>
#include <cstdint>
#include <vector>

class LASkdtreeRectangles {
 public:
  void init();
  void add(double min_x, double min_y, double max_x, double max_y);
  void build();
  bool was_built() const { return built_; }
  // Collects the insertion numbers (0-based) of the rectangles that overlap the query.
  bool overlap(double min_x, double min_y, double max_x, double max_y);
  bool has_overlaps() const { return cursor_ < found_.size(); }
  // The found insertion numbers in increasing order, one per call.
  bool get_overlap(uint32_t& index);

  double get_min_x() const { return min_x_; }
  double get_min_y() const { return min_y_; }
  double get_max_x() const { return max_x_; }
  double get_max_y() const { return max_y_; }

 private:
  struct Rectangle {
    double min_x, min_y, max_x, max_y;
    uint32_t index;
  };
  // A node covers rectangles_[begin, end) and the box around them; children split at the middle
  // along the longer side of the box of their centres.
  struct Node {
    double min_x, min_y, max_x, max_y;
    uint32_t begin, end;
    int32_t left = -1, right = -1;
  };
  int32_t build_node(uint32_t begin, uint32_t end, int depth);
  void query(int32_t node, const Rectangle& q);

  std::vector<Rectangle> rectangles_;
  std::vector<Node> nodes_;
  std::vector<uint32_t> found_;
  size_t cursor_ = 0;
  double min_x_ = 2e307, min_y_ = 2e307, max_x_ = -2e307, max_y_ = -2e307;
  bool built_ = false;
};
