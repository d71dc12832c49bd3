#pragma once
// A hash table from 64-bit slot numbers to a double, for the time thinning: open addressing with
// linear probing in one array that doubles when half full, so a point costs no allocation of its
// own.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace filter_detail {

class SlotTable {
 public:
  // The value stored for `key`, inserting `value` first when the key is new. `inserted` tells
  // which happened.
  double find_or_insert(int64_t key, double value, bool& inserted);
  void clear();
  size_t size() const { return size_; }

 private:
  static constexpr int64_t kEmpty = INT64_MIN;  // keys are held within +-2^62
  struct Entry {
    int64_t key = kEmpty;
    double value = 0;
  };
  void grow();
  size_t home(int64_t key) const;

  std::vector<Entry> entries_;
  size_t size_ = 0;
};

// floor(v / spacing) held within +-2^62 (NaN gives 0), so it never meets the empty key.
int64_t slot_of(double v, double spacing);

}  // namespace filter_detail
