#pragma once
// The quadtree of a spatial index: the file's x/y extent split into four at every level, cells
// numbered level by level (a cell of level l with level-local index k has the global index
// level_offset(l) + k; child q of local index i is 4i + q, q = 0 lower left, 1 lower right,
// 2 upper left, 3 upper right). An adaptive index stores cells of different levels; the set of
// cells that are subdivided further tells the queries where to stop descending.

#include <cstdint>
#include <unordered_set>
#include <vector>

class ByteStreamIn;
class ByteStreamOut;

class LASquadtree {
 public:
  // Deepest level a file may declare: level_offset(kMaxLevels + 1) still fits 32 bits.
  static constexpr uint32_t kMaxLevels = 15;

  // The cells above level l: 0, 1, 5, 21, 85, ...
  static uint32_t level_offset(uint32_t level);

  void setup(uint32_t levels, float min_x, float max_x, float min_y, float max_y);
  // Reads the quadtree block of an index (after "LASX" and its version). False after its message.
  bool read(ByteStreamIn& stream);
  bool write(ByteStreamOut& stream) const;

  // Whether a global cell index names a cell of this tree (levels 0 to `levels`).
  bool is_cell(uint32_t cell) const { return cell < level_offset(levels + 1); }
  // The level of a valid global cell index.
  uint32_t level_of(uint32_t cell) const;
  // The global index of the deepest cell (level `levels`) that holds x, y.
  uint32_t cell_at(double x, double y) const;
  // The cell's rectangle, computed with the same single-precision splits as the queries.
  void cell_bounds(uint32_t cell, float& min_x, float& max_x, float& min_y, float& max_y) const;

  // Marks a stored cell: every ancestor is subdivided. Once one cell is marked, queries descend
  // only into subdivided cells, so an index whose cells do not reach the deepest level (or that
  // has none) never makes a query list 4^levels cells that hold nothing. A stored cell that is
  // also an ancestor of another stored cell (no writer makes one, a damaged file may) is listed
  // as well as its descendants, whatever the order of marking, so no stored run is lost.
  void register_cell(uint32_t cell);
  void clear_adaptive() {
    subdivided_.clear();
    stored_.clear();
    adaptive_ = false;
  }
  bool is_adaptive() const { return adaptive_; }

  // The global indices of the leaf cells that can hold points of the area (see the .cpp for the
  // border rules). The result stays valid until the next query.
  const std::vector<uint32_t>& intersect_rectangle(double min_x, double min_y, double max_x, double max_y);
  const std::vector<uint32_t>& intersect_tile(float ll_x, float ll_y, float size);
  const std::vector<uint32_t>& intersect_circle(double center_x, double center_y, double radius);

  uint32_t levels = 0;
  float min_x = 0, max_x = 0, min_y = 0, max_y = 0;

 private:
  struct Area {
    double min_x, min_y, max_x, max_y;
    bool circle;
    double center_x, center_y, radius;
  };
  void collect(const Area& area);
  void descend(const Area& area, uint32_t level, uint32_t local, float cmin_x, float cmax_x, float cmin_y,
               float cmax_y);
  bool adaptive_ = false;

  // Subdivided cells by global index. A set, not a bit array: its size follows the cells the file
  // really stores, so a hostile index near the top of the numbering cannot inflate it.
  std::unordered_set<uint32_t> subdivided_;
  std::unordered_set<uint32_t> stored_;
  std::vector<uint32_t> result_;
};
