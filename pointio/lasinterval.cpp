#include "pointio/lasinterval.h"

#include <algorithm>
#include <cstring>

#include "common/messages.h"
#include "pointio/bytestreamin.h"
#include "pointio/bytestreamout.h"
#include "pointio/lasquadtree.h"

namespace {

uint32_t saturated(uint64_t v) {
  return v > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(v);
}

}  // namespace

bool LASinterval::read(ByteStreamIn& stream, const LASquadtree& tree) {
  cells_.clear();
  merged_.clear();
  char signature[4];
  if (!try_get_value(stream, signature)) {
    print_message_text("ERROR (LASinterval): reading signature\n");
    return false;
  }
  if (std::memcmp(signature, "LASV", 4) != 0) {
    print_message("ERROR (LASinterval): wrong signature %.4s instead of 'LASV'\n", signature);
    return false;
  }
  uint32_t version = 0, number_cells = 0;
  if (!try_get_value(stream, version)) {
    print_message_text("ERROR (LASinterval): reading version\n");
    return false;
  }
  if (!try_get_value(stream, number_cells)) {
    print_message_text("ERROR (LASinterval): reading number of cells\n");
    return false;
  }
  // Counts are bounded by the bytes left before they size anything: a cell takes at least 12
  // bytes, a run 8.
  const int64_t size = stream.size();
  const auto bytes_left = [&]() { return size < 0 ? INT64_MAX : size - stream.tell(); };
  if (int64_t{number_cells} * 12 > bytes_left()) {
    print_message("ERROR (LASinterval): %u cells do not fit in the rest of the file\n", number_cells);
    return false;
  }
  cells_.reserve(number_cells);
  for (uint32_t c = 0; c < number_cells; c++) {
    int32_t cell_index = 0;
    uint32_t number_runs = 0, full = 0;
    if (!try_get_value(stream, cell_index)) {
      print_message_text("ERROR (LASinterval): reading cell index\n");
      return false;
    }
    if (!try_get_value(stream, number_runs)) {
      print_message_text("ERROR (LASinterval): reading number of intervals in cell\n");
      return false;
    }
    if (!try_get_value(stream, full)) {
      print_message_text("ERROR (LASinterval): reading number of points in cell\n");
      return false;
    }
    if (cell_index < 0 || !tree.is_cell(static_cast<uint32_t>(cell_index))) {
      print_message("ERROR (LASinterval): cell index %d is not a cell of a quadtree with %u levels\n",
                    cell_index, tree.levels);
      return false;
    }
    if (int64_t{number_runs} * 8 > bytes_left()) {
      print_message("ERROR (LASinterval): %u intervals of cell %d do not fit in the rest of the file\n",
                    number_runs, cell_index);
      return false;
    }
    auto [it, inserted] = cells_.try_emplace(static_cast<uint32_t>(cell_index));
    if (!inserted) {
      print_message("ERROR (LASinterval): cell %d is stored twice\n", cell_index);
      return false;
    }
    Cell& cell = it->second;
    cell.full = full;
    cell.runs.resize(number_runs);
    uint64_t total = 0;
    for (uint32_t r = 0; r < number_runs; r++) {
      Run& run = cell.runs[r];
      if (!try_get_value(stream, run.start)) {
        print_message("ERROR (LASinterval): reading start %d of interval\n", static_cast<int>(r));
        return false;
      }
      if (!try_get_value(stream, run.end)) {
        print_message("ERROR (LASinterval): reading end %d of interval\n", static_cast<int>(r));
        return false;
      }
      if (run.end < run.start) {
        print_message("ERROR (LASinterval): interval %d of cell %d ends at %u before its start %u\n",
                      static_cast<int>(r), cell_index, run.end, run.start);
        return false;
      }
      total += uint64_t{run.end} - run.start + 1;
    }
    cell.total = saturated(total);
  }
  return true;
}

bool LASinterval::write(ByteStreamOut& stream) const {
  const uint32_t version = 0;
  if (!stream.put_bytes(reinterpret_cast<const uint8_t*>("LASV"), 4) || !put_value(stream, version) ||
      !put_value(stream, static_cast<uint32_t>(cells_.size())))
    return false;
  // In cell order, so the same index always gives the same bytes.
  std::vector<uint32_t> order;
  order.reserve(cells_.size());
  for (const auto& [index, cell] : cells_) order.push_back(index);
  std::sort(order.begin(), order.end());
  for (uint32_t index : order) {
    const Cell& cell = cells_.at(index);
    if (!put_value(stream, static_cast<int32_t>(index)) ||
        !put_value(stream, static_cast<uint32_t>(cell.runs.size())) || !put_value(stream, cell.full))
      return false;
    for (const Run& run : cell.runs) {
      if (!put_value(stream, run.start) || !put_value(stream, run.end)) return false;
    }
  }
  return true;
}

void LASinterval::add(uint32_t p_index, uint32_t cell_index) {
  Cell& cell = cells_[cell_index];
  if (!cell.runs.empty() && cell.runs.back().end + 1 == p_index) {
    cell.runs.back().end = p_index;
  } else {
    cell.runs.push_back(Run{p_index, p_index});
  }
  cell.full++;
  cell.total++;
}

bool LASinterval::merge_cells(const std::vector<uint32_t>& cells) {
  merged_.clear();
  cursor_ = 0;
  full_ = total_ = 0;
  uint64_t full = 0;
  size_t found = 0;
  for (uint32_t index : cells) {
    auto it = cells_.find(index);
    if (it == cells_.end()) continue;
    found++;
    full += it->second.full;
    merged_.insert(merged_.end(), it->second.runs.begin(), it->second.runs.end());
  }
  if (found == 0) return false;
  full_ = saturated(full);
  // Runs are ordered and overlapping ones joined even for one cell: a damaged file must not make
  // the reader deliver a point twice. Between the runs of several cells, gaps up to the threshold
  // are bridged too.
  std::sort(merged_.begin(), merged_.end(), [](const Run& a, const Run& b) { return a.start < b.start; });
  const uint32_t bridge = found > 1 ? threshold_ : 0;
  size_t out = 0;
  for (size_t i = 1; i < merged_.size(); i++) {
    Run& current = merged_[out];
    const Run& next = merged_[i];
    if (next.start > current.end && next.start - current.end > bridge) {
      merged_[++out] = next;
    } else if (next.end > current.end) {
      current.end = next.end;
    }
  }
  if (!merged_.empty()) merged_.resize(out + 1);  // a cell may be stored without runs
  uint64_t total = 0;
  for (const Run& run : merged_) total += uint64_t{run.end} - run.start + 1;
  total_ = saturated(total);
  return true;
}

bool LASinterval::next_run(uint32_t& start, uint32_t& end) {
  if (cursor_ >= merged_.size()) return false;
  start = merged_[cursor_].start;
  end = merged_[cursor_].end;
  cursor_++;
  return true;
}
