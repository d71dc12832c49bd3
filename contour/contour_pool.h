// Free-list pool of small fixed-size records, allocated in blocks that double in size.
//
// Records are named by 32-bit indices instead of pointers, so records that link to each other
// stay small (the tracer's vertex is three 32-bit words). Records never move once allocated, so
// an index stays valid until release(). A pool grows rarely (first block 512 records, then 1024,
// 2048, ...) and never shrinks during a file: the tracer takes and returns records millions of
// times without touching the allocator.
//
// A pool grows for as long as memory and its 32-bit indices allow: with a first block of 512 that
// is 23 blocks, some four billion records. A fixed limit of 16 blocks (33 million records) once
// stopped dense contours of large tiles (a cone of 700 m relief traced every 0.01 m) with memory
// to spare.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <stdexcept>
#include <type_traits>

// The index no record has: a link that points nowhere.
inline constexpr uint32_t NO_RECORD = UINT32_MAX;

// `Link` names the index member that chains free records; the record does not use it while it
// is free, and take() resets the whole record. T must be trivially copyable and destructible:
// records are never destroyed one by one, only their blocks are freed.
template <typename T, uint32_t T::*Link>
class RecordPool {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

 public:
  // Slots for blocks: more than 32-bit indices can ever fill (a first block of one record fills
  // them after 32 blocks), so a pool meets the index limit or a failed allocation first.
  static constexpr int MAX_BLOCKS = 32;

  // `what` names the pool in the failure message ("vertex" or "component"). The first block size
  // is rounded up to a power of two, so that an index finds its block with a shift and a bit scan.
  // `max_blocks` lets tests reach the limit with small pools.
  RecordPool(const char* what, uint32_t first_block, int max_blocks)
      : what_(what),
        first_block_(std::bit_ceil(first_block > 0 ? first_block : 1u)),
        shift_(std::countr_zero(first_block_)),
        max_blocks_(max_blocks < MAX_BLOCKS ? max_blocks : MAX_BLOCKS),
        next_block_(first_block_) {}

  uint32_t take() {
    if (free_ != NO_RECORD) {
      const uint32_t index = free_;
      T& record = (*this)[index];
      free_ = record.*Link;
      record = T{};
      return index;
    }
    // Never used records are handed out in index order straight from the newest block, so its
    // pages are first touched when needed: a block that is only half used costs only that half.
    if (fresh_ == capacity()) grow();
    const uint32_t index = fresh_++;
    std::construct_at(reinterpret_cast<T*>(storage(index)));
    return index;
  }

  // Freed records go to the front of the free list, so the most recently used memory is reused.
  void give(uint32_t index) {
    (*this)[index].*Link = free_;
    free_ = index;
  }

  // `index` must have been handed out by take() since the last release().
  T& operator[](uint32_t index) { return *std::launder(reinterpret_cast<T*>(storage(index))); }
  const T& operator[](uint32_t index) const {
    return *std::launder(reinterpret_cast<const T*>(storage(index)));
  }

  // Frees every block; the next take() starts again with a block of first_block records.
  void release() {
    for (auto& block : blocks_) block.reset();
    block_count_ = 0;
    next_block_ = first_block_;
    free_ = NO_RECORD;
    fresh_ = 0;
  }

  int block_count() const { return block_count_; }
  // Records handed out at least once since release(): the most that were in use at one time.
  uint32_t high_water() const { return fresh_; }
  // Records in all blocks, free or taken.
  uint64_t capacity() const { return uint64_t{first_block_} * ((uint64_t{1} << block_count_) - 1); }

 private:
  // Block b holds the indices [F (2^b - 1), F (2^(b+1) - 1)) for a first block of F records.
  std::byte* storage(uint32_t index) const {
    // The mask changes nothing for a valid index (b < MAX_BLOCKS) and keeps any index in the array.
    const uint32_t b =
        (static_cast<uint32_t>(std::bit_width(uint64_t{index >> shift_} + 1)) - 1) & (MAX_BLOCKS - 1);
    return blocks_[b][index - (((1u << b) - 1) << shift_)].bytes;
  }

  void grow() {
    const uint64_t first = capacity();
    // The indices of the new block, and NO_RECORD, must stay apart.
    if (block_count_ >= max_blocks_ || first + next_block_ > NO_RECORD) fail(next_block_, false);
    const uint32_t size = static_cast<uint32_t>(next_block_);
    try {
      // Left uninitialized: take() constructs each record when it first hands it out.
      blocks_[block_count_] = std::make_unique_for_overwrite<Storage[]>(size);
    } catch (const std::bad_alloc&) {
      fail(size, true);
    }
    block_count_++;
    next_block_ = uint64_t{size} * 2;
  }

  // Names the pool, the refused block and what the pool already holds, so that a user can tell
  // an exhausted machine from a pool that has run out of indices.
  [[noreturn]] void fail(uint64_t size, bool out_of_memory) const {
    char message[224];
    const auto n = [](uint64_t v) { return static_cast<unsigned long long>(v); };
    if (out_of_memory) {
      std::snprintf(message, sizeof(message),
                    "ERROR: malloc for %s buffer %llu failed: out of memory with %llu contour %s records "
                    "(%llu MB) allocated",
                    what_, n(size), n(capacity()), what_, n(capacity() * sizeof(T) >> 20));
    } else {
      std::snprintf(message, sizeof(message),
                    "ERROR: malloc for %s buffer %llu failed: the contour %s pool is full at %llu records",
                    what_, n(size), what_, n(capacity()));
    }
    throw std::runtime_error(message);
  }

  const char* what_;
  uint32_t first_block_;
  int shift_;  // log2(first_block_)
  int max_blocks_;
  uint64_t next_block_;
  int block_count_ = 0;
  uint32_t free_ = NO_RECORD;  // most recently freed record
  uint32_t fresh_ = 0;         // next record never handed out
  // Raw storage, so that allocating a block does not write (and so make resident) all of it.
  struct Storage {
    alignas(T) std::byte bytes[sizeof(T)];
  };
  std::array<std::unique_ptr<Storage[]>, MAX_BLOCKS> blocks_;
};
