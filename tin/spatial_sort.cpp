#include "tin/spatial_sort.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>

namespace {

// The curve is followed four levels (4 bits of x and 4 of y) per table look-up. On its way down
// the curve turns the lower levels by a combination of two moves, swapping x with y and
// complementing both, which commute; the state holds which of them apply: bit 0 swap, bit 1
// complement. An entry holds the 8 bits of position of the four levels and the state after them.
constexpr std::array<uint16_t, 4 * 256> make_hilbert_table() {
  std::array<uint16_t, 4 * 256> table{};
  for (uint32_t state = 0; state < 4; state++) {
    for (uint32_t x4 = 0; x4 < 16; x4++) {
      for (uint32_t y4 = 0; y4 < 16; y4++) {
        uint32_t s = state, digits = 0;
        for (int level = 3; level >= 0; level--) {
          uint32_t bx = (x4 >> level) & 1, by = (y4 >> level) & 1;
          if (s & 2) {
            bx ^= 1;
            by ^= 1;
          }
          if (s & 1) std::swap(bx, by);
          digits = digits << 2 | ((3 * bx) ^ by);
          if (by == 0) s ^= 1 | (bx << 1);
        }
        table[state << 8 | x4 << 4 | y4] = static_cast<uint16_t>(s << 8 | digits);
      }
    }
  }
  return table;
}

constexpr std::array<uint16_t, 4 * 256> kHilbertTable = make_hilbert_table();

constexpr double kCells = 65536.0;
constexpr uint64_t kIndexMask = 0xFFFFFFFFull;
// Below this many entries a comparison sort beats the four counting passes.
constexpr size_t kRadixMinimum = 4096;

// Sorts entries (Hilbert position << 32 | index) of the points by position, recursing into the
// cells that hold several points with a curve over each such cell's own bounding box.
class HilbertOrder {
 public:
  HilbertOrder(const float* points, uint32_t stride, uint64_t* scratch)
      : points_(points), stride_(stride), scratch_(scratch) {}

  void order(uint64_t* begin, uint64_t* end) const {
    if (end - begin < 2 || !assign_positions(begin, end)) return;
    sort_by_high_word(begin, end);
    for (uint64_t* run = begin; run != end;) {
      const uint64_t cell = *run >> 32;
      uint64_t* next = run + 1;
      while (next != end && *next >> 32 == cell) next++;
      order(run, next);
      run = next;
    }
  }

  // Sorts by the high 32 bits. Entries come in index order within equal high words, and both
  // sorts keep that.
  void sort_by_high_word(uint64_t* begin, uint64_t* end) const {
    const size_t n = static_cast<size_t>(end - begin);
    if (n < kRadixMinimum) {
      std::sort(begin, end);
      return;
    }
    // Least significant byte of the position first, each pass stable.
    uint64_t* from = begin;
    uint64_t* to = scratch_;
    for (int shift = 32; shift < 64; shift += 8) {
      size_t counts[256] = {};
      for (const uint64_t* e = from; e != from + n; e++) counts[(*e >> shift) & 255]++;
      if (std::find(counts, counts + 256, n) != counts + 256) continue;  // one bucket: no change
      size_t offsets[256];
      size_t sum = 0;
      for (int b = 0; b < 256; b++) {
        offsets[b] = sum;
        sum += counts[b];
      }
      for (const uint64_t* e = from; e != from + n; e++) to[offsets[(*e >> shift) & 255]++] = *e;
      std::swap(from, to);
    }
    if (from != begin) std::memcpy(begin, from, n * sizeof(uint64_t));
  }

 private:
  const float* at(uint64_t entry) const { return points_ + (entry & kIndexMask) * stride_; }

  // Replaces the positions with those over the entries' bounding box, scaled alike in x and y so
  // the cells are square. False when all the points share x and y: they keep their order.
  bool assign_positions(uint64_t* begin, uint64_t* end) const {
    float min_x = at(*begin)[0], max_x = min_x, min_y = at(*begin)[1], max_y = min_y;
    for (const uint64_t* e = begin; e != end; e++) {
      const float* p = at(*e);
      min_x = std::min(min_x, p[0]);
      max_x = std::max(max_x, p[0]);
      min_y = std::min(min_y, p[1]);
      max_y = std::max(max_y, p[1]);
    }
    const double extent = std::max(static_cast<double>(max_x) - static_cast<double>(min_x),
                                   static_cast<double>(max_y) - static_cast<double>(min_y));
    if (extent == 0.0) return false;
    const double scale = kCells / extent;
    const auto cell = [scale](float v, float lo) {
      return static_cast<uint32_t>(
          std::min((static_cast<double>(v) - static_cast<double>(lo)) * scale, kCells - 1.0));
    };
    for (uint64_t* e = begin; e != end; e++) {
      const float* p = at(*e);
      const uint64_t position = hilbert_index(cell(p[0], min_x), cell(p[1], min_y));
      *e = position << 32 | (*e & kIndexMask);
    }
    return true;
  }

  const float* points_;
  uint32_t stride_;
  uint64_t* scratch_;
};

// Rounds of insertion: a point joins round r with probability 3/4 of what is left for the
// later rounds, so the last round holds about 3/4 of the points, the one before 3/16, and so on.
// Inserted round by round, each round along its own curve, the points of a round fall into a
// triangulation that already spans the whole area in a coarse mesh: they seldom land outside
// its hull, and their cavities stay as small as in a random order, while consecutive points still
// lie side by side. The round comes from a hash of the coordinates, so it is the same whatever
// the order of the input, and points with equal x and y share it.
constexpr uint32_t kRounds = 10;

uint32_t insertion_round(const float* p) {
  // Adding +0 turns -0 into +0: the two zeros compare equal and must hash alike.
  const uint64_t x = std::bit_cast<uint32_t>(p[0] + 0.0f), y = std::bit_cast<uint32_t>(p[1] + 0.0f);
  uint64_t h = x << 32 | y;
  h = (h ^ (h >> 30)) * 0xBF58476D1CE4E5B9ull;
  h = (h ^ (h >> 27)) * 0x94D049BB133111EBull;
  h ^= h >> 31;
  const uint32_t zero_pairs = static_cast<uint32_t>(std::countl_zero(h)) / 2;
  return kRounds - 1 - std::min(zero_pairs, kRounds - 1);
}

}  // namespace

uint32_t hilbert_index(uint32_t x, uint32_t y) {
  uint32_t state = 0, position = 0;
  for (int shift = 12; shift >= 0; shift -= 4) {
    const uint32_t entry = kHilbertTable[state << 8 | ((x >> shift) & 15) << 4 | ((y >> shift) & 15)];
    position = position << 8 | (entry & 255);
    state = entry >> 8;
  }
  return position;
}

void hilbert_sort(std::vector<float>& points, uint32_t stride, uint32_t first, uint32_t count) {
  if (count < 2) return;
  const float* sorted = points.data() + static_cast<size_t>(first) * stride;
  auto entries = std::make_unique_for_overwrite<uint64_t[]>(count);
  {
    auto scratch = std::make_unique_for_overwrite<uint64_t[]>(count >= kRadixMinimum ? count : 1);
    for (uint32_t i = 0; i < count; i++) {
      entries[i] = static_cast<uint64_t>(insertion_round(sorted + static_cast<size_t>(i) * stride)) << 32 | i;
    }
    const HilbertOrder order(sorted, stride, scratch.get());
    order.sort_by_high_word(entries.get(), entries.get() + count);
    for (uint64_t* round = entries.get(); round != entries.get() + count;) {
      uint64_t* next = round;
      while (next != entries.get() + count && *next >> 32 == *round >> 32) next++;
      order.order(round, next);
      round = next;
    }
  }
  // The points move in one gather into a second buffer: in place, following the permutation's
  // cycles, every move would wait for a cache miss of its own.
  std::vector<float> moved(points.size());
  const size_t head = static_cast<size_t>(first) * stride;
  std::copy(points.begin(), points.begin() + static_cast<ptrdiff_t>(head), moved.begin());
  float* out = moved.data() + head;
  constexpr uint32_t kAhead = 16;
  for (uint32_t i = 0; i < count; i++, out += stride) {
    if (i + kAhead < count) __builtin_prefetch(sorted + (entries[i + kAhead] & kIndexMask) * stride);
    const float* p = sorted + (entries[i] & kIndexMask) * stride;
    for (uint32_t k = 0; k < stride; k++) out[k] = p[k];
  }
  const size_t tail = head + static_cast<size_t>(count) * stride;
  std::copy(points.begin() + static_cast<ptrdiff_t>(tail), points.end(),
            moved.begin() + static_cast<ptrdiff_t>(tail));
  points.swap(moved);
}
