#pragma once
// The cells of a square grid that hold a kept point, one bit per cell, grown in bands around the
// cells actually seen instead of over a bounding box.
//
// Rows are numbered from the row of the first point: rows at or above it go into `up_` (index cy),
// rows below into `down_` (index -cy - 1). Each row is anchored at the column of the first point
// that reached it; columns at or right of the anchor are bits of `right` (index cx - anchor), those
// left of it bits of `left` (index anchor - cx - 1). Sizes are size_t, so a row may be as wide as
// memory allows.

#include <cstdint>
#include <vector>

namespace filter_detail {

class GridOccupancy {
 public:
  // Marks the cell and answers whether it was marked already. Throws std::bad_alloc when the grid
  // cannot grow to reach the cell.
  bool test_and_set(int64_t column, int64_t row);
  void clear();

 private:
  struct Row {
    bool anchored = false;
    int64_t anchor = 0;
    std::vector<uint32_t> right, left;
  };
  static bool test_and_set_bit(std::vector<uint32_t>& bits, uint64_t index);

  bool anchored_ = false;
  int64_t anchor_row_ = 0;
  std::vector<Row> up_, down_;
};

}  // namespace filter_detail
