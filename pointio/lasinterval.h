#pragma once
// The second half of a spatial index: for every occupied quadtree cell, the runs of point indices
// that fall into it. A query merges the runs of the cells it touches into one ordered list, joining
// runs whose gap is at most `threshold` points (reading a few points too many is cheaper than
// seeking).

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

class ByteStreamIn;
class ByteStreamOut;
class LASquadtree;

class LASinterval {
 public:
  struct Run {
    uint32_t start, end;  // inclusive point indices
  };
  struct Cell {
    uint32_t full = 0;   // points stored as belonging to the cell
    uint32_t total = 0;  // sum of the run lengths
    std::vector<Run> runs;
  };

  explicit LASinterval(uint32_t threshold = 1000) : threshold_(threshold) {}

  // Reads the interval block. Every cell must be a cell of `tree`, stored once, with runs that
  // start before they end; counts are checked against what the rest of the stream can hold
  // before anything is allocated. False after its message.
  bool read(ByteStreamIn& stream, const LASquadtree& tree);
  bool write(ByteStreamOut& stream) const;

  // Building: point p_index lies in `cell`; consecutive indices extend the cell's last run.
  void add(uint32_t p_index, uint32_t cell);
  std::unordered_map<uint32_t, Cell>& cells() { return cells_; }
  const std::unordered_map<uint32_t, Cell>& cells() const { return cells_; }

  // Querying: merges the runs of those of `cells` that are stored. False when none is.
  bool merge_cells(const std::vector<uint32_t>& cells);
  // The merged runs, one after another; false when all were handed out.
  bool next_run(uint32_t& start, uint32_t& end);
  uint32_t get_full() const { return full_; }
  uint32_t get_total() const { return total_; }
  const std::vector<Run>& merged_runs() const { return merged_; }

 private:
  uint32_t threshold_;
  std::unordered_map<uint32_t, Cell> cells_;
  std::vector<Run> merged_;
  size_t cursor_ = 0;
  uint32_t full_ = 0, total_ = 0;
};
