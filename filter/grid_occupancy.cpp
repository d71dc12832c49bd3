#include "filter/detail/grid_occupancy.h"

#include <cstddef>

namespace filter_detail {

namespace {

// Row arrays grow to the next multiple of 1024 rows, bit arrays to the next multiple of 256 words.
constexpr uint64_t kRowStep = 1024;
constexpr uint64_t kWordStep = 256;

uint64_t round_up(uint64_t n, uint64_t step) {
  return (n / step + 1) * step;
}

}  // namespace

bool GridOccupancy::test_and_set_bit(std::vector<uint32_t>& bits, uint64_t index) {
  const uint64_t word = index >> 5;
  if (word >= bits.size()) bits.resize(static_cast<size_t>(round_up(word, kWordStep)), 0u);
  uint32_t& w = bits[static_cast<size_t>(word)];
  const uint32_t bit = 1u << (index & 31);
  const bool was_set = (w & bit) != 0;
  w |= bit;
  return was_set;
}

bool GridOccupancy::test_and_set(int64_t column, int64_t row) {
  if (!anchored_) {
    anchored_ = true;
    anchor_row_ = row;
  }
  // Rows and columns are held within +-2^62 by the caller, so the differences do not overflow.
  const int64_t cy = row - anchor_row_;
  std::vector<Row>& rows = cy >= 0 ? up_ : down_;
  const uint64_t r = cy >= 0 ? static_cast<uint64_t>(cy) : static_cast<uint64_t>(-(cy + 1));
  if (r >= rows.size()) rows.resize(static_cast<size_t>(round_up(r, kRowStep)));
  Row& band = rows[static_cast<size_t>(r)];
  if (!band.anchored) {
    band.anchored = true;
    band.anchor = column;
  }
  if (column >= band.anchor) return test_and_set_bit(band.right, static_cast<uint64_t>(column - band.anchor));
  return test_and_set_bit(band.left, static_cast<uint64_t>(band.anchor - column - 1));
}

void GridOccupancy::clear() {
  anchored_ = false;
  up_ = std::vector<Row>();
  down_ = std::vector<Row>();
}

}  // namespace filter_detail
