#include "filter/detail/slot_table.h"

#include <algorithm>
#include <cmath>

namespace filter_detail {

int64_t slot_of(double v, double spacing) {
  const double q = std::floor(v / spacing);
  if (std::isnan(q)) return 0;
  return static_cast<int64_t>(std::clamp(q, -4.6e18, 4.6e18));
}

size_t SlotTable::home(int64_t key) const {
  uint64_t h = static_cast<uint64_t>(key);
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  h ^= h >> 33;
  return static_cast<size_t>(h) & (entries_.size() - 1);
}

void SlotTable::grow() {
  std::vector<Entry> old = std::move(entries_);
  entries_.assign(old.empty() ? 1024 : old.size() * 2, Entry{});
  for (const Entry& e : old) {
    if (e.key == kEmpty) continue;
    size_t i = home(e.key);
    while (entries_[i].key != kEmpty) i = (i + 1) & (entries_.size() - 1);
    entries_[i] = e;
  }
}

double SlotTable::find_or_insert(int64_t key, double value, bool& inserted) {
  if (2 * (size_ + 1) > entries_.size()) grow();
  size_t i = home(key);
  while (entries_[i].key != kEmpty) {
    if (entries_[i].key == key) {
      inserted = false;
      return entries_[i].value;
    }
    i = (i + 1) & (entries_.size() - 1);
  }
  entries_[i] = Entry{key, value};
  size_++;
  inserted = true;
  return value;
}

void SlotTable::clear() {
  entries_.clear();
  entries_.shrink_to_fit();
  size_ = 0;
}

}  // namespace filter_detail
