#include "tin/spatial_sort.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
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

constexpr uint64_t kIndexMask = 0xFFFFFFFFull;
// Below this many entries a comparison sort beats the four counting passes.
constexpr size_t kRadixMinimum = 4096;

// Rounds of insertion: a point joins round r with probability 3/4 of what is left for the
// later rounds, so the last round holds about 3/4 of the points, the one before 3/16, and so on.
// Inserted round by round, each round along the curve, the points of a round fall into a
// triangulation that already spans the whole area in a coarse mesh: they seldom land outside
// its hull, and their cavities stay as small as in a random order, while consecutive points still
// lie side by side. The round comes from a hash of the coordinates, so it is the same whatever
// the order of the input, and points with equal x and y share it.
constexpr uint32_t kRounds = 10;
constexpr int kRoundBits = 4;
static_assert(kRounds <= 1u << kRoundBits);

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

// Square cells of a 2^bits x 2^bits grid over a bounding box; the longer side sets the size.
class CellGrid {
 public:
  CellGrid(float min_x, float min_y, double extent, int bits)
      : min_x_(min_x), min_y_(min_y), cells_(std::ldexp(1.0, bits)), scale_(cells_ / extent) {}

  uint32_t x(float v) const { return cell(v, min_x_); }
  uint32_t y(float v) const { return cell(v, min_y_); }

 private:
  uint32_t cell(float v, float lo) const {
    return static_cast<uint32_t>(
        std::min((static_cast<double>(v) - static_cast<double>(lo)) * scale_, cells_ - 1.0));
  }

  float min_x_, min_y_;
  double cells_, scale_;
};

// Orders entries (key << 32 | index) of the points. The key is the position along the curve,
// after the round at the top level; the entries that share a key are ordered along a finer curve
// over their own bounding box, and so on down to equal x and y.
class HilbertOrder {
 public:
  HilbertOrder(const float* points, uint32_t stride, uint64_t* scratch)
      : points_(points), stride_(stride), scratch_(scratch) {}

  // Sorts by round, then by position along one curve over the whole bounding box, 28 bits. The
  // entries that share a key are left for order_cell.
  void sort_in_rounds(uint64_t* begin, uint64_t* end) const {
    CellGrid grid(0, 0, 1, 0);
    if (!bounding_grid(begin, end, 16 - kRoundBits / 2, grid)) return;
    constexpr int kDrop = kRoundBits / 2;  // a 14-bit cell is a 16-bit one without its low bits
    for (uint64_t* e = begin; e != end; e++) {
      const float* p = at(*e);
      const uint64_t position = hilbert_index(grid.x(p[0]) << kDrop, grid.y(p[1]) << kDrop) >> kRoundBits;
      const uint64_t round = insertion_round(p);
      *e = (round << (32 - kRoundBits) | position) << 32 | (*e & kIndexMask);
    }
    sort_by_key(begin, end);
  }

  // Entries of points that share a cell, in index order.
  void order_cell(uint64_t* begin, uint64_t* end) const {
    CellGrid grid(0, 0, 1, 0);
    if (!bounding_grid(begin, end, 16, grid)) return;
    for (uint64_t* e = begin; e != end; e++) {
      const float* p = at(*e);
      *e = static_cast<uint64_t>(hilbert_index(grid.x(p[0]), grid.y(p[1]))) << 32 | (*e & kIndexMask);
    }
    sort_by_key(begin, end);
    for_each_shared_key(begin, end, [this](uint64_t* run, uint64_t* run_end) { order_cell(run, run_end); });
  }

  // Calls f(run, run_end) for every run of two or more sorted entries with equal keys.
  template <class F>
  static void for_each_shared_key(uint64_t* begin, uint64_t* end, F f) {
    for (uint64_t* run = begin; run != end;) {
      const uint64_t key = *run >> 32;
      uint64_t* next = run + 1;
      while (next != end && *next >> 32 == key) next++;
      if (next - run > 1) f(run, next);
      run = next;
    }
  }

 private:
  const float* at(uint64_t entry) const { return points_ + (entry & kIndexMask) * stride_; }

  // The grid of 2^bits cells a side over the entries' bounding box. False when all the points
  // share x and y: they keep their order.
  bool bounding_grid(const uint64_t* begin, const uint64_t* end, int bits, CellGrid& grid) const {
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
    grid = CellGrid(min_x, min_y, extent, bits);
    return true;
  }

  // Entries come in index order within equal keys, and both sorts keep that.
  void sort_by_key(uint64_t* begin, uint64_t* end) const {
    const size_t n = static_cast<size_t>(end - begin);
    if (n < kRadixMinimum) {
      std::sort(begin, end);
      return;
    }
    // One counting pass for all four bytes of the key, then a stable pass per byte, least
    // significant first; a byte that is the same everywhere needs none.
    auto counts = std::make_unique<std::array<size_t, 256>[]>(4);
    for (const uint64_t* e = begin; e != end; e++) {
      for (int b = 0; b < 4; b++) counts[b][(*e >> (32 + 8 * b)) & 255]++;
    }
    uint64_t* from = begin;
    uint64_t* to = scratch_;
    for (int b = 0; b < 4; b++) {
      const std::array<size_t, 256>& count = counts[b];
      if (std::find(count.begin(), count.end(), n) != count.end()) continue;
      size_t offsets[256];
      size_t sum = 0;
      for (int d = 0; d < 256; d++) {
        offsets[d] = sum;
        sum += count[d];
      }
      const int shift = 32 + 8 * b;
      for (const uint64_t* e = from; e != from + n; e++) to[offsets[(*e >> shift) & 255]++] = *e;
      std::swap(from, to);
    }
    if (from != begin) std::memcpy(begin, from, n * sizeof(uint64_t));
  }

  const float* points_;
  uint32_t stride_;
  uint64_t* scratch_;
};

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
  const size_t head = static_cast<size_t>(first) * stride;
  const size_t tail = head + static_cast<size_t>(count) * stride;
  auto entries = std::make_unique_for_overwrite<uint64_t[]>(count);
  auto scratch = std::make_unique_for_overwrite<uint64_t[]>(count >= kRadixMinimum ? count : 1);
  for (uint32_t i = 0; i < count; i++) entries[i] = i;
  HilbertOrder(points.data() + head, stride, scratch.get())
      .sort_in_rounds(entries.get(), entries.get() + count);

  // The points move in one gather into a second buffer: in place, following the permutation's
  // cycles, every move would wait for a cache miss of its own.
  std::vector<float> moved(points.size());
  std::copy(points.begin(), points.begin() + static_cast<ptrdiff_t>(head), moved.begin());
  std::copy(points.begin() + static_cast<ptrdiff_t>(tail), points.end(),
            moved.begin() + static_cast<ptrdiff_t>(tail));
  const float* from = points.data() + head;
  float* out = moved.data() + head;
  constexpr uint32_t kAhead = 16;
  for (uint32_t i = 0; i < count; i++, out += stride) {
    if (i + kAhead < count) __builtin_prefetch(from + (entries[i + kAhead] & kIndexMask) * stride);
    const float* p = from + (entries[i] & kIndexMask) * stride;
    for (uint32_t k = 0; k < stride; k++) out[k] = p[k];
  }
  points.swap(moved);
  moved = std::vector<float>();

  // Points that share a cell are side by side now, in their original order, so refining the
  // order within the cell reads them without cache misses.
  float* sorted = points.data() + head;
  const HilbertOrder order(sorted, stride, scratch.get());
  std::vector<float> run_points;
  HilbertOrder::for_each_shared_key(
      entries.get(), entries.get() + count, [&](uint64_t* run, uint64_t* run_end) {
        const uint32_t start = static_cast<uint32_t>(run - entries.get());
        for (uint64_t* e = run; e != run_end; e++) *e = static_cast<uint64_t>(e - entries.get());
        order.order_cell(run, run_end);
        float* cell = sorted + static_cast<size_t>(start) * stride;
        run_points.assign(cell, cell + static_cast<size_t>(run_end - run) * stride);
        for (const uint64_t* e = run; e != run_end; e++, cell += stride) {
          const float* p = run_points.data() + ((*e & kIndexMask) - start) * stride;
          std::copy(p, p + stride, cell);
        }
      });
}
